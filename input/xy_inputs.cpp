// XY boundary inputs: the three point files, the check of their cell numbers,
// the mapping of stream points onto the channel network, and the setting of
// overland depths and groundwater heads with the volumes that setting books.

#include "input/xy_inputs.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"

namespace {

// Candidate links of a stream point: these kind bits and more than one node.
constexpr int stream_point_link_bits = 4 | 8 | 16;

bool same_word(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// The first word of line (quotes removed) into word; the rest of the line,
// after the word's separators, stays in text.
void split_first_word(const std::string& line, std::vector<char>& text, char (&word)[token_capacity]) {
  text.assign(line.begin(), line.end());
  text.push_back('\0');
  next_token(text.data(), word);
}

void report_bad_line(const text_source& source, const char* what) {
  raise_message("Error: line %d of the xy boundary input file %s should hold %s.\n",
                source.line_number, source.path, what);
}

// Line 2 of a point file: the number of points, its first field.
bool read_point_count(text_source& source, int& count) {
  std::string line;
  const char* p = nullptr;
  if (read_source_line(source, line)) p = line.c_str();
  if (p == nullptr || !take_int_field(p, count)) {
    report_bad_line(source, "the number of points");
    return false;
  }
  // The next line holds a value of every point, each a digit and a separator
  // at least: a count the rest of the file cannot hold is a damaged file, and
  // the arrays sized by it would only waste memory.
  const long here = std::ftell(source.stream);
  long bytes = -1;
  if (here >= 0 && std::fseek(source.stream, 0, SEEK_END) == 0) {
    bytes = std::ftell(source.stream) - here;
    std::fseek(source.stream, here, SEEK_SET);
  }
  if (bytes >= 0 && count > 0 && count > bytes / 2 + 1) {
    raise_message("Error: line %d of %s gives %d points, more than the %ld bytes after it hold.\n",
                  source.line_number, source.path, count, bytes);
    return false;
  }
  return true;
}

// A line of n values after its first skipped words.
template <class T>
bool read_value_line(text_source& source, int skipped, std::vector<T>& values, const char* what) {
  std::string line;
  bool ok = read_source_line(source, line) != 0;
  const char* p = line.c_str();
  ok = ok && skip_fields(p, skipped);
  for (size_t k = 0; ok && k < values.size(); ++k) {
    if constexpr (std::is_same_v<T, int>) {
      ok = take_int_field(p, values[k]);
    } else {
      ok = take_real_field(p, values[k]);
    }
  }
  if (!ok) report_bad_line(source, what);
  return ok;
}

// The last count series of the list, in order: a block's columns.
const time_series* block_column(const time_series_list& series, int count, int k) {
  return series[series.size() - count + k].get();
}

}  // namespace

xy_input::xy_input() {
  ovpts.set_name("xy_input::ovpts");
  gwpts.set_name("xy_input::gwpts");
  stpts.set_name("xy_input::stpts");
}

int xy_st_bdy_keyword(const char* line) {
  std::vector<char> text;
  char word[token_capacity];
  split_first_word(line, text, word);
  if (same_word(word, "VALTO_XY_ST_BDY_TS")) return xy_st_header;
  if (same_word(word, "VALTO_TS")) return xy_st_begin;
  if (same_word(word, "LINKNODE")) return xy_st_linknode;
  if (same_word(word, "TIMESERIES")) return xy_st_timeseries;
  if (same_word(word, "XY")) return xy_st_xy;
  if (same_word(word, "END_TS")) return xy_st_end;
  return xy_st_other;
}

void read_xy_point_input(array1d<xy_point>& points, time_series_list& series, const char* label,
                         const char* file_name, const char* header) {
  safe_file file;
  if (file_name == nullptr || !file.open(file_name, "r")) {
    std::printf("Error: unable to open %s xy boundary input file.\n", label);
    return;
  }
  text_source source{file.stream, file.path, 0};
  std::string line;
  if (!read_source_line(source, line) || line.compare(0, std::strlen(header), header) != 0) {
    std::printf(
        "Error: file used for %s xy boundary input file is not of appropriate type. File header "
        "does not match %s.\n",
        label, header);
    return;
  }
  int count = 0;
  if (!read_point_count(source, count)) return;
  if (count <= 0) {
    std::printf("Warning: No points in %s xy boundary input file.\n", label);
    return;
  }
  std::vector<int> cells(count);
  if (!read_value_line(source, 2, cells, "two words and then the cell number of every point")) return;
  if (ts_read_block(series, source, count, header) == nullptr) return;

  const int first = points.size + 1;
  points.grow(count);
  for (int k = 0; k < count; ++k) {
    points[first + k].cell = cells[k];
    points[first + k].series = block_column(series, count, k);
  }
}

void read_xy_stream_input(xy_input& xy, time_series_list& series, const char* file_name) {
  safe_file file;
  if (file_name == nullptr || !file.open(file_name, "r")) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    return;
  }
  text_source source{file.stream, file.path, 0};
  std::string line;
  std::vector<char> text;
  char word[token_capacity] = {};
  if (read_source_line(source, line)) split_first_word(line, text, word);
  if (!same_word(word, "XY_STREAM_HYDROGRAPHS")) {
    std::printf(
        "Error: file used for stream xy boundary input file is not of appropriate type. File header "
        "does not match XY_STREAM_HYDROGRAPHS.\n");
    return;
  }
  int count = 0;
  if (!read_point_count(source, count)) return;
  if (count <= 0) {
    std::printf("Warning: No points in the stream xy boundary input file.\n");
    return;
  }
  std::vector<double> x(count), y(count);
  if (!read_value_line(source, 1, x, "a word and then the x coordinate of every point")) return;
  if (!read_value_line(source, 1, y, "a word and then the y coordinate of every point")) return;
  if (ts_read_block(series, source, count, "XY_STREAM_HYDROGRAPHS") == nullptr) return;

  const int first = xy.stpts.size + 1;
  xy.stpts.grow(count);
  for (int k = 0; k < count; ++k) {
    xy_stream_point& point = xy.stpts[first + k];
    point.x = x[k];
    point.y = y[k];
    point.series = block_column(series, count, k);
  }
}

void read_xy_stream_ts_input(xy_input& xy, const time_series_list& series, const char* file_name) {
  safe_file file;
  if (file_name == nullptr || !file.open(file_name, "r")) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    return;
  }
  text_source source{file.stream, file.path, 0};
  std::vector<std::string> lines;
  std::string line;
  while (read_source_line(source, line)) lines.push_back(line);
  if (lines.empty() || xy_st_bdy_keyword(lines[0].c_str()) != xy_st_header) {
    std::printf("Error: incorrectly formatted header for stream xy time series boundary input file.\n");
    return;
  }

  int count = 0;
  for (const std::string& l : lines)
    if (xy_st_bdy_keyword(l.c_str()) == xy_st_begin) ++count;
  std::vector<xy_stream_point> points(count);

  // Fields go to the current point; END_TS moves on to the next.
  int current = 0;
  std::vector<char> text;
  for (size_t i = 1; i < lines.size(); ++i) {
    char word[token_capacity];
    const int code = xy_st_bdy_keyword(lines[i].c_str());
    if (code == xy_st_end) {
      ++current;
      continue;
    }
    if (current >= count) continue;
    xy_stream_point& point = points[current];
    split_first_word(lines[i], text, word);
    const char* p = text.data();
    const int line_number = static_cast<int>(i) + 1;
    if (code == xy_st_xy) {
      if (!take_real_field(p, point.x) || !take_real_field(p, point.y)) {
        source.line_number = line_number;
        report_bad_line(source, "XY and the point's x and y");
        return;
      }
    } else if (code == xy_st_linknode) {
      if (!take_int_field(p, point.link) || !take_int_field(p, point.node)) {
        source.line_number = line_number;
        report_bad_line(source, "LINKNODE and the point's link and node");
        return;
      }
      point.linknode = 1;
    } else if (code == xy_st_timeseries) {
      char name[token_capacity];
      next_token(text.data(), name);
      remove_quotes(name);
      point.series = ts_find(series, name);
      if (point.series == nullptr) {
        std::printf(
            "Error!!! unable to find time series [%s] for the xy boundary stream time series "
            "file.\n",
            name);
        std::printf(
            "         Perhaps the related TIME_SERIES_FILE card in the project file is below the "
            "XYBDYINPUT_STTIMESERIES card?\n");
      }
    }
  }

  const int first = xy.stpts.size + 1;
  xy.stpts.grow(count);
  for (int k = 0; k < count; ++k) xy.stpts[first + k] = points[k];
}

bool check_xy_cell_numbers(const xy_input& xy, int cells) {
  const struct {
    const array1d<xy_point>& points;
    const char* label;
  } kinds[] = {{xy.ovpts, "overland"}, {xy.gwpts, "groundwater"}};
  for (const auto& kind : kinds) {
    for (int k = 1; k <= kind.points.size; ++k) {
      const int cell = kind.points[k].cell;
      if (cell >= 1 && cell <= cells) continue;
      raise_message(
          "Error: %s xy boundary point %d names cell %d, but the watershed's cells are numbered 1 "
          "to %d.\n",
          kind.label, k, cell, cells);
      return false;
    }
  }
  return true;
}

bool map_xy_stream_points(xy_input& xy, const xy_channel_view& network) {
  auto candidate = [&network](int link) {
    return (network.link_flags[link] & stream_point_link_bits) != 0 && network.node_count[link] > 1;
  };
  for (int k = 1; k <= xy.stpts.size; ++k) {
    xy_stream_point& point = xy.stpts[k];
    if (point.linknode) {
      if (point.link >= 1 && point.link <= network.links && point.node >= 1 &&
          point.node <= network.node_count[point.link])
        continue;
      raise_message(
          "Error: stream xy boundary point %d names link %d node %d, which the channel network "
          "does not have.\n",
          k, point.link, point.node);
      return false;
    }
    double best = -1.0;
    for (int link = 1; link <= network.links; ++link) {
      if (!candidate(link)) continue;
      for (int node = 1; node <= network.node_count[link]; ++node) {
        const double dx = network.node_x[link][node] - point.x;
        const double dy = network.node_y[link][node] - point.y;
        const double d2 = dx * dx + dy * dy;
        if (best >= 0.0 && d2 >= best) continue;
        best = d2;
        point.link = link;
        point.node = node;
      }
    }
    if (best < 0.0) {
      raise_message(
          "Error: stream xy boundary point %d at x %.3f y %.3f finds no channel link that can take "
          "it.\n",
          k, point.x, point.y);
      return false;
    }
  }
  return true;
}

void apply_xy_ov_depths(const xy_input& xy, double* depth, double dx, double& vol_in,
                        double& vol_out, double now) {
  vol_in = 0.0;
  vol_out = 0.0;
  const double area = dx * dx;  // m2
  for (int k = 1; k <= xy.ovpts.size; ++k) {
    const xy_point& point = xy.ovpts[k];
    const double v = ts_value(now, point.series);
    const double d = v - depth[point.cell];
    if (d < 0.0) {
      vol_out -= d * area;
    } else {
      vol_in += d * area;
    }
    depth[point.cell] = v;
  }
}

void apply_xy_gw_heads(const xy_input& xy, double* head, const double* storage, double dx,
                       double& vol_in, double& vol_out, double now) {
  vol_in = 0.0;
  vol_out = 0.0;
  const double area = dx * dx;  // m2
  for (int k = 1; k <= xy.gwpts.size; ++k) {
    const xy_point& point = xy.gwpts[k];
    const double v = ts_value(now, point.series);
    const double d = v - head[point.cell];
    if (d < 0.0) {
      vol_out -= d * area * storage[point.cell];
    } else {
      vol_in += d * area * storage[point.cell];
    }
    head[point.cell] = v;
  }
}
