// The aquatic environment file: its header, the names of the overland and
// stream id maps, NUM_IDS, and one entry of 52 parameters per id, written as
// ten lines whose first eight interleave 22 pairs of values.

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/ascii_grid.h"
#include "input/read_grid_inputs.h"
#include "quality/nsm_model.h"

namespace {

// Row positions of the ten value lines of an entry.
struct value_line {
  int count;
  int first;
  int step;
};
constexpr value_line entry_lines[10] = {
    {7, 0, 2},  {7, 1, 2},  {4, 14, 2}, {4, 15, 2}, {4, 22, 2},
    {4, 23, 2}, {7, 30, 2}, {7, 31, 2}, {4, 44, 1}, {4, 48, 1},
};

bool starts_with(const char* line, const char* word) {
  return std::strncmp(line, word, std::strlen(word)) == 0;
}

void rewind(safe_file& file) {
  if (file.is_open()) std::rewind(file.stream);
}

// The second token of line, or empty.
std::string second_token(const char* line) {
  std::vector<char> copy(line, line + std::strlen(line) + 1);
  char token[token_capacity];
  if (!next_token(copy.data(), token)) return {};
  if (!next_token(copy.data(), token)) return {};
  return token;
}

bool blank(const char* line) {
  for (const char* c = line; *c != '\0'; ++c)
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != ',') return false;
  return true;
}

}  // namespace

bool aquatic_env_check_header(safe_file& file) {
  rewind(file);
  std::vector<char> line(max_line);
  if (!read_line(file, line.data())) return false;
  return std::strncmp(line.data(), aquatic_env_header, std::strlen(aquatic_env_header)) == 0;
}

void aquatic_env_read_map_names(aquatic_env& env, safe_file& file) {
  rewind(file);
  std::vector<char> line(max_line);
  int found = 0;
  while (found < 2 && read_line(file, line.data())) {
    if (starts_with(line.data(), "OV_MAP")) {
      env.ov_map_name = second_token(line.data());
      ++found;
    } else if (starts_with(line.data(), "ST_MAP")) {
      env.st_map_name = second_token(line.data());
      ++found;
    }
  }
}

void aquatic_env_read_num_ids(aquatic_env& env, safe_file& file) {
  rewind(file);
  std::vector<char> line(max_line);
  while (read_line(file, line.data())) {
    if (!starts_with(line.data(), "NUM_IDS")) continue;
    char* rest = line.data();
    char token[token_capacity];
    next_token(rest, token);
    int n = 0;
    next_int(rest, n);
    env.num_ids = n;
    return;
  }
}

bool aquatic_env_read_table(aquatic_env& env, safe_file& file) {
  std::vector<char> line(max_line);
  while (read_line(file, line.data())) {
    if (blank(line.data())) continue;
    int id = 0;
    next_int(line.data(), id);
    if (id > env.num_ids) {
      set_error(err_aquatic_env_index, id, env.num_ids);
      return false;
    }
    if (!read_line(file, line.data())) return true;
    if (starts_with(line.data(), "DEFAULT")) continue;
    // An id below 1 is read past and kept nowhere.
    std::array<double, aquatic_env_values> scratch{};
    std::array<double, aquatic_env_values>& row =
        id >= 1 ? env.table[std::size_t(id)] : scratch;
    for (int k = 0; k < 10; ++k) {
      if (k > 0 && !read_line(file, line.data())) line[0] = '\0';
      const value_line& v = entry_lines[k];
      for (int i = 0; i < v.count; ++i) {
        double x = 0.0;
        next_double(line.data(), x);
        row[std::size_t(v.first + i * v.step)] = x;
      }
    }
  }
  return true;
}

bool read_aquatic_env_file(aquatic_env& env, safe_file& file) {
  if (!aquatic_env_check_header(file)) {
    set_error(err_aquatic_env_header, 0, 0, aquatic_env_header, env.file_name.c_str());
    return false;
  }
  aquatic_env_read_map_names(env, file);
  aquatic_env_read_num_ids(env, file);
  if (env.num_ids < 0 || env.num_ids > max_aquatic_env_ids) {
    raise_message(
        "Error: the aquatic environment file %s gives NUM_IDS %d; the count must lie between 0 "
        "and %d.\n",
        env.file_name.c_str(), env.num_ids, max_aquatic_env_ids);
    return false;
  }
  env.table.assign(std::size_t(env.num_ids) + 1, std::array<double, aquatic_env_values>{});
  // The table follows NUM_IDS and the heading line after it.
  rewind(file);
  std::vector<char> line(max_line);
  while (read_line(file, line.data()))
    if (starts_with(line.data(), "NUM_IDS")) break;
  read_line(file, line.data());
  return aquatic_env_read_table(env, file);
}

void read_aquatic_env(aquatic_env& env, model_state& state) {
  announce_setup(state, "Reading the aquatic environment file %s.\n", env.file_name.c_str());
  safe_file file;
  if (env.file_name.empty() || !file.open(env.file_name.c_str(), "r")) {
    set_error(err_open_aquatic_env_file, 0, 0, nullptr, env.file_name.c_str());
    return;
  }
  const bool read = read_aquatic_env_file(env, file);
  // The overland map is read even after a bad id, so that both faults show.
  if (!read && error_state.code != err_aquatic_env_index) {
    file.close();
    return;
  }
  safe_file map;
  if (env.ov_map_name.empty() || !map.open(env.ov_map_name.c_str(), "r")) {
    set_error(err_open_overland_aquatic_map);
    file.close();
    return;
  }
  env.cells = state.grid.cells;
  env.ov_ids.assign(std::size_t(env.cells) + 1, 0);
  map_header header;
  read_ascii_map(map, env.ov_map_name.c_str(), index_map, header, state.grid.mask.table(), {}, {},
                 env.ov_ids, state.grid.rows, state.grid.cols);
  map.close();
  file.close();
}
