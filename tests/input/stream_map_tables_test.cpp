// Stream mapping tables: keywords compared over their own lengths, one value
// per link spread over the link's nodes, the stream map faults and the check
// report, on a small network view that the channel set-up fills in a run.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "input/stream_map_tables.h"
#include "map_table_fixture.h"
#include "project_test_support.h"

namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Three links of 5, 2 and 4 nodes; node j of link i at i x 6 + j.
class stream_tables : public project_test {
 protected:
  void SetUp() override {
    project_test::SetUp();
    network_.links = 3;
    network_.max_nodes = 5;
    network_.nx = nx_;
    dir_.write("links.smp", "STREAM_MAP\nNLINKS 3\n3\n0\n7\n");
    dir_.write("odd.smp", "STREAM_MAP\nNLINKS 3\n-1 9\n3\n");
  }

  // A stream table file of the given sections after its ST_INDEX_MAP lines.
  void write_tables(const std::string& sections) {
    dir_.write("streams.cmt", std::string(stream_table_marker) +
                                  "\nST_INDEX_MAP links.smp links\n"
                                  "ST_INDEX_MAP odd.smp odd\n"
                                  "ST_INDEX_MAP absent.smp absent\n"
                                  "ST_INDEX_MAP bad_header.smp bad_header\n"
                                  "ST_INDEX_MAP bad_value.smp bad_value\n"
                                  "ST_INDEX_MAP short.smp short\n" +
                                  sections);
  }

  static std::string nitrogen(const std::string& map) {
    return "NSM_N " + map + "\nNUM_IDS 2\n" + table_header() +
           table_row(3, "Upland streams", "1.0  2.0  3.0  4.0") +
           table_row(7, "Lowland river", "5.0  6.0  7.0  8.0");
  }

  // Reads the kind into columns of node values that start at -9; returns
  // standard output.
  std::string read(int kind, std::vector<std::vector<double>>& columns, int count,
                   const char* path = "streams.cmt") {
    columns.assign(count, std::vector<double>(std::size_t(network_.links + 1) * network_.stride(),
                                              -9.0));
    std::vector<std::span<double>> spans(columns.begin(), columns.end());
    test_support::scoped_cwd cwd(dir_.path());
    test_support::stdout_capture out;
    result_ = read_stream_mapping_table(path, kind, spans, network_);
    return out.stop();
  }

  double node(const std::vector<double>& values, int link, int j) const {
    return values[std::size_t(link) * network_.stride() + j];
  }

  const int nx_[4] = {0, 5, 2, 4};
  stream_network_view network_;
  int result_ = -1;
};

TEST(stream_table_keywords, each_keyword_is_compared_over_its_own_length) {
  struct kind_case {
    const char* line;
    int kind;
  };
  const kind_case cases[] = {
      {"ROUGHNESS links", 1},       {"ROUGHNESS_MAIN links", 1}, {"NSM_N links", 2},
      {"NSM_NITROGEN links", 2},    {"NSM_P links", 3},          {"NSM_OTH links", 5},
      {"NSM_OTHER links", 5},       {"NSM_C links", 4},          {"NSM_CARBON links", 4},
      {"NUM_IDS 3", 37},            {"ST_INDEX_MAP a b", 38},    {"ST_INDEX_X a b", 38},
      {"DISPERSION links", 6},      {"DISPERSION_COEF links", 6}, {"DISPE links", 6},
      {"DISP links", 0},            {"NSM_O links", 0},          {"nsm_n links", 0},
  };
  for (const kind_case& c : cases) EXPECT_EQ(classify_stream_line(c.line), c.kind) << c.line;
  EXPECT_EQ(stream_table_kind("ROUGHNESS links"), 0);
  EXPECT_STREQ(stream_table_title(1), "ROUGHNESS (Stream)");
  EXPECT_STREQ(stream_table_title(5), "NSM_OTH (Stream)");
  EXPECT_STREQ(stream_table_title(6), "DISPERSION (Stream)");
}

TEST_F(stream_tables, a_link_value_goes_to_every_node_of_the_link) {
  write_tables(nitrogen("links"));
  std::vector<std::vector<double>> columns;
  const std::string out = read(stream_kind::nsm_n, columns, 4);
  ASSERT_EQ(result_, 1) << out;
  EXPECT_EQ(out, "");
  for (int k = 0; k < 4; ++k) {
    const std::vector<double>& v = columns[k];
    for (int j = 1; j <= 5; ++j) EXPECT_EQ(node(v, 1, j), 1.0 + k) << k << " " << j;
    // Link 2 has id 0: its nodes keep what they held.
    for (int j = 0; j <= 5; ++j) EXPECT_EQ(node(v, 2, j), -9.0) << k << " " << j;
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(node(v, 3, j), 5.0 + k) << k << " " << j;
    // Nodes past a link's count and node 0 are no nodes.
    EXPECT_EQ(node(v, 3, 5), -9.0);
    for (int link = 0; link <= 3; ++link) EXPECT_EQ(node(v, link, 0), -9.0);
  }

  // A null destination skips its column.
  std::vector<double> third(std::size_t(4) * network_.stride(), -9.0);
  const std::span<double> only_third[] = {{}, {}, third};
  test_support::scoped_cwd cwd(dir_.path());
  ASSERT_EQ(read_stream_mapping_table("streams.cmt", stream_kind::nsm_n, only_third, network_), 1);
  EXPECT_EQ(node(third, 1, 1), 3.0);
}

TEST_F(stream_tables, ids_below_0_or_above_the_table_give_0) {
  write_tables("DISPERSION_COEF odd\nNUM_IDS 2\n" + std::string(table_header()) +
               table_row(3, "Upland streams", "0.5") + table_row(7, "Lowland river", "1.5"));
  std::vector<std::vector<double>> columns;
  const std::string out = read(stream_kind::dispersion, columns, 1);
  ASSERT_EQ(result_, 1) << out;
  for (int j = 1; j <= 5; ++j) EXPECT_EQ(node(columns[0], 1, j), 0.0) << j;  // id -1
  for (int j = 1; j <= 2; ++j) EXPECT_EQ(node(columns[0], 2, j), 0.0) << j;  // id 9
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(node(columns[0], 3, j), 0.5) << j;  // id 3
}

TEST_F(stream_tables, faults_of_the_table_and_its_map_stop_with_their_codes) {
  dir_.write("bad_header.smp", "STREAM MAP\nNLINKS 3\n3\n0\n7\n");
  dir_.write("bad_value.smp", "STREAM_MAP\nNLINKS 3\n3\nseven\n7\n");
  dir_.write("short.smp", "STREAM_MAP\nNLINKS 3\n3 0\n");
  struct fault_case {
    const char* label;
    std::string sections;
    std::string message;
  };
  const fault_case cases[] = {
      {"a map file that is missing", nitrogen("absent"),
       "\nUnable to open stream map file absent.smp\n"},
      {"a first line that is not STREAM_MAP", nitrogen("bad_header"),
       "\nStream map file does not use correct header (file: bad_header.smp)\n"},
      {"a word for an id", nitrogen("bad_value"),
       "\nError reading data from stream map file. Check to make sure that the correct number of "
       "\ndata points exist for each link. (file: bad_value.smp)\n"},
      {"fewer ids than links", nitrogen("short"), "(file: short.smp)\n"},
      {"a map name no ST_INDEX_MAP line declares", nitrogen("links "),
       "\nProblem reading mapping table file -- no entries found in table NSM_N (Stream) (NUM_IDS "
       "is 0)\n"},
      {"NUM_IDS 0", "NSM_N links\nNUM_IDS 0\n" + std::string(table_header()),
       "no entries found in table NSM_N (Stream) (NUM_IDS is 0)\n"},
      {"no section", "NSM_P links\nNUM_IDS 1\n" + std::string(table_header()) +
                         table_row(3, "Upland", "1 2 3"),
       "no entries found in table NSM_N (Stream) (NUM_IDS is 0)\n"},
  };
  for (const fault_case& c : cases) {
    clear_errors();
    write_tables(c.sections);
    std::vector<std::vector<double>> columns;
    const std::string out = read(stream_kind::nsm_n, columns, 4);
    EXPECT_EQ(result_, 0) << c.label;
    EXPECT_EQ(error_state.stop_flag, 1) << c.label;
    EXPECT_TRUE(has(out, c.message)) << c.label << "\n" << out;
    EXPECT_EQ(columns[0], std::vector<double>(24, -9.0)) << c.label;
  }

  clear_errors();
  std::vector<std::vector<double>> columns;
  const std::string out = read(stream_kind::nsm_n, columns, 1, "nowhere.cmt");
  EXPECT_TRUE(has(out, "\nUnable to open Mapping Table file: nowhere.cmt\n")) << out;
}

TEST_F(stream_tables, a_map_for_12_links_on_a_network_of_11_is_117) {
  const int nx[12] = {0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  network_.links = 11;
  network_.max_nodes = 2;
  network_.nx = nx;
  std::string ids = "STREAM_MAP\nNLINKS 12\n";
  for (int i = 1; i <= 12; ++i) ids += "1\n";
  dir_.write("links.smp", ids);
  write_tables(nitrogen("links"));
  std::vector<std::vector<double>> columns;
  const std::string out = read(stream_kind::nsm_n, columns, 1);
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(has(out,
                  "\nNLINKS or MAXNODES card in stream map file does not match channel input file "
                  "(file: links.smp)\n"))
      << out;

  // The same map file read directly gives its result code and leaves the
  // values alone.
  std::vector<double> values(std::size_t(12) * 3, -9.0);
  test_support::scoped_cwd cwd(dir_.path());
  EXPECT_EQ(read_stream_map_file("links.smp", network_, nullptr, values, stream_map_values),
            stream_map_wrong_links);
  EXPECT_EQ(values, std::vector<double>(36, -9.0));
  EXPECT_EQ(read_stream_map_file("absent.smp", network_, nullptr, values, stream_map_values),
            stream_map_unopened);
}

TEST_F(stream_tables, a_value_file_gives_each_link_its_real_on_every_node) {
  dir_.write("values.smp", "STREAM_MAP\nNLINKS 3\n1.5\n-2.5e-1\n3\n");
  std::vector<double> values(std::size_t(4) * network_.stride(), -9.0);
  test_support::scoped_cwd cwd(dir_.path());
  ASSERT_EQ(read_stream_map_file("values.smp", network_, nullptr, values, stream_map_values),
            stream_map_read);
  for (int j = 1; j <= 5; ++j) EXPECT_EQ(node(values, 1, j), 1.5);
  for (int j = 1; j <= 2; ++j) EXPECT_EQ(node(values, 2, j), -0.25);
  EXPECT_EQ(node(values, 2, 3), -9.0);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(node(values, 3, j), 3.0);
}

TEST_F(stream_tables, the_check_report_prints_carbon_before_other) {
  write_tables(nitrogen("links"));
  std::array<int, 7> present{};
  test_support::scoped_cwd cwd(dir_.path());
  test_support::stdout_capture out;
  check_stream_mapping_tables("streams.cmt", present);
  EXPECT_EQ(out.stop(),
            "\nChecking stream mapping table file...\n"
            "  Roughness..........................N\n"
            "  NSM Nitrogen.......................Y\n"
            "  NSM Phosphorus.....................N\n"
            "  NSM Carbon.........................N\n"
            "  NSM Other..........................N\n"
            "  Dispersion.........................N\n");
  EXPECT_EQ(present, (std::array<int, 7>{0, 0, 1, 0, 0, 0, 0}));
}

TEST_F(stream_tables, the_project_file_names_the_stream_table_and_its_report_follows) {
  write_tables(nitrogen("links") + "NSM_C links\nNUM_IDS 1\n" + table_header() +
               table_row(3, "All", "1 2"));
  test_support::scoped_cwd cwd(dir_.path());
  const std::string out = read_run(
      "GRIDSIZE 10\nROWS 1\nCOLS 1\nTIMESTEP 10\nTOT_TIME 10\nOUTROW 1\nOUTCOL 1\n"
      "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 1\nRAIN_DURATION 1\n"
      "ST_MAPPING_TABLE " + dir_.file("streams.cmt") + "\n");
  EXPECT_TRUE(has(out, "  NSM Carbon.........................Y\n")) << out;
  EXPECT_EQ(in().st_map_table_present[stream_kind::nsm_c], 1);
  EXPECT_EQ(in().st_map_table_present[stream_kind::nsm_oth], 0);
}

}  // namespace
