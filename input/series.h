#pragma once
// Named series of a run: time series (times in Julian days and values, read by
// linear interpolation and held constant beyond their ends) and elevation
// series (elevation and value pairs, read by linear interpolation or as a step
// function, clamped at both ends). Both lists belong to the run: each run
// reads its own project and side files, so nothing of one run's series
// reaches the next.
//
// The side-file readers here also serve the XY boundary inputs: text_source
// keeps the file's line count so that every message names file and line.

#include <atomic>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct time_series {
  std::string name;
  std::vector<double> time;   // Julian days; a relative series holds days from the zero date until shifted
  std::vector<double> value;  // in the units of its user
  int relative = 0;           // 1: RELATIVE block
  int shifted = 0;            // 1: the run's start has been added to a relative series

  // Interval found last (time[hint] <= t < time[hint + 1]); lookups start
  // there, so forward-moving lookups cost a comparison or two. Shared by the
  // threads of a parallel loop: it only steers the search and the result
  // never depends on it, so relaxed atomic loads and stores suffice.
  mutable std::atomic<int> hint{0};
  // Whether the times never decrease: 0 not yet known, 1 they do not, 2 they
  // do somewhere. Found by the first lookup; a series whose times go back has
  // more than one interval for some times, so it gives no value.
  mutable std::atomic<int> order{0};

  int entries() const { return static_cast<int>(time.size()); }
};

struct elev_series {
  std::string name;
  std::vector<double> elevation;  // m (or ft with English units)
  std::vector<double> value;
  int entries() const { return static_cast<int>(elevation.size()); }
};

// Lists in reading order; the records never move once made, so users may
// hold pointers to them for the run.
using time_series_list = std::vector<std::unique_ptr<time_series>>;
using elev_series_list = std::vector<std::unique_ptr<elev_series>>;

// One row of the mapping table's time-series index: a table id and the series
// its name found (null when none matched).
struct ts_index_entry {
  int id = 0;
  const time_series* series = nullptr;
};

// A side file open for reading, with the number of the last line read.
struct text_source {
  std::FILE* stream = nullptr;
  const char* path = "";  // resolved name, for messages
  int line_number = 0;
};

// Next whole line of any length, final newline and carriage return dropped,
// substituted while replacement parameters are active when substitute is set.
// 1, or 0 at the end of the file.
int read_source_line(text_source& source, std::string& line, bool substitute = true);

// Fields of side-file lines, separated by blanks and tabs. Each call takes the
// next field off p, whether or not it converts; false when there is none or
// it is not wholly a number (a real must also be finite).
bool take_int_field(const char*& p, int& value);
bool take_real_field(const char*& p, double& value);
// Passes over n fields; false when the line holds fewer.
bool skip_fields(const char*& p, int n);
bool is_blank_line(const char* line);

// Line classes of time-series files, by the line's beginning.
enum ts_line_class { ts_begin = 0, ts_relative = 1, ts_absolute = 2, ts_end = 3, ts_other = 4 };
int ts_keyword(const char* line);

time_series* ts_new(time_series_list& list);
void ts_free_all(time_series_list& list);

// Reads the next "VALTO_TS" block into a new series ("Read time series %s").
// 1 read, 0 no further block, -1 a malformed entry (reported, code 4000).
int ts_read_one(time_series_list& list, text_source& source);

// Reads every block of the file; returns the number read. A file that cannot
// be opened is reported and reads nothing; it sets no code, a lookup of a
// missing series stops the run later.
int read_time_series_file(time_series_list& list, const char* path);

// The first series whose name begins with name, or null.
time_series* ts_find(const time_series_list& list, const char* name);

// Value at time t (Julian days). An absent or empty series stops the run
// (code 4000) and gives 0.0; a series whose times go back gives 0.0 with a
// message and the run goes on. Safe to call from parallel loops.
double ts_value(double t, const time_series* series);

// Value at t of the series the index table gives id; the later row of a
// repeated id wins. An id not in the table stops the run and gives 0.0.
double ts_value_by_index(std::span<const ts_index_entry> table, int id, double t);

// Reads one multi-column block at the source's position: lines up to an
// "END_TS" line (consumed) or the end of the file, each holding year, month,
// day, hour and minute, then one value per column; a date that cannot be read
// gives the time -1.0 (warned). The values are read as the file holds them,
// without replacement. Appends columns absolute
// series named base_0000, base_0001, ... (base cut to 100 characters) and
// returns the first, or null when columns is below 1 or the block is
// malformed (reported, code 4000).
time_series* ts_read_block(time_series_list& list, text_source& source, int columns,
                           const char* base);

// Adds start (Julian days) to every time of every relative series not yet
// shifted, so that during the run all series hold Julian dates.
void shift_relative_series(time_series_list& list, double start);

elev_series* es_new(elev_series_list& list);

// Reads the next "VALTO_ES" block; 1, 0 when none is left, -1 malformed.
int es_read_one(elev_series_list& list, text_source& source);

// Reads every block of the file; returns the number read. A file that cannot
// be opened is reported and reads nothing.
int es_read_file(elev_series_list& list, const char* path);

// The first elevation series whose name begins with name, or null.
elev_series* es_find(const elev_series_list& list, const char* name);

// Linear interpolation at elevation z, clamped at both ends.
double es_value(double z, const elev_series* series);

// Value at the lower end of the interval holding z, clamped at both ends.
double es_step_value(double z, const elev_series* series);
