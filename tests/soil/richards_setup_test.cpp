// Richards soil set-up: node counts of a soil type, the interface
// conductivity, the soil table in its plain and mapping-table forms, the
// initial columns and the run-level set-up with its messages.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "input/map_tables.h"
#include "soil/richards_soil.h"
#include "richards_fixture.h"
#include "test_support.h"

namespace {

using richards_fixture::build_columns;
using richards_fixture::read_table_text;
using test_support::stdout_capture;
using test_support::temp_dir;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Brooks-Corey soil 1: 10 cm layers with nodes of 1, 2 and 1 cm, so nodes
// 1..10 are layer 1, 11..15 layer 2 and 16..26 layer 3. The bubbling head
// of layer 1 is given positive.
const char* const bc_soil1 =
    "1\n"
    "1.32 0.45 0.05 0.25 0.10 0.30 10 0.30  20 1\n"
    "0.66 0.40 0.04 0.22 0.10 0.28 10 0.25 -30 2\n"
    "0.20 0.38 0.03 0.20 0.10 0.25 10 0.20 -40 1\n";
// Brooks-Corey soil 2: d1 = 30 with 7 cm nodes keeps 4 nodes in layer 1.
const char* const bc_soil2 =
    "2\n"
    "1.00 0.45 0.05 0.25 0.10 0.30 30 0.30 -20 7\n"
    "0.50 0.40 0.04 0.22 0.10 0.28 10 0.25 -30 5\n"
    "0.20 0.38 0.03 0.20 0.10 0.25  5 0.20 -40 5\n";

// Havercamp layers (Ks, thetas, thetar, thetai, wp, fc, d, alpha, beta, A, B, dz).
const char* const hav_layers[3] = {
    "1.32 0.45 0.05 0.25 0.10 0.30 10 1.611e6 3.96 1.175e6 4.74 1",
    "0.66 0.40 0.04 0.22 0.10 0.28 10 1.611e6 3.96 1.175e6 4.74 2",
    "0.20 0.38 0.03 0.20 0.10 0.25 10 1.611e6 3.96 1.175e6 4.74 1"};

TEST(richards_node_counts, remainders_are_dropped_and_the_deepest_layer_gets_one_more) {
  struct row {
    double d1, dz1, d2, dz2, d3, dz3;
    int water_table, n1, n2, n3;
  };
  const row rows[] = {
      {30, 7, 10, 5, 5, 5, 0, 4, 6, 8},
      {10, 1, 10, 1, 10, 1, 0, 10, 20, 31},
      {10, 1, 10, 1, 10, 1, 1, 10, 20, 30},
      {10, 1, 10, 2, 10, 1, 0, 10, 15, 26},
  };
  for (const row& r : rows) {
    richards_soil_type t;
    t.depth = {0, r.d1, r.d2, r.d3};
    t.dz = {0, r.dz1, r.dz2, r.dz3};
    richards_node_counts(t, r.water_table);
    EXPECT_EQ(t.n1, r.n1) << r.d1 << "/" << r.dz1;
    EXPECT_EQ(t.n2, r.n2) << r.d2 << "/" << r.dz2;
    EXPECT_EQ(t.n3, r.n3) << r.d3 << "/" << r.dz3 << " water table " << r.water_table;
  }
}

TEST(richards_interface_ks, is_the_thickness_weighted_harmonic_mean) {
  // 3 / (1/1.32 + 2/0.66) = 3 / (0.7576 + 3.0303) = 0.792
  EXPECT_NEAR(richards_interface_ks(1.0, 1.32, 2.0, 0.66), 0.792, 1e-12);
  EXPECT_NEAR(richards_interface_ks(2.0, 0.66, 1.0, 1.32), 0.792, 1e-12);
  EXPECT_NEAR(richards_interface_ks(1.0, 0.5, 1.0, 0.5), 0.5, 1e-15);
}

TEST(read_soil_table, plain_brooks_corey_table_gives_types_node_counts_and_row_length) {
  temp_dir dir;
  richards_soil rs;
  const std::vector<int> ids = {0, 2, 1, 2};
  const int row = read_table_text(dir, std::string("2\n0\n") + bc_soil1 + bc_soil2,
                                  soil_family_brooks, 0, ids, rs);
  EXPECT_EQ(row, 26 + 2);
  ASSERT_EQ(rs.types.size(), 2u);
  EXPECT_EQ(rs.types[0].id, 1);
  EXPECT_EQ(rs.types[1].id, 2);
  EXPECT_EQ(rs.soil_type, (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(rs.numcells, (std::vector<int>{0, 8, 26, 8}));
  EXPECT_DOUBLE_EQ(rs.types[0].bp[1], -20.0);  // given positive, held negative
  EXPECT_DOUBLE_EQ(rs.types[0].bp[2], -30.0);
  EXPECT_DOUBLE_EQ(rs.types[0].dz[2], 2.0);
  EXPECT_DOUBLE_EQ(rs.types[1].lam[3], 0.2);
  EXPECT_EQ(rs.types[1].n1, 4);

  // No cells: the row still holds the surface and the spare slot.
  richards_soil none;
  EXPECT_EQ(read_table_text(dir, std::string("1\n0\n") + bc_soil1, soil_family_brooks, 0, {0},
                            none),
            2);
}

TEST(read_soil_table, long_term_types_carry_their_evapotranspiration_values) {
  temp_dir dir;
  richards_soil rs;
  std::string text = std::string("1\n0\n1 0.2 1.5 0.6\n40\n") + (bc_soil1 + 2);
  EXPECT_EQ(read_table_text(dir, text, soil_family_brooks, 0, {0, 1}, rs, nullptr, 1), 28);
  EXPECT_DOUBLE_EQ(rs.types[0].albedo, 0.2);
  EXPECT_DOUBLE_EQ(rs.types[0].veg_height, 1.5);
  EXPECT_DOUBLE_EQ(rs.types[0].trans_coeff, 0.6);
  EXPECT_DOUBLE_EQ(rs.types[0].canopy_resist, 40.0);
  EXPECT_DOUBLE_EQ(rs.types[0].ks[1], 1.32);
}

TEST(read_soil_table, plain_and_mapping_table_forms_give_the_same_columns) {
  temp_dir dir;
  const std::vector<int> ids = {0, 7, 3};
  // Plain: two Havercamp soils.
  std::string plain = "2\n0\n";
  for (int id : {3, 7}) {
    plain += std::to_string(id) + "\n";
    for (const char* l : hav_layers) plain += std::string(l) + "\n";
  }
  // Mapping table: id and description before column 88, then layer 1; the
  // keyword keeps its own spelling.
  std::string keyword = "RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils\nNUM_IDS 2\nNUM_SOIL_LAYERS 3\n";
  for (int id : {3, 7}) {
    std::string first = std::to_string(id) + "   sandy loam of the upper terrace";
    first.resize(87, ' ');
    keyword += first + hav_layers[0] + "\n" + hav_layers[1] + "\n" + hav_layers[2] + "\n";
  }
  model_state a, b;
  build_columns(a, dir, plain, soil_family_havercamp, 0, ids);
  build_columns(b, dir, keyword, soil_family_havercamp, 1, ids);
  const richards_soil& ra = a.soil.richards;
  const richards_soil& rb = b.soil.richards;
  EXPECT_EQ(ra.row, 28);
  EXPECT_EQ(rb.row, ra.row);
  EXPECT_EQ(rb.numcells, ra.numcells);
  EXPECT_EQ(rb.soil_type, (std::vector<int>{0, 1, 0}));
  for (const auto member : {&richards_soil::phead, &richards_soil::theta, &richards_soil::khead,
                            &richards_soil::watcap, &richards_soil::dz, &richards_soil::ks,
                            &richards_soil::alpha, &richards_soil::bhav})
    EXPECT_EQ(rb.*member, ra.*member);
  EXPECT_DOUBLE_EQ(rb.column_water, ra.column_water);
  EXPECT_NEAR(ra.ks[std::size_t(ra.row) + 11], 0.792, 1e-12);
}

TEST(read_soil_table, bad_tables_name_file_line_and_soil_and_stop) {
  struct bad_case {
    const char* what;
    std::string text;
    int family;
    std::vector<int> ids;
    std::string message;
  };
  const std::string hav_short = std::string(hav_layers[1]).substr(0, 50);  // 11 values
  const bad_case cases[] = {
      {"nine Brooks-Corey values",
       "1\n0\n1\n1.32 0.45 0.05 0.25 0.10 0.30 10 0.30 20 1\n0.66 0.40 0.04 0.22 0.10 0.28 10 "
       "0.25 -30\n0.2 0.38 0.03 0.2 0.1 0.25 10 0.2 -40 1\n",
       soil_family_brooks, {0, 1},
       "line 5: layer 2 of soil 1 has 9 values, 10 needed"},
      {"eleven Havercamp values",
       std::string("1\n0\n4\n") + hav_layers[0] + "\n" + hav_layers[1] + "\n" +
           "0.20 0.38 0.03 0.20 0.10 0.25 10 1.611e6 3.96 1.175e6 4.74\n",
       soil_family_havercamp, {0, 4},
       "line 6: layer 3 of soil 4 has 11 values, 12 needed"},
      {"zero node thickness",
       "1\n0\n5\n1.32 0.45 0.05 0.25 0.10 0.30 10 0.30 20 0\n", soil_family_brooks, {0, 5},
       "line 4: layer 1 of soil 5 has node thickness 0 cm"},
      {"layer thinner than its nodes",
       "1\n0\n5\n1.32 0.45 0.05 0.25 0.10 0.30 10 0.30 20 1\n"
       "0.66 0.40 0.04 0.22 0.10 0.28 3 0.25 -30 4\n",
       soil_family_brooks, {0, 5},
       "line 5: layer 2 of soil 5 has node thickness 4 cm for a depth of 3 cm"},
      {"map id missing from the table",
       std::string("1\n0\n") + bc_soil1, soil_family_brooks, {0, 1, 9},
       "Error: soil id 9 of cell 2 is not in the soil table "},
      {"table ends early",
       std::string("2\n0\n") + bc_soil1, soil_family_brooks, {0, 1},
       "ends at line 6 before soil 2 is complete"},
      // Found by fuzzing: values no int or allocation can hold.
      {"soil id past the integers",
       "1\n0\n12147483648\n1.32 0.45 0.05 0.25 0.10 0.30 10 0.30 20 1\n", soil_family_brooks,
       {0, 1}, "line 3: soil id 1.21475e+10 is not a whole number an int can hold"},
      {"a column of a billion nodes",
       "1\n0\n5\n1.32 0.45 0.05 0.25 0.10 0.30 1e9 0.30 20 1\n"
       "0.66 0.40 0.04 0.22 0.10 0.28 10 0.25 -30 2\n0.2 0.38 0.03 0.2 0.1 0.25 10 0.2 -40 1\n",
       soil_family_brooks, {0, 5}, "soil 5 has layers of 1000000015 nodes in all"},
      {"a count of soil types past any map", "3e9\n0\n", soil_family_brooks, {0, 1},
       "line 1: the number of soil types cannot be read"},
  };
  for (const bad_case& c : cases) {
    temp_dir dir;
    richards_soil rs;
    std::string out;
    const int row = read_table_text(dir, c.text, c.family, 0, c.ids, rs, &out);
    EXPECT_EQ(row, -1) << c.what;
    EXPECT_TRUE(has(out, c.message)) << c.what << ": " << out;
    EXPECT_TRUE(has(out, "soil.tbl")) << c.what << ": " << out;
    EXPECT_EQ(error_state.stop_flag, 1) << c.what;  // code 4000, reported at once
  }
  error_state = error_record{};
}

TEST(richards_initial_volumes, columns_take_their_layers_interfaces_and_surface_slot) {
  temp_dir dir;
  model_state s;
  build_columns(s, dir, std::string("1\n0\n") + bc_soil1, soil_family_brooks, 0, {0, 1});
  const richards_soil& rs = s.soil.richards;
  const std::size_t b = std::size_t(rs.row);  // cell 1's row
  ASSERT_EQ(rs.numcells[1], 26);
  EXPECT_DOUBLE_EQ(rs.totaldz[1], 30.0);
  EXPECT_NEAR(rs.avgks[1], (1.32 + 0.66 + 0.2) / 3.0, 1e-12);
  // Layers by node: 10 | 11..15 | 16..26.
  EXPECT_DOUBLE_EQ(rs.theta[b + 10], 0.25);
  EXPECT_DOUBLE_EQ(rs.theta[b + 11], 0.22);
  EXPECT_DOUBLE_EQ(rs.dz[b + 15], 2.0);
  EXPECT_DOUBLE_EQ(rs.theta[b + 16], 0.20);
  EXPECT_DOUBLE_EQ(rs.bp[b + 5], -20.0);
  // The first node of layers 2 and 3 carries the interface conductivity.
  EXPECT_DOUBLE_EQ(rs.ks[b + 10], 1.32);
  EXPECT_NEAR(rs.ks[b + 11], 0.792, 1e-12);
  EXPECT_DOUBLE_EQ(rs.ks[b + 12], 0.66);
  EXPECT_NEAR(rs.ks[b + 16], 3.0 / (2.0 / 0.66 + 1.0 / 0.2), 1e-12);
  // Threshold head and content of lambda 0.3: f = (2/0.3) / (2/0.3 + 1).
  const double f = (2.0 / 0.3) / (2.0 / 0.3 + 1.0);
  EXPECT_NEAR(rs.bchc[b + 1], -20.0 * std::pow(f, -1.0 / 0.3), 1e-9);
  EXPECT_DOUBLE_EQ(rs.thehac[b + 1], brooks_corey_thehac(0.45, 0.05, 0.3));
  // Heads reproduce the contents they were built from.
  richards_soil copy = rs;
  soil_column col = copy.column(1);
  for (int j : {1, 11, 20}) {
    soil_theta_from_head(col, j, soil_family_brooks);
    EXPECT_NEAR(copy.theta[b + std::size_t(j)], rs.theta[b + std::size_t(j)], 1e-9) << j;
    EXPECT_LT(rs.phead[b + std::size_t(j)], 0.0) << j;
  }
  // Surface slot.
  EXPECT_DOUBLE_EQ(rs.dz[b], 1.0);
  EXPECT_DOUBLE_EQ(rs.thetas[b], 0.45);
  EXPECT_DOUBLE_EQ(rs.khead[b], rs.khead[b + 1]);
  EXPECT_GT(rs.khead[b + 1], 0.0);
  EXPECT_LT(rs.khead[b + 1], 1.0);
  // Column water over nodes 1..25: 10 x 0.25 + 10 x 0.22 + 10 x 0.20 = 6.7 cm
  // on 100 m2: 6.7 m3.
  EXPECT_NEAR(rs.column_water, 6.7, 1e-12);
}

// A one-row grid of three cells with a soil-type index map and a plain table.
struct richards_run : ::testing::Test {
  temp_dir dir;
  model_state s;

  void SetUp() override {
    error_state = error_record{};
    s.grid.rows = 1;
    s.grid.cols = 3;
    s.grid.cells = 3;
    s.grid.dx = 10.0;
    ASSERT_TRUE(s.grid.mask.allocate_grid(1, 3));
    for (int c = 1; c <= 3; ++c) s.grid.mask[1][c] = c;
    s.input.inf_richards = 1;
    s.input.settings.richards_c_option = soil_family_brooks;
    s.input.soil_moist_depth = 20.0;
    s.run.dt = 60.0;
  }
  void TearDown() override { error_state = error_record{}; }

  void write_inputs(const std::string& map_ids, const std::string& table) {
    dir.write("soils.idx",
              "north: 10\nsouth: 0\neast: 30\nwest: 0\nrows: 1\ncols: 3\n" + map_ids + "\n");
    s.input.settings.soil_layer_input_file = dir.write("soil.tbl", table);
    const std::string map = dir.file("soils.idx");
    ASSERT_TRUE(s.input.files.soil_type.open(map.c_str(), "r"));
  }

  std::string run() {
    stdout_capture capture;
    init_richards_soil(s);
    return capture.stop();
  }
};

TEST_F(richards_run, sets_up_every_cell_and_prints_its_progress) {
  write_inputs("1 2 1", std::string("2\n0\n") + bc_soil1 + bc_soil2);
  const std::string out = run();
  EXPECT_EQ(error_state.stop_flag, 0) << out;
  const std::size_t reading = out.find("Reading Soil Table");
  const std::size_t done = out.find("   Done\n", reading);
  const std::size_t params = out.find("Initialize Richards Params   Done\n");
  EXPECT_NE(reading, std::string::npos) << out;
  EXPECT_NE(done, std::string::npos) << out;
  EXPECT_NE(params, std::string::npos) << out;
  EXPECT_LT(done, params) << out;

  const richards_soil& rs = s.soil.richards;
  EXPECT_EQ(rs.row, 28);
  EXPECT_EQ(rs.numcells, (std::vector<int>{0, 26, 8, 26}));
  EXPECT_EQ(rs.phead.size(), 4u * 28u);
  EXPECT_TRUE(rs.ahav.empty());  // Brooks-Corey runs hold no Havercamp arrays
  EXPECT_DOUBLE_EQ(rs.dtr[2], 60.0 / 3600.0);
  EXPECT_DOUBLE_EQ(rs.root_depth[1], 0.2);
  EXPECT_DOUBLE_EQ(s.soil.surface_moisture[2], 0.25);
  // Soil 2: layer 1 is nodes 1..4, the interface node 5.
  EXPECT_NEAR(rs.ks[2 * 28 + 5], 12.0 / (7.0 / 1.0 + 5.0 / 0.5), 1e-12);

  // A later run with longer columns sizes its own arrays.
  s.input.files.soil_type.close();
  write_inputs("1 1 1",
               "1\n0\n1\n1.32 0.45 0.05 0.25 0.10 0.30 40 0.30 20 1\n"
               "0.66 0.40 0.04 0.22 0.10 0.28 10 0.25 -30 2\n"
               "0.20 0.38 0.03 0.20 0.10 0.25 10 0.20 -40 1\n");
  run();
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.soil.richards.row, 58);
  EXPECT_EQ(s.soil.richards.theta.size(), 4u * 58u);
  EXPECT_DOUBLE_EQ(s.soil.richards.theta[3 * 58 + 56], 0.20);
}

TEST_F(richards_run, long_term_runs_take_root_depth_and_et_values_from_the_soil) {
  s.input.long_term = 1;
  s.input.settings.et_calc_penman = 1;
  write_inputs("1 1 1", "1\n0\n1 0.2 0.05 0.6 40\n" + std::string(bc_soil1 + 2));
  const std::string summary_path = dir.file("summary.txt");
  safe_file summary;
  ASSERT_TRUE(summary.open(summary_path.c_str(), "w"));
  set_summary_file(&summary);
  run();
  summary.close();
  ASSERT_EQ(error_state.stop_flag, 0);
  // Roots: 3 cells x 5 cm x 0.25 on 100 m2 / 100; column: 3 x 6.7 cm likewise.
  EXPECT_EQ(test_support::read_file(summary_path),
            "Inital volume of water in root zone= 3.750000 \n \n"
            "Inital volume of water in soil column= 20.100000 \n \n");
  const richards_soil& rs = s.soil.richards;
  EXPECT_DOUBLE_EQ(rs.root_depth[2], 0.05);  // vegetation height under the 20 cm depth
  EXPECT_DOUBLE_EQ(s.soil.albedo[3], 0.2);
  EXPECT_DOUBLE_EQ(s.soil.canopy_resist[1], 40.0);
  // 5 cm of roots reach nodes 1..5 of layer 1.
  EXPECT_NEAR(s.soil.initial_theta[1], 0.25, 1e-12);
  EXPECT_NEAR(rs.root_zone_water, 3 * 5 * 0.25 * 100.0 / 100.0, 1e-12);
}

TEST_F(richards_run, a_run_without_retention_family_is_refused) {
  s.input.settings.richards_c_option = soil_family_none;
  write_inputs("1 1 1", std::string("1\n0\n") + bc_soil1);
  const std::string out = run();
  EXPECT_TRUE(has(out, "Error: INF_RICHARDS needs RICHARDS_C_OPTION brooks or havercamp.\n"))
      << out;
  EXPECT_FALSE(has(out, "Reading Soil Table")) << out;
  EXPECT_EQ(error_state.stop_flag, 1);  // code 4000, reported at once
}

}  // namespace
