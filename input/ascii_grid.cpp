// The ASCII grid map reader. The file is read through one growing buffer and
// every value is converted in place from a pointer into it, so a map of
// millions of cells costs a pass of parsing and no per-value copies; a row of
// a real map is taken whole however long it is.

#include "input/ascii_grid.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"

namespace {

// Bytes; grows for longer lines. Kept within the sizes allocators recycle
// cheaply: every map read makes one, and most maps are small.
constexpr std::size_t initial_buffer = 1 << 16;

// Separators of the values of a real row: blanks, tabs and commas (and the CR
// of a CR-LF file).
inline bool is_row_separator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// White space of the free-format integer maps and of the header.
inline bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A real written the way the C library reads one, the whole token and nothing
// else: [begin, end) of a buffer whose byte at end may be overwritten for a
// moment.
bool parse_real(char* begin, char* end, double& value) {
  const char* start = begin;
  if (*start == '+' && start + 1 < end && start[1] != '+' && start[1] != '-') ++start;
  auto [stop, failure] = std::from_chars(start, static_cast<const char*>(end), value);
  if (failure == std::errc() && stop == end) return true;
  // Hexadecimal reals and values beyond the range of a double take the slow road.
  char saved = *end;
  *end = '\0';
  char* last = nullptr;
  double v = std::strtod(begin, &last);
  *end = saved;
  if (last != end) return false;
  value = v;
  return true;
}

// A whole number within the range of an int: optional sign, then digits only.
bool parse_int(const char* begin, const char* end, int& value) {
  const char* p = begin;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end) return false;
  long long v = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int>(v);
  return true;
}

// Reads ahead of a stream in one buffer ending in a NUL, so that a token or a
// line can be converted where it lies. Gives back what it read ahead when it
// is done, so the stream stands just past what was taken.
class map_scanner {
 public:
  explicit map_scanner(std::FILE* stream) : stream_(stream), buffer_(initial_buffer + 1) {
    buffer_[0] = '\0';
  }
  ~map_scanner() {
    if (stream_ && end_ > pos_) std::fseek(stream_, -static_cast<long>(end_ - pos_), SEEK_CUR);
  }
  map_scanner(const map_scanner&) = delete;
  map_scanner& operator=(const map_scanner&) = delete;

  // Skips white space, line ends included; false at the end of the file.
  bool skip_white() {
    for (;;) {
      while (pos_ < end_ && is_white(buffer_[pos_])) ++pos_;
      if (pos_ < end_) return true;
      if (!read_more()) return false;
    }
  }

  // The next run of non-blank characters, at most width of them; false at
  // the end of the file.
  bool take_word(int width) {
    if (!skip_white()) return false;
    while (end_ - pos_ < static_cast<std::size_t>(width) && read_more()) {
    }
    for (int n = 0; n < width && pos_ < end_ && !is_white(buffer_[pos_]); ++n) ++pos_;
    return true;
  }

  // The next run of non-blank characters as [begin, end) inside the buffer,
  // valid until the next call; false at the end of the file.
  bool next_token(char*& begin, char*& end) {
    if (!skip_white()) return false;
    std::size_t e = pos_;
    for (;;) {
      while (e < end_ && !is_white(buffer_[e])) ++e;
      if (e < end_) break;
      const std::size_t offset = e - pos_;
      if (!read_more()) break;
      e = pos_ + offset;
    }
    begin = &buffer_[pos_];
    end = &buffer_[e];
    pos_ = e;
    return true;
  }

  // The next line without its line end as [begin, end), end holding a NUL;
  // valid until the next call. False when nothing is left.
  bool next_line(char*& begin, char*& end) {
    std::size_t scanned = 0;
    for (;;) {
      const void* found = std::memchr(&buffer_[pos_ + scanned], '\n', end_ - pos_ - scanned);
      if (found) {
        const std::size_t newline = static_cast<const char*>(found) - buffer_.data();
        buffer_[newline] = '\0';
        begin = &buffer_[pos_];
        end = &buffer_[newline];
        pos_ = newline + 1;
        return true;
      }
      scanned = end_ - pos_;
      if (!read_more()) break;
    }
    if (pos_ == end_) return false;
    begin = &buffer_[pos_];
    end = &buffer_[end_];  // the buffer's closing NUL
    pos_ = end_;
    return true;
  }

 private:
  // Moves the unread bytes to the front, grows the buffer when they fill it,
  // and reads on. False when the file has nothing more.
  bool read_more() {
    if (!stream_ || at_end_) return false;
    if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
    }
    const std::size_t capacity = buffer_.size() - 1;
    if (end_ == capacity) buffer_.resize(2 * capacity + 1);
    const std::size_t room = buffer_.size() - 1 - end_;
    const std::size_t got = std::fread(buffer_.data() + end_, 1, room, stream_);
    end_ += got;
    buffer_[end_] = '\0';
    if (got == 0) at_end_ = true;
    return got > 0;
  }

  std::FILE* stream_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
};

void report_end_of_file(const char* name) {
  raise_message("Unexpected end of file in file: %s\n", name);
}

enum class header_read { ok, end_of_file, unreadable };

// The header, positionally: a key word of at most 6 (lines 1-2) or 5 (lines
// 3-6) characters that is not compared, then the number, then white space.
header_read read_header(map_scanner& scan, map_header& header, int& bad_line) {
  double* reals[4] = {&header.north, &header.south, &header.east, &header.west};
  int* ints[2] = {&header.rows, &header.cols};
  for (int line = 1; line <= 6; ++line) {
    bad_line = line;
    if (!scan.take_word(line <= 2 ? 6 : 5)) return header_read::end_of_file;
    char* begin;
    char* end;
    if (!scan.next_token(begin, end)) return header_read::end_of_file;
    const bool read = line <= 4 ? parse_real(begin, end, *reals[line - 1]) &&
                                      std::isfinite(*reals[line - 1])
                                : parse_int(begin, end, *ints[line - 5]);
    if (!read) return header_read::unreadable;
  }
  scan.skip_white();
  return header_read::ok;
}

bool size_matches(const map_header& header, const char* name, int rows, int cols) {
  const bool rows_differ = header.rows != rows;
  const bool cols_differ = header.cols != cols;
  if (rows_differ && cols_differ)
    raise_message("Incorrect number of rows and columns in map: %s\n", name);
  else if (rows_differ)
    raise_message("Incorrect number of rows in map: %s\n", name);
  else if (cols_differ)
    raise_message("Incorrect number of columns in map: %s\n", name);
  return !rows_differ && !cols_differ;
}

void report_bad_value(const char* name, const char* what, int row, int col, const char* begin,
                      const char* end) {
  constexpr int shown = 40;  // characters of the offending token quoted
  const int length = static_cast<int>(end - begin) < shown ? static_cast<int>(end - begin) : shown;
  raise_message("Error: value \"%.*s\" in row %d, column %d of map %s is not %s.\n", length, begin,
                row, col, name, what);
}

struct value_counts {
  bool nonzero = false;  // some value read, active or not, is not exactly 0
  int zero_cells = 0;    // active cells of a real map holding exactly 0
};

// Replacement parameters are substituted in a copy with room to grow.
char* substitute(char* begin, char* end, std::vector<char>& copy) {
  const std::size_t length = end - begin;
  copy.resize(length + max_line);
  std::memcpy(copy.data(), begin, length + 1);
  active_line_filter(copy.data(), static_cast<int>(copy.size()));
  return copy.data();
}

bool read_real_rows(map_scanner& scan, const char* name, int** mask, std::span<double> out,
                    int rows, int cols, value_counts& counts) {
  std::vector<char> copy;
  std::size_t k = 0;  // active cells stored
  for (int r = 1; r <= rows; ++r) {
    char* p;
    char* line_end;
    if (!scan.next_line(p, line_end)) {
      report_end_of_file(name);
      return false;
    }
    if (active_line_filter) {
      const int stop_before = error_state.stop_flag;
      p = substitute(p, line_end, copy);
      line_end = p + std::strlen(p);
      // A substitution that failed has reported itself; the row is not whole.
      if (error_state.stop_flag && !stop_before) return false;
    }
    const int* mask_row = mask[r];
    for (int c = 1; c <= cols; ++c) {
      while (p < line_end && is_row_separator(*p)) ++p;
      double value = 0.0;
      if (p < line_end) {
        char* token = p;
        while (p < line_end && !is_row_separator(*p)) ++p;
        if (!parse_real(token, p, value)) {
          report_bad_value(name, "a number", r, c, token, p);
          return false;
        }
        // "nan" and "inf" convert, but no map value the model computes with
        // may be either: one would spread through every later step.
        if (!std::isfinite(value)) {
          report_bad_value(name, "a finite number", r, c, token, p);
          return false;
        }
        if (!(value == 0.0)) counts.nonzero = true;
      }
      if (mask_row[c] == 0) continue;
      if (++k < out.size()) out[k] = value;
      if (value == 0.0) ++counts.zero_cells;
    }
  }
  return true;
}

// The next value of a free-format integer map; false after reporting.
inline bool next_int(map_scanner& scan, const char* name, int r, int c, int& value) {
  char* begin;
  char* end;
  if (!scan.next_token(begin, end)) {
    report_end_of_file(name);
    return false;
  }
  if (!parse_int(begin, end, value)) {
    report_bad_value(name, "a whole number", r, c, begin, end);
    return false;
  }
  return true;
}

bool read_integer_grid(map_scanner& scan, const char* name, int** grid, int rows, int cols,
                       value_counts& counts) {
  for (int r = 1; r <= rows; ++r) {
    int* row = grid[r];
    for (int c = 1; c <= cols; ++c) {
      int value;
      if (!next_int(scan, name, r, c, value)) return false;
      row[c] = value;
      if (value != 0) counts.nonzero = true;
    }
  }
  return true;
}

bool read_index_map(map_scanner& scan, const char* name, int** mask, std::span<int> out, int rows,
                    int cols, value_counts& counts) {
  // Counts of the ids of this map alone: a second map starts again from zero.
  std::vector<int> category(max_category_id + 1, 0);
  int uncounted = 0;
  std::size_t k = 0;
  bool complete = true;
  for (int r = 1; r <= rows && complete; ++r) {
    const int* mask_row = mask[r];
    for (int c = 1; c <= cols; ++c) {
      int id;
      if (!next_int(scan, name, r, c, id)) {
        complete = false;
        break;
      }
      if (id != 0) counts.nonzero = true;
      if (mask_row[c] == 0) continue;
      if (++k < out.size()) out[k] = id;
      if (id >= 0 && id <= max_category_id)
        ++category[id];
      else
        ++uncounted;
    }
  }
  if (!complete) return false;
  for (int id = 1; id <= max_category_id; ++id)
    if (category[id] > 0)
      std::printf("In map %s category %d has %d values\n", name, id, category[id]);
  if (uncounted > 0)
    std::printf("In map %s %d values have ids outside 0 to %d and are counted in no category\n",
                name, uncounted, max_category_id);
  return true;
}

}  // namespace

void read_ascii_map(safe_file& file, const char* name, int kind, map_header& header, int** grid,
                    std::span<double> first, std::span<double> second, std::span<int> ids,
                    int expected_rows, int expected_cols) {
  if (!name) name = "";
  if (file.stream != file.shadow) {
    raise_message("\n\n\nError with the file %.*s. The file pointer is corrupt.\n\n\n\n",
                  static_cast<int>(strnlen(file.path, path_capacity)), file.path);
    return;
  }
  map_scanner scan(file.stream);

  int bad_line = 0;
  switch (read_header(scan, header, bad_line)) {
    case header_read::end_of_file:
      report_end_of_file(name);
      return;
    case header_read::unreadable:
      raise_message(
          "Error: line %d of the header of map %s must hold a key word of at most %d characters "
          "and %s.\n",
          bad_line, name, bad_line <= 2 ? 6 : 5,
          bad_line <= 4 ? "a finite number" : "a whole number");
      return;
    case header_read::ok:
      break;
  }
  if (!size_matches(header, name, expected_rows, expected_cols)) return;

  value_counts counts;
  bool read = false;
  switch (kind) {
    case real_map:
      read = read_real_rows(scan, name, grid, first, header.rows, header.cols, counts);
      break;
    case real_map_second:
      read = read_real_rows(scan, name, grid, second, header.rows, header.cols, counts);
      break;
    case integer_grid:
      read = read_integer_grid(scan, name, grid, header.rows, header.cols, counts);
      break;
    case index_map:
      read = read_index_map(scan, name, grid, ids, header.rows, header.cols, counts);
      break;
    default:
      raise_message("Error: map %s was asked for as kind %d, which no map is.\n", name, kind);
      return;
  }
  if (!read) return;

  if (!counts.nonzero) std::printf("Warning: Map contains only zero values. Map: %s\n", name);
  if (counts.zero_cells > 0)
    std::printf("Warning: Map contains %d cells with zero values. Map: %s\n", counts.zero_cells,
                name);
}
