#pragma once
// A constituent record sized for a few constituents, cells and soil layers,
// every array zero, as the constituent set-up leaves it.

#include "quality/cell_contam_flux.h"
#include "quality/constituent_state.h"
#include "quality/soil_layer_contam.h"

namespace constituent_fixture {

inline void size_state(constituent_state& c, int constituents, int cells, int layers) {
  const std::size_t rows = std::size_t(constituents) + 1;
  const std::vector<double> zero_cells(std::size_t(cells) + 1, 0.0);
  c.constituents = constituents;
  c.constituent_type.assign(rows, 1);
  c.soil_layers = layers;
  c.precip_conc.assign(rows, 0.0);
  for (constituent_cells* a :
       {&c.cell_partition_coef, &c.soil_decay_coef, &c.ov_contam_decay, &c.gw_contam_conc,
        &c.ov_contam_mass, &c.ov_contam_conc, &c.land_surface_mass, &c.soil_top_mass,
        &c.soil_exchange_mass, &c.ov_sed_soil_mass, &c.soil_exfil_mass, &c.cell_exfil_mass, &c.cell_decay_mass,
        &c.cell_infil_mass, &c.cell_uptake_mass, &c.ov_contam_uptake, &c.ov_contam_maxconc, &c.ov_contam_disp,
        &c.cell_precip_mass})
    a->assign(rows, zero_cells);
  for (std::vector<double>* t : {&c.soil_decay_dmt, &c.soil_leach_dmt, &c.soil_gw_gain_dmt,
                                 &c.ov_decay_dmt, &c.ov_infil_dmt, &c.ov_uptake_dmt, &c.ov_out_dmt})
    t->assign(rows, 0.0);
  for (std::vector<cell_layer_table>* f : {&c.soil_mass, &c.soil_conc, &c.soil_fraction_dissolved}) {
    f->assign(rows, cell_layer_table{});
    for (cell_layer_table& table : *f) table.assign(cells, layers);
  }
  c.theta.assign(cells, layers);
}

// Every cell with the same layers: thickness[1..layers] (m) at porosity.
inline soil_layer_geometry uniform_geometry(int cells, int layers, const double* thickness,
                                            double porosity) {
  soil_layer_geometry g;
  g.layers.assign(std::size_t(cells) + 1, layers);
  g.thickness.assign(cells, layers);
  g.porosity.assign(cells, layers, porosity);
  for (int j = 1; j <= cells; ++j)
    for (int l = 1; l <= layers; ++l) g.thickness.at(j, l) = thickness[l];
  return g;
}

// A rows x cols grid of 10 m cells numbered in row order, its neighbour
// tables, depths and face discharges.
struct flux_grid {
  int rows, cols, cells;
  std::vector<int> left, right, above, below;
  std::vector<double> depth, qx, qy;
  contam_flux_work work;

  flux_grid(int r, int c) : rows(r), cols(c), cells(r * c) {
    const std::size_t n = std::size_t(cells) + 1;
    left.assign(n, 0);
    right.assign(n, 0);
    above.assign(n, 0);
    below.assign(n, 0);
    depth.assign(n, 0.1);
    qx.assign(n, 0.0);
    qy.assign(n, 0.0);
    for (int i = 0; i < rows; ++i) {
      for (int k = 0; k < cols; ++k) {
        const int j = i * cols + k + 1;
        if (k > 0) left[j] = j - 1;
        if (k + 1 < cols) right[j] = j + 1;
        if (i > 0) above[j] = j - cols;
        if (i + 1 < rows) below[j] = j + cols;
      }
    }
    work.size(cells);
  }
  contam_grid grid() const {
    return {cells, 10.0, left.data(), right.data(), above.data(), below.data(),
            depth.data(), qx.data(), qy.data()};
  }
  double total() const {
    double sum = 0.0;
    for (int j = 1; j <= cells; ++j) sum += work.mass[j];
    return sum;
  }
};

}  // namespace constituent_fixture
