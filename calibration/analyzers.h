#pragma once
// Run-time analyzers: tests on stream arrays evaluated at chosen moments of a
// run. The list is held by the run record and destroyed with it.

struct model_state;

// Moment codes, as bits: an analyzer's timing letters select among them.
constexpr int analyzer_step_end = 1;
constexpr int analyzer_event_start = 2;
constexpr int analyzer_event_end = 4;
constexpr int analyzer_setup = 8;
constexpr int analyzer_normal_end = 16;
constexpr int analyzer_error_end = 32;

class analyzer {
 public:
  analyzer() = default;
  analyzer(const analyzer&) = delete;
  analyzer& operator=(const analyzer&) = delete;
  virtual ~analyzer() = default;
  // Decides from the moment and the analyzer's timing whether to evaluate.
  virtual void notify(int moment) = 0;

  analyzer* next = nullptr;  // next in file order, null for the last
};

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
