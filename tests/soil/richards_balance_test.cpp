// Water held in the Richards columns: the one sum every balance takes, the
// columns' start-of-run state, the soil-moisture hot start, and the event's
// column balance.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "soil/richards_soil.h"
#include "soil/soil_steps.h"
#include "richards_fixture.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Three cells of 10 m in rows of 6 slots. Cell 1 has 4 nodes: 1 cm at 0.30,
// 2 cm at 0.25 and 2 cm at 0.20 hold 1.2 cm; its bottom node and its
// surface slot hold 0.9 that no balance may count. Cell 2 is one node, the
// water table at its surface. Cell 3 has 3 nodes: 1 cm at 0.1 and 1 cm at
// 0.3 hold 0.4 cm. Together 1.6 cm on 100 m2: 1.6 m3.
void build_hand_columns(model_state& s) {
  s.grid.cells = 3;
  s.grid.dx = 10.0;
  s.input.inf_richards = 1;
  richards_soil& rs = s.soil.richards;
  rs.family = soil_family_brooks;
  rs.row = 6;
  rs.numcells = {0, 4, 1, 3};
  ASSERT_TRUE(alloc_richards_soil(rs, 3));
  const auto node = [&rs](int c, int j, double theta, double dz) {
    rs.theta[std::size_t(c * rs.row + j)] = theta;
    rs.dz[std::size_t(c * rs.row + j)] = dz;
  };
  node(1, 0, 0.9, 1.0);
  node(1, 1, 0.30, 1.0);
  node(1, 2, 0.25, 2.0);
  node(1, 3, 0.20, 2.0);
  node(1, 4, 0.9, 2.0);
  node(2, 1, 0.45, 1.0);
  node(3, 1, 0.1, 1.0);
  node(3, 2, 0.3, 1.0);
  node(3, 3, 0.9, 1.0);
}

TEST(richards_column_volume, counts_nodes_1_to_n_less_1_of_columns_of_more_than_one_node) {
  model_state s;
  build_hand_columns(s);
  int columns = -1;
  EXPECT_NEAR(richards_column_volume(s.soil.richards, 3, 100.0, &columns), 1.6, 1e-12);
  EXPECT_EQ(columns, 2);
  // The first cell alone: 1.2 cm on a 30 m cell.
  EXPECT_NEAR(richards_column_volume(s.soil.richards, 1, 900.0), 10.8, 1e-12);
}

TEST(richards_top_mean, weighs_the_water_holding_nodes_by_their_part_of_the_depth) {
  model_state s;
  build_hand_columns(s);
  struct mean_case {
    int cell;
    double depth;        // cm
    int on_table;        // the columns end on a water table
    double expected;
  };
  const mean_case cases[] = {
      {1, 1.0, 0, 0.30},
      {1, 2.0, 0, (0.30 + 0.25) / 2.0},  // half of node 2
      {1, 5.0, 0, 1.2 / 5.0},
      {1, 10.0, 0, 1.2 / 5.0},  // below the column: its bottom node does not count
      {2, 3.0, 0, 0.45},        // the table at the surface
      {3, 4.0, 0, 0.4 / 2.0},
      {3, 4.0, 1, (0.4 + 2.0 * 0.9) / 4.0},  // saturated below the nodes, at the table node's value
  };
  for (const mean_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cell " << c.cell << ", " << c.depth << " cm");
    s.soil.richards.water_table_bottom = c.on_table;
    EXPECT_NEAR(richards_top_mean(s.soil.richards, c.cell, s.soil.richards.theta, c.depth),
                c.expected, 1e-12);
  }
}

TEST(init_cell_states, richards_columns_start_on_a_flux_boundary_with_their_water_counted) {
  model_state s;
  build_hand_columns(s);
  richards_soil& rs = s.soil.richards;
  rs.bound_type = {0, 2, 3, 2};
  rs.inf_rich = {0.0, 0.5, 0.5, 0.5};
  rs.event_drain = {0.0, 1.0, 1.0, 1.0};
  // The column set-up marks the cells whose water table stands at the surface.
  s.soil.yes_exfil = {0, 0, 1, 0};
  error_state = error_record{};
  init_cell_states(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(rs.bound_type, (std::vector<int>{0, 1, 1, 1}));
  EXPECT_EQ(rs.inf_rich, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(rs.event_drain, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(s.soil.yes_exfil, (std::vector<int>{0, 0, 1, 0}));
  // What the solver books into and reads is there, zeroed.
  for (const std::vector<double>* v : {&s.soil.cum_inf, &s.soil.prev_cum_inf, &s.soil.event_inf,
                                       &s.soil.inf_rate, &s.soil.deep_perc, &s.soil.direct_evap})
    EXPECT_EQ(*v, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_NEAR(s.soil.initial_total_soil, 1.6, 1e-12);
}

// The event balance as the core's event routines drive it.
struct event_columns : ::testing::Test {
  temp_dir dir;
  model_state s;

  void SetUp() override {
    error_state = error_record{};
    build_hand_columns(s);
    s.soil.event_inf.assign(4, 0.0);
    ASSERT_TRUE(s.output.summary.open(dir.file("summary.out").c_str(), "w"));
  }
  std::string summary() {
    s.output.summary.close();
    return read_file(dir.file("summary.out"));
  }
};

TEST_F(event_columns, an_event_closes_on_infiltration_drainage_and_evaporation) {
  richards_soil& rs = s.soil.richards;
  // Whatever the last event left is cleared.
  rs.event_drain = {0.0, 3.0, 3.0, 3.0};
  s.soil.event_evaporated = 7.0;
  soil_event_start(s);
  EXPECT_NEAR(rs.event_initial, 1.6, 1e-12);
  EXPECT_EQ(rs.event_cells_start, 2);
  EXPECT_EQ(rs.event_drain, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(s.soil.event_evaporated, 0.0);

  // 0.1 cm and 0.05 cm taken in (0.15 m3), 0.02 m3 evaporated, 0.05 cm and
  // 0.03 cm drained (0.08 m3): the columns should gain 0.05 m3. They gain
  // 0.06 (node 1 of cell 1 from 0.30 to 0.36): 0.01 m3 too much, -0.625 %
  // of the 1.6 m3 they started with.
  s.soil.event_inf = {0.0, 0.001, 0.0, 0.0005};
  s.soil.event_evaporated = 0.02;
  rs.event_drain = {0.0, 0.05, 0.0, 0.03};
  rs.theta[std::size_t(rs.row + 1)] = 0.36;
  soil_event_end(s);
  EXPECT_NEAR(s.soil.event_infiltrated, 0.15, 1e-12);
  EXPECT_NEAR(rs.event_net, 0.13, 1e-12);
  EXPECT_NEAR(rs.event_recharge, 0.08, 1e-12);
  EXPECT_NEAR(rs.event_final, 1.66, 1e-12);
  EXPECT_EQ(rs.event_cells_end, 2);
  EXPECT_NEAR(rs.event_error, -0.625, 1e-9);
  EXPECT_EQ(summary(), "");
}

TEST_F(event_columns, columns_without_unsaturated_nodes_give_no_error_and_say_so) {
  s.soil.richards.numcells = {0, 1, 1, 1};
  soil_event_start(s);
  s.soil.event_inf = {0.0, 0.001, 0.0, 0.0};
  soil_event_end(s);
  const richards_soil& rs = s.soil.richards;
  EXPECT_EQ(rs.event_initial, 0.0);
  EXPECT_EQ(rs.event_cells_start, 0);
  EXPECT_EQ(rs.event_error, 0.0);
  EXPECT_EQ(summary(), "\n No Unsaturated Cells in Grid, No infiltration \n");
}

// Two cells of soil 1: 10 cm layers of 1 cm nodes, the deepest layer
// saturating at 0.40; contents thetai throughout, pore-size index lambda.
std::string loam_table(double thetai, const std::string& lambda) {
  const std::string t = std::to_string(thetai);
  const std::string rest = " 0.10 0.30 10 " + lambda + " 11.15 1\n";
  return "1\n0\n1\n1.32 0.463 0.027 " + t + rest + "1.32 0.463 0.027 " + t + rest +
         "0.66 0.40 0.027 " + t + rest;
}

void build_loam_columns(model_state& s, const temp_dir& dir, double thetai,
                        const std::string& lambda = "0.252") {
  s.input.inf_richards = 1;
  s.soil.surface_moisture.assign(3, 0.0);
  richards_fixture::build_columns(s, dir, loam_table(thetai, lambda), soil_family_brooks, 0,
                                  {0, 1, 1});
  ASSERT_EQ(s.soil.richards.row, 33);
}

TEST(richards_hotstart, every_node_takes_the_content_and_the_heads_follow) {
  temp_dir dir;
  model_state hot, fresh, held;
  error_state = error_record{};
  build_loam_columns(hot, dir, 0.30);
  build_loam_columns(fresh, dir, 0.35);
  build_loam_columns(held, dir, 0.40);
  const std::string summary_path = dir.file("summary.out");
  safe_file summary;
  ASSERT_TRUE(summary.open(summary_path.c_str(), "w"));
  set_summary_file(&summary);
  // Cell 2's content lies above the deepest layer's saturation.
  const std::vector<double> theta = {0.0, 0.35, 0.43};
  ASSERT_TRUE(richards_hotstart(hot, theta, "sm.asc"));
  summary.close();

  // Cell 1 is the column the set-up builds from a content of 0.35.
  const richards_soil& rs = hot.soil.richards;
  const richards_soil& rf = fresh.soil.richards;
  const std::size_t row = std::size_t(rs.row);
  for (std::size_t j = 0; j < row - 1; ++j) {
    EXPECT_DOUBLE_EQ(rs.theta[row + j], rf.theta[row + j]) << j;
    EXPECT_DOUBLE_EQ(rs.phead[row + j], rf.phead[row + j]) << j;
    EXPECT_DOUBLE_EQ(rs.khead[row + j], rf.khead[row + j]) << j;
    EXPECT_DOUBLE_EQ(rs.watcap[row + j], rf.watcap[row + j]) << j;
  }
  // Cell 2: 0.43 in the upper layers, the deepest one held saturated at 0
  // head, as the 0.40 column has it there.
  const richards_soil& rh = held.soil.richards;
  EXPECT_DOUBLE_EQ(rs.theta[2 * row + 20], 0.43);
  EXPECT_LT(rs.phead[2 * row + 20], 0.0);
  for (std::size_t j = 21; j <= 31; ++j) {
    EXPECT_DOUBLE_EQ(rs.theta[2 * row + j], 0.40) << j;
    EXPECT_DOUBLE_EQ(rs.phead[2 * row + j], 0.0) << j;
    EXPECT_DOUBLE_EQ(rs.khead[2 * row + j], rh.khead[2 * row + j]) << j;
  }
  EXPECT_DOUBLE_EQ(hot.soil.surface_moisture[1], 0.35);
  EXPECT_DOUBLE_EQ(hot.soil.surface_moisture[2], 0.43);
  // Nodes 1..30 on 100 m2: 30 x 0.35 and 20 x 0.43 + 10 x 0.40 cm.
  EXPECT_NEAR(rs.column_water, 10.5 + 12.6, 1e-9);
  const std::string text = read_file(summary_path);
  EXPECT_TRUE(has(text, "Inital volume of water in soil column= 23.100000 \n \n")) << text;
}

TEST(richards_hotstart, contents_without_a_finite_head_are_refused) {
  struct refused {
    const char* lambda;
    double theta;
    const char* text;
  };
  // A pore-size index of 0.01 puts the head of a content 1e-12 above the
  // residual past any double.
  const refused cases[] = {{"0.252", 0.027, "0.027"},
                           {"0.252", 0.02, "0.02"},
                           {"0.01", 0.027 + 1e-12, "0.027"}};
  for (const refused& c : cases) {
    SCOPED_TRACE(c.theta);
    temp_dir dir;
    model_state s;
    error_state = error_record{};
    build_loam_columns(s, dir, 0.30, c.lambda);
    test_support::stdout_capture capture;
    EXPECT_FALSE(richards_hotstart(s, std::vector<double>{0.0, 0.30, c.theta}, "sm.asc"));
    const std::string out = capture.stop();
    EXPECT_TRUE(has(out, std::string("Error: the soil moisture hotstart sm.asc gives grid cell 2 "
                                     "the water content ") +
                             c.text +
                             ", at or too near the residual content 0.027 of node 0 of its "
                             "soil column.\n"))
        << out;
    EXPECT_EQ(error_state.stop_flag, 1);  // code 4000, reported at once
  }
  error_state = error_record{};
}

}  // namespace
