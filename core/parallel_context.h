#pragma once
// The process-wide record of the parallel set-up. It exists before main runs:
// its initialiser gives the OpenMP runtime one thread per processor (or the
// count of OMP_NUM_THREADS where the user set it). The
// watershed is never split, so every run works on the whole grid as
// partition 0 of 1, process 0, one thread group per run.

struct parallel_context {
  int total_threads = 1;    // threads of the parallel loops (processors, OMP_NUM_THREADS or NUM_THREADS)
  int process_number = 0;   // run number of calibration trials, seed part, process-0 tests
  int threads_per_run = 1;  // always 1: one run at a time uses every thread
  int run_group = 0;        // run-group number (result-merge flag), part of log names
  int partition_index = 0;  // only partition 0 writes time series and maps
  int partition_count = 1;  // the mask is never partitioned
  bool count_given = false;  // the user chose the count (OMP_NUM_THREADS or NUM_THREADS)
  int busy_processors = 0;   // processors other work held when the program started
};

extern parallel_context parallel;

// Resets the record to its start-up state and hands the processor count to the
// OpenMP runtime. Runs once before main; callable again by tests.
void init_parallel_context();

// Thread count for the parallel loops (NUM_THREADS card): n must be 1 or more;
// the caller reports a refused value.
void set_thread_count(int n);

// Where the user gave no thread count, lowers it to the processors that
// other work leaves free as the program starts (at least 1). Returns the
// processors seen busy.
int fit_threads_to_machine();

// The OpenMP runtime reads how its idle threads wait once, as it is loaded,
// before main. Unless the user chose (OMP_WAIT_POLICY, GOMP_SPINCOUNT), the
// program starts its own image again with a bounded spin chosen: some
// milliseconds where its threads find the processors free, a wake-up's time
// where other work already holds them; returns only where it does not
// (already chosen, or no image to start).
void settle_thread_waits(char** argv);
