// Grid and map dataset layouts. Large grids are written through a fixed
// chunk on the stack: one conversion per value and one fwrite per chunk,
// with nothing allocated, so a map costs the same at every output time.
// Binary datasets are little-endian whatever the host, assembled byte by
// byte into the chunk.

#include "output/map_formats.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"

namespace {

constexpr const char* fixed_names[fixed_dataset_count] = {
    "depth",           "discharge",       "rain",
    "infiltrated_depth", "infiltration_rate", "surface_moisture",
    "groundwater_head", "sediment_flux",  "sediment_volume",
    "suspended_sediment_conc", "contaminant_conc", "flood_grid",
    "gw_recharge_cum", "gw_recharge_inc", "snow_water_equivalent",
};

// The text the reading side takes for a cell outside the watershed. The
// header declares the same value, so GIS readers leave those cells out.
constexpr char ascii_no_data[] = "-9999.9999 ";

constexpr int binary_name_bytes = 40;

class chunk_writer {
 public:
  explicit chunk_writer(std::FILE* file) : file_(file) {}
  ~chunk_writer() { flush(); }
  chunk_writer(const chunk_writer&) = delete;
  chunk_writer& operator=(const chunk_writer&) = delete;

  void put(const char* text, std::size_t n) {
    if (used_ + n > sizeof buffer_) flush();
    std::memcpy(buffer_ + used_, text, n);
    used_ += n;
  }
  void put(char c) {
    if (used_ + 1 > sizeof buffer_) flush();
    buffer_[used_++] = c;
  }
  // A fixed-point value with precision decimals, at least width wide (right
  // aligned, as printf's "%W.Plf"), then the closing character.
  void put_fixed(double value, int precision, int width, char after) {
    if (used_ + 400 > sizeof buffer_) flush();
    char* at = buffer_ + used_;
    char* end = std::to_chars(at, buffer_ + sizeof buffer_, value, std::chars_format::fixed,
                              precision)
                    .ptr;
    const std::size_t n = std::size_t(end - at);
    const std::size_t w = width > 0 ? std::size_t(width) : 0;
    if (n < w) {
      std::memmove(at + (w - n), at, n);
      std::memset(at, ' ', w - n);
      end += w - n;
    }
    *end++ = after;
    used_ = std::size_t(end - buffer_);
  }
  void put_int32(std::int32_t v) { put_bytes(std::uint32_t(v), 4); }
  void put_int16(std::int16_t v) { put_bytes(std::uint16_t(v), 2); }
  void put_float64(double v) { put_bytes(std::bit_cast<std::uint64_t>(v), 8); }
  void flush() {
    if (used_ > 0) std::fwrite(buffer_, 1, used_, file_);
    used_ = 0;
  }

 private:
  void put_bytes(std::uint64_t v, int bytes) {
    if (used_ + std::size_t(bytes) > sizeof buffer_) flush();
    for (int i = 0; i < bytes; ++i) buffer_[used_++] = char((v >> (8 * i)) & 0xff);
  }

  std::FILE* file_;
  std::size_t used_ = 0;
  char buffer_[1 << 16];
};

// Calls active(k) with the compact index of each active cell and inactive()
// for the others, row by row from the north row.
template <class Active, class Inactive>
void walk_grid(const map_grid& grid, Active active, Inactive inactive) {
  int k = 0;
  for (int r = 1; r <= grid.rows; ++r) {
    const int* row = grid.mask[r];
    for (int c = 1; c <= grid.cols; ++c) {
      if (row[c] != 0)
        active(++k);
      else
        inactive();
    }
  }
}

template <class Row>
void walk_rows(const map_grid& grid, Row row) {
  int k = 0;
  for (int r = 1; r <= grid.rows; ++r) row(grid.mask[r], k);
}

void report_dataset_open(const char* name) { set_error(59, 0, 0, nullptr, name); }

}  // namespace

map_grid run_map_grid(const model_state& state) {
  const grid_state& g = state.grid;
  map_grid grid;
  grid.mask = g.mask.empty() ? nullptr : const_cast<block_2d<int>&>(g.mask).table();
  grid.rows = g.rows;
  grid.cols = g.cols;
  grid.north = g.north;
  grid.south = g.south;
  grid.east = g.east;
  grid.west = g.west;
  grid.cell_size = g.dx;
  return grid;
}

const char* fixed_dataset_name(int index) {
  return index >= 0 && index < fixed_dataset_count ? fixed_names[index] : nullptr;
}

void write_ascii_grid(std::FILE* file, const map_grid& grid, const double* values) {
  const double xll = (grid.east < grid.west ? grid.east : grid.west) + 0.5 * grid.cell_size;
  const double yll = (grid.north < grid.south ? grid.north : grid.south) + 0.5 * grid.cell_size;
  std::fprintf(file, "ncols \t%d\nnrows \t%d\n", grid.cols, grid.rows);
  std::fprintf(file, "xllcenter %9.2lf\nyllcenter %9.2lf\ncellsize %9.2lf\n", xll, yll,
               grid.cell_size);
  std::fputs("NODATA_value -9999.9999\n", file);
  chunk_writer out(file);
  walk_rows(grid, [&](const int* row, int& k) {
    for (int c = 1; c <= grid.cols; ++c) {
      if (row[c] != 0)
        out.put_fixed(values[++k], 4, 6, ' ');
      else
        out.put(ascii_no_data, sizeof ascii_no_data - 1);
    }
    out.put('\n');
  });
}

namespace {

void write_nsew_header(std::FILE* file, const map_grid& grid) {
  std::fprintf(file, "north: %9.2lf\nsouth: %9.2lf\neast: %9.2lf\nwest: %9.2lf\n", grid.north,
               grid.south, grid.east, grid.west);
  std::fprintf(file, "rows: %5d\ncols: %5d\n", grid.rows, grid.cols);
}

}  // namespace

void write_nsew_grid(std::FILE* file, const map_grid& grid, const double* values) {
  write_nsew_header(file, grid);
  chunk_writer out(file);
  walk_rows(grid, [&](const int* row, int& k) {
    for (int c = 1; c <= grid.cols; ++c) out.put_fixed(row[c] != 0 ? values[++k] : 0.0, 6, 0, ' ');
    out.put('\n');
  });
}

void write_nsew_flags(std::FILE* file, const map_grid& grid, const int* flags) {
  write_nsew_header(file, grid);
  walk_rows(grid, [&](const int* row, int& k) {
    for (int c = 1; c <= grid.cols; ++c) std::fprintf(file, "%d ", row[c] != 0 ? flags[++k] : 0);
    std::fputc('\n', file);
  });
}

bool write_ascii_dataset_header(const char* name, safe_file& file, int id, const char* dataset,
                                int rows, int cols) {
  if (!file.open(name, "w")) {
    report_dataset_open(name);
    return false;
  }
  const int values = rows * cols;
  std::fprintf(file.stream, "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID %d\nND %d\nNC %d\nNAME %s\n",
               id, values, values, dataset);
  return true;
}

bool write_binary_dataset_header(const char* name, safe_file& file, int id, const char* dataset,
                                 int rows, int cols) {
  if (!file.open(name, "wb")) {
    report_dataset_open(name);
    return false;
  }
  const std::int32_t values = rows * cols;
  const std::int32_t words[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, id, 170, values, 180,
                                values, 190};
  chunk_writer out(file.stream);
  for (std::int32_t w : words) out.put_int32(w);
  // A long name is cut so that the field keeps its terminating NUL.
  char field[binary_name_bytes] = {};
  std::strncpy(field, dataset, binary_name_bytes - 1);
  out.put(field, binary_name_bytes);
  return true;
}

void write_dataset_record(std::FILE* file, double time, const map_grid& grid,
                          const double* values, bool binary) {
  chunk_writer out(file);
  if (binary) {
    out.put_int32(200);
    out.put_int16(1);
    out.put_float64(time);
    walk_grid(grid, [&](int) { out.put_int16(1); }, [&] { out.put_int16(0); });
    walk_grid(grid, [&](int k) { out.put_float64(values[k]); }, [&] { out.put_float64(0.0); });
    return;
  }
  char line[400];
  const int n = std::snprintf(line, sizeof line, "TS 1 %lf\n", time);
  out.put(line, std::size_t(n));
  walk_grid(grid, [&](int) { out.put("1\n", 2); }, [&] { out.put("0\n", 2); });
  walk_grid(grid, [&](int k) { out.put_fixed(values[k], 6, 0, '\n'); },
            [&] { out.put("0.000000\n", 9); });
}

void write_dataset_end(std::FILE* file, bool binary) {
  if (!binary) {
    std::fputs("ENDDS\n", file);
    return;
  }
  chunk_writer out(file);
  out.put_int32(binary_dataset_end);
}
