// The analyzer definition file, read into a run record with a network of
// two links (3 and 2 nodes) and two constituents, then told every moment, as
// a run builds and calls its analyzers. Report files are written in the
// scratch directory; an input naming a path elsewhere is passed over.

#include <cstdint>
#include <string_view>
#include <vector>

#include "calibration/analyzers.h"
#include "calibration/calibration_steps.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "fuzz_support.h"

namespace {

void build_network(model_state& s) {
  channel_state& c = s.channel;
  c.links = 2;
  c.max_nodes = 3;
  c.nx = {0, 3, 2};
  for (auto* v : {&c.bel, &c.yp, &c.qp, &c.area}) v->assign(c.node_slots(), 0.0);
  const double bed[] = {10.0, 9.5, 9.0, 8.5, 8.0}, surface[] = {10.2, 9.5, 9.35, 8.5, 8.75};
  int k = 0;
  for (int l = 1; l <= 2; ++l) {
    for (int j = 1; j <= c.nx[l]; ++j, ++k) {
      c.bel[c.node_address(l, j)] = bed[k];
      c.yp[c.node_address(l, j)] = surface[k];
      c.qp[c.node_address(l, j)] = 0.5 * k;
      c.area[c.node_address(l, j)] = 0.0;
    }
  }
  quality_state& q = s.quality;
  q.constituents = 2;
  const std::vector<double> row(c.node_slots(), 1.0);
  q.chan_node_conc.assign(3, row);
  q.chan_node_mass.assign(2, row);  // one row fewer than the constituents
  s.run.current_time = julian_date(2000, 6, 1, 2, 0, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("analyzer_file", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.find('/') != std::string_view::npos || text.find('\\') != std::string_view::npos)
    return 0;
  const std::string path = fuzz::write_file("analyzers.txt", text);
  fuzz::reset_process_state();
  int lines = 1;
  for (char c : text) lines += c == '\n';
  {
    model_state s;
    build_network(s);
    s.input.super_quiet = 1;
    read_analyzer_file(s, path.c_str());
    fuzz::require(!fuzz::failure_reported(), "an analyzer file that stops the run");
    fuzz::require(s.calib.analyzers.count() <= lines, "more analyzers than lines");
    for (int moment : {8, 2, 1, 1, 4, 16, 32}) {
      s.run.current_time += 600.0 / 86400.0;
      run_analyzers(s, moment);
    }
    fuzz::require(!fuzz::failure_reported(), "an analyzer report that stops the run");
  }
  return 0;
}
