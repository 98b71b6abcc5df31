// The Sacramento parameter file: a header word, then one card per line with
// the seventeen parameters and contents (the contents as fractions of their
// capacities), read once at set-up.

#include "soil/sacramento.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/series.h"

namespace {

constexpr int parameter_cards = 17;  // codes 1..16 and saved
constexpr char header_word[] = "VALTO_SACRAMENTO";
constexpr int header_length = 16;

bool is_word_separator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Card words in code order; the parameters follow the order of sac_params.
constexpr std::array<const char*, 20> card_words = {
    "valto_sacramento", "uztwm", "uzfwm", "uzk",   "zperc", "rexp",  "lztwm",
    "lzfsm",            "lzfpm", "lzsk",  "lzpk",  "pfree", "uztwc", "uzfwc",
    "lztwc",            "lzfsc", "lzfpc", "num_basins", "basin", "saved"};

// The field a parameter card fills.
double* parameter_field(sac_params& p, int code) {
  switch (code) {
    case 1: return &p.uztwm;
    case 2: return &p.uzfwm;
    case 3: return &p.uzk;
    case 4: return &p.zperc;
    case 5: return &p.rexp;
    case 6: return &p.lztwm;
    case 7: return &p.lzfsm;
    case 8: return &p.lzfpm;
    case 9: return &p.lzsk;
    case 10: return &p.lzpk;
    case 11: return &p.pfree;
    case 12: return &p.uztwc;
    case 13: return &p.uzfwc;
    case 14: return &p.lztwc;
    case 15: return &p.lzfsc;
    case 16: return &p.lzfpc;
    case sac_card_saved: return &p.saved;
    default: return nullptr;
  }
}

void stop_with(std::initializer_list<const char*> lines) {
  for (const char* line : lines) std::fputs(line, stderr);
  raise_error(own_message_code);
}

// The next word of line after its card word, or empty.
std::string value_word(const std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && is_word_separator(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !is_word_separator(line[end])) ++end;
  return line.substr(start, end - start);
}

bool read_line_of(text_source& file, std::string& line) {
  if (read_source_line(file, line) == 0) return false;
  if (line.size() < std::size_t(max_line)) return true;
  raise_message("Error: line %d of the Sacramento parameter file %s is longer than %d characters.\n",
                file.line_number, file.path, max_line - 1);
  return false;
}

// The header test: the first word must begin with the header word, in this
// case exactly.
bool header_ok(const std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && is_word_separator(line[start])) ++start;
  return line.compare(start, header_length, header_word) == 0;
}

// A content above 1 or below 0 of its capacity is set just inside; every
// upper check runs before the lower ones.
void bound_contents(sac_params& p) {
  struct content {
    double* value;
    const char* warning;
  };
  const content contents[] = {{&p.uztwc, "WARNING:uztwc changed!\n"},
                              {&p.uzfwc, "WARNING:uzfwc changed!\n"},
                              {&p.lztwc, "WARNING:lztwc changed!\n"},
                              {&p.lzfsc, "WARNING:lzfsc changed!\n"},
                              {&p.lzfpc, "WARNING:lzfpc changed!\n"}};
  for (const content& c : contents)
    if (*c.value > 1.0) {
      *c.value = 0.99;
      std::fputs(c.warning, stderr);
    }
  for (const content& c : contents)
    if (*c.value < 0.0) {
      *c.value = 0.01;
      std::fputs(c.warning, stderr);
    }
}

void bound_rate(double& rate, const char* warning) {
  if (rate > 1.0) {
    rate = 0.5;
    std::fputs(warning, stderr);
  } else if (rate < 0.0) {
    rate = 0.05;
    std::fputs(warning, stderr);
  }
}

// Values the accounting cannot work with: a capacity divides its contents in
// every interval, a negative percolation curve would make water rise from
// the lower zone into the upper one, and a share outside 0..1 would take
// water out of a store it is meant to fill. A capacity beyond any basin's
// (100 m of water) is a slip of the file, and its contents, given as shares
// of it, would overflow the interval's sums.
constexpr double most_capacity = 100000.0;  // mm

bool capacity_ok(double c) { return c > 0.0 && c <= most_capacity; }

bool parameters_ok(const sac_params& p, const int* card_line, const char* path) {
  struct rule {
    int code;
    bool ok;
    const char* needs;
  };
  const char* capacity = "be above 0 and at most 100000 (mm)";
  const rule rules[] = {{1, capacity_ok(p.uztwm), capacity},
                        {2, capacity_ok(p.uzfwm), capacity},
                        {6, capacity_ok(p.lztwm), capacity},
                        {7, capacity_ok(p.lzfsm), capacity},
                        {8, capacity_ok(p.lzfpm), capacity},
                        {4, p.zperc >= 0.0, "not be negative"},
                        {5, p.rexp >= 0.0, "not be negative"},
                        {11, p.pfree >= 0.0 && p.pfree <= 1.0, "lie between 0 and 1"}};
  for (const rule& r : rules) {
    if (r.ok) continue;
    raise_message("Error: line %d of the Sacramento parameter file %s: %s must %s.\n",
                  card_line[r.code], path, card_words[std::size_t(r.code)], r.needs);
    return false;
  }
  return true;
}

}  // namespace

int sacramento_card_code(std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && is_word_separator(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !is_word_separator(line[end])) ++end;
  std::string word = line.substr(start, end - start);
  line.erase(0, end);
  if (word.empty()) return sac_card_other;
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t code = 0; code < card_words.size(); ++code)
    if (word == card_words[code]) return static_cast<int>(code);
  return sac_card_other;
}

bool read_sacramento_input(text_source& file, const grid_state& grid, bool topo_index,
                           sacramento_state& sac) {
  sac_params& p = sac.params;
  std::string line;
  if (!read_line_of(file, line)) {
    if (error_state.stop_flag) return false;
    line.clear();
  }
  if (!header_ok(line)) {
    stop_with({"The specified Sacramento model input parameter file does not\n",
               "have the proper header: VALTO_SACRAMENTO \n",
               "Program terminated in read_sacramento.c\n"});
    return false;
  }

  std::array<int, 20> card_count{};
  std::array<int, 20> card_line{};
  int parameters = 0;
  while (parameters < parameter_cards) {
    if (!read_line_of(file, line)) {
      if (error_state.stop_flag) return false;
      char count_line[96];
      std::snprintf(count_line, sizeof count_line,
                    "The file should contain 21 parameters.  Only %d parameters read.\n",
                    parameters);
      stop_with({"Premature end-of-file in the Sacramento parameter input file.\n",
                 "The channel input file does not contain all the required parameters.\n",
                 count_line, "Program terminated in read_sacramento_input.\n"});
      return false;
    }
    const int code = sacramento_card_code(line);
    double* field = parameter_field(p, code);
    if (field == nullptr && code != sac_card_num_basins && code != sac_card_basin) continue;
    const std::string value = value_word(line);
    const bool whole = code == sac_card_num_basins || code == sac_card_basin;
    int count = 0;
    double real = 0.0;
    if (whole ? !parse_whole_int(value.c_str(), count) : !parse_finite_real(value.c_str(), real)) {
      raise_message("Error: line %d of the Sacramento parameter file %s: %s needs %s, not \"%.40s\".\n",
                    file.line_number, file.path, card_words[std::size_t(code)],
                    whole ? "a whole number" : "a number", value.c_str());
      return false;
    }
    if (code == sac_card_num_basins) sac.num_basins = count;
    if (!field) continue;
    *field = real;
    ++card_count[std::size_t(code)];
    card_line[std::size_t(code)] = file.line_number;
    ++parameters;
  }
  for (int n : card_count)
    if (n > 1) {
      stop_with({"Duplicate cards read in Sacramento parameter file.\n",
                 "There should be only 21 different cards in the file\n", "with no duplicates.\n",
                 "Program terminated in read_sacramento.c\n"});
      return false;
    }
  if (!parameters_ok(p, card_line.data(), file.path)) return false;

  bound_contents(p);
  p.uztwc *= p.uztwm;
  p.uzfwc *= p.uzfwm;
  p.lztwc *= p.lztwm;
  p.lzfsc *= p.lzfsm;
  p.lzfpc *= p.lzfpm;
  bound_rate(p.uzk, "WARNING:uzk changed!\n");
  bound_rate(p.lzsk, "WARNING:lzsk changed!\n");
  bound_rate(p.lzpk, "WARNING:lzpk changed!\n");
  if (p.lzfpc < p.saved) {
    p.saved = p.lzfpc;
    std::fputs("WARNING:saved changed!\n", stderr);
  }
  p.lz_drain_capacity = p.lzpk * p.lzfpm + p.lzsk * p.lzfsm;

  if (topo_index) return topodex(grid, sac.topo_index);
  return true;
}

void open_sac_params_file(const model_state& state, sacramento_state& sac) {
  const input_state& in = state.input;
  if (!in.sacramento) return;
  safe_file file;
  if (!file.open(in.sacramento_file.c_str(), "r")) {
    std::fprintf(stderr, "Cannot open Sacramento input parameter file: %s\n",
                 in.sacramento_file.c_str());
    raise_error(own_message_code);
    return;
  }
  text_source source{file.stream, file.path, 0};
  const bool ok = read_sacramento_input(source, state.grid, in.topo_index != 0, sac);
  file.close();
  if (!ok) return;
  sac_params& p = sac.params;
  sac.uztwc0 = p.uztwc;
  sac.uzfwc0 = p.uzfwc;
  sac.lztwc0 = p.lztwc;
  sac.lzfsc0 = p.lzfsc;
  sac.lzfpc0 = p.lzfpc;
  p.spare = 0.0;
}
