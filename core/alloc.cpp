#include "core/alloc.h"

#include <algorithm>
#include <cstdio>

void print_size_zero() { std::fputs("Error: Attempting to allocate array of size 0\n", stdout); }

void print_alloc_failure(const char* name) {
  std::printf("Error allocating memory for variable %s\n", name ? name : "");
}

void print_struct_alloc_failure() {
  std::fputs("Problem allocating memory for array of structures in struct_alloc.\n", stdout);
}

namespace {

// The core allocators' shared rule: a dimension of 0 (or below, which has no
// meaning here) is reported and gives no array.
template <class T>
T** new_2d_named(int n, int m, const char* name) {
  T** a = nullptr;
  if (n <= 0 || m <= 0)
    print_size_zero();
  else
    a = new_2d_block<T>(n, m);
  if (!a && name) print_alloc_failure(name);
  return a;
}

}  // namespace

double** new_2d_double(int n, int m, const char* name) { return new_2d_named<double>(n, m, name); }
int** new_2d_int(int n, int m, const char* name) { return new_2d_named<int>(n, m, name); }
char** new_2d_char(int n, int m, const char* name) { return new_2d_named<char>(n, m, name); }

double*** new_3d_double(int n, int m, int k, const char* name) {
  double*** a = nullptr;
  if (n <= 0 || m <= 0 || k <= 0)
    print_size_zero();
  else
    a = new_3d_block<double>(n, m, k);
  if (!a && name) print_alloc_failure(name);
  return a;
}

int*** new_3d_int4(int n, int m) {
  if (n <= 0 || m <= 0) {
    print_size_zero();
    return nullptr;
  }
  return new_3d_block<int>(n, 3, m);
}

// The blocks are contiguous, so a fill is one sweep from the start of row 0.
void fill_2d_double(double** a, int n, int m, double value) {
  if (!a || n < 0 || m < 0) return;
  std::fill_n(a[0], (std::size_t(n) + 1) * (std::size_t(m) + 1), value);
}

void fill_3d(double*** a, int n, int m, int k, double value) {
  if (!a || n < 0 || m < 0 || k < 0) return;
  std::fill_n(a[0][0], (std::size_t(n) + 1) * (std::size_t(m) + 1) * (std::size_t(k) + 1), value);
}

namespace {

template <class T>
bool alloc_1d(T*& out, int n, const char* name) {
  out = nullptr;
  if (n == 0) return false;  // no items, no array: not a fault
  if (n < 0) {
    print_size_zero();
    return false;
  }
  out = new_block<T>(std::size_t(n) + 1);
  if (!out) print_alloc_failure(name);
  return out != nullptr;
}

}  // namespace

bool alloc_1d_double(double*& out, int n, const char* name) { return alloc_1d(out, n, name); }
bool alloc_1d_int(int*& out, int n, const char* name) { return alloc_1d(out, n, name); }

bool alloc_2d_double(int n, int m, double**& out, const char* name) {
  out = new_2d_double(n, m, name);
  return out != nullptr;
}

bool alloc_2d_int(int**& out, int n, int m, const char* name) {
  out = new_2d_int(n, m, name);
  return out != nullptr;
}

bool alloc_2d_char(int n, int m, char**& out, const char* name) {
  out = new_2d_char(n, m, name);
  return out != nullptr;
}

bool alloc_3d_double(int n, int m, int k, double***& out, const char* name) {
  out = new_3d_double(n, m, k, name);
  return out != nullptr;
}

bool alloc_lake_search(int n, int m, int***& out) {
  out = new_3d_int4(n, m);
  if (!out) print_alloc_failure("lake_search");
  return out != nullptr;
}

double** alloc_zeroed_matrix(int rows, int cols) { return new_2d_block<double>(rows, cols); }
