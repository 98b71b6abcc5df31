#pragma once
// The processes that bring constituent mass to the water of a cell, take it
// away or exchange it with the ground, each gathered at its own interval for
// the cell mass step to take: mass in rain, mass carried into the soil by
// infiltrating water, and the exchange between the land surface (or the
// soil's mixing layer) and the water. Per constituent k, over cells 1..cells.

#include "quality/constituent_state.h"

// A cell's lake state as these processes see it: null for a run without
// lakes, else 1 for a lake cell.
using lake_cells = const int*;

// Rain of rate[j] (mm/h) over interval (s) brings precip_conc[k] with it;
// the concentration follows over the depth at the last cell mass step plus
// that rain. Lake cells take none.
void contam_rain_loading(constituent_state& c, int k, double dx, double interval,
                         const double* rate, const double* depth_last, lake_cells lake);

// Infiltrated volume infil_vol[j] (m3) carries the dissolved concentration
// into the soil; a cell dried by it hands its whole dissolved mass to the top
// soil layer at once (booked as infiltrated). Lake cells gather nothing.
// The caller clears infil_vol after the last constituent.
void contam_infiltration_accumulate(constituent_state& c, int k, const double* infil_vol,
                                    const double* depth_now, lake_cells lake);

// Exchange with the land surface over interval (s) for a contaminant k on
// wet cells holding land-surface mass. Without soil transport (mixing_water
// null) the land surface releases towards ov_contam_maxconc, never back and
// never more than it holds. With it the top soil layer's dissolved
// concentration (its layer-1 mass x dissolved share over mixing_water[j], m3)
// drives the exchange either way, limited by the layer's mass one way and
// the water's the other.
void contam_soil_exchange(constituent_state& c, int k, double dx, double interval,
                          const double* depth_now, lake_cells lake, const double* mixing_water);
