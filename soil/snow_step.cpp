#include "soil/snow_step.h"

#include "run/model_state.h"
#include "soil/read_hmet.h"

snow_options snow_options_of(const model_state& state) {
  const project_settings& s = state.input.settings;
  snow_options o;
  o.temperature_index = s.nwsrfs_snow != 0;
  o.energy_balance = s.eb_nwsrfs_snow != 0;
  o.retention = s.nwsrfs_retention != 0;
  o.latent_heat = state.soil.snow_const_a;
  o.loss_term = state.soil.snow_const_b;
  return o;
}

snow_weather snow_weather_of(const model_state& state) {
  const hmet_record& r = state.soil.longterm.hmet;
  const input_state& in = state.input;
  const std::size_t size = std::size_t(state.grid.cells) + 1;
  snow_weather w;
  w.month = r.month;
  w.day = r.day;
  w.air_temp = r.air_temp;
  w.wind_speed = r.wind_speed;
  w.rel_humidity = r.rel_humidity;
  w.pressure = r.pressure;
  const bool gridded = hmet_format_of(in.settings) == hmet_format::gridded;
  if ((gridded || in.settings.orogvar_hmet) && r.cell_air_temp.size() >= size)
    w.cell_air_temp = r.cell_air_temp.data();
  if (gridded && r.cell_wind_speed.size() >= size && r.cell_rel_humidity.size() >= size &&
      r.cell_pressure.size() >= size) {
    w.cell_wind_speed = r.cell_wind_speed.data();
    w.cell_rel_humidity = r.cell_rel_humidity.data();
    w.cell_pressure = r.cell_pressure.data();
  }
  return w;
}

snow_call snow_call_of(model_state& state, double dt_s, bool from_hourly) {
  surface_state& sf = state.surface;
  const channel_state& chan = state.channel;
  snow_call c;
  c.cells = state.grid.cells;
  c.dt_s = dt_s;
  c.dx = state.grid.dx;
  c.event_on = state.run.rain_on != 0;
  c.rain_step = !from_hourly;
  c.from_hourly = from_hourly;
  c.rain_rate = state.input.interception && !sf.ri_eff.empty() ? sf.ri_eff.data()
                                                                 : sf.rain_rate.data();
  c.oland_lake = sf.overland_lakes && !sf.oland_lake_new.empty() ? sf.oland_lake_new.data()
                                                                  : nullptr;
  c.chan_lake = chan.channel_lakes && !chan.lake_mask.empty() ? chan.lake_mask.data() : nullptr;
  c.depth = sf.depth.data();
  return c;
}

double snow_volume(const model_state& state) {
  const std::vector<double>& swe = state.soil.snow.swe;
  double sum = 0.0;
  for (int i = 1; i <= state.grid.cells && i < static_cast<int>(swe.size()); ++i) sum += swe[i];
  return sum * state.grid.dx * state.grid.dx;
}
