// The project file: every card handler, the cards that read their side files
// at once (replacement lists and values, series, XY inputs), the run-field
// derivations and the option checks, as the first two set-up phases run
// them. Side files the cards name are the input's later parts, written as
// a.txt and b.txt beside the project.

#include <cstdint>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "fuzz_support.h"
#include "input/project_reader.h"
#include "input/replace_params.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("project", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::reset_process_state();
  set_thread_count(1);
  const auto parts = fuzz::split_parts(data, size, 3);
  fuzz::write_file("run.prj", parts[0]);
  fuzz::write_file("a.txt", parts[1]);
  fuzz::write_file("b.txt", parts[2]);
  {
    model_state s;
    s.project_file = "run.prj";
    read_run_parameters("run.prj", s);
    if (!error_state.stop_flag) check_project_options(s);
  }
  // A run's substitution ends with its record.
  fuzz::require(replacement.active == 0, "substitution outlived the run's record");
  return 0;
}
