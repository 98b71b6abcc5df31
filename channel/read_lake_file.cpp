// The overland lake file, read once at set-up by the lake map reader. The
// LAKE lines are taken in one pass and checked as they come; the records are
// made only after the count of LAKE lines has matched the lake map.

#include "channel/read_lake_file.h"

#include <cctype>
#include <cstdio>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr std::size_t longest_line = 20000;  // characters a line of the file may hold

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string lower_case(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

// The first word must be a leading part of the card's word, in any case; a
// line without a word is a leading part of it too.
bool starts_with_lake_file_card(const std::string& line) {
  auto separator = [](char c) { return is_blank(c) || c == ','; };
  std::size_t start = 0;
  while (start < line.size() && separator(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !separator(line[end])) ++end;
  const std::string word = lower_case(line.substr(start, end - start));
  const std::string card = "valto_overland_lake_file";
  return word.size() <= card.size() && card.compare(0, word.size(), word) == 0;
}

bool line_too_long(const text_source& source, const std::string& line) {
  if (line.size() <= longest_line) return false;
  raise_message(
      "Error: line %d of the overland lake input data file %s is longer than %d characters.\n",
      source.line_number, source.path, static_cast<int>(longest_line));
  return true;
}

void stop_with(const char* const* lines) {
  for (; *lines != nullptr; ++lines) std::fputs(*lines, stderr);
  raise_error(own_message_code);
}

// One LAKE line as read, before the records exist.
struct lake_line {
  int lake;
  double elevation;  // m
  double volume;     // m3
};

}  // namespace

int is_lake_card(std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && is_blank(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !is_blank(line[end])) ++end;
  const bool lake = lower_case(line.substr(start, end - start)) == "lake";
  line.erase(0, end);
  return lake ? 0 : 1;
}

bool read_lake_file(safe_file& file, const char* path, int lake_count,
                    std::vector<olake_record>& lakes) {
  lakes.clear();
  text_source source{file.stream, path, 0};
  std::string line;
  // An empty file reads as an empty first line, which the card test takes;
  // it then ends before any LAKE line.
  const bool first = read_source_line(source, line) != 0;
  if (first && line_too_long(source, line)) return false;
  if (!starts_with_lake_file_card(line)) {
    static const char* const text[] = {
        "The overland lake input data file doesn't start with\n",
        " VALTO_OVERLAND_LAKE_FILE card.\n",
        "The file format is invalid.  Program terminated.\n", nullptr};
    stop_with(text);
    return false;
  }

  std::vector<lake_line> read;
  while (first && read_source_line(source, line)) {
    if (line_too_long(source, line)) return false;
    if (is_lake_card(line) != 0) continue;
    lake_line l{};
    const char* p = line.c_str();
    if (!take_int_field(p, l.lake) || !take_real_field(p, l.elevation) ||
        !take_real_field(p, l.volume)) {
      raise_message(
          "Error: line %d of the overland lake input data file %s does not hold a LAKE card's "
          "lake number, elevation and volume.\n",
          source.line_number, path);
      return false;
    }
    // The records are indexed by lake number: a number the lake map does
    // not have would land outside them.
    if (l.lake < 1 || l.lake > lake_count) {
      raise_message(
          "Error: line %d of the overland lake input data file %s is for lake %d; the overland "
          "lake map numbers its lakes 1 to %d.\n",
          source.line_number, path, l.lake, lake_count);
      return false;
    }
    read.push_back(l);
    msg_printf("%d   Elev: %.2lf   Volume: %.2lf\n", static_cast<int>(read.size()), l.elevation,
               l.volume);
  }

  const int count = static_cast<int>(read.size());
  if (count == 0) {
    static const char* const text[] = {
        "Premature end-of-file in the overland lake input data file.\n",
        "No LAKE cards encountered before end of file.\n", "Program terminated.\n", nullptr};
    stop_with(text);
    return false;
  }
  if (count != lake_count) {
    std::fputs("Incorrect number of LAKE cards in the overland lake input data file.\n", stderr);
    std::fprintf(stderr, "Expected %d LAKE cards, read %d\n", lake_count, count);
    std::fputs("Program terminated.\n", stderr);
    raise_error(own_message_code);
    return false;
  }

  if (!allocate_zeroed(lakes, std::size_t(lake_count) + 1, "olakes")) return false;
  for (const lake_line& l : read) {
    olake_record& r = lakes[l.lake];
    r.level = l.elevation;
    r.floor = l.elevation;
    r.volume = l.volume;
  }
  return true;
}
