#pragma once
// Opening every file the project's cards name, in one fixed order, after the
// option checks and before the grid inputs are read.

struct model_state;

// Inputs go to state.input.files, written files to state.output. The first
// file that cannot be opened leaves its code (4, or 48 to 51 for the location
// outputs) with its role and path in the error record and ends the opening;
// an overland or soil-moisture hot start that cannot be opened is recorded
// and the opening goes on. Once the summary file is open every reported
// message is copied to it.
void open_project_files(model_state& state);
