// Runs a project once with the program's own driver, in its folder, and
// tells how the aquifer's line solves were shared out: how many solves
// there were, how many of them had their sweeps on a team, and the widest
// team. The thread count is the program's (OMP_NUM_THREADS). The hang
// benches print it, so that a run said to test the groundwater team is seen
// to have one.
//
//   gw_team_probe FOLDER PROJECT
//
// Prints one line, "groundwater team: ..."; exits with the run's status.

#include <omp.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/bench_support.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "run/run_simulation.h"
#include "subsurface/groundwater_state.h"

namespace {

struct seen_counts {
  long long solves = 0, team_solves = 0;
  int widest = 1, cells = 0;
};
seen_counts seen;

// Read after every pass: the counts only grow, so the last pass's stand
// for the run.
void note_team(model_state& s) {
  const gw_line_work& w = s.subsurface.gw.line;
  seen.solves = w.solves;
  seen.team_solves = w.team_solves;
  seen.widest = w.widest_team;
  seen.cells = s.grid.cells;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gw_team_probe FOLDER PROJECT\n");
    return 2;
  }
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  steps.push_back({"note_team", note_team});
  run_lists lists = production_lists();
  lists.steps = steps;
  const int threads = omp_get_max_threads();
  const int status = bench::run_quietly(std::filesystem::path(argv[1]), argv[2], lists);
  std::printf("groundwater team: %d threads given, %d cells; %lld line solves, %lld of them on a "
              "team, the widest %d threads; run status %d\n",
              threads, seen.cells, seen.solves, seen.team_solves, seen.widest, status);
  return status;
}
