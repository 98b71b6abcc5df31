// Constituents attached to the fine suspended sediment of the overland water.
// Each due pass, for every constituent: detached fine soil brings the top
// soil layer's sorbed mass into the cell, the face volumes the erosion step
// carried move attached mass upwind between cells, settled sediment gives
// its attached mass back to the soil, what reached the outlet leaves, and
// each cell's total is split again between water and sediment. The water's
// share waits in the release accumulator for the cell mass step, which adds
// the dissolved mass back into the total after moving it, so the total spans
// water and sediment again at the next pass.
//
// Every transfer here moves mass from one store to another (soil, cell
// total, neighbour, channel lake, outlet), so the sum over stores is kept
// exactly; where a store would go negative only what it holds moves. The
// cells a channel lake holds are the lake's: they neither pick up, carry
// nor settle attached mass of their own, and a cell the lake takes gives
// the lake what its fines held.

#include "quality/sed_contam_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "run/model_state.h"
#include "quality/quality_steps.h"
#include "quality/sed_contam_partition.h"
#include "surface/overland_step.h"

namespace {

constexpr double tiny = 1e-16;

struct sed_pass {
  sediment_state& sed;
  sed_contam_state& s;
  constituent_state& c;
  const soil_layer_geometry& geometry;
  const grid_state& g;
  const double* h;
  double dx;
  int cells;
  int classes;
  int outlet;  // 0 with channel routing
  const int* lake;  // per cell its channel lake, null without lakes carrying attached mass
  sed_lake_rows lake_rows;  // of the constituent in hand
};

bool in_lake(const sed_pass& p, int j) { return p.lake != nullptr && p.lake[j] > 0; }

// The partition of every cell's total of constituent k against volume.
void partition_cells(const sed_pass& p, int k, double kd, const double* volume) {
  const std::size_t kk = std::size_t(k);
  std::vector<double>& total = p.s.ov_tot_cell_mass[kk];
  std::vector<double>& dissolved = p.s.ov_cell_fraction_dissolved[kk];
  for (int j = 1; j <= p.cells; ++j) {
    if (in_lake(p, j)) continue;
    const std::size_t at = p.s.at(j, 0);
    const sed_partition_out out{p.s.ov_sed_conc.data() + at,
                                p.s.ov_sed_fract_attached[kk].data() + at,
                                p.s.ov_sed_contam_conc[kk].data() + at};
    dissolved[std::size_t(j)] =
        sed_contam_partition(p.classes, p.sed.density.data(), p.sed.sand.data(), volume + at,
                             p.h[j], p.dx, kd, total[std::size_t(j)], dissolved[std::size_t(j)],
                             out);
    if (std::isnan(out.contam_conc[0])) std::fputs("bad number", stdout);
  }
}

// Detached fine soil brings its sorbed mass into the cell's total.
void pick_up(const sed_pass& p, int k, double* volume) {
  const std::size_t kk = std::size_t(k);
  const sediment_state& sed = p.sed;
  std::vector<double>& total = p.s.ov_tot_cell_mass[kk];
  std::vector<double>& soil = p.c.ov_sed_soil_mass[kk];
  const cell_layer_table& mass = p.c.soil_mass[kk];
  const cell_layer_table& fraction = p.c.soil_fraction_dissolved[kk];
  for (int j = 1; j <= p.cells; ++j) {
    if (in_lake(p, j)) continue;
    const std::size_t jj = std::size_t(j);
    const double* eroded = sed.step_eroded.data() + sed.at(j, 0);
    double* v = volume + p.s.at(j, 0);
    double fine_share = 0.0;
    for (int i = 1; i <= p.classes; ++i) {
      v[i] += eroded[i];
      if (v[i] < -tiny) v[i] = 0.0;
      if (sed.sand[std::size_t(i)]) continue;
      v[0] += eroded[i];
      if (v[0] < -tiny) v[0] = 0.0;
      fine_share += sed.sed_fract[sed.at(j, i)][sed_element::parent];
    }
    // The layer as it stands with what the sediment already took from or
    // gave to it since the soil-layer step last ran.
    const double held = mass.at(j, 1) + soil[jj];
    const double q = sed_soil_pickup_conc(held, fraction.at(j, 1), fine_share,
                                          p.geometry.thickness.at(j, 1),
                                          p.geometry.porosity.at(j, 1), p.dx);
    for (int i = 1; i <= p.classes; ++i) {
      if (sed.sand[std::size_t(i)]) continue;
      const double lifted = q * eroded[i];
      if (!(lifted > tiny)) continue;
      total[jj] += lifted;
      soil[jj] -= lifted;
    }
    if (std::isnan(total[jj])) std::fputs("bad number", stdout);
  }
}

// Settled sediment gives its attached mass back to the soil.
void settle(const sed_pass& p, int k, double* volume) {
  const std::size_t kk = std::size_t(k);
  const sediment_state& sed = p.sed;
  std::vector<double>& total = p.s.ov_tot_cell_mass[kk];
  std::vector<double>& soil = p.c.ov_sed_soil_mass[kk];
  const std::vector<double>& conc = p.s.ov_sed_contam_conc[kk];
  for (int j = 1; j <= p.cells; ++j) {
    if (in_lake(p, j)) continue;
    const std::size_t jj = std::size_t(j);
    const double* settled = sed.step_deposited.data() + sed.at(j, 0);
    for (int i = 1; i <= p.classes; ++i) {
      if (sed.sand[std::size_t(i)]) continue;
      const double back = std::min(conc[p.s.at(j, i)] * settled[i], std::max(total[jj], 0.0));
      soil[jj] += back;
      total[jj] -= back;
      double& v = volume[p.s.at(j, i)];
      v = std::max(v - settled[i], 0.0);
      volume[p.s.at(j, 0)] -= settled[i];
    }
    if (std::isnan(total[jj])) std::fputs("bad number", stdout);
  }
}

// What the outlet discharged carries the outlet cell's attached
// concentration out of the watershed.
void discharge(const sed_pass& p, int k) {
  if (p.outlet <= 0) return;
  const std::size_t kk = std::size_t(k);
  double& total = p.s.ov_tot_cell_mass[kk][std::size_t(p.outlet)];
  const std::vector<double>& conc = p.s.ov_sed_contam_conc[kk];
  for (int i = 1; i <= p.classes; ++i) {
    if (p.sed.sand[std::size_t(i)]) continue;
    const double gone =
        std::min(conc[p.s.at(p.outlet, i)] * p.s.outlet_step[std::size_t(i)], std::max(total, 0.0));
    p.s.outlet_dmt[kk] += gone;
    total -= gone;
  }
}

// A cell a channel lake has taken holds no attached mass of its own: what
// its fines held when the lake took it joins the lake's, and its total keeps
// only its water's mass, which the cell mass step hands the lake.
void hand_lake_cells_over(const sed_pass& p, int k) {
  if (p.lake == nullptr) return;
  const std::size_t kk = std::size_t(k);
  std::vector<double>& total = p.s.ov_tot_cell_mass[kk];
  const std::vector<double>& dissolved = p.c.ov_contam_mass[kk];
  for (int j = 1; j <= p.cells; ++j) {
    if (!in_lake(p, j)) continue;
    const std::size_t jj = std::size_t(j);
    const double attached = total[jj] - dissolved[jj];
    if (attached == 0.0) continue;
    p.lake_rows.given[std::size_t(p.lake[j])] += attached;
    total[jj] = dissolved[jj];
  }
}

// What the cells have given the lakes and not yet seen taken, g.
double given_to_lakes(const sed_lake_rows& rows, int lakes) {
  double g = 0.0;
  if (rows.given != nullptr)
    for (int l = 1; l <= lakes; ++l) g += rows.given[std::size_t(l)];
  return g;
}

}  // namespace

double sed_soil_pickup_conc(double mass, double fraction, double fine_share, double thickness,
                            double porosity, double dx) {
  const double solids = fine_share * thickness * dx * dx * (1.0 - porosity);
  if (!(fine_share * thickness * (1.0 - porosity) > tiny)) return 0.0;
  const double q = mass * (1.0 - fraction) / solids;
  return q > 0.0 ? q : 0.0;
}

void init_sed_contam(model_state& state) {
  contaminant_model& m = state.quality.contam;
  sediment_state& sed = state.quality.sediment;
  sed_contam_state& s = m.sed;
  if (!state.input.settings.sediment_contam || !sed.on) return;
  const int cells = state.grid.cells;
  const int n = m.c.constituents;
  s.on = 1;
  s.classes = sed.classes;
  const std::size_t records = (std::size_t(cells) + 1) * (std::size_t(sed.classes) + 1);
  sed.ov_sed_vol_qsx.assign(records, 0.0);
  sed.ov_sed_vol_qsy.assign(records, 0.0);
  s.ov_sed_vol_susp.assign(records, 0.0);
  s.ov_vol_sed_susp.assign(records, 0.0);
  s.susp_now.assign(records, 0.0);
  s.ov_sed_conc.assign(records, 0.0);
  s.outlet_seen.assign(std::size_t(sed.classes) + 1, 0.0);
  s.outlet_step.assign(std::size_t(sed.classes) + 1, 0.0);
  const std::size_t rows = std::size_t(n) + 1;
  const std::vector<double> zero_cells(std::size_t(cells) + 1, 0.0);
  s.ov_tot_cell_mass = m.c.ov_contam_mass;
  s.ov_cell_fraction_dissolved.assign(rows, std::vector<double>(zero_cells.size(), 1.0));
  s.ov_sed_release_mass.assign(rows, zero_cells);
  s.ov_sed_contam_conc.assign(rows, std::vector<double>(records, 0.0));
  s.ov_sed_fract_attached.assign(rows, std::vector<double>(records, 0.0));
  s.outlet_dmt.assign(rows, 0.0);
  s.release_dmt.assign(rows, 0.0);
  m.c.ov_sed_soil_mass.assign(rows, zero_cells);

  // The channel lakes' attached rows, set up with the channel constituents
  // before this: the shore faces read the lakes' concentrations and leave
  // what they carry in the lakes' inflow from the cells.
  chan_sed_contam_state& lake = state.quality.chan_sed_contam;
  s.lakes.clear();
  if (!lake.on || lake.lakes < 1 || !state.channel.channel_lakes) return;
  s.lake_position.assign(std::size_t(sed.classes) + 1, 0);
  for (int q = 1; q <= sed.fine_count; ++q)
    s.lake_position[std::size_t(sed.sed_class[std::size_t(q)])] = q;
  s.lakes.assign(rows, sed_lake_rows{});
  for (int k = 1; k <= std::min(n, lake.constituents); ++k)
    s.lakes[std::size_t(k)] = {lake.lake_sed_contam_conc[std::size_t(k)].data(),
                               std::size_t(lake.fine) + 1,
                               lake.ov_lake_sed_source[std::size_t(k)].data(),
                               s.lake_position.data()};
}

void sed_contam_carry(const sediment_state& sed, sed_contam_state& s, const grid_state& g, int k,
                      double* volume, const int* lake, const sed_lake_rows& rows) {
  std::vector<double>& total = s.ov_tot_cell_mass[std::size_t(k)];
  const std::vector<double>& conc = s.ov_sed_contam_conc[std::size_t(k)];
  const auto lake_of = [lake](int j) { return lake != nullptr ? lake[j] : 0; };
  // The attached concentration of class i on cell j's side of a face.
  const auto upwind = [&](int j, int i) {
    const int l = lake_of(j);
    return l > 0 ? rows.conc[std::size_t(l) * rows.stride + std::size_t(rows.position[i])]
                 : conc[s.at(j, i)];
  };
  for (int j = 1; j <= g.cells; ++j) {
    const int right = g.rightcon[std::size_t(j)];
    const int below = g.belowcon[std::size_t(j)];
    for (int i = 1; i <= s.classes; ++i) {
      if (sed.sand[std::size_t(i)]) continue;
      for (const auto& [nb, faces] :
           {std::pair<int, const std::vector<double>*>{right, &sed.ov_sed_vol_qsx},
            std::pair<int, const std::vector<double>*>{below, &sed.ov_sed_vol_qsy}}) {
        if (nb == 0) continue;
        const double v = (*faces)[sed.at(j, i)];  // m3, from j to nb +
        if (v == 0.0) continue;
        const int lj = lake_of(j), ln = lake_of(nb);
        if (lj > 0 && ln > 0) continue;
        const double m = v * upwind(v > 0.0 ? j : nb, i);
        if (lj > 0) {
          rows.given[std::size_t(lj)] -= m;
        } else {
          total[std::size_t(j)] -= m;
          volume[s.at(j, i)] -= v;
          volume[s.at(j, 0)] -= v;
        }
        if (ln > 0) {
          rows.given[std::size_t(ln)] += m;
        } else {
          total[std::size_t(nb)] += m;
          volume[s.at(nb, i)] += v;
          volume[s.at(nb, 0)] += v;
        }
      }
    }
  }
  for (int j = 1; j <= g.cells; ++j)
    if (std::isnan(total[std::size_t(j)])) std::fputs("bad number", stdout);
}

void sed_contam_source_step(model_state& state) {
  contaminant_model& m = state.quality.contam;
  sed_contam_state& s = m.sed;
  if (!s.on) return;
  run_control& run = state.run;
  if (!run.ov_contam.due(run.current_time)) return;
  sediment_state& sed = state.quality.sediment;
  constituent_state& c = m.c;
  const int cells = state.grid.cells;
  const int n = sed.classes;
  const int outlet = state.input.channel_routing ? 0 : state.grid.outlet_cell;

  // What the outlet discharged since the last pass, and the suspended
  // volumes the erosion left.
  if (outlet > 0) {
    for (int i = 1; i <= n; ++i) {
      const double discharged = sed.vol(outlet, i)[sed_element::discharged];
      s.outlet_step[std::size_t(i)] = discharged - s.outlet_seen[std::size_t(i)];
      s.outlet_seen[std::size_t(i)] = discharged;
    }
  }
  std::vector<double>& after = s.susp_now;
  for (int j = 1; j <= cells; ++j) {
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) {
      const double v = sed.vol(j, i)[sed_element::suspended];
      after[s.at(j, i)] = v;
      if (!sed.sand[std::size_t(i)]) sum += v;
    }
    after[s.at(j, 0)] = sum;
  }

  sed_pass p{sed, s, c, m.geometry, state.grid, state.surface.depth.data(), state.grid.dx, cells,
             n, outlet, nullptr, sed_lake_rows{}};
  std::vector<double>& working = s.ov_vol_sed_susp;
  for (int k = 1; k <= c.constituents; ++k) {
    const std::size_t kk = std::size_t(k);
    const double kd = m.partition[kk];
    // The cells the channel lakes hold are the lakes' while the lakes carry
    // attached mass of their own.
    const bool lakes = s.lakes.size() > kk && s.lakes[kk].given != nullptr;
    p.lake = lakes ? chan_lake_cells(state) : nullptr;
    p.lake_rows = lakes ? s.lakes[kk] : sed_lake_rows{};
    const int lake_count = state.quality.chan_sed_contam.lakes;
    const double given_before = given_to_lakes(p.lake_rows, lake_count);
    hand_lake_cells_over(p, k);
    std::copy(s.ov_sed_vol_susp.begin(), s.ov_sed_vol_susp.end(), working.begin());
    pick_up(p, k, working.data());
    partition_cells(p, k, kd, working.data());
    sed_contam_carry(sed, s, state.grid, k, working.data(), p.lake, p.lake_rows);
    partition_cells(p, k, kd, working.data());
    settle(p, k, working.data());
    discharge(p, k);
    partition_cells(p, k, kd, after.data());

    std::vector<double>& total = s.ov_tot_cell_mass[kk];
    const std::vector<double>& f = s.ov_cell_fraction_dissolved[kk];
    for (int j = 1; j <= cells; ++j) {
      if (in_lake(p, j)) continue;
      const std::size_t jj = std::size_t(j);
      const double to_water = total[jj] * f[jj];
      const double release = to_water - c.ov_contam_mass[kk][jj];
      if (std::isnan(release)) std::printf("Sed source contam %d cell %d NAN", k, j);
      s.ov_sed_release_mass[kk][jj] += release;
      total[jj] -= to_water;
    }
    // Both sides book what crossed the shores when it crossed.
    const double to_lakes = (given_to_lakes(p.lake_rows, lake_count) - given_before) / 1000.0;
    if (lakes) {
      m.run[kk].ov_sed_to_lake += to_lakes;
      m.event[kk].ov_sed_to_lake += to_lakes;
      chan_sed_contam_state& lake_side = state.quality.chan_sed_contam;
      lake_side.run[kk].ov_lake += to_lakes;
      lake_side.event[kk].ov_lake += to_lakes;
    }
    const double out = s.outlet_dmt[kk] / 1000.0;
    m.run[kk].ov_sed_out += out;
    m.run[kk].global_mass_out += out;
    m.event[kk].ov_sed_out += out;
    s.outlet_dmt[kk] = 0.0;
  }
  std::copy(after.begin(), after.end(), s.ov_sed_vol_susp.begin());
  std::fill(sed.step_eroded.begin(), sed.step_eroded.end(), 0.0);
  std::fill(sed.step_deposited.begin(), sed.step_deposited.end(), 0.0);
  std::fill(sed.ov_sed_vol_qsx.begin(), sed.ov_sed_vol_qsx.end(), 0.0);
  std::fill(sed.ov_sed_vol_qsy.begin(), sed.ov_sed_vol_qsy.end(), 0.0);
}
