// The overland constituent processes that gather mass between cell mass
// steps. Rain rates are in mm/h, so r / 3.6e6 is the rate in m/s.

#include "quality/overland_contam.h"

namespace {

constexpr double tiny = 1e-16;
constexpr double mm_per_hour = 3.6e6;  // mm/h in m/s

bool is_lake(lake_cells lake, int j) { return lake != nullptr && lake[j] > 0; }

}  // namespace

void contam_rain_loading(constituent_state& c, int k, double dx, double interval,
                         const double* rate, const double* depth_last, lake_cells lake) {
  const std::size_t kk = std::size_t(k);
  std::vector<double>& mass = c.ov_contam_mass[kk];
  std::vector<double>& conc = c.ov_contam_conc[kk];
  std::vector<double>& gathered = c.cell_precip_mass[kk];
  const int cells = int(mass.size()) - 1;
  for (int j = 1; j <= cells; ++j) {
    if (is_lake(lake, j)) continue;
    const double m = rate[j] / mm_per_hour * c.precip_conc[kk] * dx * dx * interval;
    mass[j] += m;
    gathered[j] += m;
    const double d = depth_last[j] + rate[j] / mm_per_hour * interval;
    if (d > tiny) conc[j] = mass[j] / (d * dx * dx);
  }
}

void contam_infiltration_accumulate(constituent_state& c, int k, const double* infil_vol,
                                    const double* depth_now, lake_cells lake) {
  const std::size_t kk = std::size_t(k);
  std::vector<double>& mass = c.ov_contam_mass[kk];
  std::vector<double>& gathered = c.cell_infil_mass[kk];
  const int cells = int(mass.size()) - 1;
  const int soil = soil_entry_of(c, k);
  double dried = 0.0;
  for (int j = 1; j <= cells; ++j) {
    if (is_lake(lake, j)) {
      gathered[j] = 0.0;
      continue;
    }
    if (mass[j] > tiny && depth_now[j] < tiny && infil_vol[j] > tiny) {
      if (soil >= 0) c.soil_top_mass[std::size_t(soil)][j] += mass[j];
      dried += mass[j];
      mass[j] = 0.0;
      continue;
    }
    gathered[j] += c.ov_contam_conc[kk][j] * infil_vol[j];
  }
  c.ov_infil_dmt[kk] += dried;
}

void contam_soil_exchange(constituent_state& c, int k, double dx, double interval,
                          const double* depth_now, lake_cells lake, const double* mixing_water) {
  const std::size_t kk = std::size_t(k);
  if (c.constituent_type[kk] != 1) return;
  std::vector<double>& land = c.land_surface_mass[kk];
  const int cells = int(land.size()) - 1;
  const double area = dx * dx;
  for (int j = 1; j <= cells; ++j) {
    if (is_lake(lake, j) || depth_now[j] < tiny || land[j] < tiny) continue;
    const double conc = c.ov_contam_conc[kk][j];
    const double rate = c.ov_contam_uptake[kk][j];
    double l;
    if (mixing_water == nullptr) {
      l = (c.ov_contam_maxconc[kk][j] - conc) * rate * area * interval;
      if (!(l > 0.0)) l = 0.0;
      if (l > land[j]) l = land[j];
    } else {
      const double layer = c.soil_mass[kk].at(j, 1);
      const double soil_conc = layer * c.soil_fraction_dissolved[kk].at(j, 1) / mixing_water[j];
      l = (soil_conc - conc) * rate * area * interval;
      if (l > layer) l = layer;
      if (l < -c.ov_contam_mass[kk][j]) l = -c.ov_contam_mass[kk][j];
    }
    c.cell_uptake_mass[kk][j] += l;
    land[j] -= l;
  }
}
