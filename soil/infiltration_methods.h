#pragma once
// The infiltration methods and their evapotranspiration withdrawals. Each
// method does one interval for every cell in place on the cell's surface
// water depth, cumulative infiltration and rate; infiltration_step books the
// volumes from the change of the cumulative depth.

struct model_state;

// Cell i lies in an overland lake (with overland lakes on) or a channel lake
// (with channel lakes on): its water is the lake's, and the soil steps pass
// it by.
bool soil_lake_cell(const model_state& state, int i);

// Newton loops give up after this many iterations; the cell is reported.
constexpr int newton_iteration_limit = 100;

// Green and Ampt over dt seconds.
void green_ampt_parallel(model_state& state, double dt);

// Green and Ampt with redistribution over dt seconds; the call count of the
// run is read, not advanced.
void ga_redist_parallel(model_state& state, double dt);

// Layered Green and Ampt over dt hours.
void multilayer_ga_parallel(model_state& state, double dt_hours);

// Withdrawal from the simple soil-moisture store over dt seconds in long-term
// runs; the evaporated depth summed over cells, m.
double et_extract_redist(model_state& state, double dt);
double et_extract_layered(model_state& state, double dt);

// Reports the first cell whose Newton loop ran out of iterations, if any,
// and clears the mark. Called after the parallel loops.
void report_newton_failure(model_state& state, const char* method);

// Redistribution capacity of Green and Ampt with redistribution, m/s: the
// rate a front of Fx m with content jump dtheta and capillary head psi m can
// take over dt s at conductivity ks m/s.
double redist_capacity(double dt, double ks, double dtheta, double psi, double fx);
