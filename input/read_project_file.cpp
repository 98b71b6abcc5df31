// Reading the project file: the magic line, then each card in file order.
// Lines hold at most project_line_limit characters; a longer line stops the
// reading with a message naming it, so no value is ever cut short in silence.

#include "input/project_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/card_gate.h"
#include "input/card_ranges.h"
#include "input/card_table.h"
#include "input/project_settings.h"
#include "input/side_file_cards.h"

namespace {

enum class line_status { end, ok, too_long };

// One line of the project file with its final newline removed, substituted
// while replacement parameters are active. The buffer holds max_line
// characters, so a line that does not fit is seen as too long, never split.
line_status read_project_line(std::FILE* stream, char* line) {
  line[0] = '\0';
  if (stream == nullptr || std::fgets(line, max_line, stream) == nullptr) {
    line[0] = '\0';
    return line_status::end;
  }
  size_t length = std::strlen(line);
  bool complete = length > 0 && line[length - 1] == '\n';
  if (complete) line[--length] = '\0';
  if (!complete && !std::feof(stream)) return line_status::too_long;
  if (length > static_cast<size_t>(project_line_limit)) return line_status::too_long;
  if (active_line_filter != nullptr) active_line_filter(line, max_line);
  if (std::strlen(line) > static_cast<size_t>(project_line_limit)) return line_status::too_long;
  return line_status::ok;
}

// The row of the line's card word, taken off the line; null for a blank
// line, a comment, an ignored word or an unknown word (warned).
const card_row* take_card(char* line) {
  char token[token_capacity];
  if (!next_token(line, token)) return nullptr;
  for (char* c = token; *c != '\0'; ++c)
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  if (token[0] == '#') return nullptr;
  const card_row* row = find_card(token);
  if (row == nullptr) {
    std::printf("Warning: unknown card found in the project file: %s\n", token);
    return nullptr;
  }
  if (row->code == ignored_card_code) return nullptr;
  return row;
}

// Whether the card's first value reads as a number of its kind: a whole
// number within the range of an int, or a finite real. Only its start is
// judged, as the conversion takes it ("30.0" is still 30 for an int card); a
// card without a value keeps reading as 0. False after a message naming the
// file, line and card, with the reading stopped.
bool card_value_reads(const card_row& row, const char* values, bool whole, card_reader& reader) {
  char copy[max_line];
  std::snprintf(copy, sizeof copy, "%s", values);
  char token[token_capacity];
  if (!next_token(copy, token)) return true;
  char* stop = nullptr;
  errno = 0;
  bool reads;
  if (whole) {
    const long long v = std::strtoll(token, &stop, 10);
    reads = stop != token && errno != ERANGE && v >= INT_MIN && v <= INT_MAX;
  } else {
    const double v = std::strtod(token, &stop);
    reads = stop != token && std::isfinite(v);
  }
  if (reads) return true;
  raise_message("Error: line %d of the project file %s: the value \"%.40s\" of card %s is not %s.\n",
                reader.line_number, reader.file_name, token, card_name(row.word).c_str(),
                whole ? "a whole number within the range of an int" : "a finite number");
  reader.stop = true;
  return false;
}

// Whether the card gives a value at all; a bare card reads as 0 and is
// judged by the checks of its process, not by its range.
bool card_has_value(const char* values) {
  char copy[max_line];
  std::snprintf(copy, sizeof copy, "%s", values);
  char token[token_capacity];
  return next_token(copy, token) && token[0] != '\0';
}

// Stores the card's values by its kind. In clear mode the values are taken
// off the line and the stored name, value and flag are emptied again.
void apply_card(const card_row& row, card_records& records, char* values, card_reader& reader) {
  const card_action& a = row.action;
  switch (a.kind) {
    case card_kind::ignored:
    case card_kind::no_effect:
      return;
    case card_kind::flag:
      *a.int_field(records) = a.value;
      break;
    case card_kind::integer: {
      if (!card_value_reads(row, values, true, reader)) return;
      int n = 0;
      const bool given = card_has_value(values);
      next_int(values, n);
      if (given && !card_value_in_range(row, n, reader)) return;
      *a.int_field(records) = n;
      break;
    }
    case card_kind::real: {
      if (!card_value_reads(row, values, false, reader)) return;
      double x = 0.0;
      const bool given = card_has_value(values);
      next_double(values, x);
      if (given && !card_value_in_range(row, x, reader)) return;
      *a.real_field(records) = x;
      break;
    }
    case card_kind::name: {
      char token[token_capacity];
      next_token(values, token);
      *a.name_field(records) = token;
      break;
    }
    case card_kind::printed_int: {
      int n = 0;
      next_int(values, n);
      msg_printf(a.note, n);
      return;
    }
    case card_kind::printed_real: {
      double x = 0.0;
      next_double(values, x);
      msg_printf(a.note, x);
      return;
    }
    case card_kind::special:
      a.handler(a, records, values, reader);
      return;
  }
  if (a.given != nullptr) *a.given(records) = 1;
  if (reader.mode == card_mode::clear) {
    if (a.int_field != nullptr) *a.int_field(records) = 0;
    if (a.real_field != nullptr) *a.real_field(records) = 0.0;
    if (a.name_field != nullptr) a.name_field(records)->clear();
    if (a.given != nullptr) *a.given(records) = 0;
  }
}

void record_unbuilt_card(project_settings& settings, const char* word) {
  for (const std::string& seen : settings.unbuilt_cards)
    if (seen == word) return;
  settings.unbuilt_cards.emplace_back(word);
}

bool magic_line_valid(const char* line) {
  return std::strcmp(line, "VALTOPROJECT") == 0 || std::strcmp(line, "KIRNABPROJECT") == 0;
}

}  // namespace

int project_card_code(char* line) {
  const card_row* row = take_card(line);
  return row != nullptr ? row->code : ignored_card_code;
}

void read_project_file(const char* project_file, project_settings& settings,
                       run_parameters& params, precip_settings& precip) {
  params.project_file_missing = 0;
  safe_file file;
  if (project_file == nullptr || std::strlen(project_file) > static_cast<size_t>(project_line_limit) ||
      !file.open(project_file, "r")) {
    std::fprintf(stderr, "Error opening project file named: %s\n", project_file ? project_file : "");
    params.project_file_missing = 1;
    return;
  }

  char line[max_line];
  line_status status = read_project_line(file.stream, line);
  if (status != line_status::ok || !magic_line_valid(line)) {
    std::fprintf(stderr, "File Does not Appear to be a Valid VALTO/KIRNAB Project file\n");
    std::fprintf(stderr,
                 "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n");
    std::fprintf(stderr, "VALTO Terminating....\n");
    file.close();
    raise_error(4000);
    return;
  }

  settings = project_settings{};
  params = run_parameters{};
  precip = precip_settings{};

  card_records records{settings, params, precip};
  card_reader reader;
  reader.file_name = project_file;
  reader.line_number = 1;
  while ((status = read_project_line(file.stream, line)) != line_status::end) {
    ++reader.line_number;
    if (status == line_status::too_long) {
      raise_message("Error: line %d of the project file %s is longer than %d characters.\n",
                    reader.line_number, project_file, project_line_limit);
      break;
    }
    const card_row* row = take_card(line);
    if (row == nullptr) continue;
    reader.mode = gate_mode(*row);
    apply_card(*row, records, line, reader);
    if (reader.stop) break;
    if (reader.mode == card_mode::apply) read_side_file_card(*row, records, reader);
    if (reader.mode == card_mode::store_only) record_unbuilt_card(settings, row->word);
    if (reader.mode == card_mode::clear) warn_unwritten_output(*row);
  }
  file.close();
}

void read_project_path(const char* project_file) {
  safe_file file;
  if (project_file == nullptr || !file.open(project_file, "r")) {
    std::fprintf(stderr, "Error opening project file named: %s\n", project_file ? project_file : "");
    return;
  }
  const card_row* path_row = find_card("project_path");
  char line[max_line];
  line_status status;
  bool first = true;
  while ((status = read_project_line(file.stream, line)) != line_status::end) {
    // The magic line is no card: taken as one it would be warned of as unknown.
    const bool magic = first && status == line_status::ok && magic_line_valid(line);
    first = false;
    if (magic || status == line_status::too_long) continue;
    if (project_card_code(line) != path_row->code) continue;
    char token[token_capacity];
    next_token(line, token);
    if (token[0] != '\0') set_project_directory(token, static_cast<int>(std::strlen(token)));
    file.close();
    return;
  }
  file.close();

  // No card: the folder the project file's name gives, if any.
  char folder[path_capacity];
  copy_text(folder, sizeof folder, project_file);
  char* last = std::strrchr(folder, '/');
  char* last_back = std::strrchr(folder, '\\');
  if (last_back != nullptr && (last == nullptr || last_back > last)) last = last_back;
  if (last == nullptr) return;
  last[1] = '\0';
  set_project_directory(folder, static_cast<int>(std::strlen(folder)));
}
