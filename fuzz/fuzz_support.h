#pragma once
// Shared set-up of the reader fuzzing harnesses. Each harness writes the
// fuzzer's bytes to scratch files in a directory of its own (the working
// directory for the whole run, so that names read from the input resolve
// there and whatever a reader writes lands there), clears the error record,
// calls the reader as a run calls it and then checks the reader's contract.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/grid_state.h"
#include "input/map_tables.h"

namespace fuzz {

// Numbers a mask of rows x cols as the harnesses' grids are numbered: row
// by row from 1, with cell (3,3) left outside the watershed. Returns the
// number of cells.
int number_mask(block_2d<int>& mask, int rows, int cols);

// The harnesses' grid: 3 x 3 cells of 10 m, (3,3) outside (8 cells).
void small_grid(grid_state& g);

// Called once from LLVMFuzzerInitialize, before libFuzzer reads its
// arguments: makes the scratch directory and moves into it, first turning
// the relative paths among the arguments (inputs, corpus folders, and the
// values of -dict, -artifact_prefix and the like) into absolute ones so they
// still name what the caller meant. Sends the readers' console output to
// /dev/null (set VALTO_FUZZ_VERBOSE=1 to keep it when replaying an input).
void start_harness(const char* name, int* argc, char*** argv);

// Writes bytes to the scratch file name and returns its name (relative to the
// scratch directory, which is the working directory).
std::string write_file(const char* name, std::string_view bytes);

// Splits an input into at most count parts at each line "@@@@": one fuzz
// input may thus hold a reader's main file and the side files it names. The
// missing parts are empty.
std::vector<std::string_view> split_parts(const uint8_t* data, size_t size, int count);

// The error record and the process-wide values cards and readers change,
// back to how a run starts.
void reset_process_state();

// True when the error record holds a stop or a pending code: how a reader
// tells its caller that it failed (a reported message clears the code and
// leaves the stop flag).
bool failure_reported();

// Stops the harness with a message when a reader broke its contract: it
// reported failure yet left no error code, or the reverse.
void require(bool condition, const char* what);

// The mapping-table harnesses' inputs: the table file and two index maps
// written from the three parts of an input (after its first byte), and a
// context over a 3 x 3 mask whose last cell lies outside the watershed.
struct table_inputs {
  static constexpr int rows = 3, cols = 3, cells = 8;
  time_series_list series;
  ts_index_list index;
  map_table_context context;
};
void write_table_inputs(const uint8_t* data, size_t size, table_inputs& inputs);

}  // namespace fuzz
