#pragma once
// Stream mapping tables: what the grid mapping tables do for the cells, done
// for the channel network. A stream map gives every link an integer id and a
// table of the stream mapping table file gives per id one or more values,
// which every computational node of the link then takes.
//
// File layout: a first line beginning "VALTO_STREAM_INDEX_MAP_TABLES", then
// ST_INDEX_MAP lines (path and name, as INDEX_MAP lines), then sections of a
// stream keyword and map name, NUM_IDS, a header line and fixed-column rows.
//
// Stream map file: a "STREAM_MAP" line, a line of a word and the number of
// links, then one value per link in link order (an id, or a real for value
// files), each applying to every node of its link.

#include <span>
#include <string>
#include <vector>

#include "input/map_tables.h"

// Kinds of the stream table keywords.
namespace stream_kind {
constexpr int none = 0;
constexpr int roughness = 1;
constexpr int nsm_n = 2;
constexpr int nsm_p = 3;
constexpr int nsm_c = 4;
constexpr int nsm_oth = 5;
constexpr int dispersion = 6;
constexpr int last_table = 6;
constexpr int num_ids = 37;
constexpr int index_map = 38;
}  // namespace stream_kind

constexpr char stream_table_marker[] = "VALTO_STREAM_INDEX_MAP_TABLES";

// What the readers need of the channel network: its link count, the largest
// node count of a link and each link's node count [1..links]. Per-node arrays
// are flat: node j of link i at i x (max_nodes + 1) + j.
struct stream_network_view {
  int links = 0;
  int max_nodes = 0;
  std::span<const int> nx;
  int stride() const { return max_nodes + 1; }
  int node_count(int link) const;  // nx[link] within 0..max_nodes
};

// Link ids per node, [node][link]: (max_nodes + 2) x (links + 2), zero where
// a link has fewer nodes.
struct stream_id_grid {
  int nodes = 0;  // rows, max_nodes + 2
  int links = 0;  // columns, links + 2
  std::vector<int> ids;
  bool allocate(const stream_network_view& network);  // zeroed; false after the message
  int at(int node, int link) const { return ids[std::size_t(node) * links + link]; }
  int& at(int node, int link) { return ids[std::size_t(node) * links + link]; }
};

// Kind of a line by its first characters (the ROUGHNESS rule left out).
int stream_table_kind(const char* line);
// The kind with the ROUGHNESS rule first.
int classify_stream_line(const char* line);
// "ROUGHNESS (Stream)" and the rest, for messages; empty for unknown kinds.
const char* stream_table_title(int kind);

// As find_map_table, with the stream marker, the ST_INDEX_MAP list and the
// stream keywords.
int find_stream_index_map(table_file& file, int kind, std::string& map_path);
// The count of the next line when it is a NUM_IDS line, else 0.
int read_stream_num_ids(table_file& file);

// Result codes of read_stream_map_file.
constexpr int stream_map_read = 0;
constexpr int stream_map_unopened = -1;
constexpr int stream_map_bad_header = -2;
constexpr int stream_map_wrong_links = -3;
constexpr int stream_map_bad_value = -4;
constexpr int stream_map_ids = 0;     // type: integer ids into the id grid
constexpr int stream_map_values = 2;  // type: reals into the flat per-node array

// Reads a stream map file: ids into the id grid (type 0) or reals into the
// per-node values (type 2), each link's value for all of its nodes. Returns
// one of the codes above; the file is closed in every case.
int read_stream_map_file(const char* path, const stream_network_view& network,
                         stream_id_grid* ids, std::span<double> values, int type);

// Sets node j of every link i whose id is not 0 to the per-id value of its id:
// destination[i x stride + j]. An id below 0 or above largest_id gives 0.0.
void assign_stream_values(std::span<double> destination, const std::vector<double>& per_id,
                          int largest_id, const stream_id_grid& ids,
                          const stream_network_view& network);

// Reads the kind's table and its stream map into up to four per-node
// destinations in column order (an empty one skips its column). 1, or 0 after
// a reported error (64, 66, 115-118, or a row that cannot be read).
int read_stream_mapping_table(const char* path, int kind,
                              std::span<const std::span<double>> destinations,
                              const stream_network_view& network);

// The check report: six lines with Y or N, and present_by_kind[kind] for
// kinds 1..6 (the span must hold 7). A file that cannot be opened is code 64
// and no report.
void check_stream_mapping_tables(const char* path, std::span<int> present_by_kind);
// One line of the report.
void print_stream_table_check(const char* name, int present);
