#pragma once
// The two kinds of analyzer line: "1DS" tests one constituent's row of
// channel node values, "2DS" a per-node table of the network (depth, area or
// flow).

#include "calibration/analyzers.h"

class stanalyzer_1dst : public analyzer {
 public:
  stanalyzer_1dst() = default;
  void setup_op(model_state& state, const char* token) override;
  void select_array(const char* token, model_state& state) override;

  const std::vector<double>* array = nullptr;  // the constituent's row; not owned
};

class stanalyzer_2dst : public analyzer {
 public:
  stanalyzer_2dst() = default;
  void setup_op(model_state& state, const char* token) override;
  void select_array(const char* token, model_state& state) override;

  const std::vector<double>* array = nullptr;  // per node address; not owned
  st2d_logical_OP* table_op = nullptr;          // the operator while it is set up
};
