// Link/node stream files, byte for byte as the reading side expects them.
// A lake or structure link carries no node values of its own: it writes a
// marker (-1 lake, -2 structure) and one value, or the missing group.

#include "output/linknode_file.h"

#include <cstddef>

namespace {

constexpr const char* magic_lines[] = {
    "VALTO_LINKNODE_STREAM_DEPTH",
    "VALTO_LINKNODE_STREAM_FLOW",
    "VALTO_LINKNODE_STREAM_STAGE",
    "VALTO_LINKNODE_STREAM_VELOCITY",
    "VALTO_LINKNODE_FLOOD_STREAM_DEPTH",
    "VALTO_LINKNODE_SUPERLINK_FLOW",
    "VALTO_LINKNODE_SUPERLINK_HEAD",
    "VALTO_LINKNODE_SUPERLINK_TILE_FLOW",
    "VALTO_LINKNODE_NO2_MASS",
    "VALTO_LINKNODE_NO3_MASS",
    "VALTO_LINKNODE_NH4_MASS",
    "VALTO_LINKNODE_ON_MASS",
    "VALTO_LINKNODE_OP_MASS",
    "VALTO_LINKNODE_DP_MASS",
    "VALTO_LINKNODE_ALG_MASS",
    "VALTO_LINKNODE_CBOD_MASS",
    "VALTO_LINKNODE_DO_MASS",
    "VALTO_LINKNODE_NO2_CONC",
    "VALTO_LINKNODE_NO3_CONC",
    "VALTO_LINKNODE_NH4_CONC",
    "VALTO_LINKNODE_ON_CONC",
    "VALTO_LINKNODE_OP_CONC",
    "VALTO_LINKNODE_DP_CONC",
    "VALTO_LINKNODE_ALG_CONC",
    "VALTO_LINKNODE_CBOD_CONC",
    "VALTO_LINKNODE_DO_CONC",
    "VALTO_LINKNODE_MASS",
    "VALTO_LINKNODE_CONCENTRATION",
    "VALTO_LINKNODE_TOTAL_NITROGEN",
    "VALTO_LINKNODE_TOTAL_KJELDAHL_NITROGEN",
    "VALTO_LINKNODE_TOTAL_PHOSPHORUS",
    "VALTO_LINKNODE_STREAM_SED_FLUX",
};
constexpr int magic_count = int(sizeof magic_lines / sizeof magic_lines[0]);

constexpr int lake_bit = 32;
constexpr int structure_bit = 64;
constexpr int node_bits = 4 | 8 | 16;  // trapezoid, break-point, two-stage
// A ratio whose divisor is this small or smaller is written as 0: a dry node
// has no velocity worth the name.
constexpr double smallest_divisor = 1e-7;

// The group a reader skips as no value.
void write_missing(std::FILE* file) { std::fputs("0  -999.999   ", file); }

void write_value(std::FILE* file, double value) { std::fprintf(file, "1  %6.5lf   ", value); }

double node_value(double a, const double* b, std::size_t at, linknode_kind kind) {
  switch (kind) {
    case linknode_kind::plain:
      return a;
    case linknode_kind::difference:
      return a - b[at];
    case linknode_kind::ratio:
      return b[at] > smallest_divisor ? a / b[at] : 0.0;
  }
  return a;
}

void write_lake_group(std::FILE* file, const linknode_layout& layout, int link,
                      linknode_kind kind) {
  const int lake = layout.lake_number ? layout.lake_number[link] : 0;
  if (kind == linknode_kind::plain || layout.lake_value == nullptr || lake < 1 ||
      lake > layout.lake_count) {
    write_missing(file);
    return;
  }
  std::fprintf(file, "-1 %6.5lf   ", layout.lake_value[lake]);
}

void write_node_groups(std::FILE* file, const linknode_layout& layout, int link, const double* a,
                       const double* b, linknode_kind kind) {
  const int nodes = layout.node_count[link];
  const int written = layout.written_count ? layout.written_count[link] : nodes;
  std::fprintf(file, "%d   ", written);
  const std::size_t first = std::size_t(link) * std::size_t(layout.stride);
  for (int j = 1; j <= written; ++j) {
    if (j > nodes) {
      write_missing(file);
      continue;
    }
    const std::size_t at = first + std::size_t(j);
    write_value(file, node_value(a[at], b, at, kind));
  }
}

}  // namespace

void write_linknode_file_header(std::FILE* file, int code, int links, int time_step, int steps,
                                int day, int month, int year, int hour, int minute) {
  if (code >= 0 && code < magic_count) std::fprintf(file, "%s\n", magic_lines[code]);
  std::fprintf(file, "NUM_LINKS     %d\n", links);
  std::fprintf(file, "TIME_STEP     %d\n", time_step);
  std::fprintf(file, "NUM_TS        %d\n", steps);
  std::fprintf(file, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute, 0);
}

void write_linknode_record(std::FILE* file, const linknode_layout& layout, int step,
                           const double* a, const double* b, linknode_kind kind) {
  std::fprintf(file, "TS    %d\n", step);
  for (int i = 1; i <= layout.links; ++i) {
    const int type = layout.ltype[i];
    if (type & lake_bit) write_lake_group(file, layout, i, kind);
    if (type & structure_bit) {
      if (kind == linknode_kind::plain)
        std::fprintf(file, "-2  %6.5lf   ", a[std::size_t(i) * std::size_t(layout.stride) + 1]);
      else
        write_missing(file);
    }
    if (type & node_bits) write_node_groups(file, layout, i, a, b, kind);
    std::fputc('\n', file);
  }
  std::fputc('\n', file);
}
