#pragma once
// The end of a run that was not stopped: the final storages, the global mass
// balance and the water part of the run summary, then the calibration total.

#include <cstdio>

struct run_water_totals;
struct sac_run_summary;
struct summary_gates;
struct water_balance;

// Inputs of a balance at or below this volume count as none: its error is
// then 0, never a quotient of two zeros. m3.
constexpr double no_input_volume = 1e-9;

// Net boundary loss, storage totals and the errors, from the run totals and
// the final storages already in balance.
void close_water_balance(const run_water_totals& totals, const summary_gates& gates,
                         water_balance& balance);

// The groundwater section (groundwater runs) and the totals block.
void print_water_summary(std::FILE* file, const run_water_totals& totals,
                         const summary_gates& gates, const water_balance& balance);

// The Sacramento basin's section: its stores at either end, its own
// balance in mm and the same in m3.
void print_sacramento_section(std::FILE* file, const sac_run_summary& sac);
