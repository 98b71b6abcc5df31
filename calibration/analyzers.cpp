#include "calibration/analyzers.h"

#include <cstdio>
#include <cstring>

#include "run/model_state.h"
#include "core/run_control.h"
#include "core/text_io.h"

namespace {

bool starts_with(const char* text, const char* word) {
  return std::strncmp(text, word, std::strlen(word)) == 0;
}

// Letters of a timing or output token, each setting its bit; other
// characters are ignored. t and v of the output exclude each other, the
// later one winning.
int timing_bits(const char* token) {
  int bits = 0;
  for (const char* c = token; *c; ++c) {
    switch (*c) {
      case 't': bits |= analyzer_step_end; break;
      case 'E': bits |= analyzer_event_start; break;
      case 'e': bits |= analyzer_event_end; break;
      case 'S': bits |= analyzer_setup; break;
      case 's': bits |= analyzer_normal_end; break;
      case 'c': bits |= analyzer_error_end; break;
      default: break;
    }
  }
  return bits;
}

int output_bits(const char* token) {
  int bits = 0;
  for (const char* c = token; *c; ++c) {
    switch (*c) {
      case 't': bits = (bits | report_list) & ~report_links; break;
      case 'v': bits = (bits | report_links) & ~report_list; break;
      case 's': bits |= report_screen; break;
      case 'f': bits |= report_file; break;
      case 'c': bits |= report_compare; break;
      case 'd': bits |= report_values; break;
      default: break;
    }
  }
  return bits;
}

}  // namespace

analyzer::~analyzer() { close_output(); }

int parse_analyzer_type(char* line) {
  char token[token_capacity];
  next_token(line, token);
  static constexpr const char* kinds[] = {"2DG", "1DS", "2DS", "NSM_OV", "NSM_ST", "NSM_SL"};
  for (int k = 0; k < 6; ++k) {
    if (starts_with(token, kinds[k])) return k;
  }
  return -1;
}

int parse_logical_op(const char* token) {
  struct op_word {
    const char* word;
    int code;
  };
  static constexpr op_word words[] = {{"<=", 3}, {">=", 4}, {"==", 2}, {"<", 0}, {">", 1},
                                      {"+", 5},  {"-", 6},  {"*", 7},  {"\\", 8}};
  for (const op_word& w : words) {
    if (starts_with(token, w.word)) return w.code;
  }
  return 9;
}

void analyzer::parse_line(model_state& state, char* line) {
  char token[token_capacity];
  next_token(line, token);
  setup_op(state, token);

  next_token(line, token);
  timing = timing_bits(token);
  next_token(line, token);
  op_code = parse_logical_op(token);
  next_double(line, threshold);
  next_token(line, token);
  output = output_bits(token);

  if (timing & analyzer_step_end) {
    int seconds = 0;
    next_int(line, seconds);
    interval = seconds / 86400.0;
    now = &state.run.current_time;
    last_report = *now - interval;
    next_report = *now;
  }
  if (output & report_file) {
    next_token(line, token);
    file_name = token;
    open_output();
  }
}

void analyzer::setup_op(model_state&, const char*) {}

void analyzer::select_array(const char*, model_state&) {}

bool analyzer::open_output() {
  if (file.open(file_name.c_str(), "w")) return true;
  // The report still reaches the screen when the line asks for it.
  std::printf("Warning: unable to open the analyzer output file %s; nothing is written to it.\n",
              file_name.c_str());
  output &= ~report_file;
  return false;
}

void analyzer::close_output() { file.close(); }

void analyzer::notify(int moment) {
  const int hits = timing & moment;
  if ((hits & analyzer_step_end) && now && *now >= next_report - time_tolerance_days) {
    last_report = *now;
    next_report = *now + interval;
    evaluate(moment);
    return;
  }
  if (hits & (analyzer_event_start | analyzer_event_end | analyzer_setup | analyzer_normal_end |
              analyzer_error_end)) {
    evaluate(moment);
  }
}

void analyzer::evaluate(int moment) {
  // Without an array bound there is nothing to test (set-up said why).
  if (!op || !op->bound()) return;
  switch (op_code) {
    case 0: op->test_lt(threshold); break;
    case 1: op->test_gt(threshold); break;
    case 2: op->test_eq(threshold); break;
    case 3: op->test_le(threshold); break;
    case 4: op->test_ge(threshold); break;
    default: return;  // not a comparison: never reports
  }
  op->report(output, moment, &file);
}

void run_analyzers(model_state& state, int stage) { state.calib.analyzers.notify_all(stage); }
