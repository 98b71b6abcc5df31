// The network file is read twice: once to count, so every table is sized
// before it is filled, and once to fill. Card numbers index the tables, so
// each is checked against its count before use.

#include "subsurface/read_superlink_input.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/series.h"
#include "subsurface/superlink_grading.h"

namespace {

// Prints the reader's message (a format from this file) and the file and
// line it concerns, and stops the run.
void refuse(const text_source& src, const char* format, ...) __attribute__((format(printf, 2, 3)));
void refuse(const text_source& src, const char* format, ...) {
  char text[512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(text, sizeof text, format, values);
  va_end(values);
  if (src.line_number > 0)
    raise_message("%s  (File: %s, line %d)\n", text, src.path, src.line_number);
  else
    raise_message("%s  (File: %s)\n", text, src.path);
}

// True after a message when value lies outside range; what names the value
// and whose it is ("the area of superjunction 2").
bool out_of_range(const text_source& src, const char* what, double value,
                  const physical_range& range) {
  if (within(range, value)) return false;
  char allowed[64];
  range_words(range, allowed, sizeof allowed);
  refuse(src, "Error: %s is %g, outside its range; it must be %s.\n", what, value, allowed);
  return true;
}

// A line with control bytes is not text: a file of binary junk is refused
// at its first such line, not read as a network without cards.
bool text_line(const text_source& src, const std::string& line) {
  for (const char c : line)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
      refuse(src, "Error: the storm sewer file holds bytes that are not text.\n");
      return false;
    }
  return true;
}

// The first word of a line, and the rest after it.
std::string first_word(const char*& p) {
  while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
  const char* start = p;
  while (*p && *p != ' ' && *p != '\t' && *p != '\r') ++p;
  return std::string(start, p);
}

// Longer pipes are taken for a slip of the pen (and would be graded into
// more pieces than any network needs).
constexpr double longest_pipe = 100000.0;  // m

void rewind_source(text_source& src) {
  std::rewind(src.stream);
  src.line_number = 0;
}

// Sizes of a network file, from its first pass.
struct network_counts {
  int links = 0;      // CONNECT cards
  int junctions = 0;  // SJUNC cards
  int pipes = 0;      // largest SLINK pipe count
};

// Returns 0, or a reader result after a message.
int count_cards(text_source& src, network_counts& n) {
  std::string line;
  while (read_source_line(src, line)) {
    if (!text_line(src, line)) return -1;
    const char* p = line.c_str();
    const std::string word = first_word(p);
    if (word == "CONNECT") {
      ++n.links;
    } else if (word == "SJUNC") {
      ++n.junctions;
    } else if (word == "SLINK") {
      int k = 0, pipes = 0;
      if (!take_int_field(p, k) || !take_int_field(p, pipes) || pipes < 1) {
        refuse(src, "Error: a SLINK card needs a superlink number and a pipe count of 1 or more.\n");
        return -1;
      }
      if (pipes > n.pipes) n.pipes = pipes;
    }
    if (n.links > superlink_read_limit || n.junctions > superlink_read_limit ||
        n.pipes > superlink_read_limit) {
      raise_message("MAX dimension of superlink arrays too big.  Problem with read routine.\n");
      return 9;
    }
  }
  return 0;
}

void size_network(superlink_network& net, const network_counts& n) {
  net.n_slink = n.links;
  net.n_sjunc = n.junctions;
  net.max_pipes = n.pipes;
  const int big = std::max(n.links, std::max(n.junctions, n.pipes));
  net.dim = big + 2;
  const std::size_t d1 = std::size_t(net.dim) + 1;
  for (auto* v : {&net.us_sjunc, &net.ds_sjunc, &net.nnodes, &net.superlink_cnodes}) v->assign(d1, 0);
  for (auto* v : {&net.us_Zinv, &net.ds_Zinv}) v->assign(d1, 0.0);
  for (auto* v : {&net.bound, &net.superjunct_i, &net.superjunct_j}) v->assign(d1, 0);
  for (auto* v : {&net.As_sjunc, &net.grate_sidelength_sjunc, &net.grate_dia_sjunc,
                  &net.ground_elev, &net.junc_bottom, &net.sjunc_head, &net.Q_junc})
    v->assign(d1, 0.0);
  // Node and pipe tables: rows for the nodes of the longest superlink,
  // columns for the superlinks (and, in row 0 of inlet_type, the
  // superjunctions).
  const int d = n.pipes + 2;
  const int links = std::max(n.links, n.junctions) + 1;
  for (auto* t : {&net.sec_type, &net.inlet_type, &net.superlink_node_i, &net.superlink_node_j,
                  &net.otc_node, &net.otc_pipe, &net.pipe_input})
    t->size(d, links);
  for (auto* t : {&net.As, &net.grate_sidelength_node, &net.grate_dia_node, &net.slink_node_Zinv,
                  &net.slink_node_depth, &net.M_n, &net.S0, &net.diameter, &net.width,
                  &net.node_ground_elev, &net.superlink_pipe_conductivity, &net.drain_spacing,
                  &net.dxc, &net.Q_node, &net.dx})
    t->size(d, links);
}

// The fields of a SJUNC or NODE card after its number.
struct point_card {
  double ground = 0.0, bottom = 0.0, area = 0.0;
  int type = 0, i = 0, j = 0;
  double side = 0.0, dia = 0.0;
};

bool take_point(const char*& p, point_card& c) {
  return take_real_field(p, c.ground) && take_real_field(p, c.bottom) &&
         take_real_field(p, c.area) && take_int_field(p, c.type) && take_int_field(p, c.i) &&
         take_int_field(p, c.j) && take_real_field(p, c.side) && take_real_field(p, c.dia);
}

bool valid_type(int type) {
  return type >= 0 && (type <= inlet::max_grates || type >= 10);
}

// A storage area and the grates of a junction or node: sizes, 0 or more.
bool point_sizes_in_range(const text_source& src, const point_card& c, const char* whose) {
  char what[96];
  std::snprintf(what, sizeof what, "the surface area of %s", whose);
  if (out_of_range(src, what, c.area, ranges::non_negative)) return false;
  std::snprintf(what, sizeof what, "the grate side length of %s", whose);
  if (out_of_range(src, what, c.side, ranges::non_negative)) return false;
  std::snprintf(what, sizeof what, "the grate diameter of %s", whose);
  return !out_of_range(src, what, c.dia, ranges::non_negative);
}

// Manning n of a pipe beyond this is legal but far outside experience
// (a rough culvert is near 0.03).
constexpr double usual_pipe_roughness = 1.0;

// What the second pass has seen, by the line of each card (0: not seen),
// for the duplicate and the closing completeness checks.
struct seen_cards {
  std::vector<int> junction, connect, slink;
  slink_table<int> node, pipe;
  bool rough_warned = false;
};

// False after a message when a card number was given before.
bool first_card(const text_source& src, int& seen_line, const char* what) {
  if (seen_line != 0) {
    refuse(src, "Error: %s is given a second time; its first card is on line %d.\n", what,
           seen_line);
    return false;
  }
  seen_line = src.line_number;
  return true;
}

// One NODE or PIPE card of superlink k; false after a message.
bool read_node(text_source& src, const char* p, int k, superlink_network& net, seen_cards& seen) {
  int i = 0;
  point_card c;
  if (!take_int_field(p, i) || !take_point(p, c)) {
    refuse(src, "Error: a NODE card needs a number, ground, invert, area, inlet type, row, "
                "column, grate side and grate diameter.\n");
    return false;
  }
  if (i < 1 || i > net.nnodes[std::size_t(k)] + 1) {
    refuse(src, "Error: node %d is outside 1..%d of superlink %d.\n", i,
           net.nnodes[std::size_t(k)] + 1, k);
    return false;
  }
  if (!valid_type(c.type)) {
    refuse(src, "Error: inlet type %d of node %d of superlink %d is not valid.\n", c.type, i, k);
    return false;
  }
  char whose[64];
  std::snprintf(whose, sizeof whose, "node %d of superlink %d", i, k);
  if (!point_sizes_in_range(src, c, whose) || !first_card(src, seen.node(i, k), whose))
    return false;
  net.node_ground_elev(i, k) = c.ground;
  net.slink_node_Zinv(i, k) = c.bottom;
  net.As(i, k) = c.area;
  net.inlet_type(i, k) = c.type;
  net.superlink_node_i(i, k) = c.i;
  net.superlink_node_j(i, k) = c.j;
  net.grate_sidelength_node(i, k) = c.side;
  net.grate_dia_node(i, k) = c.dia;
  if (c.ground < c.bottom) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "WARNING: ground elevation less than node bottom. superlink %d, node %d\n", k, i);
    print_message(summary_file, text);
  }
  if (c.ground - c.bottom < 2.0) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Warning: ground elevation less than 2.0m above node bottom. superlink %d, node %d\n",
                  k, i);
    print_message(summary_file, text);
  }
  return true;
}

// Returns the pipe number, or 0 after a message.
int read_pipe(text_source& src, const char* p, int k, superlink_network& net, seen_cards& seen) {
  int i = 0, type = 0;
  double dia = 0.0, w = 0.0, slope = 0.0, n = 0.0, len = 0.0, cond = 0.0, spacing = 0.0;
  if (!take_int_field(p, i) || !take_int_field(p, type) || !take_real_field(p, dia) ||
      !take_real_field(p, w) || !take_real_field(p, slope) || !take_real_field(p, n) ||
      !take_real_field(p, len) || !take_real_field(p, cond) || !take_real_field(p, spacing)) {
    refuse(src, "Error: a PIPE card needs a number, section type, diameter, width, slope, "
                "roughness, length, conductivity and drain spacing.\n");
    return 0;
  }
  if (i < 1 || i > net.nnodes[std::size_t(k)]) {
    refuse(src, "Error: pipe %d is outside 1..%d of superlink %d.\n", i,
           net.nnodes[std::size_t(k)], k);
    return 0;
  }
  if (type < 1 || type > 3) {
    refuse(src, "Error: pipe cross-section type not valid: node %d link %d.\n", i, k);
    return 0;
  }
  if (n < 1e-8) {
    refuse(src, "Error: pipe roughness value not valid: node %d link %d.\n", i, k);
    return 0;
  }
  if (cond > 1e-8 && spacing < 1e-8) {
    refuse(src,
           "Error: drain spacing cannot be zero if pipe conductivity greater than zero: node %d "
           "link %d.\n",
           i, k);
    return 0;
  }
  if (slope < 0.0) {
    char text[120];
    std::snprintf(text, sizeof text, "Warning: pipe slope is negative: node %d link %d\n", i, k);
    print_message(summary_file, text);
  }
  if (len < 1e-8) {
    refuse(src, "Error: pipe length is zero or negative: node %d link %d.\n", i, k);
    return 0;
  }
  if (len > longest_pipe) {
    refuse(src, "Error: pipe length above %.0f m: node %d link %d.\n", longest_pipe, i, k);
    return 0;
  }
  if ((type != pipe_section::rectangular && dia <= 0.0) ||
      (type != pipe_section::circular && w <= 0.0)) {
    refuse(src, "Error: pipe %d of superlink %d needs a positive size.\n", i, k);
    return 0;
  }
  char what[96];
  std::snprintf(what, sizeof what, "the conductivity of pipe %d of superlink %d", i, k);
  if (out_of_range(src, what, cond, ranges::non_negative)) return 0;
  std::snprintf(what, sizeof what, "the drain spacing of pipe %d of superlink %d", i, k);
  if (out_of_range(src, what, spacing, ranges::non_negative)) return 0;
  std::snprintf(what, sizeof what, "pipe %d of superlink %d", i, k);
  if (!first_card(src, seen.pipe(i, k), what)) return 0;
  if (n > usual_pipe_roughness && !seen.rough_warned) {
    seen.rough_warned = true;
    char text[200];
    std::snprintf(text, sizeof text,
                  "Warning: the roughness %g of pipe %d of superlink %d is above %g, beyond any "
                  "pipe's Manning n.  (File: %s, line %d)\n",
                  n, i, k, usual_pipe_roughness, src.path, src.line_number);
    print_message(summary_file, text);
  }
  net.sec_type(i, k) = type;
  net.diameter(i, k) = dia;
  net.width(i, k) = w;
  net.S0(i, k) = slope;
  net.M_n(i, k) = n;
  net.dx(i, k) = len;
  net.superlink_pipe_conductivity(i, k) = cond;
  net.drain_spacing(i, k) = spacing;
  if (cond > 0.0) net.superlink_leaky = 1;
  return i;
}

// The second pass; 0 or -1.
int read_cards(text_source& src, superlink_network& net, seen_cards& seen) {
  std::string line;
  bool pending = false;  // line holds a card that ended a SLINK block
  while (pending || read_source_line(src, line)) {
    pending = false;
    if (!text_line(src, line)) return -1;
    const char* p = line.c_str();
    const std::string word = first_word(p);
    if (word == "CONNECT") {
      int k = 0, us = 0, ds = 0;
      if (!take_int_field(p, k) || !take_int_field(p, us) || !take_int_field(p, ds)) {
        refuse(src, "Error: a CONNECT card needs a superlink and two superjunction numbers.\n");
        return -1;
      }
      if (k < 1 || k > net.n_slink) {
        refuse(src, "Error: superlink %d is outside 1..%d.\n", k, net.n_slink);
        return -1;
      }
      if (us < 1 || us > net.n_sjunc || ds < 1 || ds > net.n_sjunc || us == ds) {
        refuse(src, "Error: superlink %d joins superjunctions %d and %d; they must be two of 1..%d.\n",
               k, us, ds, net.n_sjunc);
        return -1;
      }
      char what[48];
      std::snprintf(what, sizeof what, "the CONNECT card of superlink %d", k);
      if (!first_card(src, seen.connect[std::size_t(k)], what)) return -1;
      net.us_sjunc[std::size_t(k)] = us;
      net.ds_sjunc[std::size_t(k)] = ds;
    } else if (word == "SJUNC") {
      int j = 0;
      point_card c;
      if (!take_int_field(p, j) || !take_point(p, c)) {
        refuse(src, "Error: a SJUNC card needs a number, ground, bottom, area, inlet type, row, "
                    "column, grate side and grate diameter.\n");
        return -1;
      }
      if (j < 1 || j > net.n_sjunc) {
        refuse(src, "Error: superjunction %d is outside 1..%d.\n", j, net.n_sjunc);
        return -1;
      }
      if (!valid_type(c.type)) {
        refuse(src, "Error: inlet type %d of superjunction %d is not valid.\n", c.type, j);
        return -1;
      }
      const std::size_t u = std::size_t(j);
      char whose[48];
      std::snprintf(whose, sizeof whose, "superjunction %d", j);
      if (!point_sizes_in_range(src, c, whose) || !first_card(src, seen.junction[u], whose))
        return -1;
      net.ground_elev[u] = c.ground;
      net.junc_bottom[u] = c.bottom;
      net.As_sjunc[u] = c.area;
      net.inlet_type(0, j) = c.type;
      net.superjunct_i[u] = c.i;
      net.superjunct_j[u] = c.j;
      net.grate_sidelength_sjunc[u] = c.side;
      net.grate_dia_sjunc[u] = c.dia;
      net.bound[u] = c.type >= inlet::bound_from ? 1 : 0;
      if (c.ground < c.bottom) {
        char text[120];
        std::snprintf(text, sizeof text,
                      "WARNING: ground elevation less than node bottom. superjunction %d\n", j);
        print_message(summary_file, text);
      }
      if (c.ground - c.bottom < 2.0) {
        char text[120];
        std::snprintf(text, sizeof text,
                      "Warning: ground elevation less than 2.0m above node bottom. superjunction %d\n",
                      j);
        print_message(summary_file, text);
      }
    } else if (word == "SLINK") {
      int k = 0, pipes = 0;
      take_int_field(p, k);
      take_int_field(p, pipes);
      if (k < 1 || k > net.n_slink) {
        refuse(src, "Error: superlink %d is outside 1..%d.\n", k, net.n_slink);
        return -1;
      }
      char what[48];
      std::snprintf(what, sizeof what, "the SLINK card of superlink %d", k);
      if (!first_card(src, seen.slink[std::size_t(k)], what)) return -1;
      net.nnodes[std::size_t(k)] = pipes;
      // Its NODE and PIPE cards, up to the PIPE card of its last pipe.
      while (read_source_line(src, line)) {
        if (!text_line(src, line)) return -1;
        const char* q = line.c_str();
        const std::string w = first_word(q);
        if (w == "NODE") {
          if (!read_node(src, q, k, net, seen)) return -1;
        } else if (w == "PIPE") {
          const int i = read_pipe(src, q, k, net, seen);
          if (i == 0) return -1;
          if (i == pipes) break;
        } else {
          // A card ends the block and is read as such; other lines are passed over.
          pending = (w == "CONNECT" || w == "SJUNC" || w == "SLINK");
          break;
        }
      }
    }
  }
  return 0;
}

// Every superjunction and superlink defined, every superlink complete.
bool check_complete(text_source& src, const superlink_network& net, const seen_cards& seen) {
  // An empty file would otherwise pass as a network of nothing.
  if (net.n_sjunc < 2 || net.n_slink < 1) {
    refuse(src,
           "Error: the storm sewer file gives %d SJUNC and %d CONNECT cards; a network needs at "
           "least two superjunctions and one superlink.\n",
           net.n_sjunc, net.n_slink);
    return false;
  }
  for (int j = 1; j <= net.n_sjunc; ++j)
    if (!seen.junction[std::size_t(j)]) {
      refuse(src, "Error: superjunction %d has no SJUNC card.\n", j);
      return false;
    }
  for (int k = 1; k <= net.n_slink; ++k) {
    if (!seen.connect[std::size_t(k)] || !seen.slink[std::size_t(k)]) {
      refuse(src, "Error: superlink %d needs both its CONNECT and its SLINK card.\n", k);
      return false;
    }
    const int n = net.nnodes[std::size_t(k)];
    for (int i = 1; i <= n + 1; ++i) {
      if (!seen.node(i, k)) {
        refuse(src, "Error: superlink %d has no NODE card %d.\n", k, i);
        return false;
      }
      if (i <= n && !seen.pipe(i, k)) {
        refuse(src, "Error: superlink %d has no PIPE card %d.\n", k, i);
        return false;
      }
    }
  }
  return true;
}

// Lays the superlinks out in computational pipes (graded, or one per input
// pipe) and records where the input nodes and pipes went.
void lay_out_pipes(superlink_network& net, int c_opt) {
  const int links = net.n_slink;
  if (!c_opt) {
    for (int k = 1; k <= links; ++k) {
      const int n = net.nnodes[std::size_t(k)];
      net.superlink_cnodes[std::size_t(k)] = n;
      for (int i = 1; i <= n + 1; ++i) net.otc_node(i, k) = i;
      for (int i = 1; i <= n; ++i) {
        net.otc_pipe(i, k) = i;
        net.pipe_input(i, k) = i;
        net.dxc(i, k) = net.dx(i, k);
      }
    }
    return;
  }
  std::vector<std::vector<double>> pieces(std::size_t(links) + 1);
  std::vector<std::vector<int>> owner(std::size_t(links) + 1);
  int most = 0;
  for (int k = 1; k <= links; ++k) {
    std::vector<double> lengths;
    for (int i = 1; i <= net.nnodes[std::size_t(k)]; ++i) lengths.push_back(net.dx(i, k));
    grade_superlink(lengths, pieces[std::size_t(k)], owner[std::size_t(k)]);
    most = std::max(most, int(pieces[std::size_t(k)].size()));
  }
  // The input tables stay as read; the computational ones are laid anew.
  const superlink_network in = net;
  net.dim += 2;
  const int rows = most + 2;
  const int cols = net.sec_type.cols;
  for (auto* t : {&net.sec_type, &net.superlink_node_i, &net.superlink_node_j, &net.pipe_input})
    t->size(rows, cols);
  for (auto* t : {&net.As, &net.grate_sidelength_node, &net.grate_dia_node, &net.slink_node_Zinv,
                  &net.slink_node_depth, &net.M_n, &net.S0, &net.diameter, &net.width,
                  &net.node_ground_elev, &net.superlink_pipe_conductivity, &net.drain_spacing,
                  &net.dxc, &net.Q_node})
    t->size(rows, cols);
  net.inlet_type.size(rows, cols);
  for (int j = 1; j <= net.n_sjunc; ++j) net.inlet_type(0, j) = in.inlet_type(0, j);
  for (int k = 1; k <= links; ++k) {
    const std::vector<double>& len = pieces[std::size_t(k)];
    const std::vector<int>& own = owner[std::size_t(k)];
    const int n = int(len.size());
    net.superlink_cnodes[std::size_t(k)] = n;
    auto copy_node = [&](int to, int from) {
      net.As(to, k) = in.As(from, k);
      net.inlet_type(to, k) = in.inlet_type(from, k);
      net.superlink_node_i(to, k) = in.superlink_node_i(from, k);
      net.superlink_node_j(to, k) = in.superlink_node_j(from, k);
      net.grate_sidelength_node(to, k) = in.grate_sidelength_node(from, k);
      net.grate_dia_node(to, k) = in.grate_dia_node(from, k);
      net.node_ground_elev(to, k) = in.node_ground_elev(from, k);
      net.slink_node_Zinv(to, k) = in.slink_node_Zinv(from, k);
    };
    copy_node(1, 1);
    net.otc_node(1, k) = 1;
    double along = 0.0;  // from the upstream node of the current input pipe, m
    for (int c = 1; c <= n; ++c) {
      const int p = own[std::size_t(c - 1)] + 1;  // input pipe
      if (c == 1 || own[std::size_t(c - 2)] + 1 != p) {
        along = 0.0;
        net.otc_pipe(p, k) = c;
      }
      net.pipe_input(c, k) = p;
      net.sec_type(c, k) = in.sec_type(p, k);
      net.diameter(c, k) = in.diameter(p, k);
      net.width(c, k) = in.width(p, k);
      net.S0(c, k) = in.S0(p, k);
      net.M_n(c, k) = in.M_n(p, k);
      net.superlink_pipe_conductivity(c, k) = in.superlink_pipe_conductivity(p, k);
      net.drain_spacing(c, k) = in.drain_spacing(p, k);
      net.dxc(c, k) = len[std::size_t(c - 1)];
      along += len[std::size_t(c - 1)];
      const double l = in.dx(p, k);
      if (c == n || own[std::size_t(c)] + 1 != p || std::fabs(along - l) <= 1e-8) {
        copy_node(c + 1, p + 1);  // the computational node on input node p + 1
        net.otc_node(p + 1, k) = c + 1;
      } else {
        const double share = along / l;
        net.node_ground_elev(c + 1, k) =
            in.node_ground_elev(p, k) - (in.node_ground_elev(p, k) - in.node_ground_elev(p + 1, k)) * share;
        net.slink_node_Zinv(c + 1, k) =
            in.slink_node_Zinv(p, k) - (in.slink_node_Zinv(p, k) - in.slink_node_Zinv(p + 1, k)) * share;
      }
    }
  }
}

// The grid-pipe file's words.
enum gridpipe_word { gp_pipecells = 0, gp_cellij = 1, gp_numpipes = 2, gp_spipe = 3, gp_other = 4 };

int gridpipe_keyword(const char*& p) {
  const std::string w = first_word(p);
  const char* s = w.c_str();
  if (!strcasecmp(s, "pipecells")) return gp_pipecells;
  if (!strcasecmp(s, "cellij")) return gp_cellij;
  if (!strcasecmp(s, "numpipes")) return gp_numpipes;
  if (!strcasecmp(s, "spipe")) return gp_spipe;
  return gp_other;
}

// A cell holds as many SPIPE cards as its NUMPIPES says.
bool cell_complete(const text_source& src, int cell, int entry, const std::vector<int>& count) {
  if (cell == 0 || entry == count[std::size_t(cell)]) return true;
  refuse(src, "Error: cell %d has %d SPIPE cards for its NUMPIPES %d.\n", cell, entry,
         count[std::size_t(cell)]);
  return false;
}

int read_grid_pipe_file(safe_file& file, const block_2d<int>& mask, int rows, int cols,
                        superlink_network& net) {
  text_source src;
  src.stream = file.stream;
  src.path = file.path;
  std::string line;
  const char* p = nullptr;
  bool headed = read_source_line(src, line) != 0;
  if (headed) {
    p = line.c_str();
    headed = strcasecmp(first_word(p).c_str(), "GRIDPIPEFILE") == 0;
  }
  if (!headed) {
    refuse(src, "The gridpipe file format is invalid\n");
    return -9;
  }
  int cells = 0;
  bool second = read_source_line(src, line) != 0;
  if (second) {
    p = line.c_str();
    second = gridpipe_keyword(p) == gp_pipecells && take_int_field(p, cells);
  }
  if (!second) {
    print_message(summary_file, "The second card in the grid-pipe file must be PIPECELLS\n");
    refuse(src, "File format error, program terminating.\n");
    return -9;
  }
  if (cells < 1) {
    print_message(summary_file, "The number of PIPECELLS in the gridpipe (.gpi) file\n");
    refuse(src, "must be greater than 0.  File format error, program terminating\n");
    return -9;
  }
  if (cells > rows * cols) {
    refuse(src, "Error: PIPECELLS %d is more than the grid's %d cells.\n", cells, rows * cols);
    return -9;
  }
  int pipes = 0;  // input pipes of the network: the most that can drain one cell
  for (int k = 1; k <= net.n_slink; ++k) pipes += net.nnodes[std::size_t(k)];
  // First scan: the pipe count of each cell, in order.
  std::vector<int> count(1, 0);
  int most = 0;
  while (read_source_line(src, line)) {
    p = line.c_str();
    if (gridpipe_keyword(p) != gp_numpipes) continue;
    int k = 0;
    if (!take_int_field(p, k) || k < 0 || k > pipes) {
      refuse(src, "Error: NUMPIPES needs a count of 0 to the network's %d pipes.\n", pipes);
      return -9;
    }
    if (int(count.size()) > cells) {
      refuse(src, "Error: more NUMPIPES cards than the %d PIPECELLS.\n", cells);
      return -9;
    }
    count.push_back(k);
    most = std::max(most, k);
  }
  count.resize(std::size_t(cells) + 1, 0);
  net.gpi_cells = cells;
  net.gpi_max_pipes = most;
  net.gpi_ncellsingrid = count;
  for (auto* t : {&net.gpi_link, &net.gpi_node, &net.gpi_gnum}) t->size(cells, std::max(most, 1));
  net.gpi_pct.size(cells, std::max(most, 1));
  // Second scan: each cell and its pipes.
  rewind_source(src);
  int cell = 0, entry = 0;
  while (read_source_line(src, line)) {
    p = line.c_str();
    const int word = gridpipe_keyword(p);
    if (word == gp_cellij) {
      if (!cell_complete(src, cell, entry, count)) return -9;
      int i = 0, j = 0;
      if (!take_int_field(p, i) || !take_int_field(p, j)) {
        refuse(src, "Error: CELLIJ needs a row and a column.\n");
        return -9;
      }
      if (++cell > cells) {
        refuse(src, "Error: more CELLIJ cards than the %d PIPECELLS.\n", cells);
        return -9;
      }
      if (i < 1 || i > rows || j < 1 || j > cols || mask[i][j] == 0) {
        refuse(src, "Error: CELLIJ %d %d is not a cell of the watershed.\n", i, j);
        return -9;
      }
      entry = 0;
      for (int e = 1; e <= count[std::size_t(cell)]; ++e) net.gpi_gnum(cell, e) = mask[i][j];
    } else if (word == gp_spipe) {
      int link = 0, node = 0;
      double pct = 0.0;
      if (!take_int_field(p, link) || !take_int_field(p, node) || !take_real_field(p, pct)) {
        refuse(src, "Error: SPIPE needs a superlink, a pipe and a share.\n");
        return -9;
      }
      if (cell == 0) {
        refuse(src, "Error: SPIPE before the first CELLIJ.\n");
        return -9;
      }
      if (++entry > count[std::size_t(cell)]) {
        refuse(src, "Error: more SPIPE cards than the NUMPIPES %d of cell %d.\n",
               count[std::size_t(cell)], cell);
        return -9;
      }
      if (link < 1 || link > net.n_slink || node < 1 || node > net.nnodes[std::size_t(link)]) {
        refuse(src, "Error: SPIPE names pipe %d of superlink %d, which the network lacks.\n", node,
               link);
        return -9;
      }
      net.gpi_link(cell, entry) = link;
      net.gpi_node(cell, entry) = node;
      net.gpi_pct(cell, entry) = pct;
    }
  }
  if (!cell_complete(src, cell, entry, count)) return -9;
  if (cell < cells) {
    refuse(src, "Error: the file lists %d of its %d PIPECELLS.\n", cell, cells);
    return -9;
  }
  msg_printf("Finished reading gridpipe file.\n");
  return 0;
}

}  // namespace

int read_superlink_input(safe_file& network, safe_file* grid_pipe, int c_opt,
                         const block_2d<int>& mask, int rows, int cols, superlink_network& net) {
  net = superlink_network{};
  text_source src;
  src.stream = network.stream;
  src.path = network.path;
  network_counts n;
  const int counted = count_cards(src, n);
  if (counted != 0) return counted;
  size_network(net, n);
  seen_cards seen;
  seen.junction.assign(std::size_t(net.dim) + 1, 0);
  seen.connect.assign(std::size_t(net.dim) + 1, 0);
  seen.slink.assign(std::size_t(net.dim) + 1, 0);
  seen.node.size(net.dxc.rows, net.dxc.cols);
  seen.pipe.size(net.dxc.rows, net.dxc.cols);
  rewind_source(src);
  if (read_cards(src, net, seen) != 0) return -1;
  if (!check_complete(src, net, seen)) return -1;
  lay_out_pipes(net, c_opt);
  if (!net.superlink_leaky) return 0;
  if (!grid_pipe || !grid_pipe->is_open()) {
    print_message(summary_file,
                  "\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe "
                  "input file in your project file");
    raise_error(err_open_file, 0, 0, "tile drain grid pipe",
                grid_pipe ? grid_pipe->path : "");
    return -1;
  }
  return read_grid_pipe_file(*grid_pipe, mask, rows, cols, net);
}
