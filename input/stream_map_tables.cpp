// The stream mapping table file and stream map files: per-link ids and values
// spread over the nodes of each link of the channel network.

#include "input/stream_map_tables.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/error_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"

namespace {

struct stream_keyword {
  const char* word;
  std::size_t compared;  // first characters compared
  int kind;
  const char* title;
};

// In the order of classification; ROUGHNESS is tested before all of them.
constexpr stream_keyword keywords[] = {
    {"NSM_N", 5, stream_kind::nsm_n, "NSM_N (Stream)"},
    {"NSM_P", 5, stream_kind::nsm_p, "NSM_P (Stream)"},
    {"NSM_OTH", 6, stream_kind::nsm_oth, "NSM_OTH (Stream)"},
    {"NSM_C", 5, stream_kind::nsm_c, "NSM_C (Stream)"},
    {"NUM_IDS", 7, stream_kind::num_ids, "NUM_IDS (Stream)"},
    {"ST_INDEX_MAP", 9, stream_kind::index_map, "ST_INDEX_MAP (Stream)"},
    {"DISPERSION", 5, stream_kind::dispersion, "DISPERSION (Stream)"},
};

constexpr int values_per_row[stream_kind::last_table + 1] = {0, 1, 4, 3, 2, 3, 1};

struct check_line {
  const char* name;
  int kind;
};

// The report's lines in the order they print: Carbon before Other.
constexpr check_line check_lines[] = {
    {"Roughness", stream_kind::roughness}, {"NSM Nitrogen", stream_kind::nsm_n},
    {"NSM Phosphorus", stream_kind::nsm_p}, {"NSM Carbon", stream_kind::nsm_c},
    {"NSM Other", stream_kind::nsm_oth},    {"Dispersion", stream_kind::dispersion},
};

int count_of(const std::string& line) {
  const char* p = line.c_str();
  int value = 0;
  if (!skip_fields(p, 1) || !take_int_field(p, value)) return 0;
  return value;
}

// The next blank-separated word of the stream; false at the end of the file.
bool next_word(std::FILE* stream, char (&word)[64]) {
  return std::fscanf(stream, "%63s", word) == 1;
}

int read_stream_map(safe_file& file, const stream_network_view& network, stream_id_grid* ids,
                    std::span<double> values, int type) {
  text_source source{file.stream, file.path, 0};
  std::string line;
  // The values are numbers as written, without replacement.
  if (!read_source_line(source, line, false) || line.compare(0, 10, "STREAM_MAP") != 0)
    return stream_map_bad_header;
  if (!read_source_line(source, line, false) || count_of(line) != network.links)
    return stream_map_wrong_links;
  const int stride = network.stride();
  for (int i = 1; i <= network.links; ++i) {
    char word[64];
    if (!next_word(file.stream, word)) return stream_map_bad_value;
    const int nodes = network.node_count(i);
    if (type == stream_map_ids) {
      int id = 0;
      if (!parse_whole_int(word, id)) return stream_map_bad_value;
      if (ids)
        for (int j = 1; j <= nodes; ++j) ids->at(j, i) = id;
    } else {
      double v = 0.0;
      if (!parse_finite_real(word, v)) return stream_map_bad_value;
      for (int j = 1; j <= nodes; ++j) {
        const std::size_t at = std::size_t(i) * stride + j;
        if (at < values.size()) values[at] = v;
      }
    }
  }
  return stream_map_read;
}

}  // namespace

int stream_network_view::node_count(int link) const {
  if (link < 1 || static_cast<std::size_t>(link) >= nx.size()) return 0;
  const int n = nx[link];
  return n < 0 ? 0 : n > max_nodes ? max_nodes : n;
}

bool stream_id_grid::allocate(const stream_network_view& network) {
  nodes = network.max_nodes + 2;
  links = network.links + 2;
  if (!allocate_zeroed(ids, std::size_t(nodes) * std::size_t(links), "filedata")) {
    nodes = links = 0;
    return false;
  }
  return true;
}

int stream_table_kind(const char* line) {
  for (const stream_keyword& k : keywords)
    if (std::strncmp(line, k.word, k.compared) == 0) return k.kind;
  return stream_kind::none;
}

int classify_stream_line(const char* line) {
  if (std::strncmp(line, "ROUGHNESS", 9) == 0) return stream_kind::roughness;
  return stream_table_kind(line);
}

const char* stream_table_title(int kind) {
  if (kind == stream_kind::roughness) return "ROUGHNESS (Stream)";
  for (const stream_keyword& k : keywords)
    if (k.kind == kind) return k.title;
  return "";
}

int find_stream_index_map(table_file& file, int kind, std::string& map_path) {
  map_path.clear();
  std::vector<index_map_entry> maps;
  std::string line;
  if (search_section(file, stream_table_marker, stream_kind::index_map, classify_stream_line, kind,
                     maps, line) != section_search::found)
    return 0;
  const index_map_entry* entry = find_index_map(maps, section_map_name(line));
  if (!entry) return 0;
  map_path = entry->path;
  return 1;
}

int read_stream_num_ids(table_file& file) {
  std::string line;
  if (!file.next(line) || classify_stream_line(line.c_str()) != stream_kind::num_ids) return 0;
  return count_of(line);
}

int read_stream_map_file(const char* path, const stream_network_view& network,
                         stream_id_grid* ids, std::span<double> values, int type) {
  safe_file file;
  if (!file.open(path, "r")) return stream_map_unopened;
  const int result = read_stream_map(file, network, ids, values, type);
  file.close();
  return result;
}

void assign_stream_values(std::span<double> destination, const std::vector<double>& per_id,
                          int largest_id, const stream_id_grid& ids,
                          const stream_network_view& network) {
  const int stride = network.stride();
  for (int i = 1; i <= network.links; ++i) {
    const int nodes = network.node_count(i);
    for (int j = 1; j <= nodes; ++j) {
      const int id = ids.at(j, i);
      if (id == 0) continue;
      // Ids the table does not reach give no value rather than one read
      // from outside the per-id array.
      const bool known =
          id >= 1 && id <= largest_id && static_cast<std::size_t>(id - 1) < per_id.size();
      const std::size_t at = std::size_t(i) * stride + j;
      if (at < destination.size()) destination[at] = known ? per_id[id - 1] : 0.0;
    }
  }
}

int read_stream_mapping_table(const char* path, int kind,
                              std::span<const std::span<double>> destinations,
                              const stream_network_view& network) {
  table_file file;
  if (!file.open(path)) {
    raise_error(64, 0, 0, nullptr, path);
    return 0;
  }
  std::string map_path;
  const int n = find_stream_index_map(file, kind, map_path) ? read_stream_num_ids(file) : 0;
  if (n <= 0) {
    raise_error(66, 0, 0, stream_table_title(kind));
    return 0;
  }
  skip_table_header(file);
  const int per_row = kind >= 1 && kind <= stream_kind::last_table ? values_per_row[kind] : 0;
  table_rows rows;
  if (!read_table_rows(file, stream_table_title(kind), n, per_row, rows)) return 0;

  stream_id_grid ids;
  if (!ids.allocate(network)) return 0;
  const int read = read_stream_map_file(map_path.c_str(), network, &ids, {}, stream_map_ids);
  if (read != stream_map_read) {
    raise_error(114 - read, 0, 0, nullptr, map_path.c_str());
    return 0;
  }

  std::vector<double> per_id;
  if (!allocate_zeroed(per_id, std::size_t(rows.largest_id) + 1, "Table Data")) return 0;
  const int columns = static_cast<int>(destinations.size()) < per_row
                          ? static_cast<int>(destinations.size())
                          : per_row;
  for (int column = 0; column < columns; ++column) {
    if (destinations[column].empty()) continue;
    scatter_table_column(rows, column, per_id);
    assign_stream_values(destinations[column], per_id, rows.largest_id, ids, network);
  }
  return 1;
}

void print_stream_table_check(const char* name, int present) {
  print_map_table_check(name, present);
}

void check_stream_mapping_tables(const char* path, std::span<int> present_by_kind) {
  table_file file;
  if (!file.open(path)) {
    raise_error(64, 0, 0, nullptr, path);
    return;
  }
  std::printf("\nChecking stream mapping table file...\n");
  for (const check_line& check : check_lines) {
    file.rewind();
    std::string map_path;
    int present = 0;
    if (find_stream_index_map(file, check.kind, map_path)) {
      safe_file map;
      if (map.open(map_path.c_str(), "r")) {
        present = 1;
        map.close();
      }
    }
    if (static_cast<std::size_t>(check.kind) < present_by_kind.size())
      present_by_kind[check.kind] = present;
    print_stream_table_check(check.name, present);
  }
  std::fflush(stdout);
}
