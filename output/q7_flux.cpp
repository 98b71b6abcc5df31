// Q7 segment fluxes. Only edges between a segment cell and a cell outside
// every segment count, so flow between two segments feeds neither.

#include "output/q7_flux.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/ascii_grid.h"
#include "input/read_grid_inputs.h"

namespace {

constexpr int max_segment_number = 9999;

// Reads the segment map; false when it does not open or carries no segment
// (code 95), or after the reader stopped the run.
bool read_segment_map(model_state& state, q7_data& q7) {
  const project_settings& s = state.input.settings;
  safe_file file;
  if (!s.q7_segment_map_given || !file.open(s.q7_segment_map.c_str(), "r")) return false;
  const int cells = state.grid.cells;
  if (!allocate_per_cell(q7.seg_map, cells, "q7_data->seg_map")) return false;
  map_header header;
  read_ascii_map(file, s.q7_segment_map.c_str(), index_map, header, state.grid.mask.table(), {},
                 {}, q7.seg_map, state.grid.rows, state.grid.cols);
  file.close();
  if (error_state.stop_flag) return false;
  int largest = 0;
  for (int i = 1; i <= cells; ++i) largest = std::max(largest, q7.seg_map[i]);
  if (cells <= 0 || largest <= 0) {
    raise_error(95);
    return false;
  }
  // Segments are index-map ids; one far beyond them would size the sums
  // from a typing error.
  if (largest > max_segment_number) {
    raise_message("Error: the Q7 segment map %s gives segment %d; segments run from 1 to %d.\n",
                  s.q7_segment_map.c_str(), largest, max_segment_number);
    return false;
  }
  q7.max_segment = largest;
  q7.sums.assign(std::size_t(largest) + 1, 0.0);
  q7.active_array.assign(std::size_t(largest) + 1, 0);
  for (int i = 1; i <= cells; ++i)
    if (q7.seg_map[i] > 0) q7.active_array[q7.seg_map[i]] = 1;
  return true;
}

// The count line and the rows of the link/node table, each read whole: a
// line that is not the integers it should hold stops the run with its file
// and line. Returns the rows read, or -1 after a stop.
int read_segment_table(const char* name, q7_data& q7) {
  safe_file file;
  if (!file.open(name, "r")) return 0;
  char line[max_line];
  char token[token_capacity];
  int count = 0;
  int line_number = 1;
  auto whole_ints = [&](int* values, int n) {
    for (int k = 0; k < n; ++k)
      if (!next_token(line, token) || !parse_whole_int(token, values[k])) return false;
    return !next_token(line, token);
  };
  if (!read_line(file, line) || !whole_ints(&count, 1)) {
    raise_message("Error: line %d of the Q7 link/node to segment file %s should hold %s.\n",
                  line_number, name, "the row count");
    return -1;
  }
  if (count <= 0) return 0;
  // The rows grow as they are read, so a count beyond the file's rows costs
  // nothing before its stop.
  q7.link.clear();
  q7.node.clear();
  q7.segment.clear();
  for (int r = 0; r < count; ++r) {
    ++line_number;
    int row[3] = {};
    if (!read_line(file, line) || !whole_ints(row, 3)) {
      raise_message("Error: line %d of the Q7 link/node to segment file %s should hold %s.\n",
                    line_number, name, "a link, a node and a segment");
      return -1;
    }
    q7.link.push_back(row[0]);
    q7.node.push_back(row[1]);
    q7.segment.push_back(row[2]);
  }
  return count;
}

}  // namespace

void setup_q7_segment_flux(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  if (!in.q7_input_flag || !s.q7_fluxes) return;
  q7_data& q7 = state.output.q7;
  q7.first_row = 1;
  const bool map_usable = read_segment_map(state, q7);
  if (error_state.stop_flag) return;

  const int rows = s.q7_nodes_to_segs_given ? read_segment_table(s.q7_nodes_to_segs.c_str(), q7) : 0;
  if (rows < 0) return;
  bool bad = false;
  for (int r = 0; r < rows; ++r) {
    const int seg = q7.segment[r];
    if (seg <= 0 || seg > q7.max_segment || !q7.active_array[seg]) bad = true;
  }
  if (bad) {
    set_error(97);
    return;
  }
  // The rows name nodes whose discharge is summed: each must be a node of
  // the network.
  const channel_state& chan = state.channel;
  for (int r = 0; in.channel_routing && r < rows; ++r) {
    const int l = q7.link[r];
    if (l >= 1 && l <= chan.links && q7.node[r] >= 1 && q7.node[r] <= chan.nx[l]) continue;
    raise_message(
        "Error: row %d of the Q7 node table %s names link %d node %d, which is not a node of "
        "the channel network.\n",
        r + 1, s.q7_nodes_to_segs.c_str(), l, q7.node[r]);
    return;
  }
  if (rows == 0 && !map_usable) {
    raise_error(96);
    q7.max_segment = 0;
    return;
  }
  if (!s.q7_segment_fluxes_given || !q7.output.open(s.q7_segment_fluxes.c_str(), "w")) {
    set_error(98, 0, 0, nullptr, s.q7_segment_fluxes.c_str());
    return;
  }
  std::fputs("   jday   ", q7.output.stream);
  for (int k = 1; k <= q7.max_segment; ++k)
    if (q7.active_array[k]) std::fprintf(q7.output.stream, "%-8d  ", k);
  std::fputc('\n', q7.output.stream);
}

void accumulate_q7_flux(q7_data& q7, const double* face_qx, const double* face_qy, int cells,
                        const int* rightcon, const int* belowcon, bool routing, const double* qp,
                        int stride, double dx) {
  if (q7.max_segment <= 0) return;
  ++q7.passes;
  const int* seg = q7.seg_map.data();
  // Serial and in cell order, so the sums do not depend on the thread count.
  auto edge = [&](int i, int j, double face_q) {
    if (j <= 0 || (seg[i] != 0) == (seg[j] != 0)) return;
    q7.sums[std::size_t(std::max(seg[i], seg[j]))] += std::fabs(face_q / dx) * dx;
  };
  for (int i = 1; i <= cells; ++i) {
    edge(i, rightcon[i], face_qx[i]);
    edge(i, belowcon[i], face_qy[i]);
  }
  if (!routing || qp == nullptr) return;
  for (std::size_t r = 0; r < q7.segment.size(); ++r)
    q7.sums[std::size_t(q7.segment[r])] += std::fabs(qp[q7.link[r] * stride + q7.node[r]]);
}

void write_q7_value(q7_data& q7, double jday) {
  if (q7.passes == 0 || !q7.output.is_open()) return;
  if (q7.first_row) {
    q7.first_jday = jday;
    q7.first_row = 0;
  }
  std::FILE* f = q7.output.stream;
  std::fprintf(f, "%-8.3lf  ", jday - q7.first_jday + 1.0);
  for (int k = 1; k <= q7.max_segment; ++k) {
    if (!q7.active_array[k]) continue;
    std::fprintf(f, "%-8.2lf  ", q7.sums[k] / q7.passes);
    q7.sums[k] = 0.0;
  }
  std::fputc('\n', f);
  q7.passes = 0;
}

void free_q7_data(q7_data& q7) {
  q7.seg_map = {};
  q7.active_array = {};
  q7.sums = {};
  q7.link = {};
  q7.node = {};
  q7.segment = {};
  q7.max_segment = 0;
  q7.passes = 0;
  q7.output.close();
}
