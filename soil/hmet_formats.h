#pragma once
// The layouts of the hydrometeorological file, one reader each, and what
// they share: the line rule, fixed-column numbers, dates and the refusal
// that closes the file. read_hmet_data (soil/read_hmet.h) dispatches to them
// after the common work of the first call and adds the orographic
// temperatures after an hour of a single-gauge layout.

#include "core/physical_range.h"
#include "soil/hmet_record.h"

class safe_file;
struct grid_state;

int read_zep_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                  const hmet_settings& settings);
int read_samson_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                     const hmet_settings& settings);
int read_surfaways_hour(safe_file& file, int call, hmet_record& record,
                        hmet_reader_state& reader, const hmet_settings& settings);
int read_gridded_hour(safe_file& file, int call, hmet_record& record, hmet_reader_state& reader,
                      const hmet_settings& settings, const grid_state& grid);

namespace hmet_text {

// Lines of a hydrometeorological file: at most max_line - 2 characters.
enum class line_status { line, end, too_long };

// Reads the next line (replacement parameters substituted, the newline and
// a carriage return before it dropped) and counts it in line_number.
line_status next_line(safe_file& file, char* line, int& line_number);

bool is_blank(const char* line);

// The whole-number field of 1-based columns first..last (blanks around it
// allowed). False when the columns hold anything else, or lie past the end
// of the line.
bool column_int(const char* line, int first, int last, int& value);
bool column_real(const char* line, int first, int last, double& value);

// Splits line in place at blanks, tabs and carriage returns; at most
// capacity fields are kept. Returns the number of fields the line holds.
int split_fields(char* line, char** fields, int capacity);

int days_in_month(int year, int month);

// A calendar date with an hour of first_hour..last_hour.
bool valid_date(int year, int month, int day, int hour, int first_hour, int last_hour);

// Prints the message (a format of the reader's own), raises 4000 and closes
// the file, so a refused file never stays open behind the run's back.
void refuse(safe_file& file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A missing value takes the kept one and is counted; a valid one is kept.
template <class T>
void repair(T& value, T& kept, bool missing, int& count) {
  if (missing) {
    value = kept;
    ++count;
  } else {
    kept = value;
  }
}

// A reading notice on the screen and in the run summary.
void notice(const char* text);

// The hours since the calendar's start of a date and hour (hour 24 is hour
// 0 of the next day); days_since_start likewise in days.
long long hours_since_start(int year, int month, int day, int hour);
long long days_since_start(int year, int month, int day);

// Counts one hour of the set-up pass: the first gives the record's date,
// each the end date. Every hour after the first must be the hour after the
// one before: an hour out of order, given twice, going back or leaving hours
// out is refused naming the layout's file and the line. False then.
bool count_hour(safe_file& file, const char* layout, int line, hmet_record& record, int year,
                int month, int day, int hour);

// True when value lies in range; else refuses it, naming the layout's file,
// the line, what the value is, the value with its unit and the range.
bool hour_value_within(safe_file& file, const char* layout, int line, const char* what,
                       double value, const char* unit, const physical_range& range);

// The physical ranges of the hourly values, in the units the layouts write
// them. Air temperatures beyond those ever measured at the ground (-89.2
// and 56.7 deg C) are taken for a damaged file, or one in the wrong unit,
// rather than weather: -90 to 60 deg C, -130 to 140 deg F.
namespace hmet_ranges {
inline constexpr physical_range celsius{-90.0, 60.0};
inline constexpr physical_range fahrenheit{-130.0, 140.0};
inline constexpr physical_range tenths{0.0, 10.0};
}  // namespace hmet_ranges

// Ends the set-up pass of a layout whose lines (tokens) are its hours:
// refuses a file without any, prints "End of <name> file encountered after
// N lines" when announced and not quiet, and rewinds. 0, or -1 refused.
int end_count(safe_file& file, hmet_record& record, hmet_reader_state& reader,
              const hmet_settings& settings, const char* name, bool announce);

}  // namespace hmet_text
