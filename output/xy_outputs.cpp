// XY point outputs. No failure here stops the run except a point-file line
// that is not a point: read leniently it would become a point at (0, 0).

#include "output/xy_outputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/ascii_grid.h"

namespace {

// Messages of this output go to the error stream and to the screen.
void print_both(const char* text) {
  std::fputs(text, stderr);
  std::fputs(text, stdout);
}

bool active(const xy_grid_view& g, int r, int c) {
  return r >= 1 && r <= g.rows && c >= 1 && c <= g.cols && g.number[r][c] != 0;
}

void find_xy_point_cells(xy_output_point& p, const xy_grid_view& g) {
  p.n = 0;
  // Rows and columns are found in reals: a point far off the grid has no
  // int row.
  const double row_real = std::trunc((g.north - p.y) / g.size) + 1.0;
  const double col_real = std::trunc((p.x - g.west) / g.size) + 1.0;
  const bool on_grid = row_real >= 1.0 && row_real <= g.rows && col_real >= 1.0 && col_real <= g.cols;
  const int row = on_grid ? int(row_real) : 0;
  const int col = on_grid ? int(col_real) : 0;
  if (on_grid && active(g, row, col)) {
    const int c0 = std::fmod(p.x - g.west, g.size) / g.size >= 0.5 ? col : col - 1;
    const int r0 = std::fmod(g.north - p.y, g.size) / g.size >= 0.5 ? row : row - 1;
    const int block[4][2] = {{r0, c0}, {r0, c0 + 1}, {r0 + 1, c0}, {r0 + 1, c0 + 1}};
    for (const auto& rc : block) {
      if (!active(g, rc[0], rc[1])) continue;
      const double dx = p.x - (g.west + (rc[1] - 0.5) * g.size);
      const double dy = p.y - (g.north - (rc[0] - 0.5) * g.size);
      const double d =
          std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5 ? 0.0 : std::sqrt(dx * dx + dy * dy);
      p.cell[p.n] = g.number[rc[0]][rc[1]];
      p.weight[p.n++] = d;  // the distance until the weights are formed
    }
    return;
  }
  char text[320];
  std::snprintf(text, sizeof text,
                "Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an active "
                "cell. \n    The result will be the value of the single nearest neighbor.\n",
                p.x, p.y);
  print_both(text);
  double best = 9e16;
  int nearest = 0;
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      if (g.number[r][c] == 0) continue;
      const double dx = p.x - (g.west + (c - 0.5) * g.size);
      const double dy = p.y - (g.north - (r - 0.5) * g.size);
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d < best) {
        best = d;
        nearest = g.number[r][c];
      }
    }
  }
  if (nearest == 0) {
    print_both(
        "Error: unable to find nearest neighbor for out-of-bound x/y value. Something is really "
        "messed up with your input. Reverting to cell id 1.\n");
    nearest = 1;
  }
  p.cell[0] = nearest;
  p.weight[0] = 1.0;
  p.n = 1;
}

// YYYY MM DD HH MM of a Julian date (days from noon), 0.01 s added so that
// whole minutes do not fall back a minute.
void write_date(std::FILE* f, double julian) {
  julian += 1.1574074074074074e-7;
  long day = long(julian);
  double fraction = julian - double(day);
  double seconds;
  if (fraction >= 0.5) {
    ++day;
    seconds = (fraction - 0.5) * 86400.0;
  } else {
    seconds = (fraction + 0.5) * 86400.0;
  }
  const int hour = int(seconds / 3600.0);
  const int minute = int((seconds - 3600.0 * hour) / 60.0);
  long j = day - 1721119;
  long year = (4 * j - 1) / 146097;
  j = 4 * j - 1 - 146097 * year;
  long d = j / 4;
  j = (4 * d + 3) / 1461;
  d = 4 * d + 3 - 1461 * j;
  d = (d + 4) / 4;
  long month = (5 * d - 3) / 153;
  d = 5 * d - 3 - 153 * month;
  d = (d + 5) / 5;
  year = 100 * year + j;
  if (month < 10) {
    month += 3;
  } else {
    month -= 9;
    ++year;
  }
  std::fprintf(f, "%4d %02d %02d %02d %02d\t", int(year), int(month), int(d), hour, minute);
}

bool outside_inset(const xy_inset& in, int r, int c) {
  return r < 1 || r > in.rows || c < 1 || c > in.cols || in.mask[r][c] == 0;
}

// A cell of the inset on its outer rows or columns or next to a zero cell.
bool is_inset_boundary_cell(const xy_inset& in, int r, int c) {
  return outside_inset(in, r - 1, c) || outside_inset(in, r + 1, c) ||
         outside_inset(in, r, c - 1) || outside_inset(in, r, c + 1);
}

void write_point_header(std::FILE* f, const char* title, const std::vector<xy_output_point>& pts) {
  std::fprintf(f, "%s\n%d\nDATE       TIME \t", title, int(pts.size()));
  for (const xy_output_point& p : pts) std::fprintf(f, "   %12d", p.id);
  std::fputc('\n', f);
}

}  // namespace

void compute_xy_weights(std::vector<xy_output_point>& points, const xy_grid_view& grid) {
  for (xy_output_point& p : points) {
    find_xy_point_cells(p, grid);
    double sum = 0.0;
    for (int k = 0; k < p.n; ++k) {
      const double d = std::max(p.weight[k], 1e-4);
      p.weight[k] = 1.0 / (d * d);
      sum += p.weight[k];
    }
    if (p.n < 2) {
      p.weight[0] = 1.0;
      p.weight_sum = 1.0;
    } else {
      p.weight_sum = sum;
    }
  }
}

double interpolate_xy_point(const xy_output_point& p, const double* values) {
  double sum = 0.0;
  for (int k = 0; k < p.n; ++k) sum += values[p.cell[k]] * p.weight[k];
  return sum / p.weight_sum;
}

bool read_xy_point_file(const char* name, std::vector<xy_output_point>& points) {
  safe_file file;
  if (name[0] == '\0' || !file.open(name, "r")) {
    if (name[0] == '\0') {
      std::fputs("Error: filename for XY Output File not specified.\n", stdout);
    } else {
      std::printf("Error: unable to open the xy output file %s.\n", name);
    }
    return true;
  }
  char line[max_line];
  char token[token_capacity];
  int count = 0;
  if (read_line(file, line)) next_int(line, count);
  for (int k = 0; k < count; ++k) {
    if (!read_line(file, line)) {
      std::fputs(
          "Warning!!! The number of points specified in the xy output file is more than the "
          "actual points in the file.\n",
          stdout);
      break;
    }
    xy_output_point p;
    const bool ok = next_token(line, token) && parse_finite_real(token, p.x) &&
                    next_token(line, token) && parse_finite_real(token, p.y) &&
                    next_token(line, token) && parse_whole_int(token, p.id);
    if (!ok) {
      raise_message("Error: line %d of the XY output point file %s should hold x, y and an id.\n",
                    k + 2, name);
      return false;
    }
    points.push_back(p);
  }
  return true;
}

bool read_xy_inset_mask(const char* name, xy_output& xy) {
  safe_file file;
  if (!file.open(name, "r")) {
    std::fputs("Error: unable to open the XY output mask file.\n", stdout);
    return false;
  }
  char word[6][16];
  xy_inset& in = xy.inset;
  if (std::fscanf(file.stream, "%6s %lf\n%6s %lf\n%5s %lf\n%5s %lf\n%5s %d\n%5s %d\n", word[0],
                  &in.north, word[1], &in.south, word[2], &in.east, word[3], &in.west, word[4],
                  &in.rows, word[5], &in.cols) != 12 ||
      in.rows <= 0 || in.cols <= 0) {
    std::printf("Error: the XY output mask file %s has no grid header.\n", name);
    in.rows = in.cols = 0;
    return false;
  }
  // Every cell's value stands in the file: a header promising more cells than
  // the file has bytes is refused before the mask is sized from it.
  std::fseek(file.stream, 0, SEEK_END);
  const long bytes = std::ftell(file.stream);
  if (double(in.rows) * double(in.cols) * 2.0 > double(bytes)) {
    std::printf("Error: the XY output mask file %s gives %d rows of %d columns, more cells than "
                "its %ld bytes hold.\n",
                name, in.rows, in.cols, bytes);
    in.rows = in.cols = 0;
    return false;
  }
  std::rewind(file.stream);
  if (!in.mask.allocate_grid(in.rows, in.cols)) return false;
  map_header header;
  read_ascii_map(file, name, integer_grid, header, in.mask.table(), {}, {}, {}, in.rows, in.cols);
  if (error_state.stop_flag) return false;
  in.read = 1;
  in.size = (in.north - in.south) / in.rows;
  int id = 0;
  for (int r = 1; r <= in.rows; ++r) {
    for (int c = 1; c <= in.cols; ++c) {
      if (in.mask[r][c] == 0) continue;
      ++id;
      if (!is_inset_boundary_cell(in, r, c)) continue;
      xy_output_point p;
      p.x = in.west + (c - 1 + 0.5) * in.size;
      p.y = in.north - (r - 1 + 0.5) * in.size;
      p.id = id;
      xy.points.push_back(p);
    }
  }
  return true;
}

bool segments_intersect(const xy_segment& side, const xy_segment& stream) {
  if (std::max(stream.x1, stream.x2) < std::min(side.x1, side.x2) ||
      std::min(stream.x1, stream.x2) > std::max(side.x1, side.x2) ||
      std::max(stream.y1, stream.y2) < std::min(side.y1, side.y2) ||
      std::min(stream.y1, stream.y2) > std::max(side.y1, side.y2))
    return false;
  const double ax = side.x2 - side.x1, ay = side.y2 - side.y1;
  const double bx = stream.x2 - stream.x1, by = stream.y2 - stream.y1;
  const double denom = ax * by - ay * bx;
  if (denom == 0.0) return false;
  const double cx = stream.x1 - side.x1, cy = stream.y1 - side.y1;
  const double t = (cx * by - cy * bx) / denom;  // along the side
  const double u = (cx * ay - cy * ax) / denom;  // along the stream
  return t >= 0.0 && t <= 1.0 && u > 0.0 && u <= 1.0;
}

void add_inset_boundary_sides(xy_output& xy) {
  const xy_inset& in = xy.inset;
  if (!in.read) return;
  for (int r = 1; r <= in.rows; ++r) {
    for (int c = 1; c <= in.cols; ++c) {
      if (in.mask[r][c] == 0 || !is_inset_boundary_cell(in, r, c)) continue;
      const double left = in.west + (c - 1) * in.size, right = left + in.size;
      const double top = in.north - (r - 1) * in.size, bottom = top - in.size;
      // North, east, south, west, each side running clockwise.
      const int neighbour[4][2] = {{r - 1, c}, {r, c + 1}, {r + 1, c}, {r, c - 1}};
      const xy_segment side[4] = {{left, top, right, top},
                                  {right, top, right, bottom},
                                  {right, bottom, left, bottom},
                                  {left, bottom, left, top}};
      for (int k = 0; k < 4; ++k)
        if (outside_inset(in, neighbour[k][0], neighbour[k][1])) xy.sides.push_back(side[k]);
    }
  }
}

void add_stream_crossing(xy_output& xy, double x, double y, int link, int node) {
  for (xy_crossing& c : xy.crossings) {
    if (c.link != link) continue;
    if (node > c.node) c = {x, y, link, node};
    return;
  }
  xy.crossings.push_back({x, y, link, node});
}

void find_inset_stream_crossings(xy_output& xy, const char* channel_file, bool routing,
                                 const char* stream_file) {
  xy.st_on = 0;
  if (!routing || channel_file == nullptr || channel_file[0] == '\0') return;
  if (stream_file == nullptr || stream_file[0] == '\0') return;
  add_inset_boundary_sides(xy);
  safe_file file;
  if (!file.open(channel_file, "r")) {
    print_both(
        "Error: unable to open the .cif file for reading for the stream boundary XY hydrograph "
        "ouput file\n");
    return;
  }
  std::vector<char> buffer(max_line);
  char* line = buffer.data();
  int link = 0, node = 0, points = 0;
  double px = 0.0, py = 0.0;  // previous point of the polyline, m
  while (read_line(file, line)) {
    if (std::strncmp(line, "LINK ", 5) == 0) {
      drop_leading_chars(line, 5);
      next_int(line, link);
      points = 0;
    } else if (std::strncmp(line, "NODE ", 5) == 0) {
      drop_leading_chars(line, 5);
      next_int(line, node);
    } else if (std::strncmp(line, "X_Y ", 4) == 0) {
      drop_leading_chars(line, 4);
      double x = 0.0, y = 0.0;
      next_double(line, x);
      next_double(line, y);
      if (points++ > 0) {
        const xy_segment stream = {px, py, x, y};
        for (const xy_segment& side : xy.sides) {
          if (!segments_intersect(side, stream)) continue;
          add_stream_crossing(xy, 0.5 * (px + x), 0.5 * (py + y), link, node - 1);
          break;
        }
      }
      px = x;
      py = y;
    }
  }
  file.close();
  std::printf("VALTO identified %d stream link/nodes as crossing the inset mask boundary.\n",
              int(xy.crossings.size()));
  for (const xy_crossing& c : xy.crossings) std::printf("%d,%d\t", c.link, c.node);
  std::fputs("\n", stdout);

  if (!xy.st_file.open(stream_file, "w")) {
    print_both("Error: unable to open the stream boundary XY hydrograph ouput file\n");
    return;
  }
  xy.st_on = 1;
  std::FILE* f = xy.st_file.stream;
  std::fprintf(f, "%s\n%d\nX                 \t", "XY_STREAM_HYDROGRAPHS", int(xy.crossings.size()));
  for (const xy_crossing& c : xy.crossings) std::fprintf(f, "   %12.3lf", c.x);
  std::fputs("\nY                 \t", f);
  for (const xy_crossing& c : xy.crossings) std::fprintf(f, "   %12.3lf", c.y);
  std::fputc('\n', f);
  std::fflush(f);
}

void open_xy_outputs(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.xybdyoutput) return;
  xy_output& xy = state.output.xy;
  const bool ok = s.xybdyoutput_kind == 1 ? read_xy_inset_mask(s.xybdyoutput_pts.c_str(), xy)
                                          : read_xy_point_file(s.xybdyoutput_pts.c_str(), xy.points);
  if (!ok && error_state.stop_flag) return;
  // The head points need the head array, which only the groundwater model has.
  if (state.input.gw_simulation && !state.subsurface.gw.elevgw.empty() &&
      s.xybdyoutput_gwhead_given) {
    xy.gw_on = xy.gw_file.open(s.xybdyoutput_gwhead.c_str(), "w") ? 1 : 0;
    if (!xy.gw_on) print_both("Error: XY Groundwater output file name is not valid\n");
  }
  if (!state.surface.depth.empty() && s.xybdyoutput_ovdep_given) {
    xy.ov_on = xy.ov_file.open(s.xybdyoutput_ovdep.c_str(), "w") ? 1 : 0;
    if (!xy.ov_on) print_both("Error: XY Overland Flow output file name is not valid\n");
  }
  const grid_state& g = state.grid;
  xy_grid_view view;
  view.north = g.north;
  view.west = g.west;
  view.size = g.dx;
  view.rows = g.rows;
  view.cols = g.cols;
  view.number = state.grid.mask.table();
  compute_xy_weights(xy.points, view);
  if (xy.ov_on) write_point_header(xy.ov_file.stream, "XY_OV_DEPTH", xy.points);
  if (xy.gw_on) write_point_header(xy.gw_file.stream, "XY_GW_HEAD", xy.points);
  const bool routing = state.input.channel_routing && !state.channel.qp.empty();
  if (s.xybdyoutput_stflow_given) {
    find_inset_stream_crossings(xy, s.channel_input_given ? s.channel_input.c_str() : nullptr,
                                routing, s.xybdyoutput_stflow.c_str());
  }
}

void write_xy_output_row(xy_output& xy, const double* depth, const double* qp, int stride,
                         double julian, const double* head) {
  if (xy.ov_on && xy.ov_file.is_open() && depth != nullptr) {
    std::FILE* f = xy.ov_file.stream;
    write_date(f, julian);
    for (const xy_output_point& p : xy.points)
      std::fprintf(f, "   %12.8lf", interpolate_xy_point(p, depth));
    std::fputc('\n', f);
  }
  if (xy.gw_on && xy.gw_file.is_open() && head != nullptr) {
    std::FILE* f = xy.gw_file.stream;
    write_date(f, julian);
    for (const xy_output_point& p : xy.points)
      std::fprintf(f, "   %12.8lf", interpolate_xy_point(p, head));
    std::fputc('\n', f);
  }
  if (xy.st_on && xy.st_file.is_open() && qp != nullptr) {
    std::FILE* f = xy.st_file.stream;
    write_date(f, julian);
    for (const xy_crossing& c : xy.crossings)
      std::fprintf(f, "   %12.4lf", qp[c.link * stride + c.node]);
    std::fputc('\n', f);
  }
}

void close_xy_outputs(xy_output& xy) {
  for (safe_file* file : {&xy.ov_file, &xy.gw_file, &xy.st_file}) {
    if (!file->is_open()) continue;
    std::fputs("END_TS\n", file->stream);
    file->close();
  }
  xy.points.clear();
  xy.sides.clear();
  xy.crossings.clear();
  xy.inset.read = 0;
  xy.inset.rows = xy.inset.cols = 0;
  xy.ov_on = xy.gw_on = xy.st_on = 0;
}
