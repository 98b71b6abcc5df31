#pragma once
// Gridded outputs, byte for byte as the reading side expects them: the ASCII
// grid, the north/south/east/west grid and the map dataset in its ASCII and
// binary forms. The writers know nothing of the quantity; their callers pick
// the file, the values and the dataset's id and name.
//
// Values are compact: one per active cell, 1-based, in the order the mask
// numbers the cells (row by row from the north row, columns west to east).

#include <cstdio>

class safe_file;
struct model_state;

// The grid a writer walks. The mask is row-indexed [1..rows][1..cols], a
// cell active when its entry is non-zero.
struct map_grid {
  const int* const* mask = nullptr;
  int rows = 0;
  int cols = 0;
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;  // m
  double cell_size = 0.0;                                   // m
};

// The run's own grid.
map_grid run_map_grid(const model_state& state);

// Dataset ids: index k of the fixed maps (0-14) has id 1010 + k.
constexpr int first_fixed_dataset_id = 1010;
constexpr int fixed_dataset_count = 15;
// Name of fixed dataset index k (0-14), or null outside.
const char* fixed_dataset_name(int index);

constexpr int binary_dataset_end = 210;

void write_ascii_grid(std::FILE* file, const map_grid& grid, const double* values);
void write_nsew_grid(std::FILE* file, const map_grid& grid, const double* values);
// The same layout for per-cell flags, each "%d " (0 outside the watershed).
void write_nsew_flags(std::FILE* file, const map_grid& grid, const int* flags);

// Open name ("w" or "wb") in file and write the header. A file that does not
// open sets error 59 naming it, and nothing is written.
bool write_ascii_dataset_header(const char* name, safe_file& file, int id, const char* dataset,
                                int rows, int cols);
bool write_binary_dataset_header(const char* name, safe_file& file, int id, const char* dataset,
                                 int rows, int cols);

// One record at time (minutes).
void write_dataset_record(std::FILE* file, double time, const map_grid& grid,
                          const double* values, bool binary);

// The closing record: int32 210 for a binary dataset, "ENDDS" for ASCII.
void write_dataset_end(std::FILE* file, bool binary);
