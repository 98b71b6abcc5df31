// The stream-aquifer exchange of routed channels, run whole: a small tree
// of three links over an aquifer, under two hours of 36 mm/h. Over a table
// nine metres below the beds, beds of 360 /h would take each node's water
// three times over in a sub-step of 30 s: each node gives what it holds and
// no more, and what the beds took the aquifer gains. With the table above
// the beds of the head links they gain while the link below them loses.
// Either way every node stays at or above empty and every balance of the
// run closes to its last printed digit, alike on one and four threads.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gw_run_fixture.h"
#include "run/model_state.h"

namespace {

using surface_fixture::summary_value;

// Links 1 and 2 of four nodes under the first four cells of rows 3 and 1,
// joining link 3 of six nodes under the rest of row 3; every node's bed a
// metre below its cell's ground.
std::string tree_chan() {
  std::ostringstream t;
  t << "VALTO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES 7\n"
    << "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 0 2 1 2\n";
  auto link = [&t](int number, const std::vector<double>& beds) {
    t << "LINK " << number << "\nNODES " << beds.size() << "\nTRAPEZOID\nDX 100\n"
      << "MANNINGS_N 0.035\n";
    for (std::size_t j = 0; j < beds.size(); ++j) {
      t << "NODE " << j + 1 << "\nELEV " << beds[j] << "\n";
      if (j == 0) t << "XSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 3\nSIDE_SLOPE 1\n";
    }
  };
  // A link of n nodes is given by its n + 1 points, the last one shared
  // with the link below.
  link(1, {19.0, 18.0, 17.0, 16.0, 15.0});
  link(2, {23.0, 22.0, 21.0, 20.0, 15.0});
  link(3, {15.0, 14.0, 13.0, 12.0, 11.0, 10.0, 9.0});
  return t.str();
}

std::string tree_gst() {
  std::ostringstream t;
  t << "GRIDSTREAMFILE\nSTREAMCELLS 14\n";
  auto cell = [&t](int row, int col, int link, int node) {
    t << "CELLIJ " << row << " " << col << "\nNUMNODES 1\nLINKNODE " << link << " " << node
      << " 1.0\n";
  };
  for (int c = 1; c <= 4; ++c) cell(3, c, 1, c);
  for (int c = 1; c <= 4; ++c) cell(1, c, 2, c);
  for (int c = 5; c <= 10; ++c) cell(3, c, 3, c - 4);
  return t.str();
}

bool stream_cell(int row, int col) { return row == 2 || (row == 0 && col < 4); }

// table_below_ground (m) under every cell, or under the head links' cells
// only head_table_below_ground.
gw_fixture::project tree_over(double table_below_ground, double head_table_below_ground) {
  gw_fixture::project p;
  p.rows = 3;
  p.cols = 10;
  p.size = 100.0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 10; ++c) {
      const double ground = r == 0 && c < 4 ? 24.0 - c : 24.0 - 2.0 * r - c;
      p.ground.push_back(ground);
      const bool head = stream_cell(r, c) && c < 4;
      p.table.push_back(ground - (head ? head_table_below_ground : table_below_ground));
      p.bottom.push_back(ground - 30.0);
      p.bound.push_back(stream_cell(r, c) ? 4.0 : 1.0);
    }
  }
  p.hycond = 36.0;
  p.porosity = 0.2;
  p.files = {{"tree.chan", tree_chan()}, {"tree.gst", tree_gst()}};
  p.extra =
      "CHAN_EXPLIC\nCHANNEL_INPUT tree.chan\nSTREAM_CELL tree.gst\nK_RIVER 360\nM_RIVER 1\n"
      "OUTROW 3\nOUTCOL 10\nSTREAM_LOSS\nTIMESTEP 30\nGW_TIMESTEP 300\nTOT_TIME 240\n"
      "RAIN_INTENSITY 36\nRAIN_DURATION 120\nHYD_FREQ 10\nNUM_THREADS 4\n";
  return p;
}

struct tree_run {
  std::unique_ptr<gw_fixture::run> run;
  double lowest_area = 0.0;  // m2, over every pass
  int emptied_by_bed = 0;    // passes ending with a losing node at exactly 0
};

std::unique_ptr<tree_run> run_tree(const gw_fixture::project& p, int threads) {
  auto r = std::make_unique<tree_run>();
  tree_run* t = r.get();
  r->run = std::make_unique<gw_fixture::run>(p, [t, threads](model_state& s) {
    omp_set_num_threads(threads);
    s.channel.parallel_min_links = 1;
    s.subsurface.gw.parallel_min_cells = 1;
    const channel_state& c = s.channel;
    for (int i = 1; i <= c.links; ++i) {
      for (int j = 1; j <= c.nx[i]; ++j) {
        const int a = c.node_address(i, j);
        t->lowest_area = std::min(t->lowest_area, c.area[a]);
        if (c.area[a] == 0.0 && c.qriv[a] < 0.0) ++t->emptied_by_bed;
      }
    }
  });
  return r;
}

// The run's books: the channels' balance from the end-of-run lines and the
// printed errors of the run, its groundwater and its event.
void expect_books_close(const std::string& t) {
  const double channels = summary_value(t, "Initial volume in channels=") +
                          summary_value(t, "Total lateral inflow into channels=") +
                          summary_value(t, "Total flux from gw to river=") -
                          summary_value(t, "Total flux from river to gw=") -
                          summary_value(t, "Total amount of discharge=") -
                          summary_value(t, "Final volume in channels=");
  EXPECT_NEAR(channels, 0.0, 0.02);
  EXPECT_NEAR(summary_value(t, "Total inputs to groundwater="),
              summary_value(t, "Total flux from river to gw=") -
                  summary_value(t, "Total flux from gw to river=") +
                  summary_value(t, "Recharge to groundwater ="),
              0.02);
  EXPECT_EQ(summary_value(t, "Mass Balance error ="), 0.0);
  EXPECT_EQ(summary_value(t, "Mass balance error of surface components ="), 0.0);
  EXPECT_EQ(summary_value(t, "Overall mass balance error ="), 0.0);
  EXPECT_EQ(summary_value(t, "mass conservation error:"), 0.0);
}

TEST(stream_aquifer_run, a_bed_that_would_drain_its_nodes_takes_what_they_hold) {
  const auto r = run_tree(tree_over(10.0, 10.0), 1);
  ASSERT_EQ(r->run->out.status, 0) << r->run->out.text;
  const std::string& t = r->run->summary;
  EXPECT_GE(r->lowest_area, 0.0);
  EXPECT_GT(r->emptied_by_bed, 0);
  const double lost = summary_value(t, "Total flux from river to gw=");
  const double fed = summary_value(t, "Total lateral inflow into channels=");
  EXPECT_GT(lost, 0.5 * fed);
  EXPECT_LE(lost, fed + summary_value(t, "Initial volume in channels="));
  EXPECT_EQ(summary_value(t, "Total flux from gw to river="), 0.0);
  expect_books_close(t);
}

TEST(stream_aquifer_run, head_links_over_a_high_table_gain_and_the_link_below_loses) {
  const auto r = run_tree(tree_over(10.0, 0.6), 1);
  ASSERT_EQ(r->run->out.status, 0) << r->run->out.text;
  const std::string& t = r->run->summary;
  EXPECT_GE(r->lowest_area, 0.0);
  EXPECT_GT(summary_value(t, "Total flux from gw to river="), 100.0);
  EXPECT_GT(summary_value(t, "Total flux from river to gw="), 100.0);
  expect_books_close(t);
}

TEST(stream_aquifer_run, the_exchange_is_the_same_on_one_and_four_threads) {
  for (const double head : {10.0, 0.6}) {
    SCOPED_TRACE(head);
    const auto one = run_tree(tree_over(10.0, head), 1);
    const auto four = run_tree(tree_over(10.0, head), 4);
    ASSERT_EQ(one->run->out.status, 0) << one->run->out.text;
    ASSERT_EQ(four->run->out.status, 0) << four->run->out.text;
    EXPECT_EQ(surface_fixture::summary_without_times(one->run->summary),
              surface_fixture::summary_without_times(four->run->summary));
    EXPECT_EQ(one->run->wells, four->run->wells);
  }
}

}  // namespace
