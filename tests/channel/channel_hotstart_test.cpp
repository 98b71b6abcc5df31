// The channel state a run leaves for the next one: the hot-start pair of
// stage and discharge files, read back by a second run that starts where
// the first ended, and the flood stream file's closing record of the
// largest depths. Two steady point inflows (2 and 3 m3/s) hold the junction
// at Manning normal depth, so the end state is known by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../surface/surface_run_fixture.h"
#include "channel/channel_state.h"
#include "test_support.h"

namespace {

using test_support::lines_of;

using namespace surface_fixture;
using test_support::temp_dir;

constexpr double normal_depth_5 = 0.88526;  // link 3 carrying 5 m3/s, as the routing tests find

struct node_state {
  int link, node;
  double stage, q;
};

class channel_hotstart : public testing::Test {
 protected:
  run_output run(const std::string& extra, std::vector<node_state>* after_first,
                 std::vector<node_state>* at_end) {
    for (const char* name : {"mask.asc", "elevation.asc", "junction.chan", "junction.gst"})
      dir_.write(name, fixture_text("junction", name));
    dir_.write("points.txt", "NUMPT 2\nPOINT 1 1 2.0\nPOINT 1 2 3.0\nNRPDS 0\n");
    dir_.write("junction.prj", edit_cards(fixture_text("junction", "junction.prj"), {},
                                          "CHAN_POINT_INPUT points.txt\n" + extra));
    int pass = 0;
    return run_in_process(dir_.path(), "junction.prj", [&](model_state& s) {
      ++pass;
      std::vector<node_state> nodes;
      const channel_state& c = s.channel;
      for (int l = 1; l <= c.links; ++l)
        for (int j = 1; j <= c.nx[l]; ++j)
          nodes.push_back({l, j, c.yp[c.node_address(l, j)], c.qp[c.node_address(l, j)]});
      if (pass == 1 && after_first) *after_first = nodes;
      if (at_end) *at_end = nodes;
    });
  }
  std::string file(const std::string& name) { return test_support::read_file(dir_.file(name)); }

  temp_dir dir_;
};

// The value groups ("1  v") of the record that starts at line at.
std::vector<double> record_values(const std::vector<std::string>& lines, std::size_t at) {
  std::vector<double> values;
  for (std::size_t i = at + 1; i < lines.size() && !lines[i].empty(); ++i) {
    std::istringstream in(lines[i]);
    int count = 0, flag = 0;
    double v = 0.0;
    in >> count;
    while (in >> flag >> v) values.push_back(v);
  }
  return values;
}

std::size_t last_record(const std::vector<std::string>& lines) {
  std::size_t at = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("TS ", 0) == 0) at = i;
  return at;
}

TEST_F(channel_hotstart, second_run_starts_from_the_first_runs_end_stages) {
  std::vector<node_state> end1;
  const run_output first = run("WRITE_CHAN_HOTSTART h\nCHAN_STAGE stage1.lnk\n"
                               "FLOOD_STREAM flood.lnk\n",
                               nullptr, &end1);
  ASSERT_EQ(first.status, 0) << first.text;
  ASSERT_FALSE(end1.empty());

  // One line per node: "node link stage " and "node link discharge".
  const std::vector<std::string> dht = lines_of(file("h.dht"));
  const std::vector<std::string> qht = lines_of(file("h.qht"));
  ASSERT_EQ(dht.size(), end1.size());
  ASSERT_EQ(qht.size(), end1.size());
  for (std::size_t k = 0; k < end1.size(); ++k) {
    char line[128];
    std::snprintf(line, sizeof line, "%d %d %lf ", end1[k].node, end1[k].link, end1[k].stage);
    EXPECT_EQ(dht[k], line);
    std::snprintf(line, sizeof line, "%d %d %lf", end1[k].node, end1[k].link, end1[k].q);
    EXPECT_EQ(qht[k], line);
  }

  // The flood stream file: its header and one closing record of the
  // largest depths, link 3 at normal depth.
  const std::vector<std::string> flood = lines_of(file("flood.lnk"));
  ASSERT_FALSE(flood.empty());
  EXPECT_EQ(flood[0], "VALTO_LINKNODE_FLOOD_STREAM_DEPTH");
  int records = 0;
  for (const std::string& line : flood) records += line.rfind("TS ", 0) == 0;
  EXPECT_EQ(records, 1);
  const std::size_t at = last_record(flood);
  ASSERT_LT(at + 3, flood.size());
  std::istringstream link3(flood[at + 3]);
  int count = 0, flag = 0;
  double depth = 0.0;
  link3 >> count;
  ASSERT_GT(count, 0);
  while (link3 >> flag >> depth) EXPECT_NEAR(depth, normal_depth_5, 1e-4);

  const std::string dht_text = file("h.dht");
  std::vector<node_state> start2;
  dir_.write("h.dht", dht_text);
  const run_output second = run("READ_CHAN_HOTSTART h.dht\nCHAN_STAGE stage2.lnk\n", &start2,
                                nullptr);
  ASSERT_EQ(second.status, 0) << second.text;
  ASSERT_EQ(start2.size(), end1.size());
  for (std::size_t k = 0; k < end1.size(); ++k)
    EXPECT_NEAR(start2[k].stage, end1[k].stage, 1e-6) << end1[k].link << " " << end1[k].node;

  const std::vector<std::string> stage1 = lines_of(file("stage1.lnk"));
  const std::vector<std::string> stage2 = lines_of(file("stage2.lnk"));
  std::size_t first2 = 0;
  while (first2 < stage2.size() && stage2[first2].rfind("TS ", 0) != 0) ++first2;
  const std::vector<double> last_of_first = record_values(stage1, last_record(stage1));
  const std::vector<double> first_of_second = record_values(stage2, first2);
  ASSERT_FALSE(last_of_first.empty());
  ASSERT_EQ(first_of_second.size(), last_of_first.size());
  for (std::size_t k = 0; k < last_of_first.size(); ++k)
    EXPECT_NEAR(first_of_second[k], last_of_first[k], 1e-5 + 1e-9);
}

}  // namespace
