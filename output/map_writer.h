#pragma once
// One dynamic map series, for the quantities whose number is known only at
// run time (nutrient constituents, contaminants) and the snow temperature:
// the owner binds it to its compact array, sets it up once, writes it at
// every map time and ends its dataset at the end of the run. The values stay
// the owner's.

#include "core/safe_file.h"
#include "output/map_formats.h"

struct model_state;

// How a writer writes: one ASCII grid file per output time, an ASCII or a
// binary dataset record, or nothing (the framework takes the maps itself).
enum class map_format { per_time_grid = 1, ascii_record = 2, binary_record = 3, none = 4 };

// The format the run's map type gives a writer.
map_format run_map_format(const model_state& state);

// "dir" + separator + rest, the separator "/" added only when dir is not
// empty and ends in neither "/" nor "\\". Cut to capacity; false when cut.
bool join_map_path(char* out, int capacity, const char* dir, const char* rest);

class map_writer {
 public:
  map_writer();
  ~map_writer();  // closes the file; writes no end record
  map_writer(const map_writer&) = delete;
  map_writer& operator=(const map_writer&) = delete;

  void bind(const map_grid& grid, const double* values);
  // Keeps the parts and opens the dataset "prefix part1" with its header when
  // the format writes records. A dataset that does not open sets error 59.
  void setup(map_format format, const char* prefix, const char* part1, const char* part2, int id,
             const char* name);
  // One output at time (minutes). A per-time grid that does not open prints
  // its name and raises 4000.
  void write_map(double time);
  // The dataset's closing record (210 or "ENDDS"); nothing without an open
  // dataset.
  void end_dataset();

  bool has_dataset() const { return file_.is_open(); }
  const char* dataset_path() const { return file_.path; }
  int next_index() const { return next_index_; }

 private:
  safe_file file_;
  char prefix_[1024];
  const double* values_ = nullptr;
  map_grid grid_;
  map_format format_ = map_format::none;
  int next_index_ = 1;
  char part1_[30];
  char part2_[30];
  char name_[100];
};
