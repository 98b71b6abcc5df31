#include "run/progress.h"

#include <cstdio>

#include "run/model_state.h"

namespace {

// STREAM_INFO: the shallowest and deepest node and the smallest and largest
// discharge over every node of every link.
void print_stream_info(const channel_state& chan) {
  double max_y = -5000.0, min_y = 5000.0, max_q = -5000.0, min_q = 5000.0;
  int max_y_node = -1, max_y_link = -1, min_y_node = -1, min_y_link = -1;
  int max_q_node = -1, max_q_link = -1, min_q_node = -1, min_q_link = -1;
  const int links = chan.links < static_cast<int>(chan.nx.size()) ? chan.links
                                                                   : static_cast<int>(chan.nx.size()) - 1;
  for (int link = 1; link <= links; ++link) {
    for (int node = 1; node <= chan.nx[link]; ++node) {
      const int a = chan.node_address(link, node);
      if (a >= static_cast<int>(chan.qp.size()) || a >= static_cast<int>(chan.yp.size()) ||
          a >= static_cast<int>(chan.bel.size())) {
        continue;
      }
      const double depth = chan.yp[a] - chan.bel[a];
      const double q = chan.qp[a];
      if (depth > max_y) max_y = depth, max_y_node = node, max_y_link = link;
      if (depth < min_y) min_y = depth, min_y_node = node, min_y_link = link;
      if (q > max_q) max_q = q, max_q_node = node, max_q_link = link;
      if (q < min_q) min_q = q, min_q_node = node, min_q_link = link;
    }
  }
  std::printf("    ==> Max Yp (N %d, L %d) = %lf\n", max_y_node, max_y_link, max_y);
  std::printf("    ==> Min Yp (N %d, L %d) = %lf\n", min_y_node, min_y_link, min_y);
  std::printf("    ==> Max Qp (N %d, L %d) = %lf\n", max_q_node, max_q_link, max_q);
  std::printf("    ==> Min Qp (N %d, L %d) = %lf\n", min_q_node, min_q_link, min_q);
}

}  // namespace

void track_peak_outflow(model_state& state) {
  run_control& run = state.run;
  if (run.q_out > run.q_peak) {
    run.q_peak = run.q_out;
    run.peak_date[0] = run.year;
    run.peak_date[1] = run.month;
    run.peak_date[2] = run.day;
    run.peak_date[3] = run.hour;
    run.peak_date[4] = run.minute;
    run.peak_date[5] = run.whole_seconds;
    run.peak_time = run.current_time;
  }

  const input_state& in = state.input;
  if (!in.optimize || !in.settings.in_hyd_location_given || !in.channel_routing ||
      in.optimize_sed) {
    return;
  }
  const channel_state& chan = state.channel;
  std::vector<double>& peak = state.calib.loc_peak;
  for (int i = 1; i <= chan.hyd_locations; ++i) {
    if (i >= static_cast<int>(peak.size()) || i >= static_cast<int>(chan.hyd_loc_link.size()) ||
        i >= static_cast<int>(chan.hyd_loc_node.size())) {
      break;
    }
    const int a = chan.node_address(chan.hyd_loc_link[i], chan.hyd_loc_node[i]);
    if (a < 0 || a >= static_cast<int>(chan.qp.size())) continue;
    if (chan.qp[a] >= peak[i]) peak[i] = chan.qp[a];
  }
}

void print_progress(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  // Exact equality: the clock's last time is set from the current time by
  // the step that has just acted.
  const process_clock& outlet_clock =
      (in.channel_routing || in.mesh_channel) ? run.channel : run.overland;
  if (run.current_time != outlet_clock.last) return;
  if (run.progress_off) return;

  if (!in.super_quiet) {
    if (run.qout_cfs) {
      std::printf(
          "event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
          run.event_index, run.elapsed_minutes, run.month, run.day, run.year, run.hour,
          run.minute, run.whole_seconds, run.q_out * run.cfs_factor);
    } else {
      std::printf(
          "event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
          run.event_index, run.elapsed_minutes, run.month, run.day, run.year, run.hour,
          run.minute, run.whole_seconds, run.q_out);
    }
  }
  if (in.flush_buffer) {
    ++run.progress_lines;
    if (run.progress_lines >= in.flush_lines) {
      std::fflush(stdout);
      run.progress_lines = 0;
    }
  }
  if (in.stream_info) print_stream_info(state.channel);
}
