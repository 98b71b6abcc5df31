#pragma once
// The outputs' part of the run record: the files the run writes.

#include "core/safe_file.h"

struct output_state {
  int summary_flag = 1;        // end-of-run summary is written
  int event_summary_flag = 1;  // event summaries are written

  safe_file summary;       // run summary; the reporter copies messages here
  safe_file outlet_hydro;  // outlet hydrograph
};
