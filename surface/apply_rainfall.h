#pragma once
// Interception of the step's rain by the canopy (apply_rainfall itself is
// declared with the other surface steps in surface/surface_steps.h).

// Divisor of the canopy store and coefficient under the seasonal option, by
// month (1..12) and latitude (degrees): 4 in winter, 1 in summer, with a
// later spring north of 37 degrees. A month outside 1..12 gives 1.
double interception_divisor(int month, double latitude);

// For cells 1..cells and a step of dt seconds: the canopy store (icep_stor
// mm, already holding icep_dep mm) fills from the gross rate (mm/h) first,
// then holds the fraction icep_coef of the rest; net takes the rate that
// passes (mm/h) and icep_dep what is held. With the seasonal option both the
// store and the coefficient are divided by interception_divisor. Returns the
// volume held in the step (m3, cell size dx m), summed in a fixed order with
// partials (sum_blocks(cells) values) as scratch. The cells of a channel
// lake (chan_lake per cell, lake number or 0; null without channel lakes)
// have no canopy: their rain passes whole.
double rain_interception(int cells, double dt, const double* icep_stor, const double* icep_coef,
                         const double* gross, double* net, double* icep_dep, double dx, int month,
                         bool seasonal, double latitude, double* partials,
                         const int* chan_lake = nullptr);
