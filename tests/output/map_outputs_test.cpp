// Gridded maps: the grid and dataset layouts byte for byte, the per-time
// file names, the map writer, and whole runs of a small flat grid whose
// depths are known by hand (12 mm/h of rain held on every cell: 2 mm per
// 10 minutes, 6 mm after the 30 minutes of rain).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "output/end_of_run_files.h"
#include "output/map_formats.h"
#include "output/map_outputs.h"
#include "output/map_writer.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

// The 2 x 3 grid of the flat fixture: cells 1 1 1 / 0 1 1, 20 m cells.
struct grid_2x3 {
  int row0[4] = {0, 0, 0, 0};
  int row1[4] = {0, 1, 2, 3};
  int row2[4] = {0, 0, 4, 5};
  const int* rows[3] = {row0, row1, row2};
  map_grid grid() const {
    map_grid g;
    g.mask = rows;
    g.rows = 2;
    g.cols = 3;
    g.north = 40;
    g.south = 0;
    g.east = 60;
    g.west = 0;
    g.cell_size = 20;
    return g;
  }
};

// What write(file) puts in a fresh file.
template <class Write>
std::string written(Write write) {
  std::FILE* f = std::tmpfile();
  write(f);
  std::fflush(f);
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(char(c));
  std::fclose(f);
  return text;
}

// Little-endian readers of a binary dataset.
struct le_reader {
  const std::string& bytes;
  std::size_t at = 0;
  std::uint64_t take(int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t(std::uint8_t(bytes.at(at + i))) << (8 * i);
    at += std::size_t(n);
    return v;
  }
  std::int32_t int32() { return std::int32_t(std::uint32_t(take(4))); }
  std::int16_t int16() { return std::int16_t(std::uint16_t(take(2))); }
  double float64() {
    const std::uint64_t v = take(8);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
  }
};

TEST(map_formats, ascii_grid_declares_the_no_data_value_it_writes) {
  grid_2x3 g;
  const double values[] = {0, 0.002, 0.002, 0.002, 0.002, 0.00249999};
  const std::string text = written([&](std::FILE* f) { write_ascii_grid(f, g.grid(), values); });
  EXPECT_EQ(text,
            "ncols \t3\nnrows \t2\nxllcenter     10.00\nyllcenter     10.00\n"
            "cellsize     20.00\nNODATA_value -9999.9999\n0.0020 0.0020 0.0020 \n"
            "-9999.9999 0.0020 0.0025 \n");
}

TEST(map_formats, grid_without_active_cells_writes_only_missing_values) {
  int row0[3] = {}, row1[3] = {};
  const int* rows[2] = {row0, row1};
  map_grid grid;
  grid.mask = rows;
  grid.rows = 1;
  grid.cols = 2;
  grid.cell_size = 1;
  const std::string ascii = written([&](std::FILE* f) { write_ascii_grid(f, grid, nullptr); });
  EXPECT_NE(ascii.find("NODATA_value -9999.9999\n-9999.9999 -9999.9999 \n"), std::string::npos);
  const std::string nsew = written([&](std::FILE* f) { write_nsew_grid(f, grid, nullptr); });
  EXPECT_NE(nsew.find("cols:     2\n0.000000 0.000000 \n"), std::string::npos);
}

TEST(map_formats, nsew_grid_and_ascii_record_layouts) {
  grid_2x3 g;
  // Values near a rounding tie are converted as printf's "%lf" converts them.
  const double values[] = {0, 1, 2, 3, -0.0000005, 5.0000005};
  char tail[64];
  std::snprintf(tail, sizeof tail, "%lf %lf ", values[4], values[5]);
  EXPECT_EQ(written([&](std::FILE* f) { write_nsew_grid(f, g.grid(), values); }),
            "north:     40.00\nsouth:      0.00\neast:     60.00\nwest:      0.00\n"
            "rows:     2\ncols:     3\n1.000000 2.000000 3.000000 \n0.000000 " +
                std::string(tail) + "\n");
  std::snprintf(tail, sizeof tail, "%lf\n%lf\n", values[4], values[5]);
  EXPECT_EQ(written([&](std::FILE* f) { write_dataset_record(f, 10, g.grid(), values, false); }),
            "TS 1 10.000000\n1\n1\n1\n0\n1\n1\n"
            "1.000000\n2.000000\n3.000000\n0.000000\n" +
                std::string(tail));
}

TEST(map_formats, binary_header_and_record_are_little_endian_fields) {
  temp_dir dir;
  grid_2x3 g;
  const double values[] = {0, 1.5, 2.5, 3.5, 4.5, 5.5};
  safe_file file;
  // 45 characters: cut to 39 and the NUL.
  const std::string name(45, 'n');
  ASSERT_TRUE(write_binary_dataset_header(dir.file("d.bin").c_str(), file, 1011, name.c_str(),
                                          2, 3));
  write_dataset_record(file.stream, 30, g.grid(), values, true);
  write_dataset_end(file.stream, true);
  file.close();
  const std::string bytes = read_file(dir.file("d.bin"));
  ASSERT_EQ(bytes.size(), 100u + 74u + 4u);
  le_reader in{bytes};
  const std::int32_t header[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1011, 170, 6, 180, 6,
                                 190};
  for (std::int32_t word : header) EXPECT_EQ(in.int32(), word);
  EXPECT_EQ(bytes.substr(60, 40), std::string(39, 'n') + '\0');
  in.at = 100;
  EXPECT_EQ(in.int32(), 200);
  EXPECT_EQ(in.int16(), 1);
  EXPECT_EQ(in.float64(), 30.0);
  for (int flag : {1, 1, 1, 0, 1, 1}) EXPECT_EQ(in.int16(), flag);
  for (double v : {1.5, 2.5, 3.5, 0.0, 4.5, 5.5}) EXPECT_EQ(in.float64(), v);
  EXPECT_EQ(in.int32(), 210);
}

TEST(map_formats, dataset_that_cannot_be_created_sets_59_naming_it) {
  error_state = error_record{};
  safe_file file;
  EXPECT_FALSE(write_ascii_dataset_header("no_such_dir/depth.dat", file, 1010, "depth", 2, 3));
  EXPECT_EQ(error_state.code, 59);
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_NE(std::strstr(error_state.text2, "no_such_dir/depth.dat"), nullptr);
  error_state = error_record{};
}

TEST(map_names, per_time_names_join_with_one_separator) {
  struct name_case {
    const char* dir;
    const char* path;
    const char* moisture_stem;
  };
  const name_case cases[] = {
      {"out", "out/depth.0007.asc", "smoist"},
      {"out/", "out/depth.0007.asc", "surf"},
      {"out\\", "out\\depth.0007.asc", "surf"},
  };
  for (const name_case& c : cases) {
    char path[64];
    EXPECT_TRUE(per_time_map_path(path, sizeof path, c.dir, "depth", 7));
    EXPECT_STREQ(path, c.path) << c.dir;
    EXPECT_STREQ(surface_moisture_stem(c.dir), c.moisture_stem) << c.dir;
  }
  char small[8];
  EXPECT_FALSE(per_time_map_path(small, sizeof small, "out", "depth", 7));
}

TEST(map_writer_test, per_time_writer_counts_its_files_and_datasets_end_by_format) {
  temp_dir dir;
  test_support::scoped_cwd cwd(dir.path());
  grid_2x3 g;
  const double values[] = {0, 1, 2, 3, 4, 5};
  {
    map_writer w;
    w.bind(g.grid(), values);
    w.setup(map_format::per_time_grid, "", ".conc", ".asc", 5000, "conc_01");
    w.write_map(0);
    w.write_map(10);
    EXPECT_EQ(w.next_index(), 3);
    EXPECT_FALSE(w.has_dataset());
    w.end_dataset();
  }
  EXPECT_TRUE(fs::exists(dir.path() / "conc_01.conc.0001.asc"));
  EXPECT_TRUE(fs::exists(dir.path() / "conc_01.conc.0002.asc"));
  {
    map_writer w;
    w.bind(g.grid(), values);
    w.setup(map_format::ascii_record, "sub_", "mass.dat", "", 5001, "mass_01");
    w.write_map(10);
    w.end_dataset();
  }
  const std::string text = read_file(dir.file("sub_mass.dat"));
  EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 5001\nND 6\nNC 6\nNAME mass_01\n"
                       "TS 1 10.000000\n",
                       0),
            0u);
  EXPECT_EQ(text.substr(text.size() - 15), "5.000000\nENDDS\n");
  // The destructor writes no end record of its own.
  {
    map_writer w;
    w.bind(g.grid(), values);
    w.setup(map_format::binary_record, "b.dat", "", "", 1060, "Snow_Temperature");
    w.write_map(0);
  }
  EXPECT_EQ(read_file(dir.file("b.dat")).size(), 100u + 74u);
}

// The flat fixture: rain on a level grid held back by a deep retention and a
// roughness that lets nothing move, so every cell keeps what falls on it.
struct flat_run {
  temp_dir dir;
  test_support::program_result result{};

  explicit flat_run(const std::string& cards) {
    dir.write("mask.asc", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n1 1 1\n0 1 1\n");
    dir.write("elev.asc", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n"
                          "50 50 50\n50 50 50\n");
    dir.write("flat.prj",
              "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nROWS 2\nCOLS 3\n"
              "GRIDSIZE 20\nMANNING_N 5000\nRETENTION 100\nOUTROW 1\nOUTCOL 3\n"
              "OUTSLOPE 0.000000002\nPRECIP_UNIF\nRAIN_INTENSITY 12\nRAIN_DURATION 30\n"
              "TIMESTEP 60\nTOT_TIME 40\nSTART_DATE 2000 6 1\nSTART_TIME 0 0\nHYD_FREQ 10\n"
              "MAP_FREQ 10\nSUMMARY summary.out\nOUTLET_HYDRO outlet.hyd\nQUIET\n" +
                  cards);
  }
  void run(const std::string& env = "") {
    result = test_support::run_program("flat.prj", dir.path(), env);
  }
  std::string file(const std::string& name) const { return read_file(dir.file(name)); }
};

// The records of an ASCII dataset of six cells: time and values.
struct ascii_record {
  double time;
  std::vector<double> values;
};

std::vector<ascii_record> ascii_records(const std::string& text, int* ends) {
  std::vector<ascii_record> records;
  const std::vector<std::string> lines = lines_of(text);
  *ends = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "ENDDS") ++*ends;
    if (lines[i].rfind("TS 1 ", 0) != 0) continue;
    ascii_record r{std::stod(lines[i].substr(5)), {}};
    for (int k = 0; k < 6; ++k)
      if (i + 7 + k < lines.size()) r.values.push_back(std::stod(lines[i + 7 + k]));
    records.push_back(r);
  }
  return records;
}

TEST(map_runs, per_time_depth_grids_hold_the_rain_of_each_map_time) {
  flat_run run("MAP_TYPE 0\nDEPTH maps\nDISCHARGE maps/\n");
  fs::create_directory(run.dir.path() / "maps");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const double expected[] = {0.0, 0.002, 0.004, 0.006, 0.006};
  for (int k = 1; k <= 5; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "maps/depth.%04d.asc", k);
    const std::vector<std::string> lines = lines_of(run.file(name));
    ASSERT_EQ(lines.size(), 8u) << name;
    char active[16];
    std::snprintf(active, sizeof active, "%6.4f", expected[k - 1]);
    EXPECT_EQ(lines[6], std::string(active) + " " + active + " " + active + " ") << name;
    EXPECT_EQ(lines[7], std::string("-9999.9999 ") + active + " " + active + " ") << name;
    std::snprintf(name, sizeof name, "maps/discharge.%04d.asc", k);
    EXPECT_TRUE(fs::exists(run.dir.path() / name)) << name;
  }
  EXPECT_EQ(run.file("maps/depth.0002.asc"),
            "ncols \t3\nnrows \t2\nxllcenter     10.00\nyllcenter     10.00\n"
            "cellsize     20.00\nNODATA_value -9999.9999\n0.0020 0.0020 0.0020 \n"
            "-9999.9999 0.0020 0.0020 \n");
  EXPECT_FALSE(fs::exists(run.dir.path() / "maps/depth.0006.asc"));
  EXPECT_FALSE(fs::exists(run.dir.path() / "maps"/ "depth"));
}

TEST(map_runs, ascii_datasets_record_every_map_time_and_end_once) {
  flat_run run("MAP_TYPE 1\nDEPTH depth.dat\nDISCHARGE discharge.dat\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::string depth = run.file("depth.dat");
  EXPECT_EQ(depth.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n"
                        "TS 1 0.000000\n1\n1\n1\n0\n1\n1\n",
                        0),
            0u);
  int ends = 0;
  const std::vector<ascii_record> records = ascii_records(depth, &ends);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(depth.substr(depth.size() - 6), "ENDDS\n");
  const double expected[] = {0.0, 0.002, 0.004, 0.006, 0.006};
  ASSERT_EQ(records.size(), 5u);
  for (int k = 0; k < 5; ++k) {
    EXPECT_DOUBLE_EQ(records[k].time, 10.0 * k);
    for (int c = 0; c < 6; ++c)
      EXPECT_NEAR(records[k].values[c], c == 3 ? 0.0 : expected[k], 1e-6) << k << " " << c;
  }
  const std::string discharge = run.file("discharge.dat");
  EXPECT_NE(discharge.find("OBJID 1011\nND 6\nNC 6\nNAME discharge\n"), std::string::npos);
  const std::vector<ascii_record> q = ascii_records(discharge, &ends);
  ASSERT_EQ(q.size(), 5u);
  EXPECT_EQ(ends, 1);
  for (const ascii_record& r : q)
    for (double v : r.values) EXPECT_EQ(v, 0.0);
}

TEST(map_runs, rain_dataset_shows_the_rain_rate_while_it_rains) {
  flat_run run("MAP_TYPE 1\nDIS_RAIN rain.dat\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::string text = run.file("rain.dat");
  EXPECT_NE(text.find("OBJID 1012\nND 6\nNC 6\nNAME rain\n"), std::string::npos);
  int ends = 0;
  const std::vector<ascii_record> records = ascii_records(text, &ends);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(ends, 1);
  // mm/h on the active cells during the rain, none after it.
  for (int k : {0, 1, 2, 4})
    for (int c = 0; c < 6; ++c)
      EXPECT_EQ(records[k].values[c], c == 3 || k == 4 ? 0.0 : 12.0) << k << " " << c;
}

TEST(map_runs, binary_dataset_is_474_bytes_read_back_field_by_field) {
  flat_run run("MAP_TYPE 2\nDEPTH depth.bin\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::string bytes = run.file("depth.bin");
  ASSERT_EQ(bytes.size(), 474u);
  le_reader in{bytes};
  EXPECT_EQ(in.int32(), 3000);
  in.at = 36;
  EXPECT_EQ(in.int32(), 1010);
  EXPECT_EQ(bytes.substr(60, 6), std::string("depth\0", 6));
  const double expected[] = {0.0, 0.002, 0.004, 0.006, 0.006};
  in.at = 100;
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(in.int32(), 200);
    EXPECT_EQ(in.int16(), 1);
    EXPECT_DOUBLE_EQ(in.float64(), 10.0 * k);
    for (int flag : {1, 1, 1, 0, 1, 1}) EXPECT_EQ(in.int16(), flag);
    for (int c = 0; c < 6; ++c) EXPECT_NEAR(in.float64(), c == 3 ? 0.0 : expected[k], 1e-9);
  }
  EXPECT_EQ(in.int32(), 210);
}

TEST(map_runs, map_type_3_writes_headers_only_and_type_0_no_dataset) {
  {
    flat_run run("MAP_TYPE 3\nDEPTH depth.dat\n");
    run.run();
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    EXPECT_EQ(run.file("depth.dat"),
              "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n");
  }
  {
    flat_run run("MAP_TYPE 0\nFLOOD_GRID flood.asc\n");
    run.run();
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    // No dataset: the largest depths come as one ASCII grid.
    EXPECT_EQ(run.file("flood.asc"),
              "ncols \t3\nnrows \t2\nxllcenter     10.00\nyllcenter     10.00\n"
              "cellsize     20.00\nNODATA_value -9999.9999\n0.0060 0.0060 0.0060 \n"
              "-9999.9999 0.0060 0.0060 \n");
  }
}

TEST(map_runs, flood_grid_dataset_gets_one_closing_record_of_largest_depths) {
  flat_run run("MAP_TYPE 1\nFLOOD_GRID flood.dat\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const std::string text = run.file("flood.dat");
  EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1021\nND 6\nNC 6\nNAME flood_grid\n"
                       "TS 1 40.000000\n",
                       0),
            0u);
  int ends = 0;
  const std::vector<ascii_record> records = ascii_records(text, &ends);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(ends, 1);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(records[0].values[c], c == 3 ? 0.0 : 0.006);
}

TEST(map_runs, overland_hot_start_carries_the_end_depths_into_the_next_run) {
  flat_run first("WRITE_OV_HOTSTART end.ovh\n");
  first.run();
  ASSERT_EQ(first.result.status, 0) << first.result.output;
  EXPECT_EQ(first.file("end.ovh"),
            "north:     40.00\nsouth:      0.00\neast:     60.00\nwest:      0.00\n"
            "rows:     2\ncols:     3\n0.006000 0.006000 0.006000 \n"
            "0.000000 0.006000 0.006000 \n");

  flat_run second("READ_OV_HOTSTART end.ovh\nMAP_TYPE 1\nDEPTH depth.dat\n");
  second.dir.write("end.ovh", first.file("end.ovh"));
  second.run();
  ASSERT_EQ(second.result.status, 0) << second.result.output;
  int ends = 0;
  const std::vector<ascii_record> records = ascii_records(second.file("depth.dat"), &ends);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_NEAR(records.front().values[0], 0.006, 1e-9);
  EXPECT_NEAR(records.back().values[0], 0.012, 1e-9);
  const std::string summary = second.file("summary.out");
  const std::size_t at = summary.find("Initial volume on surface=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::strtod(summary.c_str() + at + 26, nullptr), 12.0, 1e-6);
}

TEST(map_runs, unwritable_overland_hot_start_is_reported_and_the_run_ends_normally) {
  flat_run run("WRITE_OV_HOTSTART missing/end.ovh\n");
  run.run();
  EXPECT_EQ(run.result.status, 0) << run.result.output;
  EXPECT_NE(run.result.output.find("Can't open overland hotstart file for writing: "),
            std::string::npos)
      << run.result.output;
}

TEST(map_runs, missing_map_directory_stops_after_the_step_keeping_earlier_maps) {
  flat_run run("MAP_TYPE 0\nDISCHARGE qmaps\nDEPTH maps\n");
  fs::create_directory(run.dir.path() / "qmaps");
  run.run();
  EXPECT_EQ(run.result.status, 1);
  EXPECT_NE(run.result.output.find("Can't open depth map for writing: maps/depth.0001.asc"),
            std::string::npos)
      << run.result.output;
  EXPECT_FALSE(fs::exists(run.dir.path() / "qmaps/discharge.0001.asc"));
}

// The depth dataset opens before the discharge one fails: a run stopped in
// its set-up leaves neither of them, nor any other file of its own.
TEST(map_runs, dataset_that_cannot_be_created_stops_the_run_with_59) {
  flat_run run("MAP_TYPE 1\nDEPTH depth.dat\nDISCHARGE missing/q.dat\n");
  run.run();
  EXPECT_EQ(run.result.status, 1);
  EXPECT_NE(run.result.output.find("Can't open output file: "), std::string::npos)
      << run.result.output;
  EXPECT_NE(run.result.output.find("missing/q.dat"), std::string::npos);
  EXPECT_FALSE(fs::exists(run.dir.path() / "depth.dat"));
  EXPECT_FALSE(fs::exists(run.dir.path() / "depth.dat.partial"));
}

TEST(map_runs, one_step_interval_maps_every_pass_the_same_on_any_thread_count) {
  std::string files[2];
  const char* threads[2] = {"OMP_NUM_THREADS=1", "OMP_NUM_THREADS=8"};
  for (int t = 0; t < 2; ++t) {
    flat_run run("MAP_TYPE 1\nMAP_FREQ 1\nDEPTH depth.dat\nDISCHARGE q.dat\n");
    run.run(threads[t]);
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    files[t] = run.file("depth.dat") + run.file("q.dat");
    int ends = 0;
    EXPECT_EQ(ascii_records(run.file("depth.dat"), &ends).size(), 41u);
  }
  EXPECT_EQ(files[0], files[1]);
}

// The tilted plane of the overland fixture at steady state: cell k drains
// the rain of k cells, 36 mm/h on 100 m x 100 m, through its right face.
TEST(map_runs, plane_discharge_map_shows_the_face_discharge_of_each_cell) {
  temp_dir dir;
  fs::copy(fs::path(VALTO_FIXTURES_DIR) / "plane20", dir.path(), fs::copy_options::recursive);
  std::string prj = read_file(dir.file("plane20.prj"));
  prj += "MAP_TYPE 1\nDISCHARGE q.dat\n";
  dir.write("plane20.prj", prj);
  const test_support::program_result result = test_support::run_program("plane20.prj", dir.path());
  ASSERT_EQ(result.status, 0) << result.output;
  const std::vector<std::string> lines = lines_of(read_file(dir.file("q.dat")));
  std::size_t at = 0;
  while (at < lines.size() && lines[at] != "TS 1 180.000000") ++at;
  ASSERT_LT(at + 40, lines.size());
  for (int k = 1; k <= 20; ++k) {
    const double q = std::stod(lines[at + 20 + std::size_t(k)]);
    if (k == 20)
      EXPECT_EQ(q, 0.0);
    else
      EXPECT_NEAR(q, 0.1 * k, 0.001 * k) << "cell " << k;
  }
}

// The flat fixture over a soil that takes all the rain: Green and Ampt with
// a conductivity of 10 cm/h under 1.2 cm/h of rain, so no water stays on the
// cells and the infiltrated depth of every map time is the rain so far.
std::string soaking_soil(const temp_dir& dir) {
  const std::string header = "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n";
  dir.write("ks.asc", header + "10 10 10\n10 10 10\n");
  dir.write("hc.asc", header + "11 11 11\n11 11 11\n");
  dir.write("phi.asc", header + "0.45 0.45 0.45\n0.45 0.45 0.45\n");
  dir.write("theta.asc", header + "0.2 0.2 0.2\n0.2 0.2 0.2\n");
  return "GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n"
         "MOISTURE theta.asc\n";
}

// The six values of an ASCII grid (row by row), missing cells as written.
std::vector<double> grid_values(const std::string& text) {
  const std::vector<std::string> lines = lines_of(text);
  std::vector<double> values;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    double v = 0.0;
    while (row >> v) values.push_back(v);
  }
  return values;
}

TEST(map_runs, soil_grids_hold_the_rain_that_went_into_the_soil) {
  flat_run run("MAP_TYPE 0\nDEPTH maps\nINF_DEPTH maps\nRATE_OF_INFIL maps\nSURF_MOIST maps\n");
  run.dir.write("flat.prj", read_file(run.dir.file("flat.prj")) + soaking_soil(run.dir));
  fs::create_directory(run.dir.path() / "maps");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  // Rain so far at the map times 0, 10, 20, 30 and 40 minutes, m.
  const double rain[] = {0.0, 0.002, 0.004, 0.006, 0.006};
  for (int k = 1; k <= 5; ++k) {
    char name[3][64];
    std::snprintf(name[0], sizeof name[0], "maps/depth.%04d.asc", k);
    std::snprintf(name[1], sizeof name[1], "maps/infdep.%04d.asc", k);
    std::snprintf(name[2], sizeof name[2], "maps/infrate.%04d.asc", k);
    const std::vector<double> depth = grid_values(run.file(name[0]));
    const std::vector<double> infiltrated = grid_values(run.file(name[1]));
    const std::vector<double> rate = grid_values(run.file(name[2]));
    ASSERT_EQ(infiltrated.size(), 6u) << name[1];
    ASSERT_EQ(rate.size(), 6u) << name[2];
    for (int c = 0; c < 6; ++c) {
      if (c == 3) {
        EXPECT_EQ(infiltrated[c], -9999.9999);
        continue;
      }
      EXPECT_NEAR(depth[c] + infiltrated[c], rain[k - 1], 1e-9) << name[1] << " cell " << c;
      // 12 mm/h is 1.2 cm/h while it rains; nothing once the rain has ended.
      EXPECT_NEAR(rate[c], k >= 2 && k <= 4 ? 1.2 : 0.0, 1e-9) << name[2] << " cell " << c;
    }
  }
  // The directory was named without its separator: the moisture grids are
  // "smoist" and show the soil's starting content.
  const std::vector<double> moisture = grid_values(run.file("maps/smoist.0003.asc"));
  ASSERT_EQ(moisture.size(), 6u);
  EXPECT_EQ(moisture[0], 0.2);
  EXPECT_FALSE(fs::exists(run.dir.path() / "maps/surf.0003.asc"));
}

TEST(map_runs, soil_datasets_record_each_map_time_and_end_once) {
  flat_run run("MAP_TYPE 1\nINF_DEPTH inf.dat\nRATE_OF_INFIL rate.dat\nSURF_MOIST sm.dat\n");
  run.dir.write("flat.prj", read_file(run.dir.file("flat.prj")) + soaking_soil(run.dir));
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  const struct {
    const char* file;
    const char* header;
    double last;
  } datasets[] = {{"inf.dat", "OBJID 1013\nND 6\nNC 6\nNAME infiltrated_depth\n", 0.006},
                  {"rate.dat", "OBJID 1014\nND 6\nNC 6\nNAME infiltration_rate\n", 0.0},
                  {"sm.dat", "OBJID 1015\nND 6\nNC 6\nNAME surface_moisture\n", 0.2}};
  for (const auto& d : datasets) {
    const std::string text = run.file(d.file);
    EXPECT_NE(text.find(d.header), std::string::npos) << d.file;
    int ends = 0;
    const std::vector<ascii_record> records = ascii_records(text, &ends);
    ASSERT_EQ(records.size(), 5u) << d.file;
    EXPECT_EQ(ends, 1) << d.file;
    EXPECT_EQ(records.back().time, 40.0) << d.file;
    EXPECT_NEAR(records.back().values[0], d.last, 1e-9) << d.file;
  }
}

// The soil moisture a run ends with is written as a grid that the next run
// reads back cell for cell.
TEST(map_runs, soil_moisture_hot_start_goes_round_cell_for_cell) {
  flat_run run("READ_SM_HOTSTART start.sm\nWRITE_SM_HOTSTART end.sm\n");
  run.dir.write("flat.prj", read_file(run.dir.file("flat.prj")) + soaking_soil(run.dir));
  run.dir.write("start.sm", "north: 40\nsouth: 0\neast: 60\nwest: 0\nrows: 2\ncols: 3\n"
                            "0.21 0.22 0.23\n0 0.24 0.25\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  EXPECT_EQ(run.file("end.sm"),
            "north:     40.00\nsouth:      0.00\neast:     60.00\nwest:      0.00\n"
            "rows:     2\ncols:     3\n0.210000 0.220000 0.230000 \n"
            "0.000000 0.240000 0.250000 \n");
}

TEST(map_runs, soil_outputs_of_a_run_without_soil_are_skipped_with_a_warning) {
  flat_run run("WRITE_SM_HOTSTART end.sm\nMAP_TYPE 1\nINF_DEPTH inf.dat\n");
  run.run();
  ASSERT_EQ(run.result.status, 0) << run.result.output;
  EXPECT_FALSE(fs::exists(run.dir.path() / "end.sm"));
  EXPECT_FALSE(fs::exists(run.dir.path() / "inf.dat"));
  const std::string summary = run.file("summary.out");
  EXPECT_NE(summary.find("Warning: the project card INF_DEPTH asks for a soil map, but the run "
                         "has no infiltration method; no map is written.\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("Warning: the run keeps no soil moisture; the soil moisture hot start "
                         "end.sm is not written.\n"),
            std::string::npos)
      << summary;
}

// Every fixed dataset open at the end of a run gets one end record, in the
// form of the run's datasets, whichever process filled it.
TEST(map_runs, every_open_fixed_dataset_is_ended_once) {
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary);
    temp_dir dir;
    model_state s;
    s.input.map_kind[1] = 1;
    s.input.map_kind[2] = binary ? 1 : 0;
    const int opened[] = {fixed_map_index::depth,     fixed_map_index::gw_head,
                          fixed_map_index::gw_recharge_cum, fixed_map_index::gw_recharge_inc,
                          fixed_map_index::inf_depth, fixed_map_index::surf_moist,
                          fixed_map_index::net_sed,   fixed_map_index::sed_flux,
                          fixed_map_index::susp_sed,  fixed_map_index::contam_conc};
    for (int index : opened) {
      const std::string name = dir.file("d" + std::to_string(index));
      ASSERT_TRUE(s.output.map_dataset[index].open(name.c_str(), "w"));
    }
    write_end_of_run_files(s);
    for (int index : opened) {
      s.output.map_dataset[index].close();
      const std::string text = read_file(dir.file("d" + std::to_string(index)));
      if (binary)
        EXPECT_EQ(text, std::string("\xd2\0\0\0", 4)) << index;
      else
        EXPECT_EQ(text, "ENDDS\n") << index;
    }
  }
}

}  // namespace
