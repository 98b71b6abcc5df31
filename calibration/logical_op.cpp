#include "calibration/logical_op.h"

#include <cstdarg>
#include <cstdio>

#include "core/julian.h"
#include "core/safe_file.h"

namespace {

void append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

void append(std::string& text, const char* format, ...) {
  char piece[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (n > 0) text.append(piece, static_cast<std::size_t>(n) < sizeof piece ? n : sizeof piece - 1);
}

// The moment a report names: the first bit of the code that is set.
std::string moment_text(int moment, const char* date) {
  std::string text;
  if (moment & 1) append(text, "%s", date);
  else if (moment & 2) append(text, "the beginning of an event at %s", date);
  else if (moment & 4) append(text, "the end of an event at %s", date);
  else if (moment & 8) append(text, "the beginning of the simulation at %s", date);
  else if (moment & 16) append(text, "the end of simulation at %s", date);
  else if (moment & 32) append(text, "the program crash point at %s", date);
  return text;
}

}  // namespace

void logical_OP::attach(const std::vector<double>* values, int links,
                        const std::vector<int>* node_counts, int stride, const double* now,
                        const std::string& label) {
  links_ = links < 0 ? 0 : links;
  node_counts_ = node_counts;
  stride_ = stride < 1 ? 1 : stride;
  now_ = now;
  label_ = label;
  const std::size_t slots = std::size_t(links_ + 1) * std::size_t(stride_);
  // Every node a test visits must lie inside the row and have a count.
  const bool fits = values && values->size() >= slots && node_counts &&
                    node_counts->size() > std::size_t(links_);
  values_ = fits ? values : nullptr;
  if (fits) {
    for (int i = 1; i <= links_; ++i) {
      if ((*node_counts)[i] >= stride_) values_ = nullptr;
    }
  }
  flags_.assign(slots, 0);
  size_stores();
}

int logical_OP::node_count(int link) const {
  const int n = (*node_counts_)[link];
  return n < 0 ? 0 : n;
}

template <typename pass>
bool logical_OP::run_test(double threshold, const char* format, pass passes) {
  bool any = false;
  if (values_) {
    for (int i = 1; i <= links_; ++i) {
      const int n = node_count(i);
      for (int j = 1; j <= n; ++j) {
        const bool flag = passes(test_value(i, j), threshold);
        flags_[address(i, j)] = flag ? 1 : 0;
        any = any || flag;
      }
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, format, threshold);
  test_text_ = text;
  report_time_ = now_ ? *now_ : 0.0;
  return any;
}

bool logical_OP::test_lt(double t) {
  return run_test(t, "< %4.6lf", [](double v, double x) { return v < x; });
}
bool logical_OP::test_le(double t) {
  return run_test(t, "<= %4.6lf", [](double v, double x) { return v <= x; });
}
bool logical_OP::test_gt(double t) {
  return run_test(t, "> %4.6lf", [](double v, double x) { return v > x; });
}
bool logical_OP::test_ge(double t) {
  return run_test(t, ">= %4.6lf", [](double v, double x) { return v >= x; });
}
bool logical_OP::test_eq(double t) {
  return run_test(t, "== %4.6lf", [](double v, double x) { return v == x; });
}

std::string logical_OP::report_text(int bits, int moment) const {
  std::string text;
  const bool compare = (bits & report_compare) != 0;
  const double when = compare ? report_time_ : (now_ ? *now_ : 0.0);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_date(when, &year, &month, &day, &hour, &minute, &seconds);
  char date[96];
  std::snprintf(date, sizeof date, "%02d-%02d-%4d, %d:%d:%2.0lf", month, day, year, hour, minute,
                seconds);
  const std::string at = moment_text(moment, date);
  if (compare) {
    append(text, "\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values %s:\n",
           label_.c_str(), at.c_str(), test_text_.c_str());
  } else {
    append(text, "\n\nValues in the 2D stream array %s at %s: \n", label_.c_str(), at.c_str());
  }

  int passed = 0, visited = 0;
  const bool list = (bits & report_list) != 0;
  const bool per_link = (bits & report_links) != 0;
  const bool show_values = (bits & report_values) != 0;
  for (int i = 1; i <= links_; ++i) {
    if (per_link) append(text, "%4d:", i);
    const int n = values_ ? node_count(i) : 0;
    for (int j = 1; j <= n; ++j) {
      const bool flag = flags_[address(i, j)] != 0;
      ++visited;
      if (flag) ++passed;
      if (list) {
        if (!flag) continue;
        append(text, "Link %3d, Node %3d", i, j);
        if (show_values) append(text, ":  %14.6lf\n", value(i, j));
        else text += "\n";
      } else if (compare || show_values) {
        append(text, flag ? "[T, %6.4lf]" : "[F, %6.4lf]", value(i, j));
      } else {
        text += flag ? "T" : "F";
      }
    }
    if (per_link) text += "\n";
  }
  if (compare) append(text, "====> %d out of %d nodes passed the logic test.\n", passed, visited);
  return text;
}

void logical_OP::report(int bits, int moment, safe_file* file) const {
  const bool to_file = (bits & report_file) && file && file->is_open();
  const bool to_screen = (bits & report_screen) != 0;
  if (!to_file && !to_screen) return;
  const std::string text = report_text(bits, moment);
  if (to_file) {
    std::fputs(text.c_str(), file->stream);
    std::fflush(file->stream);
  }
  if (to_screen) std::fputs(text.c_str(), stdout);
}

void st2d_logical_OP::set_operand(int code, const std::vector<double>* second) {
  code_ = code;
  second_ = second;
}

void st2d_logical_OP::size_stores() {
  combined_.assign(flags_.size(), 0.0);
  if (second_ && second_->size() < flags_.size()) second_ = nullptr;
}

double st2d_logical_OP::test_value(int link, int node) {
  const int k = address(link, node);
  const double a = (*values_)[k];
  double v = a;
  if (second_) {
    const double b = (*second_)[k];
    switch (code_) {
      case combine_add: v = a + b; break;
      case combine_subtract: v = a - b; break;
      case combine_multiply: v = a * b; break;
      case combine_divide: v = b == 0.0 ? zero_divisor_value : a / b; break;
      default: break;
    }
  }
  combined_[k] = v;
  return v;
}
