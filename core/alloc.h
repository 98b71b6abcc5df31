#pragma once
// Plain heap arrays for per-cell, per-link, per-node and per-table data.
//
// Every array is sized [0..n] in each dimension although the model indexes
// from 1: index n is valid and index 0 is a spare slot. A 2D array is a table
// of row pointers into one contiguous block in row order; a 3D array has a
// top table, a plane table of row pointers and one contiguous block, so that
// sweeps over rows and columns walk memory in order. Every element is zero
// when the allocator returns.
//
// Allocation never throws: a block that cannot be had gives null, and the
// routines free what they already held. The named routines add the array's
// name to their failure message; none of them stops the run, callers that
// cannot go on raise an error themselves.
//
// Blocks are made with new[]; release them with free_1d, free_2d and free_3d
// (never free()).

#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>

// Requests above this many bytes are refused without asking the system:
// no machine this model runs on has the memory, and the sanitizer runtime
// aborts on such requests where the plain runtime returns null.
constexpr std::size_t max_block_bytes = std::size_t(1) << 40;

// "Error: Attempting to allocate array of size 0\n" on standard output.
void print_size_zero();
// "Error allocating memory for variable NAME\n" on standard output.
void print_alloc_failure(const char* name);
// "Problem allocating memory for array of structures in struct_alloc.\n".
void print_struct_alloc_failure();

// count value-initialised (zeroed) elements, or null when count is 0, too
// large, or memory is short.
template <class T>
T* new_block(std::size_t count) {
  if (count == 0 || count > max_block_bytes / sizeof(T)) return nullptr;
  return new (std::nothrow) T[count]();
}

template <class T>
void free_1d(T*& a) {
  delete[] a;
  a = nullptr;
}

// [0..n][0..m]: row table of n + 1 pointers, row i at element i (m + 1) of
// one zeroed block. Null, without message, for a negative dimension or when
// memory is short.
template <class T>
T** new_2d_block(int n, int m) {
  if (n < 0 || m < 0) return nullptr;
  const std::size_t rows = std::size_t(n) + 1;
  const std::size_t cols = std::size_t(m) + 1;
  if (rows > max_block_bytes / sizeof(T) / cols) return nullptr;
  T** table = new_block<T*>(rows);
  if (!table) return nullptr;
  T* block = new_block<T>(rows * cols);
  if (!block) {
    delete[] table;
    return nullptr;
  }
  for (std::size_t i = 0; i < rows; ++i) table[i] = block + i * cols;
  return table;
}

// Frees the data block (the pointer in row 0), then the row table.
template <class T>
void free_2d(T**& a) {
  if (!a) return;
  delete[] a[0];
  delete[] a;
  a = nullptr;
}

// [0..n][0..m][0..k]: top entry i points at plane-table entry i (m + 1), and
// plane-table entry i (m + 1) + j at data element (i (m + 1) + j)(k + 1).
template <class T>
T*** new_3d_block(int n, int m, int k) {
  if (n < 0 || m < 0 || k < 0) return nullptr;
  const std::size_t tops = std::size_t(n) + 1;
  const std::size_t mids = std::size_t(m) + 1;
  const std::size_t cols = std::size_t(k) + 1;
  if (tops > max_block_bytes / sizeof(T*) / mids) return nullptr;
  if (tops * mids > max_block_bytes / sizeof(T) / cols) return nullptr;
  T*** top = new_block<T**>(tops);
  T** plane = new_block<T*>(tops * mids);
  T* block = new_block<T>(tops * mids * cols);
  if (!top || !plane || !block) {
    delete[] top;
    delete[] plane;
    delete[] block;
    return nullptr;
  }
  for (std::size_t i = 0; i < tops; ++i) top[i] = plane + i * mids;
  for (std::size_t p = 0; p < tops * mids; ++p) plane[p] = block + p * cols;
  return top;
}

// Frees data block, plane table and top table of a 3D array of either kind
// and sets the pointer to null; a null array is left alone.
template <class T>
void free_3d(T***& a) {
  if (!a) return;
  delete[] a[0][0];
  delete[] a[0];
  delete[] a;
  a = nullptr;
}

// Core allocators. A dimension of 0 (or below) prints the size-0 message and
// gives null. Given a name, a null result also prints the named failure
// message, as the named allocators do.
double** new_2d_double(int n, int m, const char* name = nullptr);
int** new_2d_int(int n, int m, const char* name = nullptr);
char** new_2d_char(int n, int m, const char* name = nullptr);
double*** new_3d_double(int n, int m, int k, const char* name = nullptr);
// ints [0..n][0..3][0..m] (the channel lakes' cell lists).
int*** new_3d_int4(int n, int m);

// Set every element [0..n][0..m] (or [0..n][0..m][0..k]), row and column 0
// included. A null array is left alone.
void fill_2d_double(double** a, int n, int m, double value);
void fill_3d(double*** a, int n, int m, int k, double value);

// Named allocators: store the array (or null) in out and return whether it
// was made. alloc_1d_*: n = 0 gives null silently; a negative n prints the
// size-0 message.
bool alloc_1d_double(double*& out, int n, const char* name);
bool alloc_1d_int(int*& out, int n, const char* name);
bool alloc_2d_double(int n, int m, double**& out, const char* name);
bool alloc_2d_int(int**& out, int n, int m, const char* name);
bool alloc_2d_char(int n, int m, char**& out, const char* name);
bool alloc_3d_double(int n, int m, int k, double***& out, const char* name);
bool alloc_lake_search(int n, int m, int***& out);

// Record array: n + 1 zeroed records, positions 0 to n.
template <class R>
bool struct_alloc(int n, R*& out) {
  out = n >= 0 ? new_block<R>(std::size_t(n) + 1) : nullptr;
  if (!out) print_struct_alloc_failure();
  return out != nullptr;
}

// Zeroed matrix [0..rows][0..cols] of doubles in one block; release it with
// free_2d. Null when memory is short or a dimension is negative.
double** alloc_zeroed_matrix(int rows, int cols);

// Tables of references [node][link] used by the channel point sources and
// pumps; P is the reference type, every entry null. A dimension of 0 prints
// the size-0 message and the named message, and still makes what the shape
// allows: with n = 0 and m above 0 the table is made; with m = 0 out is null.
template <class P>
bool alloc_reference_table(P**& out, int n, int m, int extra_rows, const char* name) {
  static_assert(std::is_pointer_v<P>, "a reference table holds pointers");
  const bool zero = n <= 0 || m <= 0;
  if (zero) {
    print_size_zero();
    print_alloc_failure(name);
  }
  const bool shaped = n >= 0 && m > 0 && n <= std::numeric_limits<int>::max() - extra_rows;
  out = shaped ? new_2d_block<P>(n + extra_rows, m) : nullptr;
  if (!out && !zero) print_alloc_failure(name);
  return out != nullptr;
}

// [0..n+1][0..m]: one row more than asked.
template <class P>
bool alloc_stream_pointsource(P**& out, int n, int m) {
  return alloc_reference_table(out, n, m, 1, "stream_pointsource");
}

// [0..n][0..m].
template <class P>
bool alloc_stream_pumps(P**& out, int n, int m) {
  return alloc_reference_table(out, n, m, 0, "stream_pumps");
}
