#pragma once
// Set-up of the nutrient model: the aquatic environment file, the overland
// layer, the nutrient block of the constituent list with its initial values
// and rain concentrations, the groundwater and soil tables, and the stream
// and lake layers once the channel network is read.

struct model_state;
struct contaminant_model;
class nsm_model;

// With NUTRIENTS, the run's nutrient model, made from the nutrient cards on
// first use; null without it.
nsm_model* ensure_nutrient_model(model_state& state);

// With NUTRIENTS: builds the model and its overland part; the grid's
// constituent transport is switched on by it. Errors through the error state.
void setup_nutrient_model(model_state& state);

// Appends the nutrient block (9 species, and 4 soil-only pools with soil
// transport) to the constituent list of m, after its contaminants.
void append_nutrient_block(contaminant_model& m, int cells);

// Initial overland values, rain concentrations and the per-cell parameters
// of the overland layer: uniform, from the mapping table or from a map.
void assign_contam_params(nsm_model& nsm, model_state& state);

// The NSM_GW_N, NSM_GW_P and NSM_GW_OTH tables into the groundwater
// concentrations of the nutrient entries.
void assign_nsm_groundwater_params(model_state& state);

// After the pipe network, with soil transport: the soil pool tables into
// layer 1 of the pools (as given, per unit of the table) and the per-cell
// Km and Koc values.
void assign_nsm_soil_tables(model_state& state);

// After the channel set-up: the stream layer (and the lake layer with channel
// lakes), the stream id map and the stream initial values.
void setup_nsm_streams(model_state& state);
