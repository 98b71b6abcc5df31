// The dynamic map series. Per-time file names are built in fixed buffers, so
// a writer allocates nothing once it is set up.

#include "output/map_writer.h"

#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "run/model_state.h"

namespace {

bool ends_in_separator(const char* dir) {
  const std::size_t n = std::strlen(dir);
  return n > 0 && (dir[n - 1] == '/' || dir[n - 1] == '\\');
}

}  // namespace

map_format run_map_format(const model_state& state) {
  const input_state& in = state.input;
  if (in.map_kind[0]) return map_format::per_time_grid;
  if (in.map_kind[2]) return map_format::binary_record;
  if (in.qtr) return map_format::none;
  return map_format::ascii_record;
}

bool join_map_path(char* out, int capacity, const char* dir, const char* rest) {
  const bool separate = dir[0] != '\0' && !ends_in_separator(dir);
  const int n = std::snprintf(out, std::size_t(capacity), "%s%s%s", dir, separate ? "/" : "", rest);
  return n >= 0 && n < capacity;
}

map_writer::map_writer() {
  prefix_[0] = part1_[0] = part2_[0] = name_[0] = '\0';
}

map_writer::~map_writer() { file_.close(); }

void map_writer::bind(const map_grid& grid, const double* values) {
  grid_ = grid;
  values_ = values;
}

void map_writer::setup(map_format format, const char* prefix, const char* part1,
                       const char* part2, int id, const char* name) {
  format_ = format;
  copy_text(prefix_, sizeof prefix_, prefix);
  copy_text(part1_, sizeof part1_, part1);
  copy_text(part2_, sizeof part2_, part2);
  copy_text(name_, sizeof name_, name);
  if (format != map_format::ascii_record && format != map_format::binary_record) return;
  char dataset[sizeof prefix_ + sizeof part1_];
  std::snprintf(dataset, sizeof dataset, "%s%s", prefix_, part1_);
  if (format == map_format::binary_record)
    write_binary_dataset_header(dataset, file_, id, name_, grid_.rows, grid_.cols);
  else
    write_ascii_dataset_header(dataset, file_, id, name_, grid_.rows, grid_.cols);
}

void map_writer::write_map(double time) {
  switch (format_) {
    case map_format::per_time_grid: {
      char rest[sizeof name_ + sizeof part1_ + sizeof part2_ + 16];
      std::snprintf(rest, sizeof rest, "%s%s.%04d%s", name_, part1_, next_index_, part2_);
      char path[path_capacity];
      join_map_path(path, sizeof path, prefix_, rest);
      std::printf("opening file %s\n", path);
      safe_file grid_file;
      if (!grid_file.open(path, "w")) {
        raise_message("Can't open map for writing: %s\n", path);
        return;
      }
      write_ascii_grid(grid_file.stream, grid_, values_);
      grid_file.close();
      ++next_index_;
      return;
    }
    case map_format::ascii_record:
    case map_format::binary_record:
      if (file_.is_open())
        write_dataset_record(file_.stream, time, grid_, values_,
                             format_ == map_format::binary_record);
      return;
    case map_format::none:
      return;
  }
}

void map_writer::end_dataset() {
  if (!file_.is_open()) return;
  write_dataset_end(file_.stream, format_ == map_format::binary_record);
}
