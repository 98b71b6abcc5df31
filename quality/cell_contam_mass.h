#pragma once
// The overland cell's dissolved mass: first-order decay gathered at its own
// interval, and the share of each gathered amount that one cell mass step
// takes, so that a process run every few steps is spread over them.

#include "quality/cell_contam_flux.h"
#include "quality/constituent_state.h"

// The part of an amount gathered over interval (s) that a step of length
// step (s) takes: the whole of it when the interval exceeds the step by no
// more than half a second, else step / interval of it.
double step_share(double step, double interval, double amount);

// Decay of constituent k in the surface water of every cell over interval
// (s): conc x decay x the mean of the depths at the last cell mass step and
// now x dx^2 x interval, gathered into cell_decay_mass and never more than
// the mass the smaller of the two depths holds. Lake cells (lake[j] > 0, null
// for none) and cells dry now or without dissolved mass are left out.
void contam_decay_accumulate(constituent_state& c, int k, double dx, double interval,
                             const double* depth_last, const double* depth_now, const int* lake);

// The interval (s) over which each accumulator of the cell mass step was
// last gathered.
struct contam_intervals {
  double decay = 0.0;
  double infiltration = 0.0;
  double uptake = 0.0;
  double outlet = 0.0;
  double nsm_soil_flux = 0.0;  // nutrient soil fluxes
  double exfiltration = 0.0;   // the soil layers' step
};

// The sediment-bound rows of one constituent that the cell mass step takes
// and feeds (per cell): the release to the water waiting since the last
// pass, the cell's total on water and sediment, and the step's released sum.
struct sed_contam_rows {
  double* release;      // g
  double* total;        // g
  double* release_dmt;  // g, for the constituent
};

// The net source rate (g/s) of constituent k on cell j for a cell mass step
// of length step (s): from the land-surface exchange (a source), the decay
// and infiltration (sinks) and, at the outlet cell, exit_mass (a sink, the
// outlet's gathered outflow, taken in share), each drained from its
// accumulator by step_share and booked into the step's totals. No sink takes
// the cell below zero mass: what would, is cut and the accumulator emptied.
// With soil transport the infiltrated share and the exchange also go to the
// soil layers' accumulators.
// With sed, the release the sediment-bound step left is taken whole as a
// source that may be negative; what the water cannot give up stays with the
// cell's sediment.
double ov_contam_cell_mass(constituent_state& c, int k, int j, double step,
                           const contam_intervals& intervals, bool soil_transport,
                           double* exit_mass, const sed_contam_rows* sed = nullptr);

// One cell mass step of a seconds for constituent k (soil-only pools are
// not transported): every cell not in a lake (lake[j] > 0, null for none)
// takes its net source rate, the sweeps of the given order move the mass
// between cells, and a cell that has dried hands its mass to the top soil
// layer (booked as infiltrated) with soil transport, else back to its land
// surface. exit_mass is k's gathered outlet outflow, taken at the outlet
// cell (0 for none); masses the sweeps drive negative go to negative_mass
// (kg). Lake cells keep their water's mass as it is, unless the grid carries
// the channel lakes' rows: then a dry lake cell gives its mass to its lake
// (with what the shore faces carried, in work.to_lakes). With cell_exit (per
// cell, null for none) every cell's own gathered outflow is taken in the same
// way, as the channels take it along their banks. A cell that dries onto its
// land surface books its mass as taken up by the land surface.
void cell_contam_mass_update(constituent_state& c, int k, contam_flux_work& work,
                             const contam_grid& grid, double a, int order,
                             const contam_intervals& intervals, int outlet, double* exit_mass,
                             const int* lake, bool soil_transport, double& negative_mass,
                             double* cell_exit = nullptr, const sed_contam_rows* sed = nullptr);
