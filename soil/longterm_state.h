#pragma once
// The long-term part of the soil record: the hourly meteorology and what its
// reader keeps between hours, the per-cell energy balance of the
// evapotranspiration, and the hourly means the evaporation output and the
// console report show. One record per run, so a batch or calibration run
// never inherits another run's repair tables or surface temperatures.

#include <vector>

#include "soil/evapo_trans.h"
#include "soil/hmet_record.h"

struct longterm_state {
  hmet_record hmet;            // the current hour; read_number 2 after set-up
  hmet_reader_state reader;    // the reader's repair tables and position
  int start_skipped = 0;       // the records before a START_DATE have been passed over
  int et_hours = 0;            // hours evapo_trans has run; 0: the next starts the surface temperatures

  // Per cell [1..cells]; the rates themselves are the soil record's et_rate1 (PET)
  // and et_rate2 (AET), which the withdrawal reads.
  std::vector<double> surface_temp;     // K, kept from hour to hour
  std::vector<double> energy_residual;  // net radiation - latent - sensible heat, kW/m2
  std::vector<et_slope> et_slopes;      // bed-slope terms of the shortwave, found at set-up
  std::vector<double> theta_all;        // water content of the soil-moisture layer, reports only

  // Hourly means over the cells outside the lakes, written to "evap_out"
  double mean_theta = 0.0;       // water content
  double mean_pet = 0.0;         // cm/h, of the hour before
  double aet = 0.0;              // cm/h: soil withdrawal of the hour over the cells
  double mean_inf_rate = 0.0;    // cm/h
  double mean_inf_depth = 0.0;   // cm, infiltrated since the method last restarted
  double mean_frozen = 0.0;      // frozen-ground index
  double mean_upper = 0.0;       // content of the zone above the wetting front or the store
  double mean_lower = 0.0;       // content between the store and the wetting front
  double et_volume_last_hour = 0.0;  // soil evaporated volume at the last hourly step, m3
};
