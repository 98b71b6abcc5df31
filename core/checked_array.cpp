#include "core/checked_array.h"

#include <cstdio>

#include "core/error_state.h"

// Names are set by the code, never read from input, and are printed as
// arguments, never as formats.
void print_bad_range(const char* name) {
  std::printf("Error: bad range addressed in array %s\n", name);
}

void print_bad_pointers_1d(const char* name) {
  std::printf("\n\nError!! Bad pointers found in array %s.\n\n", name);
}

void print_bad_pointers_2d() { std::fputs("\n\nError!! Bad pointers found in 2D array.\n\n", stdout); }

void print_bad_pointers_3d() { std::fputs("\n\nError!!!  Bad pointers found in 3D array.\n\n", stdout); }

void raise_array_out_of_memory(const char* name) {
  raise_message("Error allocating memory for variable %s\n", name ? name : "");
}

double** new_filled_matrix(int rows, int columns, double value) {
  double** m = new_2d_block<double>(rows, columns);
  if (!m) return nullptr;
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= columns; ++j) m[i][j] = value;
  return m;
}

array3d::~array3d() {
  if (!check_pointers(true)) return;
  for (int i = 1; i <= count; ++i) {
    if (owned[i]) free_2d(matrices[i]);
  }
  delete[] matrices;
  delete[] owned;
  delete[] matrix_rows_;
  free_snapshot();
}

int array3d::append_fill(int n, double value, int rows_arg, int columns_arg) {
  append(n < 0 ? 0 : n, nullptr, value, rows_arg, columns_arg);
  return count;
}

int array3d::append_borrowed(int n, double** const* list, int rows_arg, int columns_arg) {
  if (n >= 1 && list) append(n, list, 0.0, rows_arg, columns_arg);
  return count;
}

// Grows the table by n matrices, made here (list null) or taken from
// list[1..n]; all or nothing.
bool array3d::append(int n, double** const* list, double value, int rows_arg, int columns_arg) {
  if (!check_pointers()) return false;
  const int new_rows = rows_arg >= 0 ? rows_arg : rows;
  const int new_columns = columns_arg >= 0 ? columns_arg : columns;
  double*** table = nullptr;
  char* flags = nullptr;
  int* table_rows = nullptr;
  bool made = n <= INT_MAX - 1 - count;
  if (made) {
    const std::size_t entries = std::size_t(count) + n + 1;
    table = new_block<double**>(entries);
    flags = new_block<char>(entries);
    table_rows = new_block<int>(entries);
    made = table && flags && table_rows;
  }
  for (int i = 1; made && i <= count; ++i) {
    table[i] = matrices[i];
    flags[i] = owned[i];
    table_rows[i] = matrix_rows_[i];
  }
  for (int k = 1; made && k <= n; ++k) {
    const int slot = count + k;
    table[slot] = list ? list[k] : new_filled_matrix(new_rows, new_columns, value);
    flags[slot] = list ? 0 : 1;
    table_rows[slot] = new_rows;
    if (!table[slot] && !list) {
      for (int j = 1; j < k; ++j) free_2d(table[count + j]);
      made = false;
    }
  }
  if (!made) {
    delete[] table;
    delete[] flags;
    delete[] table_rows;
    raise_array_out_of_memory("3D array");
    return false;
  }
  delete[] matrices;
  delete[] owned;
  delete[] matrix_rows_;
  matrices = table;
  owned = flags;
  matrix_rows_ = table_rows;
  rows = new_rows;
  columns = new_columns;
  count += n;
  snapshot();
  return true;
}

void array3d::free_snapshot() {
  for (int i = 1; snapshot_row_tables && i <= snapshot_count; ++i) delete[] snapshot_row_tables[i];
  delete[] snapshot_row_tables;
  delete[] snapshot_table;
  snapshot_row_tables = nullptr;
  snapshot_table = nullptr;
}

void array3d::snapshot() {
  shadow_matrices = matrices;
  free_snapshot();
  snapshot_count = count;
  snapshot_rows = rows;
  if (count <= 0) return;
  snapshot_table = new_block<double**>(std::size_t(count) + 1);
  snapshot_row_tables = new_block<double**>(std::size_t(count) + 1);
  bool made = snapshot_table && snapshot_row_tables;
  if (made) std::copy(matrices, matrices + count + 1, snapshot_table);
  for (int i = 1; made && i <= count; ++i) {
    if (!matrices[i]) continue;
    snapshot_row_tables[i] = new_block<double*>(std::size_t(matrix_rows_[i]) + 1);
    if (!snapshot_row_tables[i]) {
      made = false;
    } else {
      std::copy(matrices[i], matrices[i] + matrix_rows_[i] + 1, snapshot_row_tables[i]);
    }
  }
  if (!made) {
    // Without a copy nothing can be compared: refuse every later change.
    free_snapshot();
    snapshot_count = -1;
    raise_array_out_of_memory("3D array");
  }
}

bool array3d::check_pointers(bool owned_only) const {
  bool intact = snapshot_count == count && shadow_matrices == matrices && snapshot_rows == rows;
  if (intact && count > 0)
    intact = snapshot_table && snapshot_row_tables &&
             std::equal(matrices, matrices + count + 1, snapshot_table);
  for (int i = 1; intact && i <= count; ++i) {
    if (!matrices[i] || (owned_only && !owned[i])) continue;
    const double* const* copy = snapshot_row_tables[i];
    intact = copy && std::equal(matrices[i], matrices[i] + matrix_rows_[i] + 1, copy);
  }
  if (!intact) print_bad_pointers_3d();
  return intact;
}
