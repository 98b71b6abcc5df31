// The overland lake step of the time loop: it acts only when the overland
// step has raised the lake-update flag, and hands every lake's volume change
// to the extent update once.

#include "channel/channel_steps.h"

#include "channel/olake_extent.h"
#include "run/model_state.h"
#include "surface/face_fluxes.h"

void olake_extent_step(model_state& state) {
  surface_state& sf = state.surface;
  if (!sf.overland_lakes || !sf.olake_update) return;
  const grid_state& grid = state.grid;
  const double area = grid.dx * grid.dx;  // m2
  const int* lake_of = sf.oland_lake_new.data();
  double total = 0.0;  // m3
  for (int i = 1; i <= grid.cells; ++i) {
    const int u = lake_of[i];
    if (u > 0) total += (sf.olakes[u].level - grid.elevation[i]) * area;
  }
  sf.olake_total_volume = total;
  olake_extent(grid, active_dike_mask(state), sf);
  for (olake_record& lake : sf.olakes) lake.dv = 0.0;
  sf.olake_update = 0;
}
