#pragma once
// Growable containers of the model: array1d (a named vector), array2d (a
// table of rows) and array3d (a list of matrices of doubles). All three index
// from 1 (slot 0 exists and is spare), grow only by appending, and guard
// themselves against stray writes from neighbouring buffers: each keeps
// copies of its own pointers and sizes, made only by its own operations, and
// compares them before every structural change. On a difference it prints a
// fixed message and leaves itself as it was, so the run goes on with the old
// contents.
//
// array1d also checks every element access: an index outside 0..size sets
// the out-of-range flag, reaches a spare element of the array instead of
// memory outside the block, and is reported when the array is destroyed.
//
// Elements may be of any default-constructible type: new elements are value
// initialised (numbers are 0), and class elements are destroyed with their
// array. Moving a block keeps exactly one live copy of each element, so file
// wrappers do not close the streams they hand on.
//
// Memory that cannot be had is reported with a message of the array's own
// and error 4000; the array is left as it was.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "core/alloc.h"

constexpr int array_name_capacity = 50;  // characters of a name, terminator included

// Out-of-line messages of the templates (checked_array.cpp).
void print_bad_range(const char* name);        // "Error: bad range addressed in array %s\n"
void print_bad_pointers_1d(const char* name);  // "\n\nError!! Bad pointers found in array %s.\n\n"
void print_bad_pointers_2d();
void print_bad_pointers_3d();
// "Error allocating memory for variable %s\n", then raises 4000.
void raise_array_out_of_memory(const char* name);

// Moves count elements from an old block into a new one and leaves the old
// slots holding default values, so that destroying the old block releases
// nothing the new block now holds (a copied file wrapper would otherwise
// close its stream).
template <class T>
void transfer_elements(T* from, T* to, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) to[i] = std::move(from[i]);
  if constexpr (!std::is_trivially_copyable_v<T>)
    for (std::size_t i = 0; i < count; ++i) from[i] = T{};
}

template <class T>
class array1d {
 public:
  array1d() = default;
  ~array1d();
  array1d(const array1d&) = delete;
  array1d& operator=(const array1d&) = delete;

  // Cut to 49 characters.
  void set_name(const char* text);

  // Appends n elements (n below 0 counts as 0) and returns the new size.
  int grow(int n);
  // The nutrient layers' constituent list (10 slots) and soil pool list (13).
  int grow_by_10() { return grow(10); }
  int grow_by_13() { return grow(13); }
  // Grows by n, then sets the n new elements to value.
  int append_fill(int n, const T& value);
  // Copies elements 1 to the smaller of the two sizes from other; no
  // pointer check. File wrappers are copied field by field, so both arrays
  // then refer to the same open streams.
  array1d& copy_values(const array1d& other);

  // The check is one unsigned compare; a bad index takes the cold path.
  // Block and bound are read before the test, so that loops keep both in
  // registers.
  T& operator[](int i) {
    T* const block = data;
    if (static_cast<std::size_t>(i) < capacity_) [[likely]]
      return block[i];
    return stray_element();
  }
  const T& operator[](int i) const {
    const T* const block = data;
    if (static_cast<std::size_t>(i) < capacity_) [[likely]]
      return block[i];
    return stray_element();
  }
  T& at(int i) { return (*this)[i]; }
  const T& at(int i) const { return (*this)[i]; }

  T* data = nullptr;                  // element i at position i, 0 to size
  int size = 0;                       // highest index
  T* shadow_data = nullptr;           // copy of data, set by the array's own operations
  int shadow_size = 0;                // copy of size, set with it
  mutable bool out_of_range = false;  // set once an index outside 0..size was used
  char name[array_name_capacity] = {};  // printed in messages

 private:
  bool pointers_intact() const { return data == shadow_data && size == shadow_size; }
  // Inline on purpose: a call would make the compiler reload every array's
  // pointer and bound after each access of a loop. The flag is a bool, not
  // a char, so that setting it cannot alias the elements either.
  T& stray_element() const {
    out_of_range = true;  // threads may set it together; it only ever becomes true
    if constexpr (std::is_trivially_copyable_v<T>) spare_ = T{};
    return spare_;
  }

  std::size_t capacity_ = 0;  // elements in the block; accesses are checked against it
  mutable T spare_{};         // what a bad index reaches
};

template <class T>
array1d<T>::~array1d() {
  if (out_of_range) print_bad_range(name);
  // A block whose pointer was overwritten cannot be freed safely; leave it.
  if (!pointers_intact()) {
    print_bad_pointers_1d(name);
    return;
  }
  delete[] data;
  data = nullptr;
}

template <class T>
void array1d<T>::set_name(const char* text) {
  int i = 0;
  for (; text && text[i] != '\0' && i < array_name_capacity - 1; ++i) name[i] = text[i];
  name[i] = '\0';
}

template <class T>
int array1d<T>::grow(int n) {
  if (!pointers_intact()) {
    print_bad_pointers_1d(name);
    return size;
  }
  if (n < 0) n = 0;
  T* fresh = n < INT_MAX - size ? new_block<T>(std::size_t(size) + n + 1) : nullptr;
  if (!fresh) {
    raise_array_out_of_memory(name);
    return size;
  }
  if (data) transfer_elements(data, fresh, std::size_t(size) + 1);
  delete[] data;
  data = fresh;
  size += n;
  capacity_ = std::size_t(size) + 1;
  shadow_data = data;
  shadow_size = size;
  return size;
}

template <class T>
int array1d<T>::append_fill(int n, const T& value) {
  const int old_size = size;
  grow(n);
  for (int i = old_size + 1; i <= size; ++i) data[i] = value;
  return size;
}

template <class T>
array1d<T>& array1d<T>::copy_values(const array1d& other) {
  // Bounded by both blocks as well, so that an overwritten size cannot lead
  // the copy outside them.
  const std::size_t last = std::min({std::size_t(std::max(size, 0)), std::size_t(std::max(other.size, 0)),
                                     capacity_ ? capacity_ - 1 : 0,
                                     other.capacity_ ? other.capacity_ - 1 : 0});
  for (std::size_t i = 1; i <= last; ++i) data[i] = other.data[i];
  return *this;
}


// Width given to the rows of an array2d whose width is still 0. The output
// writers' tables give their own (2, the width argument not used).
template <class T>
struct array2d_row_traits {
  static constexpr int default_width = 1;
  static constexpr bool width_from_argument = true;
};

template <class T>
class array2d {
 public:
  array2d() = default;
  ~array2d();
  array2d(const array2d&) = delete;
  array2d& operator=(const array2d&) = delete;

  // Appends n owned rows (n below 0 counts as 0) of width + 1 elements.
  // width_arg sets the width while it is 0. Returns the new count.
  int grow(int n, int width_arg = -1);
  // Grows by n (at least 1), then sets columns 1..w of every new row to
  // value; w is width_arg, or the width before the call when it is -1 (and
  // never more than the rows hold).
  int append_fill(int n, const T& value, int width_arg = -1);
  int append_zeroed(int n, int width_arg = -1) { return append_fill(n, T{}, width_arg); }
  // Installs the rows list[1..n] (borrowed unless adopt is 1). width_arg
  // sets the width while it is 0. n below 1 changes nothing.
  int append_rows(int n, T* const* list, int width_arg = -1);
  // At least r rows of at least k columns: an empty array grows to (r, k);
  // otherwise wider rows keep columns 1..width and get value in the new
  // ones, and new rows are filled with value. Borrowed rows that must
  // widen become owned copies.
  void resize(int r, int k, const T& value);

  // Row i, or null outside 1..count.
  T* get_row(int i) const { return i >= 1 && i <= count ? rows[i] : nullptr; }
  // Unchecked: rows 1..count only.
  T* operator[](int i) const { return rows[i]; }

  void snapshot();
  // True when the row table is as the array left it; otherwise prints the
  // 2D message.
  bool check_pointers() const;

  T** rows = nullptr;           // row i at position i, 1 to count; position 0 null
  int count = 0;                // number of rows
  int width = 0;                // columns of new rows; 0 until first set
  char* owned = nullptr;        // per row: 1 allocated by the array, 0 borrowed
  int adopt = 0;                // 1: appended rows are owned and the check is skipped
  T** shadow_rows = nullptr;    // copy of rows
  T** snapshot_table = nullptr;  // copy of the entries 0..count of rows
  int snapshot_count = 0;       // count when the snapshot was taken

 private:
  int effective_width(int width_arg) const;
  // A table of count + n + 1 entries keeping rows 1..count, the new entries
  // null; false when memory is short.
  bool extend_table(int n, T**& table, char*& flags) const;
  void install(T** table, char* flags, int new_count);
};

template <class T>
array2d<T>::~array2d() {
  if (!check_pointers()) return;
  for (int i = 1; i <= count; ++i)
    if (owned[i]) delete[] rows[i];
  delete[] rows;
  delete[] owned;
  delete[] snapshot_table;
}

template <class T>
int array2d<T>::effective_width(int width_arg) const {
  int w = width;
  if constexpr (array2d_row_traits<T>::width_from_argument) {
    if (width_arg > 0 && w == 0) w = width_arg;
  }
  if (w == 0) w = array2d_row_traits<T>::default_width;
  return w;
}

template <class T>
bool array2d<T>::extend_table(int n, T**& table, char*& flags) const {
  table = nullptr;
  flags = nullptr;
  if (n > INT_MAX - 1 - count) return false;
  const std::size_t entries = std::size_t(count) + n + 1;
  table = new_block<T*>(entries);
  flags = new_block<char>(entries);
  if (!table || !flags) {
    delete[] table;
    delete[] flags;
    return false;
  }
  for (int i = 1; i <= count; ++i) {
    table[i] = rows[i];
    flags[i] = owned[i];
  }
  return true;
}

template <class T>
void array2d<T>::install(T** table, char* flags, int new_count) {
  delete[] rows;
  delete[] owned;
  rows = table;
  owned = flags;
  count = new_count;
  snapshot();
}

template <class T>
int array2d<T>::grow(int n, int width_arg) {
  if (!check_pointers()) return count;
  if (n < 0) n = 0;
  const int w = effective_width(width_arg);
  T** table;
  char* flags;
  bool made = w < INT_MAX && extend_table(n, table, flags);
  for (int k = 1; made && k <= n; ++k) {
    table[count + k] = new_block<T>(std::size_t(w) + 1);
    flags[count + k] = 1;
    if (!table[count + k]) {
      for (int j = 1; j < k; ++j) delete[] table[count + j];
      delete[] table;
      delete[] flags;
      made = false;
    }
  }
  if (!made) {
    raise_array_out_of_memory("2D array");
    return count;
  }
  width = w;
  install(table, flags, count + n);
  return count;
}

template <class T>
int array2d<T>::append_fill(int n, const T& value, int width_arg) {
  int w = width_arg == -1 ? width : width_arg;
  if (n < 1) n = 1;
  const int old_count = count;
  grow(n, width_arg);
  w = std::min(w, width);
  for (int i = old_count + 1; i <= count; ++i)
    for (int j = 1; j <= w; ++j) rows[i][j] = value;
  return count;
}

template <class T>
int array2d<T>::append_rows(int n, T* const* list, int width_arg) {
  if (adopt != 1 && !check_pointers()) return count;
  if (n < 1 || !list) return count;
  T** table;
  char* flags;
  if (!extend_table(n, table, flags)) {
    raise_array_out_of_memory("2D array");
    return count;
  }
  if (width_arg > 0 && width == 0) width = width_arg;
  for (int k = 1; k <= n; ++k) {
    table[count + k] = list[k];
    flags[count + k] = adopt == 1 ? 1 : 0;
  }
  install(table, flags, count + n);
  return count;
}

template <class T>
void array2d<T>::resize(int r, int k, const T& value) {
  if (!check_pointers()) return;
  if (count == 0) {
    grow(r, k);
    return;
  }
  if (k > width) {
    // Every row is made anew before any is replaced, so that a shortage of
    // memory leaves the array as it was.
    T** wide = k < INT_MAX ? new_block<T*>(std::size_t(count) + 1) : nullptr;
    bool made = wide != nullptr;
    for (int i = 1; made && i <= count; ++i) {
      wide[i] = new_block<T>(std::size_t(k) + 1);
      if (!wide[i]) {
        for (int j = 1; j < i; ++j) delete[] wide[j];
        made = false;
      }
    }
    if (!made) {
      delete[] wide;
      raise_array_out_of_memory("2D array");
      return;
    }
    for (int i = 1; i <= count; ++i) {
      if (owned[i]) {
        transfer_elements(rows[i], wide[i], std::size_t(width) + 1);
        delete[] rows[i];
      } else {
        std::copy(rows[i], rows[i] + width + 1, wide[i]);
      }
      for (int j = width + 1; j <= k; ++j) wide[i][j] = value;
      rows[i] = wide[i];
      owned[i] = 1;
    }
    delete[] wide;
    width = k;
  }
  if (r > count) {
    const int n = r - count;
    T** list = new_block<T*>(std::size_t(n) + 1);
    bool made = list != nullptr;
    for (int i = 1; made && i <= n; ++i) {
      list[i] = new_block<T>(std::size_t(width) + 1);
      if (!list[i]) {
        for (int j = 1; j < i; ++j) delete[] list[j];
        made = false;
      } else {
        for (int j = 1; j <= width; ++j) list[i][j] = value;
      }
    }
    if (!made) {
      delete[] list;
      raise_array_out_of_memory("2D array");
      return;
    }
    adopt = 1;
    const int old_count = count;
    append_rows(n, list, -1);
    adopt = 0;
    if (count == old_count)
      for (int i = 1; i <= n; ++i) delete[] list[i];
    delete[] list;
  }
  snapshot();
}

template <class T>
void array2d<T>::snapshot() {
  shadow_rows = rows;
  delete[] snapshot_table;
  snapshot_table = nullptr;
  snapshot_count = count;
  if (!rows) return;
  snapshot_table = new_block<T*>(std::size_t(count) + 1);
  if (!snapshot_table) {
    // Without a copy nothing can be compared: refuse every later change.
    snapshot_count = -1;
    raise_array_out_of_memory("2D array");
    return;
  }
  std::copy(rows, rows + count + 1, snapshot_table);
}

template <class T>
bool array2d<T>::check_pointers() const {
  bool intact = snapshot_count == count && shadow_rows == rows;
  if (intact && rows) intact = snapshot_table && std::equal(rows, rows + count + 1, snapshot_table);
  if (intact && !rows) intact = count == 0;
  if (!intact) print_bad_pointers_2d();
  return intact;
}

// A matrix of doubles [0..rows][0..columns] in one block, columns 1..columns
// of rows 1..rows set to value, the rest 0; row-table entry 0 points at the
// start of the block. Release with free_2d. Null when memory is short.
double** new_filled_matrix(int rows, int columns, double value);

class array3d {
 public:
  array3d() = default;
  ~array3d();
  array3d(const array3d&) = delete;
  array3d& operator=(const array3d&) = delete;

  // Appends n owned matrices filled with value. A rows or columns argument
  // of 0 or more replaces the shape of new matrices.
  int append_fill(int n, double value, int rows_arg = -1, int columns_arg = -1);
  // Installs the matrices list[1..n], borrowed (never freed by the array).
  int append_borrowed(int n, double** const* list, int rows_arg = -1, int columns_arg = -1);

  // Matrix i, or null outside 1..count.
  double** get_matrix(int i) const { return i >= 1 && i <= count ? matrices[i] : nullptr; }
  // Unchecked: matrices 1..count only.
  double** operator[](int i) const { return matrices[i]; }

  void snapshot();
  // True when the matrix table and the row tables (of the owned matrices
  // only, when asked) are as the array left them; otherwise prints the 3D
  // message.
  bool check_pointers(bool owned_only = false) const;

  double*** matrices = nullptr;  // matrix i at position i, 1 to count
  int count = 0;                 // number of matrices
  int rows = 0;                  // rows of new matrices (1..rows)
  int columns = 0;               // columns of new matrices (1..columns)
  char* owned = nullptr;         // per matrix: 1 allocated by the array, 0 borrowed
  double*** shadow_matrices = nullptr;
  double*** snapshot_table = nullptr;    // copy of entries 0..count of matrices
  double*** snapshot_row_tables = nullptr;  // per matrix 1..count, a copy of its row table
  int snapshot_count = 0;
  int snapshot_rows = 0;

 private:
  bool append(int n, double** const* list, double value, int rows_arg, int columns_arg);
  void free_snapshot();

  // Rows of each installed matrix, so that a shape changed later never
  // leads the deep snapshot past a row table.
  int* matrix_rows_ = nullptr;
};
