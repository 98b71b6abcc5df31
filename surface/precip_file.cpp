// The reader of the precipitation file. The file is a stream of white-space
// separated words read in order: card words are taken five characters at a
// time (a longer word leaves its tail as the next word) and recognised by
// their first four letters in any case, numbers are whole words, and a few
// fields take the rest of their line. Lines are read whole, with replacement
// parameters substituted, and the reader keeps its place between events.

#include "surface/precip_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "core/julian.h"
#include "core/safe_file.h"
#include "run/sim_clock.h"
#include "core/text_io.h"
#include "surface/radar_grid.h"
#include "surface/raingage_data.h"

namespace {

// Words read in search of a card before the reader gives up.
constexpr int max_search_words = 10000;
constexpr int card_word_length = 5;
constexpr int value_capacity = 64;  // a number's word, terminator included

enum class scan { ok, end, failed };

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads the next line of the file into the scan buffer, substituted.
scan load_line(raingage_data& rd, safe_file& file) {
  precip_scan& sc = rd.scan;
  char* line = sc.line.data();
  line[0] = '\0';
  sc.pos = 0;
  if (sc.at_end || file.stream == nullptr) {
    sc.at_end = 1;
    return scan::end;
  }
  if (std::fgets(line, max_line, file.stream) == nullptr) {
    line[0] = '\0';
    sc.at_end = 1;
    return scan::end;
  }
  ++sc.line_number;
  std::size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n') {
    line[n - 1] = '\0';
  } else if (n == static_cast<std::size_t>(max_line) - 1) {
    // The buffer is full: the line goes on unless its newline or the end of
    // the file comes next.
    const int c = std::fgetc(file.stream);
    if (c != '\n' && c != EOF) {
      line[0] = '\0';
      raise_message("Error: line %d of the precipitation file %s is longer than %d characters.\n",
                    sc.line_number, file.path, max_line - 1);
      return scan::failed;
    }
  }
  if (active_line_filter != nullptr) active_line_filter(line, max_line);
  return scan::ok;
}

// Moves past white space, reading lines as needed.
scan skip_blanks(raingage_data& rd, safe_file& file) {
  precip_scan& sc = rd.scan;
  for (;;) {
    const char* line = sc.line.data();
    while (line[sc.pos] != '\0' && is_blank(line[sc.pos])) ++sc.pos;
    if (line[sc.pos] != '\0') return scan::ok;
    const scan s = load_line(rd, file);
    if (s != scan::ok) return s;
  }
}

// Takes the next word, at most max_chars characters of it when max_chars is
// above 0; out keeps the first capacity - 1 characters. length: characters
// taken.
scan take_word(raingage_data& rd, safe_file& file, char* out, int capacity, int max_chars,
               int& length) {
  out[0] = '\0';
  length = 0;
  const scan s = skip_blanks(rd, file);
  if (s != scan::ok) return s;
  precip_scan& sc = rd.scan;
  const char* line = sc.line.data();
  while (line[sc.pos] != '\0' && !is_blank(line[sc.pos]) &&
         (max_chars <= 0 || length < max_chars)) {
    if (length < capacity - 1) out[length] = line[sc.pos];
    ++length;
    ++sc.pos;
  }
  out[length < capacity - 1 ? length : capacity - 1] = '\0';
  return scan::ok;
}

// A card word: its first five characters, lower-cased.
scan card_word(raingage_data& rd, safe_file& file, char* word) {
  int length = 0;
  const scan s = take_word(rd, file, word, card_word_length + 1, card_word_length, length);
  for (char* c = word; *c != '\0'; ++c)
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return s;
}

bool is_card(const char* word, const char* four) { return std::strncmp(word, four, 4) == 0; }

// A number's word; one longer than value_capacity - 1 characters is left
// cut, and will not convert.
scan value_word(raingage_data& rd, safe_file& file, char* out) {
  int length = 0;
  const scan s = take_word(rd, file, out, value_capacity, 0, length);
  if (s == scan::ok && length >= value_capacity) out[0] = '#';
  return s;
}

bool parse_int(const char* text, int& value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool parse_real(const char* text, double& value) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// The rest of the line in hand, without its leading and trailing blanks,
// cut to capacity - 1 characters; the reader moves to the line's end.
void rest_of_line(raingage_data& rd, char* out, int capacity) {
  precip_scan& sc = rd.scan;
  const char* line = sc.line.data();
  int start = sc.pos;
  while (line[start] != '\0' && is_blank(line[start])) ++start;
  int end = start + static_cast<int>(std::strlen(line + start));
  while (end > start && is_blank(line[end - 1])) --end;
  int n = end - start;
  if (n > capacity - 1) n = capacity - 1;
  std::memcpy(out, line + start, n);
  out[n] = '\0';
  sc.pos = start + static_cast<int>(std::strlen(line + start));
}

void bad_number(const raingage_data& rd, const safe_file& file, const char* what,
                const char* word) {
  raise_message(
      "Error: %s \"%s\" on line %d of the precipitation file %s is not a number.\n"
      "Check the event entitled:\n   %s\n",
      what, word, rd.scan.line_number, file.path, rd.title);
}

// Grows the event arrays to hold gauges and lines (only in the counting
// pass: it has read every event before the time loop starts).
void reserve_event(raingage_data& rd, int gauges, int lines) {
  if (gauges > rd.max_gauges) rd.max_gauges = gauges;
  if (lines > rd.max_lines) rd.max_lines = lines;
  const int stride = rd.max_lines + 2;  // lines 1..lines and the spare period of RATES
  const std::size_t rows = std::size_t(rd.max_gauges) + 1;
  if (stride != rd.value_stride || rd.values.size() < rows * stride) {
    rd.value_stride = stride;
    rd.values.assign(rows * stride, 0.0);
  }
  if (rd.gage_x.size() < rows) {
    rd.gage_x.assign(rows, 0.0);
    rd.gage_y.assign(rows, 0.0);
    rd.period_rates.assign(rows, 0.0);
  }
  if (rd.dates.size() < std::size_t(stride)) {
    rd.dates.assign(stride, precip_date{});
    rd.line_times.assign(stride, 0.0);
  }
}

double& value_at(raingage_data& rd, int gauge, int line) {
  return rd.values[std::size_t(gauge) * rd.value_stride + line];
}

bool earlier(const precip_date& a, const precip_date& b) {
  if (a.year != b.year) return a.year < b.year;
  if (a.month != b.month) return a.month < b.month;
  if (a.day != b.day) return a.day < b.day;
  if (a.hour != b.hour) return a.hour < b.hour;
  return a.minute < b.minute;
}

bool valid_date(const precip_date& d) {
  static constexpr int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.month < 1 || d.month > 12 || d.day < 1) return false;
  const int days = month_days[d.month - 1] + (d.month == 2 && is_leap_year(d.year) ? 1 : 0);
  if (d.day > days || d.minute < 0 || d.minute > 59 || d.hour < 0) return false;
  return d.hour < 24 || (d.hour == 24 && d.minute == 0);  // 24:00 is the next midnight
}

// The card kind of one data line, setting its flag. False for a word that
// names no kind.
bool set_card_flag(raingage_data& rd, const char* word) {
  if (is_card(word, "rada")) {
    rd.radar = 1;
  } else if (is_card(word, "gage")) {
    rd.gages = 1;
  } else if (is_card(word, "rate")) {
    rd.rates = 1;
  } else if (is_card(word, "accu")) {
    rd.accum = 1;
  } else {
    return false;
  }
  return true;
}

constexpr const char* card_list_head =
    "\nERROR:\n\nThere is a problem in the precipitation input file.\n";

void refuse_card_kinds(bool several) {
  if (several) {
    raise_message(
        "%sMore than one precipitation data card type has been specified.\n"
        "There may only be one of the following card types per event:\n\n"
        "     1) RADAR\n     2) GAGES\n     3) RATES\n\n"
        "Check the precipitation input file.  VALTO exiting\n",
        card_list_head);
  } else {
    raise_message(
        "%sAt least one precipitation data card type must be specified.\n"
        "     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n"
        "Check the precipitation input file.  VALTO exiting\n",
        card_list_head);
  }
}

constexpr const char* data_error_head =
    "\nERROR:\n"
    "There is a data error in the precipitation file.  This error occurred in the\n"
    "EVENT titled:\n %s\n";

void refuse_date_order(const raingage_data& rd, int l) {
  const precip_date& d = rd.dates[l];
  const precip_date& p = rd.dates[l - 1];
  char head[512];
  std::snprintf(head, sizeof head, data_error_head, rd.title);
  raise_message(
      "%sOn line no. %ld, the given time of the recorded data is:    %ld/%ld/%ld %ld:%2.2ld\n"
      "Which is earlier than the date/time on the previous line:  %ld/%ld/%ld %ld:%2.2ld\n"
      "This error in your precipitation input file must be corrected before VALTO\n"
      "can continue.  Program exiting on error.\n\n",
      head, long(l), long(d.year), long(d.month), long(d.day), long(d.hour), long(d.minute),
      long(p.year), long(p.month), long(p.day), long(p.hour), long(p.minute));
}

void refuse_falling_accumulation(const raingage_data& rd, int l, int gauge, double now,
                                 double before) {
  char head[512];
  std::snprintf(head, sizeof head, data_error_head, rd.title);
  raise_message(
      "%sOn line no. %ld, the accumulated precip. for gage number %d is: %8.5lf mm\n"
      "Which is less than the accumulated precip. on the previous line: %8.5lf mm\n"
      "This error in your precipitation input file must be corrected before VALTO\n"
      "can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n"
      "monotonically.  Program exiting on error.\n\n",
      head, long(l), gauge, now, before);
}

// A rate as read (RATES, or RADAR values per gauge): outside its range the
// run stops naming the line; above the usual rates the counting pass warns
// once for the file (event_read: the file is read again at an event start).
// False after the refusal.
bool rate_in_range(raingage_data& rd, const safe_file& file, int l, int gauge, double v,
                   bool event_read) {
  if (!within(rain_rate_range, v)) {
    char allowed[64];
    range_words(rain_rate_range, allowed, sizeof allowed);
    raise_message(
        "Error: the rain rate %g mm/h of gage %d on line %d of the precipitation file %s (data "
        "line %d of the event entitled: %s) is outside its range; it must be %s mm/h.\n",
        v, gauge, rd.scan.line_number, file.path, l, rd.title, allowed);
    return false;
  }
  if (!event_read && v > usual_rain_rate && !rd.unusual_rate_warned) {
    rd.unusual_rate_warned = 1;
    char text[1400];
    std::snprintf(text, sizeof text,
                  "Warning: the rain rate %g mm/h of gage %d on line %d of the precipitation file "
                  "%s is above %g mm/h, beyond the heaviest rain measured over more than a few "
                  "minutes; the run goes on with it.\n",
                  v, gauge, rd.scan.line_number, file.path, usual_rain_rate);
    print_message(summary_file, text);
  }
  return true;
}

// Finds the next EVENT card and takes its title. 1 found, 0 none (or a stop).
int find_event_card(raingage_data& rd, safe_file& file) {
  char word[card_word_length + 1];
  for (int w = 0; w < max_search_words; ++w) {
    const scan s = card_word(rd, file, word);
    if (s != scan::ok) return 0;
    if (is_card(word, "even")) {
      ++rd.events_met;
      rest_of_line(rd, rd.title, precip_title_capacity);
      return 1;
    }
  }
  raise_message(
      "There is a problem with your rainfall input file.  VALTO cannot\n"
      "find the first event card.  Check the format of the rainfall input for event %d\n"
      "file.\n\n",
      rd.events_met);
  return 0;
}

// NRGAG and NRPDS, in either order. 1 read, 0 a stop, -1 end of file.
int read_counts(raingage_data& rd, safe_file& file, int& gauges, int& lines) {
  bool have_gauges = false, have_lines = false;
  char word[card_word_length + 1];
  char value[value_capacity];
  for (int w = 0; !(have_gauges && have_lines); ++w) {
    if (w >= max_search_words) {
      raise_message(
          "\nThere is a problem with your rainfall input file.  VALTO cannot\n"
          "find the NRPDS or NRGAG card for the event entitled:\n   %s\n\n"
          "Check the format of the rainfall input file.\n",
          rd.title);
      return 0;
    }
    scan s = card_word(rd, file, word);
    if (s != scan::ok) return s == scan::end ? -1 : 0;
    const bool gauge_card = is_card(word, "nrga");
    if (!gauge_card && !is_card(word, "nrpd")) continue;
    s = value_word(rd, file, value);
    if (s != scan::ok) return s == scan::end ? -1 : 0;
    if (gauge_card) {
      if (!parse_int(value, gauges)) {
        char lower[value_capacity];
        int i = 0;
        for (; value[i] != '\0'; ++i)
          lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(value[i])));
        lower[i] = '\0';
        if (std::strstr(lower, "files") == nullptr) {
          bad_number(rd, file, "the NRGAG value", value);
          return 0;
        }
        gauges = -1;
      }
      have_gauges = true;
    } else {
      if (!parse_int(value, lines)) {
        bad_number(rd, file, "the NRPDS value", value);
        return 0;
      }
      have_lines = true;
    }
  }
  return 1;
}

// The counts an event may have: gauge data need a gauge and every event a
// data line; a radar file list has room for radar_max_lines lines.
bool check_counts(const raingage_data& rd, int gauges, int lines) {
  if (gauges == 0 || gauges < -1) {
    raise_message(
        "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
        "gives NRGAG %d; gauge data need at least one gauge.\n",
        rd.title, gauges);
    return false;
  }
  if (lines < 1) {
    raise_message(
        "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
        "gives NRPDS %d; an event needs at least one data line.\n",
        rd.title, lines);
    return false;
  }
  if (gauges == -1 && lines > radar_max_lines) {
    raise_message(
        "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
        "lists %d radar files; at most %d may be listed in one event.\n",
        rd.title, lines, radar_max_lines);
    return false;
  }
  return true;
}

// Every gauge's value of every line stands in the file, each at least one
// character and a separator: counts that promise more values than the file
// has bytes are refused before the event's arrays are sized from them.
bool counts_fit_file(const raingage_data& rd, safe_file& file, int gauges, int lines) {
  if (gauges < 1 || file.stream == nullptr) return true;
  const long here = std::ftell(file.stream);
  if (here < 0 || std::fseek(file.stream, 0, SEEK_END) != 0) return true;
  const long bytes = std::ftell(file.stream);
  std::fseek(file.stream, here, SEEK_SET);
  if (double(gauges) * double(lines) * 2.0 <= double(bytes)) return true;
  raise_message(
      "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
      "gives NRGAG %d and NRPDS %d, more values than the %ld bytes of %s hold.\n",
      rd.title, gauges, lines, bytes, file.path);
  return false;
}

// COORD x y of each gauge. 1 read, 0 a stop, -1 end of file.
int read_coordinates(raingage_data& rd, safe_file& file) {
  char word[card_word_length + 1];
  char value[value_capacity];
  char rest[precip_title_capacity];
  for (int g = 1; g <= rd.nrgag; ++g) {
    scan s = card_word(rd, file, word);
    if (s != scan::ok) return s == scan::end ? -1 : 0;
    if (!is_card(word, "coor")) {
      raise_message(
          "\nCannot find gage coordinate card in rainfall input file for event entitled:\n"
          "       %s\n\n"
          "Check rainfall input file format.\n",
          rd.title);
      return 0;
    }
    double* xy[2] = {&rd.gage_x[g], &rd.gage_y[g]};
    const char* what[2] = {"the gauge x coordinate", "the gauge y coordinate"};
    for (int k = 0; k < 2; ++k) {
      s = value_word(rd, file, value);
      if (s != scan::ok) return s == scan::end ? -1 : 0;
      if (!parse_real(value, *xy[k])) {
        bad_number(rd, file, what[k], value);
        return 0;
      }
    }
    rest_of_line(rd, rest, sizeof rest);
  }
  return 1;
}

// The radar grid file named on a data line of a file list: the first word
// of the rest of the line.
bool take_radar_name(raingage_data& rd, const safe_file& file, int l, bool keep_names) {
  char rest[radar_name_capacity + 2];
  precip_scan& sc = rd.scan;
  const char* line = sc.line.data();
  int start = sc.pos;
  while (line[start] != '\0' && is_blank(line[start])) ++start;
  int end = start;
  while (line[end] != '\0' && !is_blank(line[end])) ++end;
  sc.pos = start + static_cast<int>(std::strlen(line + start));
  const int n = end - start;
  if (n == 0 || n > radar_name_length) {
    raise_message(
        "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
        "lists radar files, but line %d of %s %s.\n",
        rd.title, sc.line_number, file.path,
        n == 0 ? "names no radar file" : "names a radar file of more than 150 characters");
    return false;
  }
  std::memcpy(rest, line + start, n);
  rest[n] = '\0';
  if (keep_names) {
    std::memcpy(&rd.radar_names[std::size_t(l - 1) * radar_name_capacity], rest, n + 1);
  }
  if (l == 1) std::memcpy(rd.first_radar_name, rest, n + 1);
  return true;
}

// The data lines. 1 read, 0 a stop, -1 end of file or an unreadable value.
int read_data_lines(raingage_data& rd, safe_file& file, bool keep_names) {
  char word[card_word_length + 1];
  char value[value_capacity];
  int last[5] = {0, 0, 0, 0, 0};
  const char* field[5] = {"the year", "the month", "the day", "the hour", "the minute"};
  for (int l = 1; l <= rd.nrpds; ++l) {
    scan s = card_word(rd, file, word);
    bool at_end = s == scan::end;
    for (int k = 0; k < 5 && s == scan::ok; ++k) {
      s = value_word(rd, file, value);
      at_end = s == scan::end;
      if (s == scan::ok && !parse_int(value, last[k])) {
        bad_number(rd, file, field[k], value);
        return 0;
      }
    }
    if (at_end) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "\n last year %d last month %d last day %d last hour %d last minute %d \n",
                    last[0], last[1], last[2], last[3], last[4]);
      print_message(summary_file, text);
      return -1;
    }
    if (s != scan::ok) return 0;

    const bool known = set_card_flag(rd, word);
    const int kinds = (rd.radar ? 1 : 0) + rd.gages + rd.rates + rd.accum;
    if (kinds > 1 || kinds == 0 || !known) {
      refuse_card_kinds(kinds > 1);
      return 0;
    }

    precip_date& d = rd.dates[l];
    d = {last[0] < 100 ? last[0] + 1900 : last[0], last[1], last[2], last[3], last[4]};
    if (!valid_date(d)) {
      raise_message(
          "Error: the date %d/%d/%d %d:%02d on line %d of the precipitation file %s is not a "
          "date.\nCheck the event entitled:\n   %s\n",
          d.year, d.month, d.day, d.hour, d.minute, rd.scan.line_number, file.path, rd.title);
      return 0;
    }
    if (l > 1 && earlier(d, rd.dates[l - 1])) {
      refuse_date_order(rd, l);
      return 0;
    }
    rd.line_times[l] = julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0);

    if (rd.file_list) {
      if (!rd.radar) {
        raise_message(
            "\nThere is a problem with your rainfall input file.  The event entitled:\n   %s\n"
            "lists radar files, but line %d of %s is not a RADAR card.\n",
            rd.title, rd.scan.line_number, file.path);
        return 0;
      }
      if (!take_radar_name(rd, file, l, keep_names)) return 0;
      continue;
    }
    for (int g = 1; g <= rd.nrgag; ++g) {
      double v = 0.0;
      s = value_word(rd, file, value);
      if (s == scan::failed) return 0;
      if (s == scan::end || !parse_real(value, v)) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "\n ERROR: \n\n check out gage input for precip record %d\n"
                      " look at gage %d \n",
                      l, g);
        print_message(summary_file, text);
        return -1;
      }
      value_at(rd, g, l) = v;
      if ((rd.rates || rd.radar == 1) && !rate_in_range(rd, file, l, g, v, keep_names)) return 0;
      if (rd.accum && l >= 3 && v < value_at(rd, g, l - 1)) {
        refuse_falling_accumulation(rd, l, g, v, value_at(rd, g, l - 1));
        return 0;
      }
    }
  }
  return 1;
}

}  // namespace

double line_time(const raingage_data& rd, int l) {
  if (rd.lines < 1) return 0.0;
  if (l > rd.lines) l = rd.lines;
  if (l < 1) l = 1;
  return rd.line_times[l];
}

void set_event_start_date(raingage_data& rd) {
  const precip_date& first = rd.dates[1];
  rd.start_year = first.year;
  rd.start_month = first.month;
  rd.start_day = first.day;
  rd.start_hour = first.hour;
  rd.start_minute = first.minute;
}

void rewind_precip_file(raingage_data& rd, safe_file& file) {
  if (file.stream != nullptr) std::rewind(file.stream);
  precip_scan& sc = rd.scan;
  if (!sc.line.empty()) sc.line[0] = '\0';
  sc.pos = 0;
  sc.line_number = 0;
  sc.at_end = 0;
}

int read_precip_event(raingage_data& rd, safe_file& file, bool keep_names) {
  precip_scan& sc = rd.scan;
  if (sc.line.size() != static_cast<std::size_t>(max_line)) {
    sc.line.assign(max_line, '\0');  // first use, in the counting pass
    sc.pos = 0;
  }
  rd.radar = rd.gages = rd.rates = rd.accum = rd.file_list = 0;
  rd.lines = 0;
  rd.title[0] = '\0';

  if (!find_event_card(rd, file)) return 0;

  int gauges = 0, lines = 0;
  const int counted = read_counts(rd, file, gauges, lines);
  if (counted != 1) return counted;
  if (!check_counts(rd, gauges, lines)) return 0;
  if (!counts_fit_file(rd, file, gauges, lines)) return 0;
  rd.file_list = gauges == -1 ? 1 : 0;
  rd.nrgag = rd.file_list ? 1 : gauges;
  rd.nrpds = lines;
  reserve_event(rd, rd.nrgag, rd.nrpds);
  for (int g = 0; g <= rd.nrgag; ++g)
    for (int p = 0; p < rd.value_stride; ++p) value_at(rd, g, p) = 0.0;
  rd.gage_x[1] = rd.gage_y[1] = 0.0;
  if (rd.file_list && keep_names && rd.radar_names.empty()) {
    raise_message("Error allocating memory for variable %s\n", "radar_filenames");
    return 0;
  }

  if (!rd.file_list) {
    const int read = read_coordinates(rd, file);
    if (read != 1) return read;
  }
  const int read = read_data_lines(rd, file, keep_names);
  if (read != 1) return read;
  rd.lines = rd.nrpds;

  if (rd.file_list) {
    rd.radar = 2;
    if (keep_names) {
      char* names = rd.radar_names.data();
      std::memcpy(names + std::size_t(rd.nrpds) * radar_name_capacity,
                  names + std::size_t(rd.nrpds - 1) * radar_name_capacity, radar_name_capacity);
    }
    if (parse_radar_header(rd.radar_grid, rd.first_radar_name) != 0) {
      raise_message("Error: unable to read radar header in file %s\n", rd.first_radar_name);
      return 0;
    }
  }
  return 1;
}
