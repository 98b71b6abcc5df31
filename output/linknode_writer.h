#pragma once
// One link/node output series in one file, for the quantities whose number is
// known only at run time (nutrient constituents and totals, contaminants):
// the owner sets it up on its source array, opens it, and steps it at every
// output time. The source stays the owner's; the writer keeps its own table
// of the values it writes.

#include <vector>

#include "core/safe_file.h"
#include "output/linknode_file.h"

// The network a writer walks, as the channel network holds it. The arrays are
// the network's, 1-based per link, and must outlive the writer's steps.
struct linknode_network {
  int links = 0;
  const int* nx1 = nullptr;     // points per link
  const int* og_nx1 = nullptr;  // node columns written per link
  const int* ltype = nullptr;   // link type bits
  int stride = 0;               // node stride of flat sources: largest node count + 1
  const int* lake_number = nullptr;    // channel lake of a lake link
  const double* lake_value = nullptr;  // per lake; lake links are written as missing all the same
  int lake_count = 0;
};

struct channel_state;
// The channel network's arrays as a writer walks them, lakes included.
linknode_network channel_linknode_network(const channel_state& chan);

class linknode_writer {
 public:
  linknode_writer() = default;
  ~linknode_writer();
  linknode_writer(const linknode_writer&) = delete;
  linknode_writer& operator=(const linknode_writer&) = delete;

  // Table source: node j of link i is table[j][i].
  void setup_2d(int code, const double* const* table, const linknode_network& network);
  // Flat source: node j of link i is flat[j + i x stride].
  void setup_1d(int code, const double* flat, const linknode_network& network);

  // Opens "part1part2part3" for writing and writes the header. The writer's
  // scale divides flat sources and multiplies table sources. A file that
  // does not open is reported and the run goes on without it.
  void open(const char* part1, const char* part2, const char* part3, double scale);

  // One record from the source's present values; counts the step whether or
  // not the file is open.
  void write_step();
  // The closing line "ENDDS" of an open file.
  void write_end();

  int steps() const { return step_; }
  bool is_open() const { return file_.is_open(); }
  const char* path() const { return file_.path; }

 private:
  void setup(int code, const linknode_network& network);
  double& out(int link, int node) {
    return out_[std::size_t(link) * std::size_t(out_stride_) + std::size_t(node)];
  }

  int step_ = 0;   // number after "TS" in the next record
  int mode_ = -1;  // -1 unset, 1 flat source, 2 table source
  const double* flat_ = nullptr;
  const double* const* table_ = nullptr;
  safe_file file_;
  int code_ = 0;
  linknode_network network_;
  double scale_ = 0.0;
  int out_stride_ = 0;        // node stride of out_, past the largest written column
  std::vector<double> out_;   // the values of the record, node j of link i at i x out_stride_ + j
};
