#include "core/checked_array.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "test_support.h"

namespace {

using test_support::stdout_capture;

// Counts live objects, so that tests see every element built once and
// destroyed once.
struct counted {
  static inline int live = 0;
  int value = 0;
  counted() { ++live; }
  counted(const counted& other) : value(other.value) { ++live; }
  counted& operator=(const counted&) = default;
  ~counted() { --live; }
};

// A row type whose table picks its own width, as the output writers' do.
struct two_wide {
  int value = 0;
};

}  // namespace

template <>
struct array2d_row_traits<two_wide> {
  static constexpr int default_width = 2;
  static constexpr bool width_from_argument = false;
};

namespace {

// Clears what a raised allocation failure leaves in the process-wide record.
void clear_error_state() {
  error_state.code = 0;
  error_state.stop_flag = 0;
}

// ---------------------------------------------------------------- array1d

TEST(array1d, grow_keeps_earlier_elements_and_counts_from_one) {
  struct grow_case {
    std::vector<int> steps;
    int size;
  };
  const grow_case cases[] = {
      {{5}, 5}, {{5, 3}, 8}, {{0}, 0}, {{-4}, 0}, {{0, 2}, 2}, {{1, 1, 1}, 3},
  };
  for (const auto& c : cases) {
    array1d<int> a;
    for (int n : c.steps) {
      const int before = a.size;
      for (int i = 1; i <= before; ++i) a[i] = 10 * i;
      EXPECT_EQ(a.grow(n), before + std::max(n, 0));
      for (int i = 1; i <= before; ++i) EXPECT_EQ(a[i], 10 * i) << "element " << i;
      for (int i = before + 1; i <= a.size; ++i) EXPECT_EQ(a[i], 0) << "new element " << i;
    }
    EXPECT_EQ(a.size, c.size);
    EXPECT_EQ(a.shadow_size, a.size);
    EXPECT_EQ(a.shadow_data, a.data);
    EXPECT_NE(a.data, nullptr);  // slot 0 exists even for size 0
    a[0] = 1;                    // and is a valid index
    EXPECT_FALSE(a.out_of_range);
  }
}

TEST(array1d, pointer_lists_grow_by_ten_and_thirteen) {
  array1d<double*> pools;
  EXPECT_EQ(pools.grow_by_13(), 13);
  double amount = 2.5;
  pools[13] = &amount;
  EXPECT_EQ(pools.grow_by_13(), 26);
  EXPECT_EQ(pools[13], &amount);
  EXPECT_EQ(pools[26], nullptr);

  array1d<double*> layers;
  EXPECT_EQ(layers.grow_by_10(), 10);
}

TEST(array1d, append_fill_sets_only_the_new_elements) {
  array1d<double> d;
  d.grow(2);
  d[1] = 1.25;
  d[2] = -3.0;
  EXPECT_EQ(d.append_fill(3, 7.5), 5);
  const double expected_d[] = {0.0, 1.25, -3.0, 7.5, 7.5, 7.5};
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(d[i], expected_d[i]) << i;

  array1d<int> k;
  EXPECT_EQ(k.append_fill(4, -2), 4);
  EXPECT_EQ(k.append_fill(0, 9), 4);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(k[i], -2) << i;
}

TEST(array1d, bad_index_sets_the_flag_and_stays_inside_the_block) {
  const int size = 4;
  struct index_case {
    int index;
    bool bad;
  };
  const index_case cases[] = {
      {0, false}, {1, false}, {size, false},         {size + 1, true}, {-1, true},
      {INT_MIN, true}, {INT_MAX, true}, {size + 1000, true},
  };
  for (const auto& c : cases) {
    stdout_capture capture;
    {
      auto a = std::make_unique<array1d<double>>();
      a->set_name("ov_qsmax");
      a->grow(size);
      for (int i = 0; i <= size; ++i) (*a)[i] = 1.0 + i;
      (*a)[c.index] = 99.0;
      const double back = (*a)[c.index];
      EXPECT_EQ(a->out_of_range, c.bad) << c.index;
      EXPECT_EQ(back, c.bad ? 0.0 : 99.0) << c.index;  // a bad read gives 0
      for (int i = 0; i <= size; ++i) {
        if (i != c.index) {
          EXPECT_EQ(a->data[i], 1.0 + i) << "index " << c.index << " element " << i;
        }
      }
    }
    EXPECT_EQ(capture.stop(), c.bad ? "Error: bad range addressed in array ov_qsmax\n" : "")
        << c.index;
  }
}

TEST(array1d, empty_array_has_no_valid_index) {
  stdout_capture capture;
  {
    array1d<int> a;
    a.set_name("stream_pumps_list");
    const array1d<int>& view = a;
    EXPECT_EQ(view[0], 0);
    a[1] = 5;
    EXPECT_TRUE(a.out_of_range);
  }
  EXPECT_EQ(capture.stop(), "Error: bad range addressed in array stream_pumps_list\n");
}

TEST(array1d, name_is_cut_to_fit) {
  array1d<int> a;
  const std::string long_name(80, 'q');
  a.set_name(long_name.c_str());
  EXPECT_EQ(std::string(a.name), long_name.substr(0, 49));
  a.set_name(nullptr);
  EXPECT_STREQ(a.name, "");
}

TEST(array1d, overwritten_shadow_refuses_growth) {
  int stray = 0;
  struct corruption {
    const char* what;
    void (*apply)(array1d<int>&, int*);
  };
  const corruption cases[] = {
      {"shadow size", [](array1d<int>& a, int*) { a.shadow_size += 7; }},
      {"shadow data", [](array1d<int>& a, int* p) { a.shadow_data = p; }},
      {"size", [](array1d<int>& a, int*) { a.size = 1000; }},
  };
  for (const auto& c : cases) {
    array1d<int> a;
    a.set_name("event_ov_mass_init");
    a.grow(3);
    a[2] = 42;
    int* const block = a.data;
    c.apply(a, &stray);
    stdout_capture capture;
    a.grow(5);
    a.append_fill(2, 1);
    EXPECT_EQ(capture.stop(),
              "\n\nError!! Bad pointers found in array event_ov_mass_init.\n\n"
              "\n\nError!! Bad pointers found in array event_ov_mass_init.\n\n")
        << c.what;
    EXPECT_EQ(a.data, block) << c.what;
    EXPECT_EQ(a.data[2], 42) << c.what;
    // Undo the damage so the array frees its block.
    a.size = 3;
    a.shadow_size = 3;
    a.shadow_data = a.data;
  }
}

TEST(array1d, shortage_of_memory_is_reported_and_leaves_the_array) {
  array1d<int> a;
  a.set_name("flows");
  a.grow(5);
  stdout_capture capture;
  EXPECT_EQ(a.grow(INT_MAX), 5);
  const std::string out = capture.stop();
  EXPECT_NE(out.find("Error allocating memory for variable flows\n"), std::string::npos) << out;
  EXPECT_EQ(error_state.stop_flag, 1);
  EXPECT_EQ(a.size, 5);
  clear_error_state();
}

TEST(array1d, class_elements_are_built_and_destroyed_once) {
  ASSERT_EQ(counted::live, 0);
  {
    array1d<counted> a;
    a.grow(3);
    a[2].value = 7;
    a.grow(4);
    EXPECT_EQ(a[2].value, 7);
    EXPECT_EQ(counted::live, 8 + 1);  // slots 0..7 and the spare
  }
  EXPECT_EQ(counted::live, 0);
}

TEST(array1d, file_wrappers_keep_their_streams_through_growth) {
  test_support::temp_dir dir;
  const std::string path = dir.file("link_1.out");
  {
    array1d<safe_file> files;
    files.grow(2);
    files[1].stream = std::fopen(path.c_str(), "w");
    ASSERT_NE(files[1].stream, nullptr);
    files[1].shadow = files[1].stream;
    std::fputs("before ", files[1].stream);
    files.grow(3);
    ASSERT_NE(files[1].stream, nullptr);
    std::fputs("after\n", files[1].stream);
  }  // the array closes the file
  EXPECT_EQ(test_support::read_file(path), "before after\n");
}

TEST(array1d, copy_values_copies_the_common_part) {
  array1d<double> from;
  from.append_fill(5, 3.5);
  from[0] = -1.0;
  array1d<double> to;
  to.append_fill(3, 0.25);
  EXPECT_EQ(&to.copy_values(from), &to);
  EXPECT_EQ(to.size, 3);
  EXPECT_EQ(to[0], 0.0);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(to[i], 3.5) << i;

  array1d<double> empty;
  from.copy_values(empty);
  EXPECT_EQ(from[1], 3.5);
}

// ---------------------------------------------------------------- array2d

TEST(array2d, append_fill_on_empty_array_sets_the_given_columns) {
  array2d<double> a;
  EXPECT_EQ(a.append_fill(2, 7.5, 3), 2);
  EXPECT_EQ(a.width, 3);
  EXPECT_EQ(a.rows[0], nullptr);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(a.owned[i], 1);
    EXPECT_EQ(a[i][0], 0.0);
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(a[i][j], 7.5) << i << "," << j;
  }
  // Later rows keep the width; a wider argument is bounded by it.
  a.append_fill(1, 2.0, 6);
  EXPECT_EQ(a.width, 3);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(a[3][j], 2.0);
  EXPECT_EQ(a[1][2], 7.5);
}

TEST(array2d, width_is_set_once) {
  struct width_case {
    std::vector<int> width_args;  // one grow(1, arg) each
    int width;
  };
  const width_case cases[] = {
      {{-1}, 1}, {{0}, 1}, {{4}, 4}, {{4, 9}, 4}, {{-1, 9}, 1},
  };
  for (const auto& c : cases) {
    array2d<int> a;
    for (int w : c.width_args) a.grow(1, w);
    EXPECT_EQ(a.width, c.width);
    for (int i = 1; i <= a.count; ++i) a[i][a.width] = i;  // every row holds width + 1 ints
  }

  array2d<two_wide> writers;
  writers.grow(2, 7);
  EXPECT_EQ(writers.width, 2);
  writers[2][2].value = 1;
}

TEST(array2d, append_zeroed_and_append_fill_without_width) {
  array2d<char> flags;
  flags.append_zeroed(2, 5);
  EXPECT_EQ(flags.count, 2);
  for (int j = 0; j <= 5; ++j) EXPECT_EQ(flags[2][j], 0);

  array2d<int> a;
  a.append_fill(0, 3);  // at least one row; width was 0, so no column set
  EXPECT_EQ(a.count, 1);
  EXPECT_EQ(a.width, 1);
  EXPECT_EQ(a[1][1], 0);
  a.append_fill(1, 3);  // now the width before the call is 1
  EXPECT_EQ(a[2][1], 3);
}

TEST(array2d, get_row_is_null_outside_the_rows) {
  array2d<double> a;
  EXPECT_EQ(a.get_row(1), nullptr);
  a.grow(3, 2);
  for (int i : {-1, 0, 4, INT_MAX, INT_MIN}) EXPECT_EQ(a.get_row(i), nullptr) << i;
  for (int i : {1, 3}) EXPECT_EQ(a.get_row(i), a.rows[i]) << i;
}

TEST(array2d, resize_keeps_values_and_fills_only_what_is_new) {
  array2d<double> a;
  a.resize(2, 3, 9.0);  // an empty array just grows; values left 0
  EXPECT_EQ(a.count, 2);
  EXPECT_EQ(a.width, 3);
  EXPECT_EQ(a[2][3], 0.0);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = 10 * i + j;

  a.resize(4, 5, -1.0);
  EXPECT_EQ(a.count, 4);
  EXPECT_EQ(a.width, 5);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 5; ++j) {
      const double expected = (i <= 2 && j <= 3) ? 10 * i + j : -1.0;
      EXPECT_EQ(a[i][j], expected) << i << "," << j;
    }
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(a.owned[i], 1) << i;

  a.resize(3, 2, 5.0);  // smaller in both: nothing changes
  EXPECT_EQ(a.count, 4);
  EXPECT_EQ(a.width, 5);
  EXPECT_EQ(a[4][5], -1.0);
}

TEST(array2d, borrowed_rows_are_never_freed) {
  std::vector<double> species(4, 1.5);  // a row owned elsewhere
  double* list[] = {nullptr, species.data(), species.data()};
  array2d<double> a;
  a.append_fill(1, 0.0, 3);
  EXPECT_EQ(a.append_rows(2, list), 3);
  EXPECT_EQ(a.owned[2], 0);
  EXPECT_EQ(a.owned[3], 0);
  EXPECT_EQ(a[3], species.data());
  a[2][1] = 4.0;
  EXPECT_EQ(species[1], 4.0);
  EXPECT_EQ(a.append_rows(0, list), 3);

  // Widening copies a borrowed row into one of the array's own.
  a.resize(3, 4, 0.5);
  EXPECT_NE(a[2], species.data());
  EXPECT_EQ(a.owned[2], 1);
  EXPECT_EQ(a[2][1], 4.0);
  EXPECT_EQ(a[2][4], 0.5);

  // Adopted rows are the array's to free.
  double* adopted[] = {nullptr, new double[5]()};
  a.adopt = 1;
  a.append_rows(1, adopted);
  a.adopt = 0;
  EXPECT_EQ(a.owned[4], 1);
}

TEST(array2d, class_rows_are_built_and_destroyed_once) {
  ASSERT_EQ(counted::live, 0);
  counted outside[4];  // a borrowed row of width 3
  counted* list[] = {nullptr, outside};
  {
    array2d<counted> a;
    a.grow(2, 3);
    EXPECT_EQ(counted::live, 4 + 2 * 4);
    a.append_rows(1, list);
    outside[1].value = 6;
    a.resize(4, 5, counted{});  // every row widened, the borrowed one copied
    EXPECT_EQ(counted::live, 4 + 4 * 6);
    EXPECT_EQ(a[3][1].value, 6);
  }
  EXPECT_EQ(counted::live, 4);
  EXPECT_EQ(outside[1].value, 6);
}

TEST(array2d, stray_write_into_the_row_table_refuses_changes) {
  double stray_row[4] = {};
  struct corruption {
    const char* what;
    void (*apply)(array2d<double>&, double*);
    void (*undo)(array2d<double>&, double*);
  };
  const corruption cases[] = {
      {"row entry", [](array2d<double>& a, double* p) { std::swap(a.rows[2], p); },
       [](array2d<double>& a, double*) { a.rows[2] = a.snapshot_table[2]; }},
      {"row 0 entry", [](array2d<double>& a, double* p) { a.rows[0] = p; },
       [](array2d<double>& a, double*) { a.rows[0] = nullptr; }},
      {"shadow", [](array2d<double>& a, double*) { a.shadow_rows = nullptr; },
       [](array2d<double>& a, double*) { a.shadow_rows = a.rows; }},
      {"count", [](array2d<double>& a, double*) { a.count = 1; },
       [](array2d<double>& a, double*) { a.count = 2; }},
  };
  for (const auto& c : cases) {
    array2d<double> a;
    a.append_fill(2, 1.0, 3);
    c.apply(a, stray_row);
    stdout_capture capture;
    a.grow(1);
    a.append_fill(1, 2.0);
    a.resize(5, 5, 0.0);
    EXPECT_EQ(capture.stop(),
              "\n\nError!! Bad pointers found in 2D array.\n\n"
              "\n\nError!! Bad pointers found in 2D array.\n\n"
              "\n\nError!! Bad pointers found in 2D array.\n\n")
        << c.what;
    EXPECT_EQ(a.width, 3) << c.what;
    c.undo(a, stray_row);
    EXPECT_EQ(a.count, 2) << c.what;
    EXPECT_TRUE(a.check_pointers()) << c.what;
  }
}

// ---------------------------------------------------------------- array3d

TEST(array3d, append_fill_makes_owned_matrices_of_the_given_shape) {
  array3d m;
  EXPECT_EQ(m.append_fill(2, 1.5, 3, 4), 2);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.columns, 4);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(m.owned[k], 1);
    for (int r = 1; r <= 3; ++r)
      for (int c = 1; c <= 4; ++c) EXPECT_EQ(m[k][r][c], 1.5) << k << r << c;
  }
  // The shape stays until an argument replaces it; earlier matrices keep theirs.
  m.append_fill(1, 0.0);
  EXPECT_EQ(m[3][3][4], 0.0);
  m.append_fill(1, 2.0, 6, 1);
  EXPECT_EQ(m.count, 4);
  EXPECT_EQ(m[4][6][1], 2.0);
  EXPECT_TRUE(m.check_pointers());
  for (int i : {0, 5, -1}) EXPECT_EQ(m.get_matrix(i), nullptr);
  EXPECT_EQ(m.get_matrix(4), m[4]);
}

TEST(array3d, borrowed_matrices_are_never_freed) {
  double** soil = new_filled_matrix(5, 3, 0.25);
  ASSERT_NE(soil, nullptr);
  {
    array3d m;
    m.append_fill(1, 0.0, 5, 3);
    double** const list[] = {nullptr, soil};
    EXPECT_EQ(m.append_borrowed(1, list), 2);
    EXPECT_EQ(m.owned[2], 0);
    EXPECT_EQ(m[2][5][3], 0.25);
    EXPECT_EQ(m.append_borrowed(0, list), 2);
  }
  EXPECT_EQ(soil[5][3], 0.25);
  free_2d(soil);
}

TEST(array3d, stray_write_into_a_row_table_refuses_changes) {
  double stray[4] = {};
  array3d m;
  m.append_fill(2, 1.0, 3, 3);
  double* const kept = m[2][1];
  m[2][1] = stray;  // a neighbour's overrun lands in matrix 2's row table
  stdout_capture capture;
  m.append_fill(1, 0.0);
  EXPECT_EQ(capture.stop(), "\n\nError!!!  Bad pointers found in 3D array.\n\n");
  EXPECT_EQ(m.count, 2);
  m[2][1] = kept;
  EXPECT_TRUE(m.check_pointers());
}

TEST(array3d, filled_matrix_sets_rows_and_columns_from_one) {
  double** a = new_filled_matrix(2, 3, 4.0);
  ASSERT_NE(a, nullptr);
  for (int r = 0; r <= 2; ++r)
    for (int c = 0; c <= 3; ++c) EXPECT_EQ(a[r][c], (r >= 1 && c >= 1) ? 4.0 : 0.0) << r << c;
  EXPECT_EQ(&a[2][0], &a[1][3] + 1);  // one block in row order
  free_2d(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(new_filled_matrix(-1, 3, 1.0), nullptr);
}

}  // namespace
