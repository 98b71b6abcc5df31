// The XY boundary input files: overland depth points, groundwater head
// points, stream hydrographs and stream time-series points, each read from
// the input as the project's cards read them; then the checks and lookups a
// run makes of them, against 6 cells and a network of two links.

#include <cstdint>

#include "core/error_state.h"
#include "fuzz_support.h"
#include "input/xy_inputs.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("xy_inputs", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  const std::string path =
      fuzz::write_file("xy.txt", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  time_series_list series;
  xy_input xy;
  switch (data[0] % 4) {
    case 0:
      read_xy_point_input(xy.ovpts, series, "overland", path.c_str(), "XY_OV_DEPTH");
      break;
    case 1:
      read_xy_point_input(xy.gwpts, series, "groundwater", path.c_str(), "XY_GW_HEAD");
      break;
    case 2:
      read_xy_stream_input(xy, series, path.c_str());
      break;
    default:
      read_xy_stream_ts_input(xy, series, path.c_str());
      break;
  }
  if (error_state.stop_flag) return 0;
  constexpr int cells = 6;
  if (!check_xy_cell_numbers(xy, cells)) return 0;
  std::vector<double> depth(cells + 1, 0.0), storage(cells + 1, 0.3);
  double in = 0.0, out = 0.0;
  apply_xy_ov_depths(xy, depth.data(), 10.0, in, out, 2451545.0);
  apply_xy_gw_heads(xy, depth.data(), storage.data(), 10.0, in, out, 2451545.0);

  static const int node_count[3] = {0, 3, 2};
  static const int flags[3] = {0, 4, 8};
  static const double x1[4] = {0, 0, 10, 20}, y1[4] = {0, 0, 0, 0};
  static const double x2[3] = {0, 20, 20}, y2[3] = {0, 0, 10};
  static const double* xs[3] = {nullptr, x1, x2};
  static const double* ys[3] = {nullptr, y1, y2};
  xy_channel_view network{2, node_count, flags, xs, ys};
  error_state = error_record{};
  map_xy_stream_points(xy, network);
  return 0;
}
