#pragma once
// Comparison operators of the analyzers: each flags, node by node, whether a
// channel value passes a threshold test and writes the report of one
// evaluation. A flat per-constituent row (node j of link i at i x stride + j)
// is tested by st1d_logical_OP; a per-node table of the network, optionally
// combined with a second table of the same layout, by st2d_logical_OP.

#include <string>
#include <vector>

class safe_file;

// Output bits of an analyzer line.
constexpr int report_list = 1;     // t: list the passing nodes
constexpr int report_links = 2;    // v: one line per link
constexpr int report_screen = 4;   // s
constexpr int report_file = 8;     // f
constexpr int report_compare = 16; // c: result header and pass count
constexpr int report_values = 32;  // d: the node values

// Combination codes of a second operand; 9 is none.
constexpr int combine_add = 5;
constexpr int combine_subtract = 6;
constexpr int combine_multiply = 7;
constexpr int combine_divide = 8;
constexpr int combine_none = 9;

// Stands for a quotient whose divisor is exactly 0.
constexpr double zero_divisor_value = 9999.99;

class logical_OP {
 public:
  logical_OP(const logical_OP&) = delete;
  logical_OP& operator=(const logical_OP&) = delete;
  virtual ~logical_OP() = default;

  // Each test visits every node of every link, sets the node's flag and
  // returns whether any node passed.
  bool test_lt(double threshold);
  bool test_le(double threshold);
  bool test_gt(double threshold);
  bool test_ge(double threshold);
  bool test_eq(double threshold);

  // Writes the report of the last test to the file (bit f, when open) and
  // the screen (bit s); both get the same text. moment is a moment code.
  void report(int output_bits, int moment, safe_file* file) const;

  // The report as text, whichever outputs it goes to.
  std::string report_text(int output_bits, int moment) const;

  // Binds the operator: values (nullptr when nothing was selected), the
  // network's links and per-link node counts [1..links], the node-row stride,
  // the clock and the label. A values row too short for the network binds
  // nothing, so that a test never reads past it.
  void attach(const std::vector<double>* values, int links, const std::vector<int>* node_counts,
              int stride, const double* now, const std::string& label);

  bool bound() const { return values_ != nullptr; }
  bool flag(int link, int node) const { return flags_[address(link, node)] != 0; }
  // The value the last test compared at the node.
  double tested_value(int link, int node) const { return value(link, node); }

 protected:
  logical_OP() = default;
  int address(int link, int node) const { return link * stride_ + node; }
  int node_count(int link) const;
  // The value a test compares at a node; a 2D table may store it first.
  virtual double test_value(int link, int node) = 0;
  // The value a report shows at a node.
  virtual double value(int link, int node) const = 0;
  virtual void size_stores() {}

  template <typename pass>
  bool run_test(double threshold, const char* format, pass passes);

  const double* now_ = nullptr;  // the model's current time, Julian days
  double report_time_ = 0.0;     // time of the last test, Julian days
  std::string test_text_;        // the last test's format applied to its threshold
  std::string label_;            // the analyzer's array token
  int links_ = 0;
  const std::vector<int>* node_counts_ = nullptr;  // [1..links]
  int stride_ = 0;
  const std::vector<double>* values_ = nullptr;
  std::vector<unsigned char> flags_;  // per node address
};

class st1d_logical_OP : public logical_OP {
 protected:
  double test_value(int link, int node) override { return value(link, node); }
  double value(int link, int node) const override { return (*values_)[address(link, node)]; }
};

class st2d_logical_OP : public logical_OP {
 public:
  st2d_logical_OP() = default;
  // A second table of the values' layout and how it combines; code 9 or a
  // null table leaves the values as they are.
  void set_operand(int code, const std::vector<double>* second);
  int combination() const { return code_; }

 protected:
  double test_value(int link, int node) override;
  double value(int link, int node) const override { return combined_[address(link, node)]; }
  void size_stores() override;

 private:
  const std::vector<double>* second_ = nullptr;
  int code_ = combine_none;
  std::vector<double> combined_;  // per node address: the value the last test compared
};
