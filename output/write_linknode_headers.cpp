// Headers of the channel outputs whose layout depends on the network, written
// once the channel set-up has read the network and its location lists: the
// link/node stream files and the location hydrograph file.

#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "output/linknode_file.h"
#include "output/output_steps.h"

namespace {

struct stream_pipe_file {
  safe_file* file;
  int code;
};

// The location hydrograph file starts with the location count and each
// location's link and node, so that the interface hydrograph file can copy
// the descriptions back at the end of the run.
void write_location_header(model_state& state) {
  safe_file& file = state.output.hyd_location;
  if (!file.is_open()) return;
  const channel_state& chan = state.channel;
  std::fprintf(file.stream, "%d\n", chan.hyd_locations);
  for (int k = 1; k <= chan.hyd_locations; ++k)
    std::fprintf(file.stream, "%d %d\n", chan.hyd_loc_link[k], chan.hyd_loc_node[k]);
}

// The header's timing: the output interval in whole minutes and the number of
// intervals in the run.
struct linknode_timing {
  int time_step = 0;  // minutes
  int steps = 0;
};

// An interval under a minute truncates to TIME_STEP 0; the number of
// intervals is then counted in seconds, and the user is told once.
linknode_timing timing_of(const run_control& run) {
  const double interval = run.hyd_interval * run.dt;  // s
  linknode_timing t;
  t.time_step = static_cast<int>(interval / 60.0);
  if (t.time_step > 0) {
    t.steps = run.tot_time / t.time_step;
    return t;
  }
  t.steps = interval > 0.0 ? static_cast<int>(run.tot_time * 60.0 / interval) : 0;
  char line[256];
  std::snprintf(line, sizeof line,
                "Warning: the link/node files are written every %.2lf s, under a minute; their "
                "TIME_STEP reads 0 and NUM_TS counts %d intervals of %.2lf s.\n",
                interval, t.steps, interval);
  print_message(summary_file, line);
  return t;
}

// The pipe files count superlinks where the stream files count links.
void write_pipe_headers(model_state& state) {
  const input_state& in = state.input;
  if (!in.settings.storm_sewer_given) return;
  output_state& out = state.output;
  const stream_pipe_file files[] = {
      {&out.pipe_flow, linknode_code::superlink_flow},
      {&out.pipe_head, linknode_code::superlink_head},
      {&out.pipe_tile, linknode_code::superlink_tile_flow},
  };
  const linknode_timing t = timing_of(state.run);
  const run_parameters& p = in.params;
  for (const stream_pipe_file& f : files) {
    if (!f.file->is_open()) continue;
    write_linknode_file_header(f.file->stream, f.code, state.subsurface.superlink.net.n_slink,
                               t.time_step, t.steps, p.start_date_day, p.start_date_month,
                               p.start_date_year, p.start_time_hour, p.start_time_minute);
  }
}

}  // namespace

void write_linknode_headers(model_state& state) {
  const input_state& in = state.input;
  write_location_header(state);
  write_pipe_headers(state);
  if (!in.explicit_channel) return;

  output_state& out = state.output;
  struct stream_file {
    safe_file* file;
    int code;
  };
  const stream_file files[] = {
      {&out.chan_depth, linknode_code::stream_depth},
      {&out.chan_discharge, linknode_code::stream_flow},
      {&out.chan_stage, linknode_code::stream_stage},
      {&out.chan_velocity, linknode_code::stream_velocity},
      {&out.flood_stream, linknode_code::flood_stream_depth},
      {&out.chan_sed_flux, linknode_code::stream_sed_flux},
  };
  bool any = false;
  for (const stream_file& f : files) any = any || f.file->is_open();
  if (!any) return;

  const linknode_timing t = timing_of(state.run);
  const run_parameters& p = in.params;
  for (const stream_file& f : files) {
    if (!f.file->is_open()) continue;
    write_linknode_file_header(f.file->stream, f.code, state.channel.links, t.time_step, t.steps,
                               p.start_date_day, p.start_date_month, p.start_date_year,
                               p.start_time_hour, p.start_time_minute);
  }
}
