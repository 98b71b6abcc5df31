#pragma once
// Moving one constituent through the soil layers of every cell with the water
// that moved in the interval: down from layer to layer and out of the bottom
// of the column, or, where the water table reached the surface, up from the
// aquifer to the surface; the top layer also takes what the surface steps
// handed to the soil and gives up what they took from it.

#include "quality/constituent_state.h"
#include "quality/soil_layer_contam.h"

// How the soil water is modelled under the constituent layers.
enum class soil_water_model { plain, redistribution, layered };

// What the soil-water and groundwater models tell the transfer, per cell
// [1..cells]. A null flag array switches its process off.
struct soil_water_moves {
  soil_water_model model = soil_water_model::plain;
  const double* upper_drain = nullptr;    // water across the bottom of the upper layer, cm, down positive
  const double* bottom_drain = nullptr;   // water out of the bottom of the column, cm, down positive
  const double* exfil_water = nullptr;    // water exfiltrated in the interval, m
  const int* exfiltrating = nullptr;      // 1: the water table stands at the ground (with the aquifer)
  const int* skip = nullptr;              // 1: a lake cell, whose soil state stays as it is
  const double* water_content = nullptr;  // soil water content, plain Green and Ampt, m3/m3
  double moisture_depth = 0.0;            // soil-moisture depth, cm
  double mixing_depth = 0.0;              // mixing-layer depth, cm
};

// The transfer's working vectors, sized once for the layer count and reused.
struct soil_layer_work {
  double water[max_soil_layers + 1] = {};      // water in each layer of the cell in hand, m
  double interface[max_soil_layers + 1] = {};  // [0] the surface, [k] the bottom of layer k:
                                               // water (m) across it, then the mass (g)
};

// One constituent k on every cell: the layer masses of c.soil_mass move with
// the water of moves and the dissolved shares of c.soil_fraction_dissolved;
// layer 1 takes soil_top_mass and gives soil_exchange_mass (unless the
// concentrations are held); the bottom flux goes to soil_leach_dmt (down) or
// soil_gw_gain_dmt (up, at the groundwater concentration gw_conc[1..cells],
// null for none); the mass reaching the surface from an exfiltrating cell to
// soil_exfil_mass. The concentrations are recomputed from the masses. The
// nutrient flag keeps the water still. The soil-water model's accumulators
// are left for the caller to clear once all constituents have moved.
void soil_layers_contam_update(soil_layer_work& work, constituent_state& c, int k,
                               const soil_layer_geometry& geometry, const soil_water_moves& moves,
                               const double* gw_conc, bool nutrient, double dx);

// What the soil layers took from and gave to the surface of constituent k
// since the soil-layer step last ran, g: the sums the step books into its
// run and event totals.
struct soil_layer_booking {
  double exfiltrated = 0.0;  // carried up to the surface
  double infiltrated = 0.0;  // handed to the top layer by the surface steps
  double exchanged = 0.0;    // released to the water, with its sign
  double released = 0.0;     // the positive part of it
  double taken_up = 0.0;     // the negative part, as a positive amount
  double sediment = 0.0;     // soil change by detached and settled sediment
};

// After constituent k has moved: a negative layer mass becomes 0 with its
// concentration, each cell's land-surface mass becomes its layers' sum, the
// exfiltrated mass waits for the cell mass step, and the surface
// accumulators are emptied into the returned sums.
soil_layer_booking book_soil_layers(constituent_state& c, int k,
                                    const soil_layer_geometry& geometry);
