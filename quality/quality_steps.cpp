// The quality subsystem's routines as far as this version has them: each one
// keeps its guard, so that a run without sediment or constituents passes it,
// and stops the run as not available when its process is switched on.

#include "quality/quality_steps.h"

#include "core/model_state.h"
#include "core/not_available.h"

namespace {

bool constituents_on(const input_state& in) {
  return in.ov_con_trans || in.soil_con_trans || in.chan_con_trans || in.nutrients;
}

}  // namespace

void convert_nsm_soil_units(model_state& state) {
  if (!state.input.nutrients) return;
  raise_not_available("convert_nsm_soil_units");
}

void init_constituent_state(model_state& state) {
  if (!constituents_on(state.input)) return;
  raise_not_available("init_constituent_state");
}

void soil_layer_contam_step(model_state& state) {
  if (!state.input.soil_con_trans) return;
  if (!state.run.soil_contam.due(state.run.current_time)) return;
  raise_not_available("soil_layer_contam_step");
}

void sed_contam_source_step(model_state& state) {
  if (!state.input.settings.sediment_contam || !state.input.soil_erosion) return;
  raise_not_available("sed_contam_source_step");
}

void overland_contam_step(model_state& state) {
  if (!state.input.ov_con_trans) return;
  if (!state.run.ov_contam.due(state.run.current_time)) return;
  raise_not_available("overland_contam_step");
}

void cell_contam_mass_step(model_state& state) {
  if (!state.input.ov_con_trans) return;
  raise_not_available("cell_contam_mass_step");
}

void chan_sed_contam_step(model_state& state) {
  if (!state.input.settings.sediment_contam || !state.input.channel_routing) return;
  raise_not_available("chan_sed_contam_step");
}

void contam_decay_step(model_state& state) {
  if (!constituents_on(state.input)) return;
  raise_not_available("contam_decay_step");
}

void channel_contam_step(model_state& state) {
  if (!state.input.chan_con_trans && !state.channel.constituents) return;
  if (!state.run.chan_contam.due(state.run.current_time)) return;
  raise_not_available("channel_contam_step");
}
