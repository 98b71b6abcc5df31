// Start-up of the precipitation input: the optimisation output file, and
// for uniform rain nothing to read. Precipitation files and the long-term
// meteorology are not built in this version; the project-file gate refuses
// their cards before this phase.

#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "core/model_state.h"
#include "core/not_available.h"
#include "surface/surface_steps.h"

namespace {

// The optimisation output: one row per event, written by finish_event.
void open_optimization_output(model_state& state) {
  const input_state& in = state.input;
  const std::string name = in.optimize_file.empty() ? "valto_optim.out" : in.optimize_file;
  safe_file& file = state.calib.optim_out;
  if (!file.open(name.c_str(), "w")) {
    std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n",
                 name.c_str());
    raise_error(4000);
    return;
  }
  if (!in.super_quiet) std::fprintf(stderr, "writing output for optimization to file %s\n", file.path);
  const safe_file& summary = state.output.summary;
  if (summary.is_open() && summary.stream == summary.shadow) {
    std::fprintf(summary.stream, "writing output for optimization to file %s\n", file.path);
  }
}

}  // namespace

void setup_precip_and_hmet(model_state& state) {
  const input_state& in = state.input;
  if (in.long_term) {
    raise_not_available("read_hmet_data");
    return;
  }
  state.run.event_index = 0;
  if (in.optimize) {
    open_optimization_output(state);
    if (error_state.stop_flag != 0) return;
  }
  if (in.uniform_rain) return;
  raise_not_available("read_precip_event");
}
