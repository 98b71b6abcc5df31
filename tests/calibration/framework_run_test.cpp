// The framework exchange in whole runs of a row of five 100 m cells under
// Green and Ampt (Ks 1.8 cm/h, porosity 0.45, moisture 0.2, capillary head
// 10 cm, Manning n 0.05) and two one-gauge events of 20 mm/h for an hour,
// 1 March 2001 12:00 and 15 March 2001 06:00; and the exchange step on
// hand-built records for the choices it makes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../channel/network_fixture.h"
#include "../channel/section_network.h"
#include "../surface/surface_run_fixture.h"
#include "calibration/calibration_steps.h"
#include "calibration/framework_exchange.h"
#include "channel/ex_section.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;
using test_support::read_file;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

std::string row_map(const std::vector<double>& values) {
  return ascii_grid(1, 5, 100.0, values);
}

const char* const two_events =
    "EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 250 50\nRATES 2001 3 1 12 0 20\nRATES 2001 3 1 13 0 0\n"
    "EVENT second\nNRGAG 1\nNRPDS 2\nCOORD 250 50\nRATES 2001 3 15 6 0 20\nRATES 2001 3 15 7 0 0\n";

const char* const exchange_cards =
    "QTR\nVUNE vune.txt\nMOIST_TO_VUNE moist_out.asc\nKSAT_TO_VUNE ksat_out.asc\n"
    "ROUGH_TO_VUNE rough_out.asc\nPOROS_TO_VUNE poros_out.asc\nMOIST_FROM_VUNE moist_in.asc\n"
    "KSAT_FROM_VUNE ksat_in.asc\nROUGH_FROM_VUNE rough_in.asc\n";

class framework_run : public testing::Test {
 protected:
  run_output run(const std::string& extra,
                 const std::function<void(model_state&)>& after_pass = nullptr) {
    dir_.write("mask.asc", row_map({1, 1, 1, 1, 1}));
    dir_.write("elevation.asc", row_map({4, 3, 2, 1, 0}));
    dir_.write("rain.gag", two_events);
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, double>>{
             {"ks.asc", 1.8}, {"phi.asc", 0.45}, {"theta.asc", 0.2}, {"hc.asc", 10}})
      dir_.write(name, row_map({value, value, value, value, value}));
    dir_.write("row.prj",
               "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nGRIDSIZE 100\n"
               "ROWS 1\nCOLS 5\nOUTROW 1\nOUTCOL 5\nOUTSLOPE 0.01\nMANNING_N 0.05\nTIMESTEP 30\n"
               "HYD_FREQ 1\nMAP_FREQ 60\nPRECIP_FILE rain.gag\nGREEN_AMPT\nCONDUCTIVITY ks.asc\n"
               "POROSITY phi.asc\nMOISTURE theta.asc\nCAPILLARY hc.asc\nSUMMARY summary.out\n"
               "OUTLET_HYDRO outlet.hyd\n"
               "NUM_THREADS 1\n" +
                   extra);
    return run_in_process(dir_.path(), "row.prj", after_pass);
  }

  void write_vune_maps() {
    dir_.write("exchange/moist_in.asc", row_map({0.05, 0.6, 0.2, 0.2, 0.2}));
    dir_.write("exchange/rough_in.asc", row_map({0, 0.05, 0.05, 0.05, 0.05}));
    dir_.write("exchange/ksat_in.asc", row_map({3.6, 1.8, 1.8, 1.8, 1.8}));
  }

  std::string file(const std::string& name) { return read_file(dir_.file(name)); }

  temp_dir dir_;
};

// The north/south/east/west layout of the row with its five values.
std::string nsew_map(const std::string& values) {
  return "north:    100.00\nsouth:      0.00\neast:    500.00\nwest:      0.00\n"
         "rows:     1\ncols:     5\n" +
         values + "\n";
}

std::string five(const char* v) {
  std::string s;
  for (int i = 0; i < 5; ++i) s += std::string(v) + " ";
  return s;
}

TEST_F(framework_run, maps_go_out_and_come_back_and_the_clock_jumps_to_the_next_event) {
  write_vune_maps();
  struct pass {
    int step;
    double time;
    int event;
  };
  std::vector<pass> passes;
  std::vector<std::string> maps_after_event_1;
  std::vector<double> theta;
  const run_output out = run(exchange_cards, [&](model_state& s) {
    passes.push_back({s.run.step, s.run.current_time, s.run.event_index});
    if (maps_after_event_1.empty() && s.run.events_finished == 1) {
      for (const char* m : {"moist_out.asc", "rough_out.asc", "ksat_out.asc", "poros_out.asc", "vune.txt"})
        maps_after_event_1.push_back(file(std::string("exchange/") + m));
      theta = s.soil.initial_theta;
    }
  });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("reading VUNE exchange maps\n"), std::string::npos);

  ASSERT_EQ(maps_after_event_1.size(), 5u);
  EXPECT_EQ(maps_after_event_1[0], nsew_map(five("0.200000")));
  EXPECT_EQ(maps_after_event_1[1], nsew_map(five("0.050000")));
  EXPECT_EQ(maps_after_event_1[2], nsew_map(five("1.800000")));
  EXPECT_EQ(maps_after_event_1[3], nsew_map(five("0.450000")));
  // Days since 31 December 2000 01:00: now (1 March) and the next start (15 March).
  EXPECT_EQ(maps_after_event_1[4], " 60  74\n");
  // Moisture read back: 0.05 raised to 0.1, 0.6 above porosity cut to 0.99 x 0.45.
  ASSERT_EQ(theta.size(), 6u);
  EXPECT_DOUBLE_EQ(theta[1], 0.1);
  EXPECT_DOUBLE_EQ(theta[2], 0.4455);
  EXPECT_DOUBLE_EQ(theta[3], 0.2);

  // Event 2's maps carry what came back: roughness 0 became 0.04, Ks 3.6 cm/h.
  EXPECT_EQ(file("exchange/rough_out.asc"), nsew_map("0.040000 " + five("0.050000").substr(9)));
  EXPECT_EQ(file("exchange/ksat_out.asc"), nsew_map("3.600000 " + five("1.800000").substr(9)));
  EXPECT_EQ(file("exchange/moist_out.asc"),
            nsew_map("0.100000 0.445500 0.200000 0.200000 0.200000 "));
  EXPECT_EQ(file("exchange/vune.txt"), "999 999\n");

  // Event 1's last pass ends one step before event 2's start; the pass
  // after it runs at that start, one step on.
  const double second_start = julian_date(2001, 3, 15, 6, 0, 0.0);
  std::size_t jump = 0;
  for (std::size_t i = 1; i < passes.size(); ++i)
    if (passes[i].time - passes[i - 1].time > 1.0) jump = i;
  ASSERT_GT(jump, 0u);
  ASSERT_LT(jump + 1, passes.size());
  EXPECT_NEAR(passes[jump].time, second_start - 30.0 / 86400.0, 1e-7);
  EXPECT_EQ(passes[jump].event, 1);
  EXPECT_EQ(passes[jump].step, passes[jump - 1].step + 1);
  EXPECT_NEAR(passes[jump + 1].time, second_start, 1e-7);
  EXPECT_EQ(passes[jump + 1].step, passes[jump].step + 1);
  EXPECT_EQ(passes[jump + 1].event, 2);
  EXPECT_NE(file("summary.out").find("Event began on 03/15/2001 at 06:00"), std::string::npos);
}

TEST_F(framework_run, an_event_call_runs_its_one_event) {
  write_vune_maps();
  int finished = 0;
  const run_output out = run(std::string(exchange_cards) + "QTR_EVENT_NUM 1\n",
                             [&](model_state& s) { finished = s.run.events_finished; });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("End of QTR event 1\n"), std::string::npos) << out.text;
  EXPECT_EQ(out.text.find("reading VUNE exchange maps"), std::string::npos);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(file("exchange/vune.txt"), " 60  74\n");
}

TEST_F(framework_run, the_last_event_call_writes_999) {
  std::filesystem::create_directories(dir_.path() / "exchange");
  const run_output out = run(std::string(exchange_cards) + "QTR_EVENT_NUM 2\n");
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find("End of QTR event 2\n"), std::string::npos) << out.text;
  EXPECT_EQ(file("exchange/vune.txt"), "999 999\n");
}

TEST_F(framework_run, maps_read_at_set_up_are_bounded_as_at_an_event_end) {
  write_vune_maps();
  double rough = -1.0, ks = -1.0, theta = -1.0;
  const run_output out = run(std::string(exchange_cards) + "VUNE_FIRST\nQTR_EVENT_NUM 1\n",
                             [&](model_state& s) {
                               if (s.run.pass != 1) return;
                               rough = s.surface.dist_rough[1];
                               ks = s.soil.ksat[1];
                               theta = s.soil.initial_theta[1];
                             });
  ASSERT_EQ(out.status, 0) << out.text;
  EXPECT_DOUBLE_EQ(rough, 0.04);
  EXPECT_DOUBLE_EQ(ks, 3.6 / 360000.0);
  EXPECT_DOUBLE_EQ(theta, 0.1);
}

TEST_F(framework_run, exchange_files_that_do_not_open_stop_the_run) {
  struct bad_case {
    std::string cards;
    bool vune_maps;
    std::string message;
  };
  const bad_case cases[] = {
      {std::string(exchange_cards) + "VUNE_FIRST\n", false,
       "1 Can't open soil moisture exchange file exchange/moist_in.asc for reading\n"},
      {exchange_cards, false,
       "2 Can't open soil moisture exchange file exchange/moist_in.asc for reading\n"},
      {"QTR\nVUNE vune.txt\nROUGH_FROM_VUNE r.asc\n", true,
       "2 Can't open roughness exchange file exchange/r.asc for reading\n"},
      {"QTR\nVUNE vune.txt\nKSAT_FROM_VUNE k.asc\n", true,
       "2 Can't open Ksat exchange file exchange/k.asc for reading\n"},
      {"QTR\nVUNE vune.txt\nMOIST_TO_VUNE none/m.asc\n", true,
       "Can't open soil moisture exchange file exchange/none/m.asc for writing\n"},
      {"QTR\nVUNE vune.txt\nROUGH_TO_VUNE none/r.asc\n", true,
       "Can't open roughness exchange file exchange/none/r.asc for writing\n"},
      {"QTR\nVUNE vune.txt\nKSAT_TO_VUNE none/k.asc\n", true,
       "Can't open Ksat exchange file exchange/none/k.asc for writing\n"},
      {"QTR\nVUNE vune.txt\nPOROS_TO_VUNE none/p.asc\n", true,
       "Can't open porosity exchange file exchange/none/p.asc for writing\n"},
      {"QTR\nVUNE none/vune.txt\n", true, "unable to open vune exchange file for writing\n"},
  };
  for (const bad_case& c : cases) {
    std::filesystem::remove_all(dir_.path() / "exchange");
    std::filesystem::create_directories(dir_.path() / "exchange");
    if (c.vune_maps) write_vune_maps();
    const run_output out = run(c.cards);
    EXPECT_EQ(out.status, 1) << c.cards;
    EXPECT_NE(out.text.find(c.message), std::string::npos) << c.cards << out.text;
  }
}

// The exchange step alone on a record of two cells whose run has two
// events, the vegetation file its only output.
class exchange_step : public testing::Test {
 protected:
  void build(model_state& s) {
    s.grid.cells = 2;
    s.input.qtr = 1;
    s.input.vune = 1;
    s.input.exchange_file = dir_.file("vune.txt");
    run_control& run = s.run;
    run.num_events = 2;
    run.event_index = 1;
    run.event_starts = {0.0, julian_date(2001, 3, 1, 12, 0, 0.0), julian_date(2001, 3, 15, 6, 0, 0.0)};
    run.origin = run.event_starts[1];
    run.dt = 30.0;
    run.dt_days = 30.0 / 86400.0;
    run.step = 200;
    run.start_time = run.origin;
    run.current_time = run.origin + 200 * run.dt_days;
    run.run_flag = 1;
    run.exchange_pending = 1;
    run.overland.set_interval(30.0);
  }
  temp_dir dir_;
};

TEST_F(exchange_step, the_jump_waits_for_continuous_processes) {
  struct flag_case {
    const char* name;
    int input_state::*flag;
  };
  const flag_case cases[] = {{"none", nullptr},
                             {"long_term", &input_state::long_term},
                             {"gw_simulation", &input_state::gw_simulation},
                             {"water_table", &input_state::water_table},
                             {"sacramento", &input_state::sacramento}};
  for (const flag_case& c : cases) {
    model_state s;
    build(s);
    if (c.flag) s.input.*c.flag = 1;
    const double before = s.run.current_time;
    {
      stdout_capture quiet;
      event_end_exchange_step(s);
    }
    EXPECT_EQ(error_state.stop_flag, 0) << c.name;
    EXPECT_EQ(s.run.event_end, 1) << c.name;
    EXPECT_EQ(s.run.exchange_pending, 0) << c.name;
    const double target = s.run.event_starts[2] - s.run.dt_days;
    if (!c.flag) {
      EXPECT_DOUBLE_EQ(s.run.current_time, target);
      // the next pass's clock, step count times step from the moved start
      EXPECT_NEAR((s.run.step + 1) * s.run.dt_days + s.run.start_time, s.run.event_starts[2], 1e-9);
      EXPECT_DOUBLE_EQ(s.run.overland.last, target);
      EXPECT_DOUBLE_EQ(s.run.overland.next, target + s.run.dt_days);
    } else {
      EXPECT_EQ(s.run.current_time, before) << c.name;
    }
    EXPECT_EQ(read_file(dir_.file("vune.txt")), " 60  74\n") << c.name;
  }
}

TEST_F(exchange_step, a_next_event_already_begun_leaves_the_clock_alone) {
  model_state s;
  build(s);
  s.run.event_starts[2] = s.run.current_time - 0.01;
  const double before = s.run.current_time;
  {
    stdout_capture quiet;
    event_end_exchange_step(s);
  }
  EXPECT_EQ(s.run.current_time, before);
  EXPECT_EQ(s.run.run_flag, 1);
  EXPECT_EQ(error_state.stop_flag, 0);
}

TEST(bound_exchanged_values, keeps_moisture_between_its_bounds_and_roughness_above_zero) {
  struct bound_case {
    int redistribution;
    double in, out;
  };
  // porosity 0.45, residual 0.04
  const bound_case cases[] = {
      {0, 0.6, 0.99 * 0.45}, {0, 0.05, 0.1},  {0, 0.3, 0.3},
      {1, 0.6, 0.04 + 0.99 * 0.41}, {1, 0.03, 0.04 + 0.01 * 0.41}, {1, 0.04, 0.04 + 0.01 * 0.41},
      {1, 0.05, 0.05},
  };
  for (const bound_case& c : cases) {
    model_state s;
    s.grid.cells = 1;
    s.input.inf_redist = c.redistribution;
    s.input.settings.moist_from_vune_given = 1;
    s.input.settings.rough_from_vune_given = 1;
    s.soil.initial_theta = {0.0, c.in};
    s.soil.porosity = {0.0, 0.45};
    s.soil.residual = {0.0, 0.04};
    s.surface.dist_rough = {0.0, c.in > 0.1 ? 0.0 : -1.0};
    bound_exchanged_values(s);
    EXPECT_NEAR(s.soil.initial_theta[1], c.out, 1e-15) << c.redistribution << " " << c.in;
    EXPECT_DOUBLE_EQ(s.surface.dist_rough[1], 0.04);
  }
}

}  // namespace

namespace {

// An erodible trapezoid link whose sand raised its bed by 0.1 m keeps its
// node depths at the event end; its stages rise with the bed.
TEST(event_end_exchange_step, erodible_trapezoid_beds_take_the_sand_left) {
  error_state = error_record{};
  model_state s;
  network_fixture::build_network(s.channel, {{{10.2, 10.0, 9.8}}});
  channel_state& c = s.channel;
  c.ltype[1] |= link_bit::erodible;
  chan_sediment_state& cs = s.quality.chan_sediment;
  cs.on = 1;
  cs.new_bel.assign(c.node_slots(), 0.0);
  for (int j = 1; j <= 3; ++j) {
    const int a = c.node_address(1, j);
    c.chan_depth[a] = 0.5;
    c.yp[a] = c.bel[a] + 0.5;
    cs.new_bel[a] = c.bel[a] + 0.1;
  }
  s.run.exchange_pending = 1;
  event_end_exchange_step(s);
  EXPECT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.run.event_end, 1);
  for (int j = 1; j <= 3; ++j) {
    const int a = c.node_address(1, j);
    EXPECT_NEAR(c.bel[a], 10.5 - 0.2 * j, 1e-12);
    EXPECT_NEAR(c.yp[a], 11.0 - 0.2 * j, 1e-12);
    EXPECT_NEAR(c.chan_depth[a], 0.5, 1e-12);
    EXPECT_NEAR(c.area[a], 1.25, 1e-12);  // 2 m wide at the bottom, side slope 1
  }

  error_state = error_record{};
}

}  // namespace

namespace {

// An erodible break-point node (a V 1 m deep and 2 m wide, 100 m of
// channel, water 0.5 m deep) whose store lost 6 m3 of sand since its
// section was drawn: 0.06 m3/m at porosity 0.4 is 0.1 m2 of bed, so the
// V's lowest point drops 0.1 m. The section keeps its water (0.25 m2), so
// the depth follows the deeper V (area y^2 / 1.1, y = 0.5244 m), and the
// section now stands for the store.
TEST(event_end_exchange_step, erodible_break_point_sections_are_drawn_from_their_sand) {
  error_state = error_record{};
  model_state s;
  channel_state& c = s.channel;
  c = section_network::make_network(1, 1, link_bit::breakpoint | link_bit::erodible, 0.03);
  c.bplink[1] = 1;
  c.dx.assign(2, 100.0);
  section_network::size_tables(c, 2, 10);
  section_network::size_erodible(c, 1, 3);
  bp_link_sections in;
  in.link = 1;
  in.sections.push_back(section_network::section(1, 10, {{0.0, 1.0}, {1.0, 0.0}, {2.0, 1.0}}));
  int counter = 0;
  ASSERT_TRUE(interp_bp_xsec(c, in, counter));
  const int a = c.node_address(1, 1);
  c.bel[a] = 5.0;
  c.yp[a] = 5.5;
  ex_section(c, section_mode::from_stage);
  ASSERT_NEAR(c.area[a], 0.25, 1e-12);

  s.quality.sediment.sed_porosity = 0.4;
  chan_sediment_state& cs = s.quality.chan_sediment;
  cs.on = 1;
  for (std::vector<double>* v : {&cs.new_bel, &cs.org_bel, &cs.bed_sand, &cs.min_bel})
    v->assign(c.node_slots(), 0.0);
  cs.ch_sand_vol.assign(c.node_slots() * 2, 0.0);
  cs.new_bel[a] = cs.org_bel[a] = 5.0;
  cs.min_bel[a] = 4.5;
  c.ch_sand_vol0[c.bp_node_index(1, 1)] = 100.0;
  cs.ch_sand_vol[cs.snd(a, 0)] = cs.ch_sand_vol[cs.snd(a, 1)] = 94.0;

  s.run.exchange_pending = 1;
  event_end_exchange_step(s);
  ASSERT_EQ(error_state.stop_flag, 0);
  EXPECT_EQ(s.run.event_end, 1);
  EXPECT_NEAR(c.bel[a], 4.9, 1e-6);
  EXPECT_NEAR(cs.new_bel[a], 4.9, 1e-6);
  EXPECT_NEAR(c.area[a], 0.25, 1e-9);
  EXPECT_NEAR(c.chan_depth[a], std::sqrt(0.25 * 1.1), 5e-3);
  EXPECT_NEAR(c.yp[a], c.bel[a] + c.chan_depth[a], 1e-12);
  EXPECT_NEAR(c.ch_sand_vol0[c.bp_node_index(1, 1)], 94.0, 1e-5 * 6.0);

  // With the store unchanged the next event end owes the section at most
  // the rounding of the last drawing.
  s.run.exchange_pending = 1;
  event_end_exchange_step(s);
  EXPECT_NEAR(c.bel[a], 4.9, 1e-6);
  EXPECT_NEAR(c.area[a], 0.25, 1e-9);
  error_state = error_record{};
}

}  // namespace
