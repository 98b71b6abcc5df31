// The channel constituent steps on a prepared network: one link of 20 nodes
// 10 m apart under 1 m2 of still water (10 m3 a node), the channel and its
// constituent clock on a 60 s step. Decay at 8.64 per day (1e-4 per second)
// takes 0.6 % of the mass each step as the pending decay of the start
// concentration, so the mass falls by 0.994 a step (e^-kt would be
// 0.9417645 after ten steps and 0.5488116 after a hundred).

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../channel/network_fixture.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "quality/channel_contam.h"
#include "quality/contam_steps.h"
#include "quality/contaminant_inputs.h"
#include "quality/quality_steps.h"
#include "test_support.h"

namespace {

using namespace network_fixture;

constexpr double step_s = 60.0;

// A run record around the prepared link with constituents 1..types.size()
// of those types, started at concentration conc.
std::unique_ptr<model_state> still_link(double conc, double decay_per_day,
                                        const std::vector<int>& types = {1}) {
  auto s = std::make_unique<model_state>();
  link_layout l;
  l.beds.assign(20, 10.0);
  l.dx = 10.0;
  build_network(s->channel, {l});
  channel_state& c = s->channel;
  c.qp_vol.assign(c.node_slots(), 0.0);
  for (int j = 1; j <= 20; ++j) c.area[c.node_address(1, j)] = c.area_old[c.node_address(1, j)] = 1.0;
  start_channel_clock(*s, step_s);
  s->grid.cells = 1;
  contaminant_model& m = s->quality.contam;
  m.on = 1;
  m.present = 1;
  size_contaminant_arrays(m, int(types.size()), 1, 1);
  for (std::size_t k = 0; k < types.size(); ++k) m.c.constituent_type[k + 1] = types[k];
  s->input.chan_con_trans = 1;
  s->input.init_chan_conc = conc;
  s->input.chan_decay_coef = decay_per_day;
  alloc_channel_contaminant_arrays(*s);
  init_channel_contam_state(*s);
  s->run.chan_contam = s->run.channel;
  return s;
}

// One channel step: the clock moves on, then the decay and constituent
// steps act as the time loop calls them after the channel step.
void channel_pass(model_state& s) {
  run_control& run = s.run;
  run.channel.next = run.channel.last + run.channel.interval_d;
  run.chan_contam.next = run.channel.next;
  run.current_time = run.channel.next;
  contam_decay_step(s);
  channel_contam_step(s);
  run.channel.last = run.current_time;
}

double link_mass(const model_state& s, int k = 1) { return channel_contam_mass(s, k) * 1000.0; }

TEST(channel_contam, wet_nodes_start_with_their_mass_and_dry_ones_empty_with_their_rates) {
  auto s = std::make_unique<model_state>();
  link_layout l;
  l.beds.assign(3, 10.0);
  l.dx = 10.0;
  build_network(s->channel, {l});
  s->channel.area[s->channel.node_address(1, 1)] = 2.0;
  s->grid.cells = 1;
  contaminant_model& m = s->quality.contam;
  m.on = 1;
  m.present = 1;
  size_contaminant_arrays(m, 1, 1, 1);
  s->input.chan_con_trans = 1;
  s->input.init_chan_conc = 10.0;
  s->input.chan_decay_coef = 8.64;
  s->input.chan_disp_coef = 3.0;
  alloc_channel_contaminant_arrays(*s);
  init_channel_contam_state(*s);
  const chan_contam_state& w = s->quality.chan_contam;
  const int wet = s->channel.node_address(1, 1), dry = s->channel.node_address(1, 2);
  EXPECT_DOUBLE_EQ(s->quality.chan_node_mass[1][wet], 200.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_node_conc[1][dry], 0.0);
  EXPECT_DOUBLE_EQ(w.chan_decay_coef[1][dry], 1e-4);
  EXPECT_DOUBLE_EQ(w.chan_node_disp[1][dry], 3.0);
  EXPECT_DOUBLE_EQ(w.run[1].chan_init, 0.2);
  EXPECT_DOUBLE_EQ(m.run[1].global_mass_init, 0.2);
}

TEST(channel_contam, still_water_decays_by_0_994_a_step_and_books_the_loss) {
  auto s = still_link(10.0, 8.64);
  const double m0 = link_mass(*s);
  EXPECT_DOUBLE_EQ(m0, 2000.0);
  EXPECT_DOUBLE_EQ(s->quality.contam.run[1].global_mass_init, 2.0);
  channel_pass(*s);
  EXPECT_NEAR(link_mass(*s) / m0, 0.994, 1e-9);
  for (int step = 2; step <= 10; ++step) channel_pass(*s);
  EXPECT_NEAR(link_mass(*s) / m0, 0.9415944, 0.9415944e-6);
  for (int step = 11; step <= 100; ++step) channel_pass(*s);
  const double m100 = link_mass(*s);
  EXPECT_NEAR(m100 / m0, 0.5478207, 0.5478207e-6);
  const chan_contam_totals& r = s->quality.chan_contam.run[1];
  EXPECT_NEAR(r.decay, (m0 - m100) / 1000.0, 1e-12);
  EXPECT_NEAR(s->quality.contam.run[1].global_mass_decay, r.decay, 1e-12);
}

TEST(channel_contam, a_lake_starts_with_its_mass_booked_and_decays_alike) {
  auto s = still_link(10.0, 8.64);
  channel_state& c = s->channel;
  // Link 1 stands for a lake of 1000 m3.
  make_lake_link(c, 1, 1000.0);
  s->quality.contam.run[1] = constituent_totals{};
  alloc_channel_contaminant_arrays(*s);
  init_channel_contam_state(*s);
  EXPECT_DOUBLE_EQ(s->quality.chan_contam.run[1].lake_init, 10.0);
  EXPECT_DOUBLE_EQ(s->quality.contam.run[1].global_mass_init, 10.0);
  for (int step = 1; step <= 10; ++step) channel_pass(*s);
  EXPECT_NEAR(lake_contam_mass(*s, 1) / 10.0, 0.9415944, 0.9415944e-6);
  EXPECT_NEAR(s->quality.chan_contam.run[1].lake_decay, 10.0 - lake_contam_mass(*s, 1), 1e-12);
}

// Link 1 (3 nodes of 10 m3 at 10 g/m3) runs into lake link 2 (100 m3 at
// 10 g/m3) over one grid cell, which the lake covers.
std::unique_ptr<model_state> link_into_lake() {
  auto s = std::make_unique<model_state>();
  link_layout up, lake;
  up.beds.assign(3, 10.0);
  up.dx = 10.0;
  up.downstream = 2;
  lake.beds.assign(1, 9.0);
  build_network(s->channel, {up, lake});
  channel_state& c = s->channel;
  make_lake_link(c, 2, 100.0);
  c.qp_vol.assign(c.node_slots(), 0.0);
  c.status_node.assign(c.node_slots(), 0);
  for (int j = 1; j <= 3; ++j) c.area[c.node_address(1, j)] = c.area_old[c.node_address(1, j)] = 1.0;
  c.max_lake_points = 1;
  c.lake_cells.assign(2, 1);
  c.calc_loss.assign(2, 0);
  c.lake_search_row.assign(4, 1);
  c.lake_search_col.assign(4, 1);
  start_channel_clock(*s, step_s);
  s->grid.cells = 1;
  EXPECT_TRUE(s->grid.mask.allocate_grid(1, 1));
  s->grid.mask[1][1] = 1;
  contaminant_model& m = s->quality.contam;
  m.on = 1;
  size_contaminant_arrays(m, 1, 1, 1);
  m.c.constituent_type[1] = 1;
  s->input.chan_con_trans = 1;
  s->input.init_chan_conc = 10.0;
  alloc_channel_contaminant_arrays(*s);
  init_channel_contam_state(*s);
  s->run.chan_contam = s->run.channel;
  return s;
}

TEST(channel_contam, a_node_a_lake_takes_gives_it_its_mass_and_takes_lake_water_back) {
  // The lake takes node 3 with its water, then gives it back.
  auto s = link_into_lake();
  channel_state& c = s->channel;
  const chan_contam_state& w = s->quality.chan_contam;
  const std::size_t third = std::size_t(c.node_address(1, 3));

  // The flow step took the node: its 10 m3 are the lake's now.
  c.status_node[third] = 1;
  c.nx[1] = 2;
  c.area[third] = c.area_old[third] = 0.0;
  c.lake_volume[1] = c.lake_volume_last_chan[1] = 110.0;
  channel_pass(*s);
  EXPECT_NEAR(lake_contam_mass(*s, 1), 1.1, 1e-12);
  EXPECT_NEAR(channel_contam_mass(*s, 1), 0.2, 1e-12);
  EXPECT_EQ(s->quality.chan_node_mass[1][third], 0.0);
  EXPECT_NEAR(w.run[1].lake_exchange, 0.1, 1e-12);
  EXPECT_NEAR(w.run[1].chan_init + w.run[1].lake_init,
              channel_contam_mass(*s, 1) + lake_contam_mass(*s, 1), 1e-12);

  // Given back, refilled with 10 m3 of lake water at its 10 g/m3.
  c.status_node[third] = 0;
  c.nx[1] = 3;
  c.area[third] = c.area_old[third] = 1.0;
  c.lake_volume[1] = c.lake_volume_last_chan[1] = 100.0;
  channel_pass(*s);
  EXPECT_NEAR(s->quality.chan_node_mass[1][third], 100.0, 1e-9);
  EXPECT_NEAR(s->quality.chan_node_conc[1][third], 10.0, 1e-12);
  EXPECT_NEAR(lake_contam_mass(*s, 1), 1.0, 1e-12);
  EXPECT_NEAR(w.run[1].lake_exchange, 0.0, 1e-12);
}

TEST(channel_contam, a_node_a_lake_takes_gives_it_its_fines_attached_mass) {
  // Node 3 holds its 100 g of water and 30 g on its fines. The lake takes
  // both: the 30 g join the lake's attached mass as the channels' inflow,
  // and the node, given back, holds only the lake water it refills with.
  auto s = link_into_lake();
  channel_state& c = s->channel;
  chan_sed_contam_state& a = s->quality.chan_sed_contam;
  a.on = 1;
  a.constituents = 1;
  a.lakes = 1;
  a.fine = 1;
  a.chan_tot_node_mass.assign(2, s->quality.chan_node_mass[1]);
  // The lake's total as its partition leaves it before the routing: only
  // what its fines hold, none here.
  a.lake_tot_mass.assign(2, {0.0, 0.0});
  a.lake_sed_contam_source.assign(2, {0.0, 0.0});
  a.run.assign(2, chan_sed_contam_totals{});
  a.event.assign(2, chan_sed_contam_totals{});
  const std::size_t third = std::size_t(c.node_address(1, 3));
  a.chan_tot_node_mass[1][third] += 30.0;

  c.status_node[third] = 1;
  c.nx[1] = 2;
  c.area[third] = c.area_old[third] = 0.0;
  c.lake_volume[1] = c.lake_volume_last_chan[1] = 110.0;
  channel_pass(*s);
  EXPECT_EQ(a.chan_tot_node_mass[1][third], 0.0);
  EXPECT_NEAR(a.run[1].chan_lake, 0.030, 1e-15);
  EXPECT_NEAR(a.event[1].chan_lake, 0.030, 1e-15);
  // The lake's total after the routing: its 1100 g of water and the 30 g
  // on the fines.
  EXPECT_NEAR(a.lake_tot_mass[1][1], 1130.0, 1e-9);

  c.status_node[third] = 0;
  c.nx[1] = 3;
  c.area[third] = c.area_old[third] = 1.0;
  c.lake_volume[1] = c.lake_volume_last_chan[1] = 100.0;
  channel_pass(*s);
  EXPECT_NEAR(a.chan_tot_node_mass[1][third], s->quality.chan_node_mass[1][third], 1e-9);
  EXPECT_NEAR(a.chan_tot_node_mass[1][third], 100.0, 1e-9);
}

TEST(channel_contam, the_lake_trades_mass_with_the_aquifer_at_the_upwind_concentration) {
  // 5 m3 seeping into the lake carry the aquifer's 4 g/m3; 5 m3 seeping
  // out carry the lake's 10 g/m3. With the aquifer a cell counts only as the
  // aquifer's lake cell (7); another keeps its volume for later.
  struct seep_case {
    const char* label;
    bool aquifer;
    int gwbound;
    double volume;  // m3, into the lake +
    double grams;   // the lake's gain
    double left;    // m3 still to count
  };
  const seep_case cases[] = {
      {"into the lake", false, 0, 5.0, 20.0, 0.0},
      {"out of the lake", false, 0, -5.0, -50.0, 0.0},
      {"the aquifer's lake cell", true, 7, 5.0, 20.0, 0.0},
      {"another aquifer cell", true, 1, 5.0, 0.0, 5.0},
  };
  for (const seep_case& t : cases) {
    SCOPED_TRACE(t.label);
    auto s = link_into_lake();
    s->channel.lake_loss = 1;
    s->channel.calc_loss[1] = 1;
    s->input.gw_simulation = t.aquifer ? 1 : 0;
    s->subsurface.gw.gwbound.assign(2, t.gwbound);
    s->quality.contam.c.gw_contam_conc[1][1] = 4.0;
    s->quality.chan_contam.cell_lake_gw_volume[1] = t.volume;
    channel_pass(*s);
    EXPECT_NEAR(lake_contam_mass(*s, 1) * 1000.0, 1000.0 + t.grams, 1e-9);
    EXPECT_NEAR(s->quality.chan_contam.run[1].lake_groundwater, t.grams / 1000.0, 1e-12);
    EXPECT_NEAR(s->quality.contam.run[1].global_gw_mass, t.grams / 1000.0, 1e-12);
    EXPECT_EQ(s->quality.chan_contam.cell_lake_gw_volume[1], t.left);
  }
}

TEST(channel_contam, the_take_rule_takes_whole_within_half_a_second) {
  struct take_case {
    double interval, expected;
  };
  const take_case cases[] = {{60.0, 12.0}, {60.4, 12.0}, {30.0, 12.0}, {61.0, 12.0 * 60.0 / 61.0},
                             {120.0, 6.0}};
  for (const take_case& t : cases) {
    SCOPED_TRACE(t.interval);
    EXPECT_DOUBLE_EQ(pending_take(12.0, 60.0, t.interval), t.expected);
  }
}

TEST(channel_contam, a_withdrawal_beyond_the_node_takes_exactly_its_mass) {
  auto s = still_link(1.0, 0.0);
  const int a = s->channel.node_address(1, 7);
  s->quality.chan_qlat_mass[1][a] = -50.0;  // the node holds 10 g
  channel_pass(*s);
  EXPECT_DOUBLE_EQ(s->quality.chan_node_mass[1][a], 0.0);
  EXPECT_NEAR(s->quality.chan_contam.run[1].lateral, -0.010, 1e-15);
  EXPECT_NEAR(link_mass(*s), 190.0, 1e-9);
}

TEST(channel_contam, soil_only_entries_are_left_untouched_and_unbooked) {
  auto s = still_link(10.0, 8.64, {1, 3});
  const int a = s->channel.node_address(1, 4);
  s->quality.chan_qlat_mass[2][a] = 5.0;
  const double before = link_mass(*s, 2);
  for (int step = 1; step <= 3; ++step) channel_pass(*s);
  EXPECT_DOUBLE_EQ(link_mass(*s, 2), before);
  EXPECT_DOUBLE_EQ(s->quality.chan_qlat_mass[2][a], 5.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_contam.run[2].decay, 0.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_contam.run[2].lateral, 0.0);
  EXPECT_GT(s->quality.chan_contam.run[1].decay, 0.0);
}

TEST(channel_contam, the_outlet_takes_its_concentration_times_the_outflow) {
  auto s = still_link(2.0, 0.0);
  s->channel.contam_outlet_volume = 3.0;  // m3 out through the outlet in the step
  channel_pass(*s);
  EXPECT_NEAR(s->quality.chan_contam.run[1].outlet, 0.006, 1e-15);
  EXPECT_NEAR(s->quality.contam.run[1].global_mass_out, 0.006, 1e-15);
  EXPECT_NEAR(link_mass(*s), 400.0 - 6.0, 1e-9);
  EXPECT_DOUBLE_EQ(s->channel.contam_outlet_volume, 0.0);
}

TEST(channel_contam, a_cell_hands_its_booked_outflow_to_its_nodes_by_their_bank_volumes) {
  auto s = still_link(0.0, 0.0);
  channel_state& c = s->channel;
  s->grid.cells = 2;
  set_stream_cells(c, {{{2, 1, 3, 0.5}, {2, 1, 4, 0.5}}});
  alloc_channel_contaminant_arrays(*s);
  c.gst_vlat[c.gst_index(1, 1)] = 30.0;
  c.gst_vlat[c.gst_index(1, 2)] = 10.0;
  note_bank_exchange(*s);
  pass_cell_mass_to_nodes(*s, 1, 2, 8.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_qlat_mass[1][c.node_address(1, 3)], 6.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_qlat_mass[1][c.node_address(1, 4)], 2.0);
  // No bank outflow since: the shares stay.
  note_bank_exchange(*s);
  pass_cell_mass_to_nodes(*s, 1, 2, 4.0);
  EXPECT_DOUBLE_EQ(s->quality.chan_qlat_mass[1][c.node_address(1, 3)], 9.0);
  pass_cell_mass_to_nodes(*s, 1, 1, 4.0);  // cell 1 holds no channel
  EXPECT_DOUBLE_EQ(channel_pending_mass(*s, 1), 0.012);
}

TEST(channel_contam, bad_set_ups_are_refused_with_their_messages) {
  {
    auto s = still_link(1.0, 0.0);
    s->input.all_contam_output = 1;
    s->quality.con_output = "no/such/folder/con_output";
    clear_errors();
    test_support::stdout_capture capture;
    alloc_channel_contaminant_arrays(*s);
    EXPECT_NE(capture.stop().find("Can't open no/such/folder/con_output to write channel contam "
                                  "data \n"),
              std::string::npos);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  {
    auto s = std::make_unique<model_state>();
    s->quality.contam.on = 1;
    s->channel.channel_lakes = 1;
    clear_errors();
    test_support::stdout_capture capture;
    init_constituent_state(*s);
    EXPECT_NE(capture.stop().find("needs CHAN_CON_TRANS"), std::string::npos);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  {
    // An overland lake keeps no constituent mass of its own.
    auto s = std::make_unique<model_state>();
    s->quality.contam.on = 1;
    s->surface.overland_lakes = 1;
    clear_errors();
    test_support::stdout_capture capture;
    init_constituent_state(*s);
    EXPECT_NE(capture.stop().find("Error: OV_CON_TRANS with overland lakes is not available"),
              std::string::npos);
    EXPECT_EQ(error_state.stop_flag, 1);
  }
  clear_errors();
}

}  // namespace
