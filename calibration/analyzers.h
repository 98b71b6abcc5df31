#pragma once
// Run-time analyzers: tests on stream arrays evaluated at chosen moments of a
// run. The list is held by the run record and destroyed with it.

#include <memory>
#include <string>

#include "calibration/logical_op.h"
#include "core/safe_file.h"

struct model_state;

// Moment codes, as bits: an analyzer's timing letters select among them.
constexpr int analyzer_step_end = 1;
constexpr int analyzer_event_start = 2;
constexpr int analyzer_event_end = 4;
constexpr int analyzer_setup = 8;
constexpr int analyzer_normal_end = 16;
constexpr int analyzer_error_end = 32;

// One threshold test on a channel array, from one line of the analyzer
// file. The kinds of line derive from it and choose the array and its
// operator; reading the line, timing, testing and reporting are shared.
class analyzer {
 public:
  analyzer(const analyzer&) = delete;
  analyzer& operator=(const analyzer&) = delete;
  virtual ~analyzer();

  // Decides from the moment and the analyzer's timing whether to evaluate.
  virtual void notify(int moment);
  // Runs the operator's test and its report.
  virtual void evaluate(int moment);
  // Reads the rest of a line after its kind: ARRAY TIMING OPERATOR THRESHOLD
  // OUTPUT [INTERVAL] [FILE].
  virtual void parse_line(model_state& state, char* line);
  // Creates the operator, selects the array and binds the two.
  virtual void setup_op(model_state& state, const char* token);
  // Opens the output file; on failure the report goes to the screen only.
  virtual bool open_output();
  virtual void close_output();
  // Binds the analyzer to the model array the token names.
  virtual void select_array(const char* token, model_state& state);

  int timing = 0;          // moment bits that evaluate
  int output = 0;          // output bits of the report
  analyzer* next = nullptr;  // next in file order, null for the last
  int op_code = 0;         // parse_logical_op of the line's operator
  double threshold = 0.0;
  safe_file file;          // the report file (output bit f)
  std::string file_name;
  const double* now = nullptr;  // the model's current time, Julian days
  double last_report = 0.0;     // time of the last timed report, days
  double next_report = 0.0;     // time of the next timed report, days
  double interval = 0.0;        // between timed reports, days
  std::unique_ptr<logical_OP> op;  // bound to the array; null until set up

 protected:
  analyzer() = default;
};

// The line kinds: 0 "2DG", 1 "1DS", 2 "2DS", 3 "NSM_OV", 4 "NSM_ST",
// 5 "NSM_SL", compared on the first letters of the line's first token,
// which is taken off the line; -1 for anything else.
int parse_analyzer_type(char* line);

// Operator codes: "<=" 3, ">=" 4, "==" 2, "<" 0, ">" 1, "+" 5, "-" 6, "*" 7,
// a backslash 8, compared in that order on the token's first letters; 9 otherwise.
int parse_logical_op(const char* token);

// Singly linked list in file order; owns its analyzers.
class analyzer_list {
 public:
  analyzer_list() = default;
  analyzer_list(const analyzer_list&) = delete;
  analyzer_list& operator=(const analyzer_list&) = delete;
  ~analyzer_list() { clear(); }

  void append(analyzer* a) {
    a->next = nullptr;
    if (!head_) {
      head_ = a;
    } else {
      analyzer* last = head_;
      while (last->next) last = last->next;
      last->next = a;
    }
  }
  void clear() {
    while (head_) {
      analyzer* a = head_;
      head_ = a->next;
      delete a;
    }
  }
  bool empty() const { return head_ == nullptr; }
  int count() const {
    int n = 0;
    for (const analyzer* a = head_; a; a = a->next) ++n;
    return n;
  }
  void notify_all(int moment) const {
    for (analyzer* a = head_; a; a = a->next) a->notify(moment);
  }

 private:
  analyzer* head_ = nullptr;
};

// Calls every analyzer of the run's list with the moment, in list order; an
// empty list does nothing.
void run_analyzers(model_state& state, int stage);
