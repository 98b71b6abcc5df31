#include "core/alloc.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "test_support.h"

namespace {

using test_support::stdout_capture;

const std::string size_zero = "Error: Attempting to allocate array of size 0\n";

std::string named_failure(const std::string& name) {
  return "Error allocating memory for variable " + name + "\n";
}

// A call that should give no array, and what it prints.
struct refused_case {
  const char* what;
  std::function<bool()> gives_null;
  std::string printed;
};

TEST(alloc, zero_sizes_and_impossible_sizes_give_null_with_their_messages) {
  double** d2 = nullptr;
  int** i2 = nullptr;
  char** c2 = nullptr;
  double*** d3 = nullptr;
  int*** i3 = nullptr;
  double* d1 = nullptr;
  int* i1 = nullptr;
  const refused_case cases[] = {
      {"new_2d_double rows", [] { return new_2d_double(3, 0) == nullptr; }, size_zero},
      {"new_2d_double cols", [] { return new_2d_double(0, 3) == nullptr; }, size_zero},
      {"new_2d_int", [] { return new_2d_int(0, 1) == nullptr; }, size_zero},
      {"new_2d_char", [] { return new_2d_char(2, 0) == nullptr; }, size_zero},
      {"new_2d_double negative", [] { return new_2d_double(-2, 4) == nullptr; }, size_zero},
      {"new_3d_double", [] { return new_3d_double(1, 0, 1) == nullptr; }, size_zero},
      {"new_3d_int4", [] { return new_3d_int4(0, 2) == nullptr; }, size_zero},
      {"named new_2d_int", [] { return new_2d_int(0, 5, "ichn") == nullptr; },
       size_zero + named_failure("ichn")},
      {"alloc_2d_double", [&] { return !alloc_2d_double(3, 0, d2, "ov_qsmax") && !d2; },
       size_zero + named_failure("ov_qsmax")},
      {"alloc_2d_int", [&] { return !alloc_2d_int(i2, 0, 4, "link_nodes") && !i2; },
       size_zero + named_failure("link_nodes")},
      {"alloc_2d_char", [&] { return !alloc_2d_char(1, 0, c2, "dike_sides") && !c2; },
       size_zero + named_failure("dike_sides")},
      {"alloc_3d_double", [&] { return !alloc_3d_double(2, 2, 0, d3, "sed_mass") && !d3; },
       size_zero + named_failure("sed_mass")},
      {"alloc_lake_search", [&] { return !alloc_lake_search(4, 0, i3) && !i3; },
       size_zero + named_failure("lake_search")},
      {"alloc_1d_double none", [&] { return !alloc_1d_double(d1, 0, "PHEADOLD") && !d1; }, ""},
      {"alloc_1d_int none", [&] { return !alloc_1d_int(i1, 0, "ichn") && !i1; }, ""},
      {"alloc_1d_double -1", [&] { return !alloc_1d_double(d1, -1, "PHEADOLD") && !d1; },
       size_zero},
      {"alloc_1d_int -1", [&] { return !alloc_1d_int(i1, -1, "ichn") && !i1; }, size_zero},
      {"beyond memory", [] { return new_2d_double(INT_MAX, INT_MAX) == nullptr; }, ""},
      {"beyond memory 3d", [] { return new_3d_double(INT_MAX, INT_MAX, 2) == nullptr; }, ""},
      {"beyond memory named", [&] { return !alloc_2d_double(INT_MAX, INT_MAX, d2, "big") && !d2; },
       named_failure("big")},
  };
  for (const auto& c : cases) {
    stdout_capture capture;
    EXPECT_TRUE(c.gives_null()) << c.what;
    EXPECT_EQ(capture.stop(), c.printed) << c.what;
  }
}

TEST(alloc, one_dimensional_arrays_are_zeroed_from_zero_to_n) {
  stdout_capture capture;
  int* cells = nullptr;
  ASSERT_TRUE(alloc_1d_int(cells, 3, "ichn"));
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(cells[i], 0) << i;
  free_1d(cells);
  EXPECT_EQ(cells, nullptr);

  double* depth = nullptr;
  ASSERT_TRUE(alloc_1d_double(depth, 1, "h"));
  EXPECT_EQ(depth[0], 0.0);
  EXPECT_EQ(depth[1], 0.0);
  free_1d(depth);
  EXPECT_EQ(capture.stop(), "");
}

// Every row is one step of (m + 1) elements further along one block, and
// every element starts at 0.
template <class T>
void expect_2d_block(T** a, int n, int m, const char* what) {
  ASSERT_NE(a, nullptr) << what;
  for (int i = 0; i <= n; ++i) {
    EXPECT_EQ(a[i], a[0] + i * (m + 1)) << what << " row " << i;
    for (int j = 0; j <= m; ++j) EXPECT_EQ(a[i][j], T{}) << what << " " << i << "," << j;
  }
}

TEST(alloc, two_dimensional_arrays_are_one_zeroed_block_in_row_order) {
  double** d = new_2d_double(2, 3);
  int** k = new_2d_int(4, 1, "ichn");
  char** c = new_2d_char(1, 6);
  expect_2d_block(d, 2, 3, "double");
  expect_2d_block(k, 4, 1, "int");
  expect_2d_block(c, 1, 6, "char");
  EXPECT_EQ(&d[1][0], &d[0][3] + 1);

  fill_2d_double(d, 2, 3, -4.5);
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(d[i][j], -4.5);
  fill_2d_double(nullptr, 2, 3, 1.0);

  double** named = nullptr;
  ASSERT_TRUE(alloc_2d_double(2, 2, named, "qx"));
  expect_2d_block(named, 2, 2, "alloc_2d_double");

  free_2d(d);
  free_2d(k);
  free_2d(c);
  free_2d(named);
  EXPECT_EQ(d, nullptr);
  free_2d(d);
}

TEST(alloc, three_dimensional_arrays_are_one_zeroed_block) {
  const int n = 2, m = 3, k = 4;
  double*** a = new_3d_double(n, m, k);
  ASSERT_NE(a, nullptr);
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j <= m; ++j) {
      EXPECT_EQ(a[i][j], a[0][0] + (i * (m + 1) + j) * (k + 1)) << i << "," << j;
      for (int l = 0; l <= k; ++l) EXPECT_EQ(a[i][j][l], 0.0);
    }
  fill_3d(a, n, m, k, 0.125);
  EXPECT_EQ(a[0][0][0], 0.125);
  EXPECT_EQ(a[n][m][k], 0.125);
  free_3d(a);
  EXPECT_EQ(a, nullptr);
  free_3d(a);  // a null array is left alone

  int*** lakes = nullptr;
  ASSERT_TRUE(alloc_lake_search(3, 5, lakes));
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) {
      EXPECT_EQ(lakes[i][j], lakes[0][0] + (i * 4 + j) * 6);
      for (int l = 0; l <= 5; ++l) EXPECT_EQ(lakes[i][j][l], 0);
    }
  free_3d(lakes);
}

struct series;  // what the channel tables refer to; never looked into here

TEST(alloc, reference_tables_keep_their_odd_shapes) {
  struct table_case {
    const char* what;
    bool pointsource;
    int n, m;
    int rows;  // rows made, 0..rows; -1 for none
    std::string printed;
  };
  const std::string pointsource_zero = size_zero + named_failure("stream_pointsource");
  const std::string pumps_zero = size_zero + named_failure("stream_pumps");
  const table_case cases[] = {
      {"pointsource", true, 5, 2, 6, ""},
      {"pointsource no nodes", true, 0, 2, 1, pointsource_zero},
      {"pointsource no links", true, 3, 0, -1, pointsource_zero},
      {"pumps", false, 5, 2, 5, ""},
      {"pumps no nodes", false, 0, 2, 0, pumps_zero},
      {"pumps no links", false, 3, 0, -1, pumps_zero},
  };
  for (const auto& c : cases) {
    series** earlier[1] = {};
    series*** table = earlier;  // whatever out held is replaced
    stdout_capture capture;
    const bool made = c.pointsource ? alloc_stream_pointsource(table, c.n, c.m)
                                    : alloc_stream_pumps(table, c.n, c.m);
    EXPECT_EQ(capture.stop(), c.printed) << c.what;
    EXPECT_EQ(made, c.rows >= 0) << c.what;
    if (c.rows < 0) {
      EXPECT_EQ(table, nullptr) << c.what;
      continue;
    }
    ASSERT_NE(table, nullptr) << c.what;
    for (int i = 0; i <= c.rows; ++i) {
      EXPECT_EQ(table[i], table[0] + i * (c.m + 1)) << c.what;
      for (int j = 0; j <= c.m; ++j) EXPECT_EQ(table[i][j], nullptr) << c.what;
    }
    free_2d(table);
  }
}

TEST(alloc, records_and_zeroed_matrices) {
  struct wetland {
    int cell;
    double area;
    double depth;
  };
  wetland* records = nullptr;
  ASSERT_TRUE(struct_alloc(3, records));
  for (int i = 0; i <= 3; ++i) {
    EXPECT_EQ(records[i].cell, 0);
    EXPECT_EQ(records[i].area, 0.0);
  }
  free_1d(records);

  stdout_capture capture;
  EXPECT_FALSE(struct_alloc(-2, records));
  EXPECT_EQ(records, nullptr);
  EXPECT_EQ(capture.stop(), "Problem allocating memory for array of structures in struct_alloc.\n");

  double** m = alloc_zeroed_matrix(3, 2);
  expect_2d_block(m, 3, 2, "zeroed matrix");
  free_2d(m);
}

}  // namespace
