#pragma once
// Soil tests: run records of a few cells with the arrays the infiltration
// methods read, and copies of the plane20 fixture with uniform soil maps.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "test_support.h"

namespace soil_fixture {

// A record of n cells of dx metres with every soil array the methods use,
// each cell given the same Green and Ampt parameters (Ks m/s, psi m).
inline void build_cells(model_state& s, int n, double ks, double psi, double phi, double thi,
                        double dx = 10.0) {
  s.grid.cells = n;
  s.grid.dx = dx;
  s.grid.elevation.assign(n + 1, 0.0);
  s.surface.depth.assign(n + 1, 0.0);
  soil_state& soil = s.soil;
  soil.ksat.assign(n + 1, ks);
  soil.capillary.assign(n + 1, psi);
  soil.porosity.assign(n + 1, phi);
  soil.initial_theta.assign(n + 1, thi);
  soil.pore_index.assign(n + 1, 0.25);
  soil.residual.assign(n + 1, 0.04);
  soil.field_capacity.assign(n + 1, 0.3);
  soil.wilting_point.assign(n + 1, 0.1);
  for (auto* v : {&soil.cum_inf, &soil.prev_cum_inf, &soil.event_inf, &soil.inf_rate,
                  &soil.sm_inf, &soil.front1_depth, &soil.wetdep, &soil.cum_exfil,
                  &soil.store_depth, &soil.m1, &soil.m2, &soil.total_water, &soil.direct_evap,
                  &soil.deep_perc, &soil.drain1, &soil.drain2, &soil.drain3})
    v->assign(n + 1, 0.0);
  soil.front_theta.assign(n + 1, thi);
  soil.theta_out.assign(n + 1, thi);
  for (auto* v : {&soil.iter_pond_1, &soil.iter_n, &soil.no_wat_prof, &soil.iter_i_less_k,
                  &soil.yes_exfil})
    v->assign(n + 1, 0);
}

// The loam of the tests: Ks 0.34 cm/h, psi 8.89 cm, phi 0.463, thi 0.2.
inline void build_loam(model_state& s, int n) {
  build_cells(s, n, 0.34 / 360000.0, 0.0889, 0.463, 0.2);
}

// A one-row grid of twenty 100 m cells with value everywhere.
inline std::string uniform_map(double value) {
  std::string text = "north: 100\nsouth: 0\neast: 2000\nwest: 0\nrows: 1\ncols: 20\n";
  std::ostringstream row;
  for (int c = 0; c < 20; ++c) row << (c ? " " : "") << value;
  return text + row.str() + "\n";
}

// plane20 copied into dir with its rain and length cards replaced by extra
// and uniform maps written for every (file, value) given.
inline void write_plane20(const test_support::temp_dir& dir, const std::string& extra,
                          const std::vector<std::pair<std::string, double>>& maps) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(VALTO_FIXTURES_DIR) / "plane20";
  for (const char* f : {"mask.asc", "elevation.asc"}) fs::copy_file(src / f, dir.path() / f);
  std::string prj = test_support::read_file((src / "plane20.prj").string());
  std::string out;
  std::size_t at = 0;
  while (at < prj.size()) {
    std::size_t end = prj.find('\n', at);
    if (end == std::string::npos) end = prj.size();
    const std::string line = prj.substr(at, end - at);
    const std::string word = line.substr(0, line.find(' '));
    if (word != "RAIN_DURATION" && word != "TOT_TIME" && word != "OPTIMIZE") out += line + "\n";
    at = end + 1;
  }
  dir.write("plane.prj", out + extra);
  for (const auto& [name, value] : maps) dir.write(name, uniform_map(value));
}

// The plane20-ga cards: Green and Ampt on uniform maps, two hours of rain.
inline const std::vector<std::pair<std::string, double>> ga_maps = {
    {"ks.asc", 1.09}, {"hc.asc", 11.01}, {"phi.asc", 0.453}, {"theta.asc", 0.15}};
inline const std::string ga_cards =
    "RAIN_DURATION 120\nTOT_TIME 120\nGREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
    "POROSITY phi.asc\nMOISTURE theta.asc\n";

// The number after label in text, NAN when the label is missing.
inline double value_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

}  // namespace soil_fixture
