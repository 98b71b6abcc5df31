// Whole runs of the program's driver, wall time per simulated hour on 1 and
// 8 threads: a tilted V of 1000 x 1000 cells of 10 m under 20 mm/h of rain,
// overland flow alone (ADE, steps of 10 s, half an hour simulated), and the
// basin example run from a copy of its folder (its three days of long-term
// simulation), each the best of a few trials. The figures take in
// everything a run does: reading the maps, set-up, the time loop and the
// output files; the set-up's share is printed beside them. Checks that both
// thread counts leave the same outlet hydrograph and summary.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "run/run_loop.h"
#include "run/run_simulation.h"

namespace {

namespace fs = std::filesystem;

constexpr int side = 1000;    // rows and columns of the V
constexpr double dx = 10.0;   // m
constexpr int v_minutes = 30;
constexpr int v_trials = 2;
constexpr int basin_trials = 3;

// The V's sides fall 5 % to its floor, the middle column, which falls 2 % to
// the outlet on the south edge.
void write_v(const fs::path& dir, int threads) {
  const std::size_t n = std::size_t(side) * side;
  std::vector<double> mask(n, 1.0), elevation(n), roughness(n, 0.03);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c)
      elevation[std::size_t(r) * side + c] =
          100.0 + 0.02 * dx * (side - 1 - r) + 0.05 * dx * std::abs(c - side / 2);
  bench::write_grid(dir / "mask.asc", side, side, dx, mask);
  bench::write_grid(dir / "elevation.asc", side, side, dx, elevation);
  bench::write_grid(dir / "roughness.asc", side, side, dx, roughness);
  std::ofstream p(dir / "v.prj");
  p << "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nROUGHNESS roughness.asc\n"
    << "GRIDSIZE " << dx << "\nROWS " << side << "\nCOLS " << side << "\nOUTROW " << side
    << "\nOUTCOL " << side / 2 + 1 << "\nOUTSLOPE 0.02\nOVERTYPE ade\nTIMESTEP 10\nTOT_TIME "
    << v_minutes << "\nPRECIP_UNIF\nRAIN_INTENSITY 20\nRAIN_DURATION " << v_minutes
    << "\nSTART_DATE 2001 7 15\nSTART_TIME 0 0\nHYD_FREQ 5\nMAP_FREQ 600\nQUIET\nNUM_THREADS "
    << threads << "\nSUMMARY v_summary.out\nOUTLET_HYDRO v_outlet.hyd\n";
}

// The basin's folder copied afresh, its project told the thread count.
void copy_basin(const fs::path& dir, int threads) {
  fs::remove_all(dir);
  fs::copy(fs::path(VALTO_SOURCE_DIR) / "examples" / "basin", dir, fs::copy_options::recursive);
  std::ofstream(dir / "basin.prj", std::ios::app) << "NUM_THREADS " << threads << "\n";
}

// The run's simulated time, from the clock of its last pass, and the wall
// clock at its first pass, where the set-up ends.
double last_elapsed_minutes = 0.0;
long long last_substeps = 0;  // the ADE router's sub-steps so far
bool first_pass_seen = false;
std::chrono::steady_clock::time_point first_pass;
void note_clock(model_state& s) {
  last_elapsed_minutes = s.run.elapsed_minutes;
  last_substeps = s.surface.ade_substeps;
  if (first_pass_seen) return;
  first_pass_seen = true;
  first_pass = std::chrono::steady_clock::now();
}

struct whole_run {
  int status;
  double seconds;        // wall time of the whole run
  double setup_seconds;  // of it, before the first pass ended
  double hours;          // simulated
  long long substeps;    // of the ADE router
  std::string outlet;    // the outlet hydrograph file
  std::string summary;   // the summary file, its run-time line aside
};

std::string file_text(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The summary without the lines that tell the wall time or the threads.
std::string summary_text(const fs::path& file) {
  std::ifstream in(file);
  std::string out, line;
  while (std::getline(in, line))
    if (line.find("time:") == std::string::npos && line.find("thread") == std::string::npos)
      out += line + '\n';
  return out;
}

whole_run run_in(const fs::path& dir, const char* project, const char* outlet,
                 const char* summary) {
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  steps.push_back({"note_clock", note_clock});
  run_lists lists = production_lists();
  lists.steps = steps;
  last_elapsed_minutes = 0.0;
  first_pass_seen = false;
  whole_run r{};
  const auto start = std::chrono::steady_clock::now();
  r.seconds = bench::seconds_of([&] { r.status = bench::run_quietly(dir, project, lists); });
  r.setup_seconds = std::chrono::duration<double>(first_pass - start).count();
  r.hours = last_elapsed_minutes / 60.0;
  r.substeps = last_substeps;
  r.outlet = file_text(dir / outlet);
  r.summary = summary_text(dir / summary);
  return r;
}

void report(const char* name, const whole_run& one, const whole_run& eight) {
  const bool identical = one.status == 0 && eight.status == 0 && one.outlet == eight.outlet &&
                         one.summary == eight.summary;
  // With lakes the router makes one pass a step and counts no sub-steps.
  char substeps[48] = "";
  if (one.substeps > 0)
    std::snprintf(substeps, sizeof substeps, ", %lld overland sub-steps", one.substeps);
  std::printf("%s: %.2f simulated hours%s; 1 thread %.2f s (%.2f s an hour, set-up and first "
              "pass %.2f s), 8 threads %.2f s (%.2f s an hour, set-up and first pass %.2f s), "
              "speed-up %.2f; status %d and %d; outlet and summary %s; %s\n",
              name, one.hours, substeps, one.seconds, one.seconds / one.hours, one.setup_seconds,
              eight.seconds, eight.seconds / eight.hours, eight.setup_seconds,
              one.seconds / eight.seconds, one.status, eight.status,
              identical ? "identical" : "DIFFER", bench::load_average().c_str());
  char what[96];
  std::snprintf(what, sizeof what, "%s, 1 thread", name);
  bench::table_row(what, one.seconds / one.hours, "s a simulated hour", "whole run");
  std::snprintf(what, sizeof what, "%s, 8 threads", name);
  bench::table_row(what, eight.seconds / eight.hours, "s a simulated hour", "whole run");
  std::snprintf(what, sizeof what, "%s, speed-up 1 -> 8", name);
  bench::table_row(what, one.seconds / eight.seconds, "x",
                   identical ? "outlet and summary identical at 1 and 8 threads"
                             : "OUTLET OR SUMMARY DIFFER at 1 and 8 threads");
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const fs::path work = bench::scratch_folder("valto_whole_run_bench");
  whole_run v[2];
  const int threads[2] = {1, 8};
  for (int k = 0; k < 2; ++k) {
    write_v(work, threads[k]);
    for (int t = 0; t < v_trials; ++t) {
      const whole_run r = run_in(work, "v.prj", "v_outlet.hyd", "v_summary.out");
      if (t == 0 || r.seconds < v[k].seconds) v[k] = r;
    }
  }
  report("whole run, tilted V 1000 x 1000, overland", v[0], v[1]);

  whole_run basin[2];
  const fs::path basin_dir = work / "basin";
  for (int k = 0; k < 2; ++k) {
    for (int t = 0; t < basin_trials; ++t) {
      copy_basin(basin_dir, threads[k]);
      const whole_run r = run_in(basin_dir, "basin.prj", "basin_outlet.hyd", "basin_summary.out");
      if (t == 0 || r.seconds < basin[k].seconds) basin[k] = r;
    }
  }
  report("whole run, basin example", basin[0], basin[1]);
  fs::remove_all(work);
  const bool ran = v[0].status == 0 && v[1].status == 0 && basin[0].status == 0 &&
                   basin[1].status == 0;
  return ran ? 0 : 1;
}
