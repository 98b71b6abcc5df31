#pragma once
// A constituent record sized for a few constituents, cells and soil layers,
// every array zero, as the constituent set-up leaves it.

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

}  // namespace constituent_fixture
