#pragma once
// Richards soil columns for the tests: a soil table text read in its plain
// or mapping-table form, and the columns built from it as set-up leaves them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/map_tables.h"
#include "soil/richards_soil.h"
#include "test_support.h"

namespace richards_fixture {

using test_support::stdout_capture;
using test_support::temp_dir;

// Reads text as the plain table, or, keyword = 1, as the mapping table's
// section (its section line is skipped first as the mapping-table reader does).
inline int read_table_text(const temp_dir& dir, const std::string& text, int family, int keyword,
                    const std::vector<int>& ids, richards_soil& rs, std::string* out = nullptr,
                    int long_term = 0) {
  const std::string path = dir.write(keyword ? "tables.cmt" : "soil.tbl", text);
  table_file file;
  EXPECT_TRUE(file.open(path.c_str()));
  std::string line;
  if (keyword) file.next(line);
  error_state = error_record{};
  stdout_capture capture;
  const int row = read_soil_table(file, family, long_term, keyword, ids, rs);
  const std::string printed = capture.stop();
  if (out) *out = printed;
  return row;
}

// Columns of the cells of ids built from a table text as richards_initial_volumes leaves them.
inline void build_columns(model_state& s, const temp_dir& dir, const std::string& text, int family,
                   int keyword, const std::vector<int>& ids) {
  s.grid.cells = static_cast<int>(ids.size()) - 1;
  s.grid.dx = 10.0;
  richards_soil& rs = s.soil.richards;
  rs.row = read_table_text(dir, text, family, keyword, ids, rs);
  ASSERT_GT(rs.row, 0);
  ASSERT_TRUE(alloc_richards_soil(rs, s.grid.cells));
  richards_initial_volumes(s);
}

}  // namespace richards_fixture
