// The dissolved constituents in the time loop: the soil-layer step, the
// overland processes that gather mass between cell steps, the cell mass step
// that applies them and moves the mass with the water, and the event-start
// and set-up work. Every amount a step moves is booked once, by that step,
// into the totals the summaries read, so each balance closes where the user
// reads it.
//
// The overland processes keep clocks of their own. A process is due once its
// next time is reached (one-sided), so that a clock left inside a dry spell
// between events of a long-term run comes due again at the next event.

#include <algorithm>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "quality/cell_contam_mass.h"
#include "quality/channel_contam.h"
#include "quality/constituent_initial.h"
#include "quality/contam_steps.h"
#include "quality/nsm_model.h"
#include "quality/overland_contam.h"
#include "quality/quality_steps.h"
#include "quality/sed_contam_source.h"
#include "surface/overland_step.h"

namespace {

bool reached(const process_clock& clock, double now) {
  return clock.next - now < time_tolerance_days;
}

double seconds_since(const process_clock& clock, double now) { return (now - clock.last) * 86400.0; }

// The channel lakes hold their constituent mass in the channel constituent
// arrays, so they need those; the overland lakes keep none of their own.
bool refuse_lakes(const model_state& state) {
  if (state.channel.channel_lakes && !state.input.chan_con_trans) {
    raise_message(
        "Error: OV_CON_TRANS with channel lakes needs CHAN_CON_TRANS (channel constituent "
        "transport): the lakes' constituent mass is kept only with it.\n");
    return true;
  }
  if (state.surface.overland_lakes) {
    raise_message(
        "Error: OV_CON_TRANS with overland lakes is not available in this version; remove the "
        "overland lake map or OV_CON_TRANS.\n");
    return true;
  }
  return false;
}

// The cells the channel lakes hold, when the lakes carry constituents.
const int* lake_cells_of(const model_state& state) {
  return state.quality.chan_contam.on ? chan_lake_cells(state) : nullptr;
}

// The top soil layer reaches from the surface to the mixing depth; under
// redistribution the layers below reach to the top-layer depth and the
// soil-moisture depth. Every layer has its cell's porosity.
void set_soil_geometry(model_state& state) {
  contaminant_model& m = state.quality.contam;
  constituent_state& c = m.c;
  c.mixing_depth = state.input.mixing_layer_depth;
  c.top_depth = state.input.top_layer_depth;
  c.moisture_depth = state.input.soil_moist_depth;
  c.static_conc = state.input.settings.soil_static_conc;
  const int layers = c.soil_layers;
  double bottom[max_soil_layers + 1] = {};
  c.soil_layer_thickness[1] = c.mixing_depth / 100.0;
  if (state.input.inf_redist) {
    redistribution_soil_geometry(layers, c.mixing_depth, c.top_depth, c.moisture_depth,
                                 c.soil_layer_thickness, bottom);
  }
  const soil_state& soil = state.soil;
  for (int j = 1; j <= state.grid.cells; ++j) {
    const std::size_t jj = std::size_t(j);
    if (state.input.inf_layered_soil) {
      // The cell's soil type decides: its first soil layer split at the
      // mixing depth when that lies inside it, else its two soil layers.
      const soil_type_record& t = soil.soil_types[std::size_t(soil.soiltype[jj])];
      double thickness[max_soil_layers + 1] = {};
      const int n = layered_soil_layers(c.mixing_depth, t.d1, t.d2, thickness);
      m.geometry.layers[jj] = n;
      for (int l = 1; l <= n; ++l) {
        m.geometry.thickness.at(j, l) = thickness[l];
        const bool first_soil_layer = l == 1 || (l == 2 && n == 3);
        m.geometry.porosity.at(j, l) = first_soil_layer ? t.phi[1] : t.phi[2];
      }
      continue;
    }
    m.geometry.layers[jj] = layers;
    // A Richards column's porosity is the saturated content of its nodes
    // over the mixing depth, the one layer it carries.
    const double porosity = state.input.inf_richards
                                ? richards_top_mean(soil.richards, j, soil.richards.thetas,
                                                    c.mixing_depth)
                                : soil.porosity[jj];
    for (int l = 1; l <= layers; ++l) {
      m.geometry.thickness.at(j, l) = c.soil_layer_thickness[l];
      m.geometry.porosity.at(j, l) = porosity;
    }
  }
}

// The soil water content of a one-layer soil. Plain Green and Ampt keeps its
// initial content below the wetting front; a Richards column has the content
// of its nodes, and the mixing layer's water is what its top nodes hold now,
// their mean over the mixing depth.
double soil_water_content(const model_state& state, int j) {
  const soil_state& soil = state.soil;
  if (state.input.inf_richards)
    return richards_top_mean(soil.richards, j, soil.richards.theta,
                             state.quality.contam.c.mixing_depth);
  return soil.initial_theta[std::size_t(j)];
}

// Water contents of every layer of every cell from the infiltration model's
// soil water: a redistribution soil's upper store (to the top-layer depth)
// and lower store (to the soil-moisture depth), else the plain content.
void fill_soil_layer_table(model_state& state) {
  contaminant_model& m = state.quality.contam;
  constituent_state& c = m.c;
  const soil_state& soil = state.soil;
  const redistribution_depths depths{c.mixing_depth, c.top_depth, c.moisture_depth};
  // With the aquifer the layers below its table are saturated.
  const std::vector<double>& table = state.subsurface.gw.elevgw;
  const bool aquifer = state.input.gw_simulation && table.size() > std::size_t(state.grid.cells);
  for (int j = 1; j <= state.grid.cells; ++j) {
    const std::size_t jj = std::size_t(j);
    const double below = aquifer ? state.grid.elevation[jj] - table[jj] : 0.0;  // m
    if (state.input.inf_layered_soil) {
      // Without the aquifer the water table lies below both soil layers (cm).
      const soil_type_record& t = soil.soil_types[std::size_t(soil.soiltype[jj])];
      const int n = m.geometry.layers[jj];
      double thickness[max_soil_layers + 1] = {};
      double theta[max_soil_layers + 1] = {};
      for (int l = 1; l <= n; ++l) thickness[l] = m.geometry.thickness.at(j, l);
      split_soil_layers(n, soil.m1[jj], soil.m2[jj], t.phi[1], t.phi[2], thickness,
                        aquifer ? below * 100.0 : t.d1 + t.d2 + 1.0, theta);
      for (int l = 1; l <= n; ++l) c.theta.at(j, l) = theta[l];
      continue;
    }
    const double content = soil_water_content(state, j);
    m.soil_content[jj] = content;
    for (int l = 1; l <= c.soil_layers; ++l) {
      double theta = content;
      if (state.input.inf_redist) {
        theta = soil_layer_water_fraction(l, c.soil_layers, soil.m1[jj], soil.m2[jj], depths,
                                          soil.porosity[jj], c.soil_layer_thickness, aquifer,
                                          below);
        if (theta > 1.0) std::fputs("oy", stdout);
      }
      c.theta.at(j, l) = theta;
    }
  }
}

// The grid and its surface water as the constituent sweeps see them.
contam_grid contam_grid_of(const model_state& state) {
  const grid_state& g = state.grid;
  contam_grid grid;
  grid.cells = g.cells;
  grid.dx = g.dx;
  grid.leftcon = g.leftcon.data();
  grid.rightcon = g.rightcon.data();
  grid.abovecon = g.abovecon.data();
  grid.belowcon = g.belowcon.data();
  grid.depth = state.surface.depth.data();
  grid.flux_x = state.surface.flux_x.data();
  grid.flux_y = state.surface.flux_y.data();
  return grid;
}

// The first due pass starts the clocks: the gathering processes from now,
// the cell step from the overland clock's last time, so that its first step
// spans the interval the first rain was applied over.
void start_clocks(model_state& state) {
  contaminant_model& m = state.quality.contam;
  const double now = state.run.current_time;
  for (process_clock* clock : {&m.infiltration, &m.exchange, &m.decay, &m.outlet,
                               &m.nsm_kinetics, &m.nsm_soil_flux}) {
    clock->last = now;
    clock->next = now;
  }
  m.cell.last = state.run.ov_contam.last;
  m.cell.next = now;
  m.outflow_seen = state.surface.outflow_volume;
  m.started = 1;
}

double sum_cells(const std::vector<double>& v, int cells) {
  double s = 0.0;
  for (int j = 1; j <= cells; ++j) s += v[std::size_t(j)];
  return s;
}

double soil_mass_sum(const contaminant_model& m, int k, int cells) {
  const cell_layer_table& mass = m.c.soil_mass[std::size_t(k)];
  double s = 0.0;
  for (int j = 1; j <= cells; ++j)
    for (int l = 1; l <= m.geometry.layers[std::size_t(j)]; ++l) s += mass.at(j, l);
  return s;
}

// The nutrient kinetics keep only their clock; the soil pools hand their
// top-layer amounts to the water at the soil-flux clock.
void nutrient_surface_fluxes(model_state& state) {
  contaminant_model& m = state.quality.contam;
  const double now = state.run.current_time;
  const double step = state.run.overland.interval_d * m.kinetics_factor;
  if (reached(m.nsm_kinetics, now)) {
    m.nsm_kinetics_interval = seconds_since(m.nsm_kinetics, now);
    m.nsm_kinetics.last = now;
    m.nsm_kinetics.next = now + step;
  }
  if (!m.soil_transport || !reached(m.nsm_soil_flux, now)) return;
  m.nsm_soil_flux_interval = seconds_since(m.nsm_soil_flux, now);
  fill_soil_layer_table(state);
  state.quality.nsm->overland.accumulate_soil_fluxes(m.c);
  m.nsm_soil_flux.last = now;
  m.nsm_soil_flux.next = now + step;
}

// With the channel constituents the mass the cells give the channels stays
// in the system; without them it leaves it.
void book_cell_step(contaminant_model& m, int k, bool channels, bool carried, double negative,
                    double to_lakes) {
  constituent_state& c = m.c;
  const std::size_t kk = std::size_t(k);
  constituent_totals& r = m.run[kk];
  constituent_event_totals& e = m.event[kk];
  const double out = c.ov_out_dmt[kk] / 1000.0;
  if (channels) {
    r.ov_qlat_mass += out;
    e.ov_qlat_mass += out;
  } else {
    r.ov_mass_out += out;
    e.ov_mass_out += out;
  }
  if (!channels || !carried) r.global_mass_out += out;
  const double decay = c.ov_decay_dmt[kk] / 1000.0;
  r.ov_mass_decay += decay;
  e.ov_decay_mass += decay;
  r.global_mass_decay += decay;
  const double infiltrated = c.ov_infil_dmt[kk] / 1000.0;
  r.ov_infil_mass += infiltrated;
  e.ov_infil_mass += infiltrated;
  const double uptake = c.ov_uptake_dmt[kk] / 1000.0;
  r.ov_uptake_mass += uptake;
  e.ov_uptake_mass += uptake;
  const double precip = c.ov_precip_dmt[kk] / 1000.0;
  r.ov_precip_mass += precip;
  r.global_precip += precip;
  e.ov_precip_mass += precip;
  r.ov_neg_mass += negative;
  e.ov_neg_mass += negative;
  r.ov_lake_mass += to_lakes / 1000.0;
  e.ov_lake_mass += to_lakes / 1000.0;
  const double exfiltrated = c.ov_exfil_dmt[kk] / 1000.0;
  r.ov_exfil_mass += exfiltrated;
  e.ov_exfil_mass += exfiltrated;
  c.ov_exfil_dmt[kk] = 0.0;
  if (m.sed.on) {
    const double released = m.sed.release_dmt[kk] / 1000.0;
    r.ov_sed_source += released;
    e.ov_sed_source += released;
    m.sed.release_dmt[kk] = 0.0;
  }
  c.ov_out_dmt[kk] = 0.0;
  c.ov_decay_dmt[kk] = 0.0;
  c.ov_infil_dmt[kk] = 0.0;
  c.ov_uptake_dmt[kk] = 0.0;
  c.ov_precip_dmt[kk] = 0.0;
}

}  // namespace

void init_constituent_state(model_state& state) {
  contaminant_model& m = state.quality.contam;
  if (!m.on) return;
  if (refuse_lakes(state)) return;
  const int cells = state.grid.cells;
  const double dx = state.grid.dx;
  constituent_state& c = m.c;
  if (m.soil_transport) set_soil_geometry(state);
  // The channels record what each cell gives them over its banks.
  if (state.input.channel_routing) {
    state.channel.lat_record = 1;
    state.channel.cell_lat_volume.assign(std::size_t(cells) + 1, 0.0);
  }
  m.depth_last = state.surface.depth;
  m.depth_last.resize(std::size_t(cells) + 1, 0.0);
  m.work.size_sweeps(contam_grid_of(state));
  m.mixing_water.assign(std::size_t(cells) + 1, 0.0);
  m.soil_content.assign(std::size_t(cells) + 1, 0.0);
  m.exfil_seen.assign(std::size_t(cells) + 1, 0.0);
  m.exfil_water.assign(std::size_t(cells) + 1, 0.0);

  for (int k = 1; k <= c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    constituent_totals& r = m.run[kk];
    double surface = 0.0, land = 0.0;
    for (int j = 1; j <= cells; ++j) {
      const std::size_t jj = std::size_t(j);
      if (c.constituent_type[kk] == 1) {
        // The table gives the rates per day.
        c.ov_contam_decay[kk][jj] /= 86400.0;
        c.ov_contam_uptake[kk][jj] /= 86400.0;
        if (m.soil_transport) c.soil_decay_coef[kk][jj] = c.ov_contam_decay[kk][jj];
      }
      const double given = c.land_surface_mass[kk][jj];
      c.land_surface_mass[kk][jj] = given * 1000.0;
      const double mass = initial_surface_mass(state.surface.depth[jj], c.ov_contam_conc[kk][jj], dx);
      c.ov_contam_mass[kk][jj] = mass;
      surface += mass;
      if (m.soil_transport && c.constituent_type[kk] == 1) {
        // With soil layers the table's value is the top layer's
        // concentration per mass of soil solids; the nutrient pools hold
        // their own amounts already.
        const double layer = initial_layer_mass(given, m.geometry.thickness.at(j, 1),
                                                m.geometry.porosity.at(j, 1), dx);
        c.soil_conc[kk].at(j, 1) = given;
        c.soil_mass[kk].at(j, 1) = layer;
        c.land_surface_mass[kk][jj] = layer;
      }
      land += c.land_surface_mass[kk][jj];
    }
    r.ov_mass_init = surface / 1000.0;
    if (m.soil_transport) {
      r.soil_mass_init = land / 1000.0;
    } else {
      r.ov_land_mass_init = land / 1000.0;
    }
    // The channels and lakes booked theirs already.
    r.global_mass_init += (surface + land) / 1000.0;
  }
  init_sed_contam(state);
}

void soil_layer_contam_step(model_state& state) {
  contaminant_model& m = state.quality.contam;
  if (!m.on || !m.soil_transport) return;
  run_control& run = state.run;
  if (!run.soil_contam.due(run.current_time)) return;
  const double dt = seconds_since(run.soil_contam, run.current_time);
  const double dx = state.grid.dx;
  constituent_state& c = m.c;
  soil_state& soil = state.soil;
  fill_soil_layer_table(state);

  const bool redistribution = state.input.inf_redist != 0;
  const bool layered = state.input.inf_layered_soil != 0;
  soil_water_moves moves;
  moves.model = redistribution ? soil_water_model::redistribution
                : layered      ? soil_water_model::layered
                               : soil_water_model::plain;
  moves.water_content = m.soil_content.data();
  if (redistribution || layered) {
    moves.upper_drain = soil.drain1.data();
    moves.bottom_drain = soil.drain2.data();
  }
  moves.mixing_depth = c.mixing_depth;
  moves.moisture_depth = c.moisture_depth;
  // Where the water table stands at the ground, the water the aquifer gave
  // the surface since the last run rises through the layers.
  const std::size_t per_cell = std::size_t(state.grid.cells) + 1;
  if (state.input.gw_simulation && soil.cum_exfil.size() >= per_cell &&
      soil.yes_exfil.size() >= per_cell && m.exfil_seen.size() >= per_cell) {
    for (std::size_t j = 1; j < per_cell; ++j) {
      const double rise = soil.cum_exfil[j] - m.exfil_seen[j];
      m.exfil_seen[j] = soil.cum_exfil[j];
      m.exfil_water[j] = rise > 0.0 ? rise : 0.0;
    }
    moves.exfil_water = m.exfil_water.data();
    moves.exfiltrating = soil.yes_exfil.data();
  }
  m.soil_interval = dt;
  for (int k = 1; k <= c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    soil_layer_contam_decay(c, k, m.geometry, dx, dt);
    // Groundwater below a soil pool carries the pool's water species, if any
    // (row 0 holds no constituent: zero everywhere).
    const int water = m.first_nutrient > 0 ? nsm_species_map(m.first_nutrient, k, false) : k;
    const double* gw = c.gw_contam_conc[std::size_t(water >= 1 ? water : 0)].data();
    soil_layers_contam_update(m.soil_work, c, k, m.geometry, moves, gw,
                              c.constituent_type[kk] != 1, dx);
    const soil_layer_booking b = book_soil_layers(c, k, m.geometry);
    constituent_totals& r = m.run[kk];
    constituent_event_totals& e = m.event[kk];
    r.soil_exfil_mass += b.exfiltrated / 1000.0;
    e.soil_exfil_mass += b.exfiltrated / 1000.0;
    r.soil_infil_mass += b.infiltrated / 1000.0;
    e.soil_infil_mass += b.infiltrated / 1000.0;
    r.soil_exchange_mass += b.exchanged / 1000.0;
    r.soil_sed_mass += b.sediment / 1000.0;
    e.soil_sed_mass += b.sediment / 1000.0;
    e.soil_release_mass += b.released / 1000.0;
    e.soil_uptake_mass += b.taken_up / 1000.0;
    const double decay = c.soil_decay_dmt[kk] / 1000.0;
    r.soil_mass_decay += decay;
    e.soil_decay_mass += decay;
    r.global_mass_decay += decay;
    const double leached = c.soil_leach_dmt[kk] / 1000.0;
    r.soil_mass_leached += leached;
    e.soil_leached_mass += leached;
    r.global_mass_out += leached;
    const double gained = c.soil_gw_gain_dmt[kk] / 1000.0;
    r.soil_gw_mass_in += gained;
    e.soil_gw_mass_in += gained;
    c.soil_decay_dmt[kk] = 0.0;
    c.soil_leach_dmt[kk] = 0.0;
    c.soil_gw_gain_dmt[kk] = 0.0;
  }
  // The water moved once for every constituent: the accumulators start
  // again only after the last one has moved with it.
  if (redistribution || layered) {
    std::fill(soil.drain1.begin(), soil.drain1.end(), 0.0);
    std::fill(soil.drain2.begin(), soil.drain2.end(), 0.0);
  }
  run.soil_contam.last = run.current_time;
  run.soil_contam.next = redistribution || layered ? run.evap.next : run.infiltration.next;
  if (state.quality.nsm && reached(m.nsm_soil, run.current_time)) {
    // The nutrient soil clock: a number of soil-water steps.
    const process_clock& water = redistribution || layered ? run.evap : run.infiltration;
    m.nsm_kinetics_interval = dt;
    m.nsm_soil.last = run.current_time;
    m.nsm_soil.next = run.current_time + water.interval_d * m.soil_kinetics_factor;
  }
}

void overland_contam_step(model_state& state) {
  contaminant_model& m = state.quality.contam;
  if (!m.on) return;
  run_control& run = state.run;
  const double now = run.current_time;
  if (!run.ov_contam.due(now)) return;
  if (!m.started) start_clocks(state);
  constituent_state& c = m.c;
  const int cells = state.grid.cells;
  const double dx = state.grid.dx;
  const double base = run.overland.interval_d;
  const double* depth = state.surface.depth.data();
  // The rain, the water and the decay of a lake's cells are the lake's.
  const int* lake = lake_cells_of(state);

  // Rain: over the interval the rain step applied this pass, so that the
  // loaded mass is the rain's concentration times the water it brought.
  if (run.event_data_flag == 1) {
    const double interval = seconds_since(run.ov_contam, now);
    const double* rate = state.input.interception ? state.surface.ri_eff.data()
                                                  : state.surface.rain_rate.data();
    for (int k = 1; k <= c.constituents; ++k)
      contam_rain_loading(c, k, dx, interval, rate, m.depth_last.data(), lake);
    m.rain_interval = interval;
  }

  m.infiltration_interval = seconds_since(m.infiltration, now);
  for (int k = 1; k <= c.constituents; ++k)
    contam_infiltration_accumulate(c, k, m.ov_infil_vol.data(), depth, lake);
  std::fill(m.ov_infil_vol.begin(), m.ov_infil_vol.end(), 0.0);
  m.infiltration.last = now;

  if (m.present && reached(m.exchange, now)) {
    m.exchange_interval = seconds_since(m.exchange, now);
    const double* water = nullptr;
    if (m.soil_transport) {
      // The water of the top layer the exchange mixes with.
      const double area = dx * dx;
      const bool store = state.input.inf_redist || state.input.inf_layered_soil;
      for (int j = 1; j <= cells; ++j)
        m.mixing_water[std::size_t(j)] =
            store ? c.theta.at(j, 1) * m.geometry.thickness.at(j, 1) * area
                  : c.mixing_depth / 100.0 * soil_water_content(state, j) * area;
      water = m.mixing_water.data();
    }
    for (int k = 1; k <= c.constituents; ++k)
      contam_soil_exchange(c, k, dx, m.exchange_interval, depth, lake, water);
    m.exchange.last = now;
    m.exchange.next = now + base * (m.soil_transport ? 1.0 : m.kinetics_factor);
  }

  if (m.present && reached(m.decay, now)) {
    m.decay_interval = seconds_since(m.decay, now);
    for (int k = 1; k <= c.constituents; ++k) {
      if (c.constituent_type[std::size_t(k)] != 1) continue;
      contam_decay_accumulate(c, k, dx, m.decay_interval, m.depth_last.data(), depth, lake);
    }
    m.decay.last = now;
    m.decay.next = now + base * m.kinetics_factor;
  }

  if (state.quality.nsm) nutrient_surface_fluxes(state);

  m.outlet_interval = seconds_since(m.outlet, now);
  if (!state.input.channel_routing) {
    const double volume = state.surface.outflow_volume - m.outflow_seen;
    m.outflow_seen = state.surface.outflow_volume;
    const int outlet = state.grid.outlet_cell;
    if (outlet > 0) {
      for (int k = 1; k <= c.constituents; ++k)
        c.ov_exit_mass[std::size_t(k)] += c.ov_contam_conc[std::size_t(k)][std::size_t(outlet)] * volume;
    }
  } else {
    // What each cell gave the channels over its banks carries the cell's
    // concentration; water the channels give back carries none of this
    // model's mass.
    std::vector<double>& given = state.channel.cell_lat_volume;
    if (given.size() == std::size_t(cells) + 1) {
      for (int j = 1; j <= cells; ++j) {
        const double v = given[std::size_t(j)];
        if (v > 0.0) {
          for (int k = 1; k <= c.constituents; ++k)
            m.cell_qlat_mass[std::size_t(k)][std::size_t(j)] +=
                c.ov_contam_conc[std::size_t(k)][std::size_t(j)] * v;
        }
        given[std::size_t(j)] = 0.0;
      }
      note_bank_exchange(state);
    }
  }
  m.outlet.last = now;

  run.ov_contam.last = now;
  run.ov_contam.next = run.overland.next;
}

void cell_contam_mass_step(model_state& state) {
  contaminant_model& m = state.quality.contam;
  if (!m.on || !m.started) return;
  run_control& run = state.run;
  const double now = run.current_time;
  if (!reached(m.cell, now)) return;
  const double a = seconds_since(m.cell, now);
  if (!(a > 0.0)) return;
  constituent_state& c = m.c;
  const int cells = state.grid.cells;
  const grid_state& g = state.grid;
  contam_grid grid = contam_grid_of(state);
  contam_intervals intervals;
  intervals.decay = m.decay_interval;
  intervals.infiltration = m.infiltration_interval;
  intervals.uptake = m.exchange_interval;
  intervals.outlet = m.outlet_interval;
  intervals.nsm_soil_flux = m.nsm_soil_flux_interval;
  intervals.exfiltration = m.soil_interval;
  const bool channels = state.input.channel_routing != 0;
  const int* lake = lake_cells_of(state);
  chan_contam_state& lakes = state.quality.chan_contam;
  grid.lake = lake;

  for (int k = 1; k <= c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    if (c.constituent_type[kk] == 3) continue;
    if (lake != nullptr) {
      grid.lake_conc = lakes.lake_conc[kk].data();
      grid.lake_inflow = lakes.lake_ov_inflow_mass[kk].data();
    }
    // The rain's mass is in the cell already; only its booking is shared.
    std::vector<double>& rain = c.cell_precip_mass[kk];
    for (int j = 1; j <= cells; ++j) {
      const double share = step_share(a, m.rain_interval, rain[std::size_t(j)]);
      rain[std::size_t(j)] -= share;
      c.ov_precip_dmt[kk] += share;
    }
    double negative = 0.0;
    sed_contam_rows sed{};
    if (m.sed.on) {
      sed.release = m.sed.ov_sed_release_mass[kk].data();
      sed.total = m.sed.ov_tot_cell_mass[kk].data();
      sed.release_dmt = &m.sed.release_dmt[kk];
    }
    cell_contam_mass_update(c, k, m.work, grid, a, m.sweep_order, intervals, g.outlet_cell,
                            &c.ov_exit_mass[kk], lake, m.soil_transport != 0, negative,
                            channels ? m.cell_qlat_mass[kk].data() : nullptr,
                            m.sed.on ? &sed : nullptr);
    const bool carried = state.quality.chan_contam.on != 0;
    if (channels && carried)
      for (int j = 1; j <= cells; ++j)
        pass_cell_mass_to_nodes(state, k, j, m.work.exit_taken[std::size_t(j)]);
    book_cell_step(m, k, channels, carried, negative, m.work.to_lakes);
  }
  m.cell.last = now;
  m.cell.next = now + run.overland.interval_d;
  m.sweep_order = m.sweep_order == 1 ? 2 : 1;
  for (int j = 1; j <= cells; ++j)
    m.depth_last[std::size_t(j)] = state.surface.depth[std::size_t(j)];
}

void constituent_event_start(model_state& state) {
  contaminant_model& m = state.quality.contam;
  if (!m.on) return;
  const int cells = state.grid.cells;
  for (int k = 1; k <= m.c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    constituent_event_totals& e = m.event[kk];
    e = constituent_event_totals{};
    e.ov_mass_init = sum_cells(m.c.ov_contam_mass[kk], cells) / 1000.0;
    if (m.soil_transport) {
      e.soil_mass_init = soil_mass_sum(m, k, cells) / 1000.0;
    } else {
      e.ov_land_init = sum_cells(m.c.land_surface_mass[kk], cells) / 1000.0;
    }
  }
  channel_contam_event_start(state);
}

void constituent_event_end(model_state&) {}

// The cells' masses, not concentration x depth: the channels take water
// over the banks after the cell mass step, so the depth at the end of a pass
// no longer holds the mass the concentration was formed over.
double constituent_surface_mass(const model_state& state, int k) {
  return sum_cells(state.quality.contam.c.ov_contam_mass[std::size_t(k)], state.grid.cells) /
         1000.0;
}

double constituent_land_mass(const model_state& state, int k) {
  return sum_cells(state.quality.contam.c.land_surface_mass[std::size_t(k)], state.grid.cells) /
         1000.0;
}

double constituent_soil_mass(const model_state& state, int k) {
  return soil_mass_sum(state.quality.contam, k, state.grid.cells) / 1000.0;
}

double constituent_attached_mass(const model_state& state, int k) {
  const contaminant_model& m = state.quality.contam;
  if (!m.sed.on) return 0.0;
  const std::vector<double>& total = m.sed.ov_tot_cell_mass[std::size_t(k)];
  const std::vector<double>& dissolved = m.c.ov_contam_mass[std::size_t(k)];
  double s = 0.0;
  for (int j = 1; j <= state.grid.cells; ++j) s += total[std::size_t(j)] - dissolved[std::size_t(j)];
  return s / 1000.0;
}

double constituent_in_transit(const model_state& state, int k) {
  const contaminant_model& m = state.quality.contam;
  const std::size_t kk = std::size_t(k);
  double g = sum_cells(m.c.cell_exfil_mass[kk], state.grid.cells);
  if (m.soil_transport)
    g += sum_cells(m.c.soil_top_mass[kk], state.grid.cells) -
         sum_cells(m.c.soil_exchange_mass[kk], state.grid.cells);
  if (m.sed.on) g += sum_cells(m.c.ov_sed_soil_mass[kk], state.grid.cells);
  return g / 1000.0;
}
