#pragma once
// Replacement parameters: a bracketed name in an input line stands where a
// value belongs, and while substitution is on every line read is given each
// name's value, printed in the name's own format. A list file declares the
// names with their formats; a value file holds one line of values per run,
// chosen by REPLACE_LINE or by the batch run's index. Calibration trials write
// their values into the list directly.
//
// The list, its substitution flag and its count are process-wide: the
// calibration driver loads them before the run it starts. Substitution is
// switched on by a run's own project (or trial) and ends with the run, so a
// later run of the process starts without it.

#include <vector>

class safe_file;

constexpr int replace_name_capacity = 28;    // bracketed name with brackets, terminator included
constexpr int replace_format_capacity = 12;  // format, terminator included
constexpr int replace_text_capacity = 250;   // text value, terminator included

enum replace_kind { replace_integer = 0, replace_real = 1, replace_text = 2 };

struct replace_param {
  char name[replace_name_capacity] = {};     // such as "[MAN]"
  int name_length = 0;                       // brackets included
  char format[replace_format_capacity] = {}; // one checked conversion of the node's kind
  int kind = replace_real;
  int int_value = 0;
  double real_value = 0.0;
  char text_value[replace_text_capacity] = {};
  int used = 0;  // 1: replaced at least once since the values were loaded
};

struct replace_state {
  std::vector<replace_param> params;  // in the order of the list file
  int active = 0;                     // substitution on
  int count = 0;                      // replacements since the last reset
};

extern replace_state replacement;

// Reads the list file, freeing any earlier list first. 0, or -1 after a
// message (a failed list is left empty or partly built).
int read_replace_params(const char* file_name);

// Appends the node of one list line: the text from its last '[' to its last
// ']', then its format token. 0, or -1 after a message.
int parse_replace_param_line(char* line);

// The kind of a format that holds exactly one conversion, with optional
// flags, width and precision (at most two digits each): "%d" integer, "%f"
// or "%lf" real, "%s" text. -1 for anything else.
int replace_format_kind(const char* format);

// Loads the values of line replace_line_index + 1 of the value file (the last
// line when the file is shorter), clears the used flags and the count and
// switches substitution on. 0, or -1 after a message with substitution as it
// was.
int read_replace_vals(const char* file_name);

// Replaces the name starting at line[pos] ('[') by its value. length is the
// line's length, updated. 1 replaced, 0 no name matches, -1 the line would
// outgrow capacity - 1 characters (reported, code 4000; the line is kept).
int replace_at(char* line, int pos, int& length, int capacity);

// Substitutes every bracketed name of the line (the line filter while
// substitution is on). Scanning goes on over each printed value, so a value
// holding another name is replaced too; the line never outgrows capacity.
void replace_line_params(char* line, int capacity);

// Switch substitution on (the value file or a calibration trial) or off (the
// end of a run); the core's line filter follows the switch.
void start_substitution();
void end_substitution();

// The values in use, to the summary file and the screen.
void print_replace_values(safe_file& summary);

// The count and whether each name was used; resets the count.
void print_replace_usage(safe_file& summary);

// Held by the run's record: substitution ends when the record goes, however
// the run ended.
struct substitution_guard {
  substitution_guard() = default;
  substitution_guard(const substitution_guard&) = delete;
  substitution_guard& operator=(const substitution_guard&) = delete;
  ~substitution_guard() { end_substitution(); }
};
