// The Sacramento parameter file, opened and read by the grid set-up as a run
// reads it over a 3 x 3 watershed of 10 m cells whose last cell lies
// outside, then a day of hourly intervals of the basin it gives. The first
// byte asks for the topographic index (bit 0) and sets the hours' input and
// demand; the next eight give the cells' elevations, (byte - 128) x 0.25 m;
// the rest is the file.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/error_state.h"
#include "run/model_state.h"
#include "fuzz_support.h"
#include "soil/sacramento.h"

namespace {

constexpr int elevation_bytes = 8;

void check_basin(const sacramento_state& sac) {
  const sac_params& p = sac.params;
  for (double v : {p.uztwm, p.uzfwm, p.uzk, p.zperc, p.rexp, p.lztwm, p.lzfsm, p.lzfpm, p.lzsk,
                   p.lzpk, p.pfree, p.saved, p.uztwc, p.uzfwc, p.lztwc, p.lzfsc, p.lzfpc,
                   p.lz_drain_capacity})
    fuzz::require(std::isfinite(v), "a parameter or content that is not a finite number");
  fuzz::require(p.uztwm > 0.0 && p.uzfwm > 0.0 && p.lztwm > 0.0 && p.lzfsm > 0.0 && p.lzfpm > 0.0,
                "a capacity that holds no water");
  fuzz::require(p.uztwc >= 0.0 && p.uztwc <= p.uztwm && p.uzfwc >= 0.0 && p.uzfwc <= p.uzfwm &&
                    p.lztwc >= 0.0 && p.lztwc <= p.lztwm && p.lzfsc >= 0.0 &&
                    p.lzfsc <= p.lzfsm && p.lzfpc >= 0.0 && p.lzfpc <= p.lzfpm,
                "a content outside 0 and its capacity");
  for (double k : {p.uzk, p.lzsk, p.lzpk})
    fuzz::require(k >= 0.0 && k <= 1.0, "a drainage rate outside 0 and 1");
  fuzz::require(p.saved <= p.lzfpc, "more saved than the primary free water holds");
  fuzz::require(sac.uztwc0 == p.uztwc && sac.lzfpc0 == p.lzfpc, "starting contents not kept");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("sac_params", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 + elevation_bytes) return 0;
  fuzz::reset_process_state();
  const uint8_t flags = data[0];
  fuzz::write_file("basin.sac", std::string_view(reinterpret_cast<const char*>(data) + 1 +
                                                     elevation_bytes,
                                                 size - 1 - elevation_bytes));

  model_state s;
  fuzz::small_grid(s.grid);
  const int n = s.grid.cells;
  s.grid.elevation.assign(std::size_t(n) + 1, 0.0);
  for (int i = 1; i <= n && i <= elevation_bytes; ++i)
    s.grid.elevation[std::size_t(i)] = (data[i] - 128) * 0.25;
  s.input.sacramento = 1;
  s.input.sacramento_file = "basin.sac";
  s.input.topo_index = flags & 1;

  sacramento_state sac;
  open_sac_params_file(s, sac);
  if (error_state.stop_flag) return 0;
  fuzz::require(!fuzz::failure_reported(), "parameters read with an error pending");
  check_basin(sac);
  if (s.input.topo_index) {
    fuzz::require(sac.topo_index.size() == std::size_t(n) + 1, "an index map of the wrong size");
    for (int i = 1; i <= n; ++i)
      fuzz::require(std::isfinite(sac.topo_index[std::size_t(i)]) &&
                        sac.topo_index[std::size_t(i)] >= 0.0,
                    "a topographic index that is negative or not a number");
  }

  // A day of the basin: rain in the first hours, demand through the day.
  const sac_params& p = sac.params;
  const double rain = (flags >> 1) * 0.5;  // mm an hour
  const double pet = (flags >> 4) * 0.01;  // cm an hour
  double infiltrated = 0.0;
  double given = 0.0;
  for (int h = 0; h < 24; ++h) {
    const double mm = h < 6 ? rain : 0.0;
    infiltrated += mm / 1000.0 * n;
    given += mm;
    account_sacramento_interval(sac, h >= 8 && h <= 18 ? pet : 0.0, infiltrated, n, 100.0);
    for (double v : {p.uztwc, p.uzfwc, p.lztwc, p.lzfsc, p.lzfpc, p.base_flow, sac.base_flow_rate})
      fuzz::require(std::isfinite(v), "a store or outflow that is not a finite number");
  }
  const double scale = 1.0 + p.uztwm + p.uzfwm + p.lztwm + p.lzfsm + p.lzfpm + given;
  fuzz::require(std::fabs(p.residual) <= 1e-9 * scale, "the basin's balance does not close");
  return 0;
}
