// Closing the run's files, in one fixed order, before the run record is
// released: inputs a reader may have left open, then the outputs, the
// summary and the outlet hydrograph last but one. Each close checks the
// wrapper's shadow copy (a corrupt wrapper prints its message and is emptied
// all the same); a closed wrapper is empty, so closing twice does nothing.

#include <span>

#include "run/model_state.h"
#include "output/output_steps.h"

namespace {

void close_all(std::span<safe_file* const> files) {
  for (safe_file* file : files) file->close();
}

}  // namespace

void close_model_files(model_state& state) {
  input_files& in = state.input.files;
  output_state& out = state.output;

  // Groundwater and soil-column inputs, and the evaporation output.
  safe_file* const groundwater[] = {
      &in.gw_boundary, &in.well_location, &out.well_level,  &in.gw_hycond, &in.gw_porosity,
      &in.water_table, &in.aquifer_bottom, &in.soil_type,   &in.soil_layers, &out.evap_out,
  };
  // Soil, meteorology and land-surface inputs.
  safe_file* const land_surface[] = {
      &in.moisture,   &in.conductivity,     &in.capillary,          &in.contam_map,
      &in.porosity,   &in.pore_index,       &in.residual_sat,       &in.hydromet,
      &in.albedo,     &in.vheight,          &in.tcoeff,             &in.canopy,
      &in.wilting_point, &in.precip,        &in.watershed_mask,     &in.elevation,
      &in.stream_cell, &in.storage_capacity, &in.interception_coeff, &in.overland_lake_map,
      &in.overland_lake_file, &in.retention, &in.roughness,
  };
  // Channel input and hot starts.
  safe_file* const channel_and_hotstarts[] = {
      &in.channel_input, &in.chan_hotstart_depth, &in.chan_hotstart_flow,
      &out.chan_hotstart_flow, &out.chan_hotstart_depth, &in.ov_hotstart, &in.sm_hotstart,
  };
  // Location lists and their outputs.
  safe_file* const locations[] = {
      &in.hyd_location,        &in.gwflux_location,       &in.celldepdis_location,
      &out.hyd_location,       &out.gwflux_location,      &out.celldepdis_location,
      &out.sig_outlet_hydro,   &in.superlink_junc_location, &in.superlink_node_location,
      &out.superlink_junc_flow, &out.superlink_node_flow, &out.lake_output,
      &out.dep_location,       &out.con_location,         &out.mass_location,
      &in.theta_location,      &out.theta_location,
  };
  // Link/node stream files, pipe files and the reservoir inflow file.
  safe_file* const streams[] = {
      &out.chan_depth, &out.chan_sed_flux, &out.chan_stage, &out.chan_discharge,
      &out.chan_velocity, &out.flood_stream, &out.pipe_head, &out.pipe_flow, &out.pipe_tile,
      &state.input.q7_input_file, &out.q7.output,
      &state.quality.sediment.outlet_file, &state.quality.sediment.outlet_tss_file,
      &state.quality.chan_sediment.loc_file, &state.quality.chan_sediment.loc_tss_file,
  };
  // The run's own results, then the snow hot-start input.
  safe_file* const results[] = {
      &out.summary, &out.outlet_hydro, &state.calib.optim_out, &out.tpg_hydro,
      &out.tpg_outlet_reader, &out.tpg_location_reader, &in.swe_hotstart,
  };

  close_xy_outputs(out.xy);
  close_all(groundwater);
  close_all(land_surface);
  close_all(channel_and_hotstarts);
  close_all(locations);
  close_all(streams);
  for (safe_file& dataset : out.map_dataset) dataset.close();
  close_all(results);
}
