// A link/node series owned by the record that computes it. Its header does
// not carry the run's timing: the reading side takes the times from the
// records, so TIME_STEP, NUM_TS and START_TIME are fixed values.

#include "output/linknode_writer.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "channel/channel_state.h"

#include "core/error_state.h"
#include "input/read_grid_inputs.h"

namespace {

constexpr int fixed_time_step = 15;  // minutes, as the reading side expects
constexpr int fixed_steps = 15;

constexpr int structure_bit = 64;
constexpr int node_bits = 4 | 8 | 16;  // trapezoid, break-point, two-stage

}  // namespace

linknode_writer::~linknode_writer() { file_.close(); }

void linknode_writer::setup(int code, const linknode_network& network) {
  code_ = code;
  network_ = network;
  // A written column past the largest point count still needs its slot.
  int widest = network.stride;
  for (int i = 1; i <= network.links; ++i) widest = std::max(widest, network.og_nx1[i]);
  out_stride_ = widest + 1;
  allocate_zeroed(out_, std::size_t(network.links + 1) * std::size_t(out_stride_),
                  "linknode_writer");
}

void linknode_writer::setup_2d(int code, const double* const* table,
                               const linknode_network& network) {
  setup(code, network);
  table_ = table;
  flat_ = nullptr;
  mode_ = 2;
}

void linknode_writer::setup_1d(int code, const double* flat, const linknode_network& network) {
  setup(code, network);
  flat_ = flat;
  table_ = nullptr;
  mode_ = 1;
}

void linknode_writer::open(const char* part1, const char* part2, const char* part3,
                           double scale) {
  scale_ = scale;
  const std::string name = std::string(part1) + part2 + part3;
  if (!file_.open(name.c_str(), "w")) {
    const std::string line = "Error: unable to open file " + name + "\n";
    print_message(summary_file, line.c_str());
    return;
  }
  write_linknode_file_header(file_.stream, code_, network_.links, fixed_time_step, fixed_steps, 0,
                             0, 0, 0, 0);
}

void linknode_writer::write_end() {
  if (file_.is_open()) std::fputs("ENDDS\n", file_.stream);
}

void linknode_writer::write_step() {
  if (!out_.empty()) {
    const linknode_network& n = network_;
    for (int i = 1; i <= n.links; ++i) {
      const int type = n.ltype[i];
      if (type & node_bits) {
        for (int j = 1; j <= n.og_nx1[i]; ++j) {
          double value = 0.0;
          if (j < n.nx1[i]) {
            value = mode_ == 1 ? flat_[std::size_t(j) + std::size_t(i) * std::size_t(n.stride)] /
                                     scale_
                               : table_[j][i] * scale_;
          }
          out(i, j) = value;
        }
      } else if (type & structure_bit) {
        out(i, 1) = 0.0;
      }
    }
  }

  if (file_.is_open() && !out_.empty()) {
    linknode_layout layout;
    layout.links = network_.links;
    layout.node_count = network_.nx1;
    layout.written_count = network_.og_nx1;
    layout.ltype = network_.ltype;
    layout.stride = out_stride_;
    layout.lake_number = network_.lake_number;
    layout.lake_value = network_.lake_value;
    layout.lake_count = network_.lake_count;
    write_linknode_record(file_.stream, layout, step_, out_.data(), nullptr, linknode_kind::plain);
  } else {
    std::fputs("Error writing to link/node file...\n", stdout);
  }
  ++step_;
}

linknode_network channel_linknode_network(const channel_state& chan) {
  linknode_network network;
  network.links = chan.links;
  network.nx1 = chan.nx1.data();
  network.og_nx1 = chan.og_nx1.data();
  network.ltype = chan.ltype.data();
  network.stride = chan.stride();
  network.lake_number = chan.lake2link.empty() ? nullptr : chan.lake2link.data();
  network.lake_value = chan.lake_elev.empty() ? nullptr : chan.lake_elev.data();
  network.lake_count = chan.channel_lakes ? chan.lake_count : 0;
  return network;
}
