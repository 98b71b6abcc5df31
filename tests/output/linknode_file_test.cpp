// Link/node stream files: the header by quantity code, the record's line per
// link for lake, structure, routed and untyped links under each kind, the
// writer that owns a run-time series (its scaling, its fixed header and its
// behaviour without a file), and the set-up that heads the channel's stream
// files and the location hydrograph file with the run's timing.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "run/model_state.h"
#include "output/linknode_file.h"
#include "output/linknode_writer.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

// What write puts into a fresh file.
std::string written(const std::function<void(std::FILE*)>& write) {
  temp_dir dir;
  const std::string path = dir.file("out.txt");
  std::FILE* f = std::fopen(path.c_str(), "w");
  EXPECT_NE(f, nullptr);
  if (!f) return "";
  write(f);
  std::fclose(f);
  return read_file(path);
}

TEST(linknode_header, magic_line_by_code_then_counts_and_start) {
  struct header_case {
    int code;
    const char* expected;
  };
  const header_case cases[] = {
      {0, "VALTO_LINKNODE_STREAM_DEPTH\n"},
      {3, "VALTO_LINKNODE_STREAM_VELOCITY\n"},
      {16, "VALTO_LINKNODE_DO_MASS\n"},
      {29, "VALTO_LINKNODE_TOTAL_KJELDAHL_NITROGEN\n"},
      {31, "VALTO_LINKNODE_STREAM_SED_FLUX\n"},
      {32, ""},
      {-1, ""},
  };
  const std::string rest =
      "NUM_LINKS     3\n"
      "TIME_STEP     1\n"
      "NUM_TS        120\n"
      "START_TIME     1  6 2000  0  5  0\n";
  for (const header_case& c : cases) {
    EXPECT_EQ(written([&](std::FILE* f) {
                write_linknode_file_header(f, c.code, 3, 1, 120, 1, 6, 2000, 0, 5);
              }),
              c.expected + rest)
        << c.code;
  }
}

// Four links, stride 4: a lake link on lake 2, a structure link, a link of no
// type and a trapezoid link of two nodes. B of the second node is 1e-7, the
// largest divisor a ratio treats as zero.
struct record_network {
  std::vector<int> node_count{0, 2, 2, 0, 2};
  std::vector<int> written_count{0, 2, 2, 0, 3};
  std::vector<int> ltype{0, 32, 64, 0, 4};
  std::vector<int> lake_number{0, 2, 0, 0, 0};
  std::vector<double> lake_value{0.0, 1.5, 2.25};
  std::vector<double> a = std::vector<double>(24, 0.0);
  std::vector<double> b = std::vector<double>(24, 0.0);

  record_network() {
    a[2 * 4 + 1] = 0.75;  // structure's first node
    a[4 * 4 + 1] = 4.0;
    a[4 * 4 + 2] = 3.0;
    b[4 * 4 + 1] = 0.5;
    b[4 * 4 + 2] = 1e-7;
  }
  linknode_layout layout(bool with_written) const {
    linknode_layout l;
    l.links = 4;
    l.node_count = node_count.data();
    l.written_count = with_written ? written_count.data() : nullptr;
    l.ltype = ltype.data();
    l.stride = 4;
    l.lake_number = lake_number.data();
    l.lake_value = lake_value.data();
    l.lake_count = 2;
    return l;
  }
};

TEST(linknode_record, one_line_per_link_by_type_and_kind) {
  struct record_case {
    linknode_kind kind;
    bool with_written;
    const char* lake;
    const char* structure;
    const char* routed;
  };
  const record_case cases[] = {
      {linknode_kind::plain, true, "0  -999.999   ", "-2  0.75000   ",
       "3   1  4.00000   1  3.00000   0  -999.999   "},
      {linknode_kind::difference, true, "-1 2.25000   ", "0  -999.999   ",
       "3   1  3.50000   1  3.00000   0  -999.999   "},
      {linknode_kind::ratio, true, "-1 2.25000   ", "0  -999.999   ",
       "3   1  8.00000   1  0.00000   0  -999.999   "},
      {linknode_kind::plain, false, "0  -999.999   ", "-2  0.75000   ",
       "2   1  4.00000   1  3.00000   "},
      {linknode_kind::difference, false, "-1 2.25000   ", "0  -999.999   ",
       "2   1  3.50000   1  3.00000   "},
      // A velocity is a ratio whether or not written columns are given.
      {linknode_kind::ratio, false, "-1 2.25000   ", "0  -999.999   ",
       "2   1  8.00000   1  0.00000   "},
  };
  const record_network net;
  for (const record_case& c : cases) {
    const std::string expected = std::string("TS    7\n") + c.lake + "\n" + c.structure + "\n" +
                                 "\n" + c.routed + "\n" + "\n";
    EXPECT_EQ(written([&](std::FILE* f) {
                write_linknode_record(f, net.layout(c.with_written), 7, net.a.data(),
                                      net.b.data(), c.kind);
              }),
              expected)
        << int(c.kind) << " " << c.with_written;
  }
}

TEST(linknode_record, a_network_of_lake_links_only_writes_missing_groups) {
  const std::vector<int> counts{0, 0, 0};
  const std::vector<int> ltype{0, 32, 32};
  const std::vector<int> lakes{0, 1, 2};
  const std::vector<double> values{0.0, 101.5, 99.0};
  const std::vector<double> a(12, 0.0);
  linknode_layout l;
  l.links = 2;
  l.node_count = counts.data();
  l.ltype = ltype.data();
  l.stride = 4;
  l.lake_number = lakes.data();
  l.lake_value = values.data();
  l.lake_count = 2;
  EXPECT_EQ(written([&](std::FILE* f) {
              write_linknode_record(f, l, 0, a.data(), nullptr, linknode_kind::plain);
            }),
            "TS    0\n0  -999.999   \n0  -999.999   \n\n");
  EXPECT_EQ(written([&](std::FILE* f) {
              write_linknode_record(f, l, 1, a.data(), a.data(), linknode_kind::difference);
            }),
            "TS    1\n-1 101.50000   \n-1 99.00000   \n\n");
}

// Three links of the channel network's shape (max nodes 3, stride 4): a
// trapezoid of 3 points with 4 columns written, a structure and a lake.
struct writer_network {
  std::vector<int> nx1{0, 3, 2, 0};
  std::vector<int> og_nx1{0, 4, 0, 0};
  std::vector<int> ltype{0, 4, 64, 32};
  std::vector<int> lakes{0, 0, 0, 1};
  std::vector<double> lake_values{0.0, 7.0};
  linknode_network network() const {
    linknode_network n;
    n.links = 3;
    n.nx1 = nx1.data();
    n.og_nx1 = og_nx1.data();
    n.ltype = ltype.data();
    n.stride = 4;
    n.lake_number = lakes.data();
    n.lake_value = lake_values.data();
    n.lake_count = 1;
    return n;
  }
};

const char* const fixed_header =
    "NUM_LINKS     3\n"
    "TIME_STEP     15\n"
    "NUM_TS        15\n"
    "START_TIME     0  0    0  0  0  0\n";

// The third point of the trapezoid is no node and writes 0; the fourth
// column lies past its points and is padded.
TEST(linknode_writer, flat_sources_are_divided_and_tables_multiplied_by_the_scale) {
  temp_dir dir;
  const writer_network net;
  std::vector<double> flat(20, 0.0);
  flat[4 + 1] = 1500.0;
  flat[4 + 2] = 2500.0;
  flat[4 + 3] = 9999.0;
  flat[2 * 4 + 1] = 9999.0;  // the structure's own value is not written
  block_2d<double> table;
  ASSERT_TRUE(table.allocate(4, 3));
  table[1][1] = 1.5;
  table[2][1] = 2.5;
  table[3][1] = 9999.0;
  {
    linknode_writer mass, total;
    mass.setup_1d(linknode_code::nutrient_mass, flat.data(), net.network());
    total.setup_2d(linknode_code::total_nitrogen, table.table(), net.network());
    mass.open(dir.file("no2").c_str(), "", ".mass", 1000.0);
    total.open(dir.file("tn").c_str(), ".t", "xt", 1000.0);
    ASSERT_TRUE(mass.is_open());
    ASSERT_TRUE(total.is_open());
    mass.write_step();
    flat[4 + 1] = 3000.0;
    mass.write_step();
    total.write_step();
    EXPECT_EQ(mass.steps(), 2);
  }
  const std::string structure_and_lake = "-2  0.00000   \n0  -999.999   \n\n";
  EXPECT_EQ(read_file(dir.file("no2.mass")),
            std::string("VALTO_LINKNODE_NO2_MASS\n") + fixed_header +
                "TS    0\n4   1  1.50000   1  2.50000   1  0.00000   0  -999.999   \n" +
                structure_and_lake +
                "TS    1\n4   1  3.00000   1  2.50000   1  0.00000   0  -999.999   \n" +
                structure_and_lake);
  EXPECT_EQ(read_file(dir.file("tn.txt")),
            std::string("VALTO_LINKNODE_TOTAL_NITROGEN\n") + fixed_header +
                "TS    0\n4   1  1500.00000   1  2500.00000   1  0.00000   0  -999.999   \n" +
                structure_and_lake);
}

TEST(linknode_writer, a_file_that_does_not_open_is_reported_and_its_steps_still_count) {
  temp_dir dir;
  const writer_network net;
  const std::vector<double> flat(20, 1.0);
  linknode_writer conc;
  conc.setup_1d(linknode_code::contam_conc, flat.data(), net.network());
  const std::string name = dir.file("nodir/c01");
  test_support::stdout_capture out;
  conc.open(name.c_str(), ".chan", ".conc", 1.0);
  conc.write_step();
  conc.write_step();
  // The file wrapper tells of its own failure first.
  const std::string printed = out.stop();
  const std::string ours = "Error: unable to open file " + name + ".chan.conc\n" +
                           "Error writing to link/node file...\n"
                           "Error writing to link/node file...\n";
  ASSERT_GE(printed.size(), ours.size());
  EXPECT_EQ(printed.substr(printed.size() - ours.size()), ours);
  EXPECT_FALSE(conc.is_open());
  EXPECT_EQ(conc.steps(), 2);
}

// The output interval is N steps of dt seconds. Under a minute TIME_STEP
// truncates to 0 and NUM_TS counts the intervals instead: 120 min of 30 s.
TEST(write_linknode_headers, timing_from_the_output_interval_and_the_run_length) {
  struct timing_case {
    double dt;
    int interval;
    int tot_time;
    const char* timing;
    bool warned;
  };
  const timing_case cases[] = {
      {30.0, 2, 120, "TIME_STEP     1\nNUM_TS        120\n", false},
      {60.0, 5, 122, "TIME_STEP     5\nNUM_TS        24\n", false},
      {20.0, 4, 120, "TIME_STEP     1\nNUM_TS        120\n", false},  // 80 s
      {30.0, 1, 120, "TIME_STEP     0\nNUM_TS        240\n", true},
  };
  for (const timing_case& c : cases) {
    SCOPED_TRACE(c.dt * c.interval);
    temp_dir dir;
    error_state = error_record{};
    model_state s;
    s.input.explicit_channel = 1;
    s.channel.links = 3;
    s.run.dt = c.dt;
    s.run.hyd_interval = c.interval;
    s.run.tot_time = c.tot_time;
    run_parameters& p = s.input.params;
    p.start_date_year = 2000;
    p.start_date_month = 6;
    p.start_date_day = 1;
    p.start_time_hour = 13;
    p.start_time_minute = 45;
    ASSERT_TRUE(s.output.chan_discharge.open(dir.file("flow.ln").c_str(), "w"));
    ASSERT_TRUE(s.output.chan_velocity.open(dir.file("vel.ln").c_str(), "w"));
    test_support::stdout_capture out;
    write_linknode_headers(s);
    const std::string printed = out.stop();
    EXPECT_EQ(error_state.stop_flag, 0);
    s.output.chan_discharge.close();
    s.output.chan_velocity.close();
    const std::string rest = std::string("NUM_LINKS     3\n") + c.timing +
                             "START_TIME     1  6 2000 13 45  0\n";
    EXPECT_EQ(read_file(dir.file("flow.ln")), "VALTO_LINKNODE_STREAM_FLOW\n" + rest);
    EXPECT_EQ(read_file(dir.file("vel.ln")), "VALTO_LINKNODE_STREAM_VELOCITY\n" + rest);
    if (c.warned) {
      EXPECT_EQ(printed,
                "Warning: the link/node files are written every 30.00 s, under a minute; their "
                "TIME_STEP reads 0 and NUM_TS counts 240 intervals of 30.00 s.\n");
    } else {
      EXPECT_EQ(printed, "");
    }
  }
}

TEST(write_linknode_headers, the_location_hydrograph_file_lists_its_locations_as_read) {
  temp_dir dir;
  error_state = error_record{};
  model_state s;
  s.channel.hyd_locations = 2;
  s.channel.hyd_loc_link = {0, 3, 1};
  s.channel.hyd_loc_node = {0, 5, 3};
  ASSERT_TRUE(s.output.hyd_location.open(dir.file("hyd.out").c_str(), "w"));
  write_linknode_headers(s);
  s.output.hyd_location.close();
  EXPECT_EQ(read_file(dir.file("hyd.out")), "2\n3 5\n1 3\n");
}

}  // namespace
