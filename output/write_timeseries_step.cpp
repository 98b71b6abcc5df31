// One row of every time-series output at each hydrograph interval: the Q7
// inflow and segment flux rows (whose sums take every pass), the outlet
// hydrograph and its six-digit twin, the outlet sediment hydrograph, the
// discharges and depths at the listed stream locations, depth and discharge
// at the listed cells, the soil water at the listed soil cells, a record of
// each channel link/node file and the XY point depths. The outlet rows are
// flushed, so a run stopped part-way keeps every outlet row written before
// the stop.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/julian.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "output/linknode_file.h"
#include "output/nsm_outputs.h"
#include "output/output_steps.h"
#include "output/q7_flux.h"
#include "output/xy_outputs.h"
#include "quality/chan_sed_contam.h"
#include "output/timeseries_rows.h"

namespace {

// Minutes in a year: the decimal-year column takes every year 1900 + 4k as a
// leap year.
constexpr double leap_year_minutes = 527040.0;
constexpr double common_year_minutes = 525600.0;

// LAKE_OUTPUT: each channel lake's level and volume, after elapsed minutes
// in event runs and the calendar time in long-term runs.
void write_lake_row(const model_state& state, bool long_term) {
  std::FILE* file = state.output.lake_output.stream;
  const run_control& run = state.run;
  if (long_term) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    calendar_date(run.current_time, &year, &month, &day, &hour, &minute, &seconds);
    std::fprintf(file, "%4d %2d %2d %2d %2d ", year, month, day, hour, minute);
  } else {
    std::fprintf(file, "%14.8lf ", run.elapsed_minutes);
  }
  const channel_state& chan = state.channel;
  for (int k = 1; k <= chan.lake_count; ++k)
    std::fprintf(file, "%9.3lf  %9.3lf ", chan.lake_elev[std::size_t(k)],
                 chan.lake_volume[std::size_t(k)]);
  std::fputc('\n', file);
}

// How the location rows of this pass are written.
struct location_row_form {
  bool long_term = false;
  bool cfs = false;       // QOUT_CFS: discharges in cubic feet per second
  double time = 0.0;      // elapsed minutes, or the long-term column
  double q_factor = 1.0;  // m3/s to the row's discharge unit
};

// The time field that starts every location row: elapsed minutes in event
// runs, the long-term column in long-term runs; gap follows the number.
void write_location_time(std::FILE* file, const location_row_form& form, const char* gap) {
  std::fprintf(file, form.long_term ? "%16.8lf%s" : "%14.8lf%s", form.time, gap);
}

// The value of a node array at stream location k.
double at_location(const channel_state& chan, const std::vector<double>& values, int k) {
  return values[std::size_t(chan.node_address(chan.hyd_loc_link[k], chan.hyd_loc_node[k]))];
}

// Per-cell value, 0 for a location off the watershed (cell 0) or an array
// the run did not size.
double cell_value(const std::vector<double>& values, int cell) {
  return cell >= 0 && std::size_t(cell) < values.size() ? values[std::size_t(cell)] : 0.0;
}

// OUT_HYD_LOCATION: discharge at each stream location.
void write_hyd_location_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.hyd_location.stream;
  const channel_state& chan = state.channel;
  write_location_time(file, form, " ");
  for (int k = 1; k <= chan.hyd_locations; ++k)
    std::fprintf(file, "%12.6lf ", at_location(chan, chan.qp, k) * form.q_factor);
  std::fputc('\n', file);
}

// OUT_CELLDEPDIS_LOCATION: depth at each listed cell, then the magnitude of
// its right-face and lower-face discharges. Runs in cfs write the
// discharges only.
void write_celldepdis_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.celldepdis_location.stream;
  const channel_state& chan = state.channel;
  const surface_state& sf = state.surface;
  write_location_time(file, form, "     ");
  if (!form.cfs) {
    for (int k = 1; k <= chan.cell_locations; ++k)
      std::fprintf(file, "%12.6lf  ", cell_value(sf.depth, chan.cell_loc_number[k]));
  }
  std::fputs("        ", file);
  for (int k = 1; k <= chan.cell_locations; ++k) {
    const int cell = chan.cell_loc_number[k];
    // Under the ADE the mean over the last two routed steps.
    const bool pair = chan.cell_loc_pair != 0;
    const double qx = pair ? chan.cell_loc_qx[k] : cell_value(sf.flux_x, cell);  // m3/s
    const double qy = pair ? chan.cell_loc_qy[k] : cell_value(sf.flux_y, cell);
    std::fprintf(file, "%12.6lf  ", std::sqrt(qx * qx + qy * qy) * form.q_factor);
  }
  std::fputc('\n', file);
}

// SUPERLINK_JUNC_FLOW: the flow of each listed superjunction (its grate
// inflow, or at an outlet minus its mean outflow).
void write_superlink_junc_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.superlink_junc_flow.stream;
  const superlink_state& sl = state.subsurface.superlink;
  write_location_time(file, form, " ");
  for (std::size_t k = 1; k < sl.sjunc.size(); ++k) {
    const std::size_t j = std::size_t(sl.sjunc[k]);
    const double q = j < sl.net.Q_junc.size() ? sl.net.Q_junc[j] : 0.0;
    std::fprintf(file, "%12.6lf ", q * form.q_factor);
  }
  std::fputc('\n', file);
}

// SUPERLINK_NODE_FLOW: the lateral flow into each listed superlink node;
// graded superlinks translate the listed node to its computational one.
void write_superlink_node_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.superlink_node_flow.stream;
  const superlink_state& sl = state.subsurface.superlink;
  const superlink_network& net = sl.net;
  const bool graded = state.input.settings.superlink_c_opt != 0;
  write_location_time(file, form, " ");
  for (std::size_t e = 1; e < sl.sl_link.size(); ++e) {
    const int k = sl.sl_link[e];
    int i = sl.sl_node[e];
    if (graded) i = i <= net.otc_node.rows && k <= net.otc_node.cols ? net.otc_node(i, k) : 0;
    const bool inside = i >= 1 && i <= net.Q_node.rows && k >= 1 && k <= net.Q_node.cols;
    std::fprintf(file, "%12.6lf ", (inside ? net.Q_node(i, k) : 0.0) * form.q_factor);
  }
  std::fputc('\n', file);
}

// OUT_DEP_LOCATION: stream depth at each stream location.
void write_dep_location_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.dep_location.stream;
  const channel_state& chan = state.channel;
  write_location_time(file, form, " ");
  for (int k = 1; k <= chan.hyd_locations; ++k)
    std::fprintf(file, "%12.6lf ", at_location(chan, chan.chan_depth, k));
  std::fputc('\n', file);
}

// OUT_CON_LOCATION and OUT_MASS_LOCATION: per stream location, each
// contaminant's node concentration or dissolved mass, the mass followed by
// what the node's fines hold when constituents ride on them.
void write_contam_location_row(const model_state& state, const location_row_form& form,
                               std::FILE* file, const std::vector<std::vector<double>>& values,
                               bool attached = false) {
  const channel_state& chan = state.channel;
  const int contaminants = state.quality.chan_contam.constituents;
  write_location_time(file, form, " ");
  for (int k = 1; k <= chan.hyd_locations; ++k) {
    for (int c = 1; c <= contaminants && std::size_t(c) < values.size(); ++c) {
      std::fprintf(file, "%12.6lf ", at_location(chan, values[std::size_t(c)], k));
      if (attached)
        std::fprintf(file, "%12.6lf ",
                     node_attached_mass(state, c,
                                        chan.node_address(chan.hyd_loc_link[std::size_t(k)],
                                                          chan.hyd_loc_node[std::size_t(k)])));
    }
  }
  std::fputc('\n', file);
}

// OUT_GWFLUX_LOCATION: the stream-aquifer exchange of each listed node over
// its length, into the stream +.
void write_gwflux_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.gwflux_location.stream;
  const channel_state& chan = state.channel;
  write_location_time(file, form, " ");
  for (int k = 1; k <= chan.gwflux_locations; ++k) {
    const int link = chan.gwflux_link[std::size_t(k)];
    const std::size_t a = std::size_t(chan.node_address(link, chan.gwflux_node[std::size_t(k)]));
    const double q = a < chan.qriv.size() ? chan.qriv[a] * chan.dx[std::size_t(link)] : 0.0;
    std::fprintf(file, "%12.6lf ", q * form.q_factor);
  }
  std::fputc('\n', file);
}

// GW_WELL_LEVEL: the water table under each observation well; a well off
// the watershed reads 0.
void write_well_level_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.well_level.stream;
  const groundwater_state& gw = state.subsurface.gw;
  const grid_state& grid = state.grid;
  write_location_time(file, form, " ");
  for (int k = 1; k <= gw.obs_wells; ++k) {
    const int cell = grid.mask[gw.well_row[std::size_t(k)]][gw.well_column[std::size_t(k)]];
    std::fprintf(file, "%12.6lf ", cell_value(gw.elevgw, cell));
  }
  std::fputc('\n', file);
}

// One record of each channel link/node file the project asked for. Lake
// links show their lake's water-surface elevation.
void write_channel_linknode_records(model_state& state) {
  output_state& out = state.output;
  const channel_state& chan = state.channel;
  linknode_layout layout;
  layout.links = chan.links;
  layout.node_count = chan.nx.data();
  layout.ltype = chan.ltype.data();
  layout.stride = chan.stride();
  layout.lake_number = chan.lake2link.empty() ? nullptr : chan.lake2link.data();
  layout.lake_value = chan.lake_elev.empty() ? nullptr : chan.lake_elev.data();
  layout.lake_count = chan.lake_count;

  if (out.chan_depth.is_open()) {
    write_linknode_record(out.chan_depth.stream, layout, out.chan_depth_records++, chan.yp.data(),
                          chan.bel.data(), linknode_kind::difference);
  }
  if (out.chan_discharge.is_open()) {
    write_linknode_record(out.chan_discharge.stream, layout, out.chan_discharge_records++,
                          chan.qp.data(), nullptr, linknode_kind::plain);
  }
  if (out.chan_velocity.is_open()) {
    write_linknode_record(out.chan_velocity.stream, layout, out.chan_velocity_records++,
                          chan.qp.data(), chan.area.data(), linknode_kind::ratio);
  }
  if (out.chan_stage.is_open()) {
    write_linknode_record(out.chan_stage.stream, layout, out.chan_stage_records++, chan.yp.data(),
                          nullptr, linknode_kind::plain);
  }
  chan_sediment_state& cs = state.quality.chan_sediment;
  if (out.chan_sed_flux.is_open() && cs.on) {
    // Every class's flux of the step, in cm3/s.
    for (int l = 1; l <= chan.links; ++l) {
      for (int k = 1; k <= chan.nx[l]; ++k) {
        const int a = chan.node_address(l, k);
        for (int s = 1; s <= cs.classes + 1; ++s)
          cs.linknode_sum[a] += cs.qsmax[cs.flx(a, s)] * 1e6;
      }
    }
    write_linknode_record(out.chan_sed_flux.stream, layout, out.chan_sed_flux_records++,
                          cs.linknode_sum.data(), nullptr, linknode_kind::plain);
    std::fill(cs.linknode_sum.begin(), cs.linknode_sum.end(), 0.0);
  }
}

// The outlet sediment row of a run with channel sediment: the fines' rates,
// then each sand slot's, and the outlet's suspended solids.
void write_channel_sediment_outlet(const model_state& state, const outlet_row_form& form,
                                   double time) {
  const chan_sediment_state& cs = state.quality.chan_sediment;
  const sediment_state& sed = state.quality.sediment;
  const run_control& run = state.run;
  const double factor = form.cfs ? run.cfs_factor : 1.0;
  std::FILE* f = sed.outlet_file.stream;
  if (form.long_term || (form.cfs && !form.strict_julian)) {
    std::fprintf(f, "%16.8lf", time);
  } else if (form.cfs) {
    std::fprintf(f, "%16.8lf ", time);
  } else {
    std::fprintf(f, "%16.10lf", time);
  }
  for (int m = 1; m <= cs.fine; ++m)
    std::fprintf(f, " %16.10lf", cs.outlet_wash_rate[std::size_t(m)] * factor);
  for (int s = 1; s <= cs.sand + 1; ++s)
    std::fprintf(f, " %16.10lf", cs.outlet_sand_rate[std::size_t(s)] * factor);
  std::fputc('\n', f);
  if (sed.outlet_tss_file.is_open()) {
    const channel_state& chan = state.channel;
    const int out = chan.node_address(chan.links, chan.nx[chan.links]);
    std::fprintf(sed.outlet_tss_file.stream, "%16.4lf %16.4lf \n", time,
                 cs.chan_sed_conc[cs.cls(out, 0)]);
  }
}

// OUT_SED_LOC and OUT_TSS_LOC: each sediment location's fluxes (fines, then
// sand slots) and its suspended solids.
void write_sediment_location_rows(const model_state& state, const location_row_form& form) {
  const chan_sediment_state& cs = state.quality.chan_sediment;
  const channel_state& chan = state.channel;
  if (cs.loc_file.is_open()) {
    std::FILE* f = cs.loc_file.stream;
    write_location_time(f, form, " ");
    if (state.input.channel_routing) {
      for (int i = 1; i <= cs.locations; ++i) {
        const int a = chan.node_address(cs.loc_link[std::size_t(i)], cs.loc_node[std::size_t(i)]);
        for (int s = 1; s <= cs.fine + cs.sand + 1; ++s)
          std::fprintf(f, "%16.10lf ", cs.qsmax[cs.flx(a, s)] * form.q_factor);
      }
    }
    std::fputc('\n', f);
  }
  if (cs.loc_tss_file.is_open()) {
    std::FILE* f = cs.loc_tss_file.stream;
    write_location_time(f, form, " ");
    for (int i = 1; i <= cs.locations; ++i) {
      const int a = chan.node_address(cs.loc_link[std::size_t(i)], cs.loc_node[std::size_t(i)]);
      std::fprintf(f, "%16.4lf", cs.chan_sed_conc[cs.cls(a, 0)]);
    }
    std::fputc('\n', f);
  }
}

// One record of a pipe file: per superlink its pipe count + 1, then the
// value of each pipe (or node) i = 1..count.
template <class value_of>
void write_pipe_record(std::FILE* file, int& records, const superlink_network& net, int extra,
                       value_of value) {
  std::fprintf(file, "TS    %d\n", records++);
  for (int k = 1; k <= net.n_slink; ++k) {
    const int n = net.superlink_cnodes[std::size_t(k)];
    std::fprintf(file, "%d   ", n + 1);
    for (int i = 1; i <= n + extra; ++i) std::fprintf(file, "1  %6.5lf   ", value(i, k));
    std::fputs("\n", file);
  }
  std::fputs("\n", file);
}

void write_pipe_records(model_state& state) {
  output_state& out = state.output;
  const superlink_state& sl = state.subsurface.superlink;
  const superlink_network& net = sl.net;
  if (sl.work.Q.empty()) return;  // the network has not stepped yet
  if (out.pipe_flow.is_open())
    write_pipe_record(out.pipe_flow.stream, out.pipe_flow_records, net, 0,
                      [&](int i, int k) { return sl.work.Q(i, k); });
  if (out.pipe_head.is_open())
    write_pipe_record(out.pipe_head.stream, out.pipe_head_records, net, 1, [&](int i, int k) {
      return net.slink_node_Zinv(i, k) + net.slink_node_depth(i, k);
    });
  if (out.pipe_tile.is_open() && net.superlink_leaky)
    write_pipe_record(out.pipe_tile.stream, out.pipe_tile_records, net, 0,
                      [&](int i, int k) { return sl.links.superlink_tile_flow(i, k); });
}

}  // namespace

double long_term_time(const run_control& run, bool strict_julian) {
  if (strict_julian) return run.current_time;
  const double minutes_in_year =
      (run.year - 1900) % 4 == 0 ? leap_year_minutes : common_year_minutes;
  return run.year + (run.day_of_year * 1440.0 + run.hour * 60.0 + run.minute) / minutes_in_year;
}

double outlet_row_time(const outlet_row_form& form, const run_control& run) {
  if (form.long_term) return long_term_time(run, form.strict_julian);
  return form.strict_julian ? run.current_time : run.elapsed_minutes;
}

void write_outlet_row(std::FILE* file, const outlet_row_form& form, double time, double q) {
  if (form.long_term) {
    std::fprintf(file, "%16.8lf %11.4lf\n", time, q);
  } else if (form.strict_julian) {
    std::fprintf(file, form.cfs ? "%16.8lf %10.3lf\n" : "%16.8lf %9.3lf\n", time, q);
  } else {
    std::fprintf(file, form.cfs ? "%8.2lf %10.3lf\n" : "%8.2lf %9.3lf\n", time, q);
  }
}

namespace {

// The Q7 segment sums take every pass, not only the passes that write.
void accumulate_q7_pass(model_state& state) {
  const input_state& in = state.input;
  if (!in.q7_input_flag || !in.settings.q7_fluxes) return;
  const grid_state& g = state.grid;
  const surface_state& sf = state.surface;
  const channel_state& chan = state.channel;
  if (sf.flux_x.empty() || sf.flux_y.empty()) return;
  const bool routing = in.channel_routing && !chan.qp.empty();
  accumulate_q7_flux(state.output.q7, sf.flux_x.data(), sf.flux_y.data(), g.cells,
                     g.rightcon.data(), g.belowcon.data(), routing,
                     routing ? chan.qp.data() : nullptr, chan.stride(), g.dx);
}

// Q7_INPUT: day of year with its fraction and the outlet discharge in m3/s
// whatever the run's discharge unit, narrowed to single precision as the
// reading model expects.
void write_q7_rows(model_state& state) {
  const input_state& in = state.input;
  if (!in.q7_input_flag) return;
  const run_control& run = state.run;
  const double jday = run.day_of_year + run.hour / 24.0 + run.minute / 1440.0;
  if (in.settings.q7_input_given && in.q7_input_file.is_open()) {
    std::fprintf(in.q7_input_file.stream, "%-8.1lf %-7.1f\n", jday,
                 static_cast<double>(static_cast<float>(run.q_out)));
  }
  if (in.settings.q7_fluxes) write_q7_value(state.output.q7, jday);
}

// Water content of the long-term store at cell c as two zones: the upper
// zone Z deep (the top layer; the first soil layer of the layered method)
// and the wetted soil below it down to the front F, cm. A front above Z has
// only the first zone, and the second is marked 999.99. A depth of zero
// gives a content of zero.
void write_store_zones(std::FILE* file, const model_state& state, int c) {
  const soil_state& soil = state.soil;
  const input_state& in = state.input;
  double z = in.top_layer_depth;
  double f = 0.0;
  if (in.inf_layered_soil) {
    z = soil.soil_types[std::size_t(soil.soiltype[std::size_t(c)])].d1;
    f = soil.wetdep[std::size_t(c)];
  } else {
    // The infiltrated depth spread over the content it raised.
    const double raised = soil.front_theta[std::size_t(c)] - soil.initial_theta[std::size_t(c)];
    if (raised > 1e-16) f = soil.cum_inf[std::size_t(c)] * 100.0 / raised;
  }
  const auto content = [](double water, double depth) {
    return depth > 1e-16 ? water / depth : 0.0;
  };
  const double m1 = soil.m1[std::size_t(c)], m2 = soil.m2[std::size_t(c)];
  if (z <= f)
    std::fprintf(file, "%12.6lf %12.6lf ", content(m1, z), content(m2, f - z));
  else
    std::fprintf(file, "%12.6lf %12.6lf ", content(m1, f), 999.99);
}

// OUT_THETA_LOCATION: soil water at each listed cell: the listed nodes of a
// Richards column, the two zones of a long-term store, else the cell's
// moisture. A location off the watershed writes zeros.
void write_theta_location_row(const model_state& state, const location_row_form& form) {
  std::FILE* file = state.output.theta_location.stream;
  const output_state& out = state.output;
  const input_state& in = state.input;
  const soil_state& soil = state.soil;
  const bool zones = in.long_term && (in.inf_redist || in.inf_layered_soil);
  write_location_time(file, form, " ");
  for (int k = 1; k <= out.theta_cells; ++k) {
    const int c = out.theta_cell[std::size_t(k)];
    if (in.inf_richards) {
      // A listed node below the cell's column writes 0.
      const richards_soil& rs = soil.richards;
      const int nodes = c > 0 ? rs.types[std::size_t(rs.soil_type[std::size_t(c)])].n3 : 0;
      for (int j = 1; j <= out.theta_count[std::size_t(k)]; ++j) {
        const int node = out.theta_ids[k][j];
        const bool inside = node >= 1 && node <= nodes;
        std::fprintf(file, "%12.6lf ",
                     inside ? rs.theta[std::size_t(c) * std::size_t(rs.row) + std::size_t(node)]
                            : 0.0);
      }
    } else if (zones) {
      if (c > 0)
        write_store_zones(file, state, c);
      else
        std::fprintf(file, "%12.6lf %12.6lf ", 0.0, 0.0);
    } else {
      std::fprintf(file, "%12.6lf ", cell_value(soil.surface_moisture, c));
    }
  }
  std::fputc('\n', file);
}

}  // namespace

void write_timeseries_step(model_state& state) {
  accumulate_q7_pass(state);
  const run_control& run = state.run;
  if (run.hyd_interval < 1 || run.step % run.hyd_interval != 0) return;
  if (parallel.partition_index != 0) return;
  output_state& out = state.output;
  const input_state& in = state.input;
  outlet_row_form form;
  form.long_term = in.long_term != 0;
  form.strict_julian = in.settings.strict_julian_date != 0;
  form.cfs = run.qout_cfs != 0;
  const double time = outlet_row_time(form, run);
  const double q = form.cfs ? run.q_out * run.cfs_factor : run.q_out;  // m3/s or cfs

  write_q7_rows(state);

  if (out.outlet_hydro.is_open()) write_outlet_row(out.outlet_hydro.stream, form, time, q);
  if (out.sig_outlet_hydro.is_open()) {
    std::fprintf(out.sig_outlet_hydro.stream, "%8.2lf %12.6lf\n", time, q);
  }
  ++out.outlet_rows;
  // The sediment that left through the outlet face in the step, as a rate.
  const sediment_state& sed = state.quality.sediment;
  const bool channel_sediment = state.quality.chan_sediment.on != 0;
  if (channel_sediment && sed.outlet_file.is_open()) {
    write_channel_sediment_outlet(state, form, time);
  } else if (sed.on && sed.outlet_file.is_open() && run.dt > 0.0) {
    const double rate = sed.outlet_step_volume / run.dt * (form.cfs ? run.cfs_factor : 1.0);
    std::fprintf(sed.outlet_file.stream, "%16.8lf %16.10lf\n", time, rate);
  }

  location_row_form location;
  location.long_term = form.long_term;
  location.cfs = form.cfs;
  location.time = form.long_term ? long_term_time(run, form.strict_julian) : run.elapsed_minutes;
  location.q_factor = form.cfs ? run.cfs_factor : 1.0;
  if (out.hyd_location.is_open()) write_hyd_location_row(state, location);
  if (out.celldepdis_location.is_open()) write_celldepdis_row(state, location);
  if (out.superlink_junc_flow.is_open()) write_superlink_junc_row(state, location);
  if (out.superlink_node_flow.is_open()) write_superlink_node_row(state, location);
  if (out.dep_location.is_open()) write_dep_location_row(state, location);
  if (state.quality.chan_contam.on) {
    if (out.con_location.is_open())
      write_contam_location_row(state, location, out.con_location.stream,
                                state.quality.chan_node_conc);
    if (out.mass_location.is_open())
      write_contam_location_row(state, location, out.mass_location.stream,
                                state.quality.chan_node_mass,
                                state.input.settings.sediment_contam != 0);
  }
  if (out.well_level.is_open()) write_well_level_row(state, location);
  if (out.gwflux_location.is_open()) write_gwflux_row(state, location);
  if (out.theta_location.is_open()) write_theta_location_row(state, location);
  if (channel_sediment) write_sediment_location_rows(state, location);
  if (out.lake_output.is_open() && state.channel.channel_lakes)
    write_lake_row(state, form.long_term);

  if (out.outlet_hydro.is_open()) std::fflush(out.outlet_hydro.stream);
  if (out.sig_outlet_hydro.is_open()) std::fflush(out.sig_outlet_hydro.stream);
  if (sed.outlet_file.is_open()) std::fflush(sed.outlet_file.stream);

  if (in.channel_routing) write_channel_linknode_records(state);
  if (in.settings.storm_sewer_given) write_pipe_records(state);
  if (in.nutrients) {
    write_nsm_hydrograph_rows(state);
    write_nsm_linknode_records(state);
  }
  for (const std::unique_ptr<linknode_writer>& w : out.contam_links) w->write_step();
  const channel_state& chan = state.channel;
  write_xy_output_row(out.xy, state.surface.depth.empty() ? nullptr : state.surface.depth.data(),
                      chan.qp.empty() ? nullptr : chan.qp.data(), chan.stride(),
                      run.current_time,
                      state.subsurface.gw.elevgw.empty() ? nullptr : state.subsurface.gw.elevgw.data());
}
