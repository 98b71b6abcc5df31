#include "core/model_state.h"
#include "output/output_steps.h"

// Every wrapper of the run record that may hold a file. The summary file
// closes after the outputs, so that a message about them still reaches it;
// closing a closed wrapper does nothing.
void close_model_files(model_state& state) {
  state.output.outlet_hydro.close();
  state.calib.optim_out.close();
  state.output.summary.close();
}
