#include "calibration/stream_analyzers.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"

namespace {

bool starts_with(const char* text, const char* word) {
  return std::strncmp(text, word, std::strlen(word)) == 0;
}

void print_line(const char* text) { print_message(summary_file, text); }

// Row index of a per-constituent table, or null when the table has no such row.
const std::vector<double>* table_row(const std::vector<std::vector<double>>& table, int index) {
  if (index < 1 || std::size_t(index) >= table.size()) return nullptr;
  return &table[std::size_t(index)];
}

}  // namespace

void stanalyzer_1dst::setup_op(model_state& state, const char* token) {
  const std::string label = token;
  auto row_op = std::make_unique<st1d_logical_OP>();
  op = std::move(row_op);
  select_array(token, state);
  const channel_state& c = state.channel;
  op->attach(array, c.links, &c.nx, c.stride(), &state.run.current_time, label);
}

void stanalyzer_1dst::select_array(const char* token, model_state& state) {
  // NAME_INDEX: conc_2 is the name conc and the index 2.
  char text[token_capacity];
  copy_text(text, sizeof text, token);
  for (char* c = text; *c; ++c)
    if (*c == '_') *c = ' ';
  char name[token_capacity];
  next_token(text, name);
  int index = 0;
  next_int(text, index);

  const quality_state& q = state.quality;
  const int count = q.constituents;
  if (count == 0) {
    print_line("Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
    return;
  }
  if (index < 1 || index > count) {
    char line[token_capacity + 160];
    std::snprintf(line, sizeof line,
                  "Error: 1DS Analyzer for %s with index %d is out of range. Range for index is "
                  "%d to %d.\n",
                  name, index, 1, count);
    print_line(line);
    return;
  }

  struct keyword {
    const char* word;
    const std::vector<std::vector<double>>* table;
  };
  const keyword keywords[] = {
      {"conc", &q.chan_node_conc},      {"mass", &q.chan_node_mass},
      {"pointconc", &q.chan_point_conc}, {"qlatconc", &q.conc_qlat},
      {"qlatmass", &q.chan_qlat_mass},  {"gwmass", &q.chan_gw_mass},
      {"nsmsource", &q.chan_nsm_source},
  };
  array = nullptr;
  for (const keyword& k : keywords) {
    if (starts_with(name, k.word)) array = table_row(*k.table, index);
  }
  if (!array) {
    char line[token_capacity + 64];
    std::snprintf(line, sizeof line, "Error: unable to find 1DS array [%s]\n", name);
    print_line(line);
  }
}

void stanalyzer_2dst::setup_op(model_state& state, const char* token) {
  const std::string label = token;
  auto table = std::make_unique<st2d_logical_OP>();
  table_op = table.get();
  op = std::move(table);
  select_array(token, state);
  const channel_state& c = state.channel;
  op->attach(array, c.links, &c.nx, c.stride(), &state.run.current_time, label);
  table_op = nullptr;
}

void stanalyzer_2dst::select_array(const char* token, model_state& state) {
  char name[token_capacity];
  copy_text(name, sizeof name, token);
  for (char* c = name; *c; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  channel_state& c = state.channel;
  array = nullptr;
  if (starts_with(name, "depth")) {
    // Water surface less bed: the flow depth.
    array = &c.yp;
    if (table_op) table_op->set_operand(combine_subtract, &c.bel);
  }
  if (starts_with(name, "area")) array = &c.area;
  if (starts_with(name, "flow")) array = &c.qp;
}
