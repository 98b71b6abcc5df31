// The exchange with the land-management framework and the vegetation model:
// the maps the vegetation model leaves for the first event, and at every
// event end this model's maps out, the vegetation model's maps back in and
// the clock moved on to the next event.

#include "calibration/framework_exchange.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calibration/calibration_steps.h"
#include "core/error_state.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "run/sim_clock.h"
#include "input/ascii_grid.h"
#include "output/map_formats.h"

namespace {

// Conductivity is held in m/s and exchanged in cm/h.
constexpr double ksat_exchange_factor = 360000.0;
// A read-back roughness of 0 or less would divide by zero in the routing.
constexpr double default_roughness = 0.04;  // s/m^(1/3)

bool stopped() { return error_state.stop_flag != 0; }

// Reads one exchange map into the cells' values. stage is the digit the
// failure message starts with: 1 at set-up, 2 at an event end.
bool read_exchange_map(model_state& state, const std::string& path, std::vector<double>& values,
                       const char* what, int stage) {
  const int n = state.grid.cells;
  safe_file file;
  if (!file.open(path.c_str(), "r")) {
    raise_message("%d Can't open %s exchange file %s for reading\n", stage, what, path.c_str());
    return false;
  }
  if (values.size() != std::size_t(n) + 1) values.assign(std::size_t(n) + 1, 0.0);
  map_header header;
  read_ascii_map(file, path.c_str(), real_map, header, state.grid.mask.table(), values, {}, {},
                 state.grid.rows, state.grid.cols);
  file.close();
  return !stopped();
}

// The vegetation model reads the exchange files while this run waits, so
// they are written in place, not held back to the run's end.
bool write_exchange_map(model_state& state, const std::string& path, const double* values,
                        const char* what) {
  safe_file file;
  if (!file.open(path.c_str(), "w", file_commit::at_once)) {
    raise_message("Can't open %s exchange file %s for writing\n", what, path.c_str());
    return false;
  }
  write_nsew_grid(file.stream, run_map_grid(state), values);
  file.close();
  return true;
}

// The maps the vegetation model wrote, in the order moisture, roughness,
// conductivity, each only when its card names it.
bool read_vune_maps(model_state& state, int stage) {
  const project_settings& s = state.input.settings;
  const auto& files = state.input.vune_files;
  soil_state& soil = state.soil;
  if (s.moist_from_vune_given &&
      !read_exchange_map(state, files[vune_moist_from], soil.initial_theta, "soil moisture", stage))
    return false;
  if (s.rough_from_vune_given &&
      !read_exchange_map(state, files[vune_rough_from], state.surface.dist_rough, "roughness", stage))
    return false;
  if (s.ksat_from_vune_given) {
    if (!read_exchange_map(state, files[vune_ksat_from], soil.ksat, "Ksat", stage)) return false;
    for (std::size_t i = 1; i < soil.ksat.size(); ++i) soil.ksat[i] /= ksat_exchange_factor;
  }
  bound_exchanged_values(state);
  return true;
}

bool write_vune_maps(model_state& state) {
  const project_settings& s = state.input.settings;
  const auto& files = state.input.vune_files;
  const soil_state& soil = state.soil;
  const int n = state.grid.cells;
  auto fits = [n](const std::vector<double>& v) { return v.size() == std::size_t(n) + 1; };
  if (s.moist_to_vune_given && fits(soil.initial_theta) &&
      !write_exchange_map(state, files[vune_moist_to], soil.initial_theta.data(), "soil moisture"))
    return false;
  if (s.rough_to_vune_given && fits(state.surface.dist_rough) &&
      !write_exchange_map(state, files[vune_rough_to], state.surface.dist_rough.data(), "roughness"))
    return false;
  if (s.ksat_to_vune_given && fits(soil.ksat)) {
    std::vector<double>& scratch = state.calib.exchange_scratch;
    if (scratch.size() != soil.ksat.size()) scratch.resize(soil.ksat.size());
    for (std::size_t i = 0; i < scratch.size(); ++i) scratch[i] = soil.ksat[i] * ksat_exchange_factor;
    if (!write_exchange_map(state, files[vune_ksat_to], scratch.data(), "Ksat")) return false;
  }
  if (s.poros_to_vune_given && fits(soil.porosity) &&
      !write_exchange_map(state, files[vune_poros_to], soil.porosity.data(), "porosity"))
    return false;
  return true;
}

// Day of the year counted from 31 December of the year before the run's
// start, at 01:00.
int exchange_day(const run_control& run, double t) {
  int year, month, day, hour, minute;
  double seconds;
  calendar_date(run.origin, &year, &month, &day, &hour, &minute, &seconds);
  const double j0 = julian_date(year - 1, 12, 31, 1, 0, 0.0);
  return static_cast<int>(std::floor(t - j0));
}

bool write_vegetation_file(model_state& state) {
  const run_control& run = state.run;
  safe_file file;
  if (!file.open(state.input.exchange_file.c_str(), "w", file_commit::at_once)) {
    raise_message("unable to open vune exchange file for writing\n");
    return false;
  }
  const int k = run.event_index;
  if (k == run.num_events) {
    std::fputs("999 999\n", file.stream);
  } else {
    const int now = exchange_day(run, run.current_time);
    const int next = k < run.num_events ? exchange_day(run, event_start(run, k + 1)) : -1;
    std::fprintf(file.stream, "%3d %3d\n", now, next);
  }
  file.close();
  return true;
}

// Only single-event water runs skip the dry time between events: the
// continuous processes need every step of it.
bool jump_allowed(const input_state& in) {
  return !in.long_term && !in.gw_simulation && !in.water_table && !in.sacramento;
}

// Puts the clock one main step before the next event's start, so that the
// next pass reaches it. The step count runs on; the clock's start moves by
// the jump, as the current time is derived from the two.
void jump_to_next_event(model_state& state) {
  run_control& run = state.run;
  const input_state& in = state.input;
  const int k = run.event_index;
  if (k < 1 || k >= run.num_events) return;
  run.run_flag = 1;
  const double t = event_start(run, k + 1) - run.dt_days;
  // A next event that has begun already is reached without a jump; the
  // clock never runs back.
  if (t <= run.current_time + run.tolerance) return;
  run.start_time += t - run.current_time;
  run.current_time = t;
  auto restart = [&](process_clock& c) {
    c.last = t;
    c.next = t + run.dt_days;
  };
  restart(run.overland);
  if (in.green_ampt || in.inf_redist || in.inf_layered_soil || in.inf_richards)
    restart(run.infiltration);
  if (in.inf_redist || in.inf_layered_soil) restart(run.evap);
  if (in.channel_routing) {
    restart(run.channel);
    if (state.channel.constituents || in.chan_con_trans) restart(run.chan_contam);
    if (in.nutrients) restart(run.nsm_channel);
  }
  if (in.ov_con_trans) {
    restart(run.ov_contam);
    restart(run.ov_contam_inf);
  }
  if (in.soil_con_trans) restart(run.soil_contam);
  if (in.nutrients) restart(run.nsm_overland);
}

}  // namespace

void bound_exchanged_values(model_state& state) {
  const input_state& in = state.input;
  soil_state& soil = state.soil;
  const int n = state.grid.cells;
  auto fits = [n](const std::vector<double>& v) { return v.size() == std::size_t(n) + 1; };
  if (in.settings.moist_from_vune_given && fits(soil.initial_theta) && fits(soil.porosity)) {
    const bool redist = in.inf_redist && fits(soil.residual);
    for (int i = 1; i <= n; ++i) {
      double& theta = soil.initial_theta[i];
      const double phi = soil.porosity[i];
      if (redist) {
        // The redistribution fronts need room between residual and porosity.
        const double thr = soil.residual[i];
        if (theta > phi) theta = thr + 0.99 * (phi - thr);
        if (theta <= thr) theta = thr + 0.01 * (phi - thr);
      } else {
        if (theta > phi) theta = 0.99 * phi;
        if (theta < 0.1) theta = 0.1;
      }
    }
    // Green and Ampt keeps (porosity - initial moisture) x capillary head
    // from its first interval on; the next event starts from the new moisture.
    if (fits(soil.ga_m) && fits(soil.capillary)) {
      for (int i = 1; i <= n; ++i)
        soil.ga_m[i] = (soil.porosity[i] - soil.initial_theta[i]) * soil.capillary[i];
    }
  }
  if (in.settings.rough_from_vune_given) {
    for (double& r : state.surface.dist_rough)
      if (r <= 0.0) r = default_roughness;
  }
}

void read_vune_exchange_maps(model_state& state) {
  const input_state& in = state.input;
  if (!in.qtr) return;
  // The clocks of event mode are set by the process clocks' own set-up,
  // which runs after this phase.
  if (in.settings.ksat_to_vune_given) state.calib.exchange_scratch.assign(std::size_t(state.grid.cells) + 1, 0.0);
  if (!(in.vune && in.vune_first)) return;
  read_vune_maps(state, 1);
}

void framework_event_end(model_state& state) {
  const input_state& in = state.input;
  run_control& run = state.run;
  if (!(in.qtr && in.vune)) return;
  if (!write_vune_maps(state)) return;
  if (!write_vegetation_file(state)) return;

  const bool event_mode = in.qtr_event != 0;
  if (run.event_index < run.num_events && !event_mode) {
    std::printf("reading VUNE exchange maps\n");
    std::fflush(stdout);
    if (!read_vune_maps(state, 2)) return;
  }
  if (event_mode) {
    std::printf("End of QTR event %d\n", run.event_index);
    run.run_flag = 0;
  } else if (jump_allowed(in)) {
    jump_to_next_event(state);
  }
}
