#pragma once
// Whole runs of small aquifer projects: a grid written into a temporary
// folder with its mask, ground, table, bottom and boundary maps, a soil of
// redistribution Green and Ampt far above the table, a trace of rain in the
// first hour, hourly main and groundwater steps, and the heads of listed
// observation wells read back from their rows.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "test_support.h"

namespace gw_fixture {

struct project {
  int rows = 1, cols = 1;
  double size = 100.0;          // m
  std::vector<double> mask;     // 1 in the watershed, 0 outside; empty: every cell
  std::vector<double> ground, table, bottom, bound;  // per grid cell, row by row
  double hycond = 3600.0;       // GW_UNIF_HYCOND, cm/h
  double porosity = 0.1;        // GW_UNIF_POROSITY
  int days = 1;
  std::vector<std::pair<int, int>> wells;  // observation wells, row and column
  std::string extra;            // further cards
  std::vector<std::pair<std::string, std::string>> files;  // further files, name and text
  std::vector<std::string> dirs;  // folders the run writes into
};

inline std::vector<double> filled(int n, double v) { return std::vector<double>(n, v); }

// Writes p into dir as "gw.prj" with its maps and the observation list.
inline void write_project(const test_support::temp_dir& dir, const project& p) {
  using surface_fixture::ascii_grid;
  const int n = p.rows * p.cols;
  const std::vector<double> mask = p.mask.empty() ? filled(n, 1.0) : p.mask;
  dir.write("mask.asc", ascii_grid(p.rows, p.cols, p.size, mask));
  dir.write("elevation.asc", ascii_grid(p.rows, p.cols, p.size, p.ground));
  dir.write("table.asc", ascii_grid(p.rows, p.cols, p.size, p.table));
  dir.write("bottom.asc", ascii_grid(p.rows, p.cols, p.size, p.bottom));
  dir.write("bound.asc", ascii_grid(p.rows, p.cols, p.size, p.bound));
  for (const auto& [name, value] : std::vector<std::pair<std::string, double>>{
           {"ks.asc", 1.0}, {"hc.asc", 10.0}, {"phi.asc", 0.45}, {"theta.asc", 0.2},
           {"lambda.asc", 0.25}, {"thr.asc", 0.04}})
    dir.write(name, ascii_grid(p.rows, p.cols, p.size, filled(n, value)));
  std::ostringstream wells;
  wells << p.wells.size() << "\n";
  for (const auto& [r, c] : p.wells) wells << r << " " << c << "\n";
  dir.write("wells.txt", wells.str());
  for (const auto& [name, text] : p.files) dir.write(name, text);
  for (const std::string& d : p.dirs) std::filesystem::create_directory(dir.path() / d);
  // The outlet: the first watershed cell.
  int out = 0;
  while (mask[std::size_t(out)] == 0.0) ++out;
  std::ostringstream prj;
  prj << "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
      << "GRIDSIZE " << p.size << "\nROWS " << p.rows << "\nCOLS " << p.cols << "\n"
      << "TIMESTEP 3600\nTOT_TIME " << p.days * 1440 << "\n"
      << "OUTROW " << out / p.cols + 1 << "\nOUTCOL " << out % p.cols + 1 << "\n"
      << "OUTSLOPE 0.01\nMANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 0.001\nRAIN_DURATION 60\n"
      << "START_DATE 2000 6 1\nSTART_TIME 0 0\nHYD_FREQ 60\nMAP_FREQ 1440\n"
      << "SUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\n"
      << "GREEN_AMPT\nINF_REDIST\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n"
      << "MOISTURE theta.asc\nPORE_INDEX lambda.asc\nRESIDUAL_SAT thr.asc\n"
      << "WATER_TABLE table.asc\nGW_SIMULATION\nAQUIFER_BOTTOM bottom.asc\n"
      << "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND " << p.hycond << "\nGW_UNIF_POROSITY "
      << p.porosity << "\nGW_TIMESTEP 3600\nGW_RELAX_COEFF 1\nGW_LSOR_CON 0.0000001\n"
      << "SINGLE_UNSAT_SAT 0\nGW_WELL_LEVEL wells.out\nOUT_WELL_LOCATION wells.txt\n"
      << p.extra;
  dir.write("gw.prj", prj.str());
}

// The heads of every GW_WELL_LEVEL row, time field dropped.
inline std::vector<std::vector<double>> well_rows(const test_support::temp_dir& dir) {
  std::vector<std::vector<double>> rows;
  for (const std::string& line : test_support::lines_of(test_support::read_file(dir.file("wells.out")))) {
    std::istringstream in(line);
    double minutes = 0.0, head = 0.0;
    if (!(in >> minutes)) continue;
    std::vector<double> heads;
    while (in >> head) heads.push_back(head);
    rows.push_back(heads);
  }
  return rows;
}

struct run {
  test_support::temp_dir dir;
  surface_fixture::run_output out;
  std::string summary;
  std::vector<std::vector<double>> wells;

  explicit run(const project& p, const std::function<void(model_state&)>& after_pass = nullptr) {
    write_project(dir, p);
    out = surface_fixture::run_in_process(dir.path(), "gw.prj", after_pass);
    summary = test_support::read_file(dir.file("summary.out"));
    wells = well_rows(dir);
  }
};

}  // namespace gw_fixture
