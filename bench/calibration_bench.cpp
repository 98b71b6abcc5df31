// Calibration trials per second and the share of their time spent outside
// the model run (list re-read, substitution, scoring, the calibration
// files): 200 Monte Carlo trials of the calib10 project and 20 of the example
// valley (its outlet slope drawn between 0.01 and 0.03), each at one and at
// eight threads, and the eight-thread rate over the one-thread rate.
//
//   bench_calibration_bench [calib10 trials] [valley trials]
//
// Its OpenMP workers wait as the program's own do, chosen from how busy the
// machine is as it starts.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "bench_support.h"
#include "calibration/montecarlo.h"
#include "calibration/run_cost_callback.h"
#include "calibration/run_results.h"
#include "run/run_simulation.h"
#include "core/parallel_context.h"

namespace {

namespace fs = std::filesystem;

// The fixtures are read from the source tree, wherever the bench is started
// (`make bench` starts it from the repository's root).
const fs::path source_root = VALTO_SOURCE_DIR;

std::string read_text(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_text(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// Replaces the first line that starts with card by line, or appends it.
std::string set_card(const std::string& project, const std::string& card, const std::string& line) {
  std::istringstream in(project);
  std::string out, l;
  bool done = false;
  while (std::getline(in, l)) {
    if (!done && l.rfind(card, 0) == 0) {
      out += line + "\n";
      done = true;
    } else {
      out += l + "\n";
    }
  }
  return done ? out : out + line + "\n";
}

struct bench_case {
  const char* name;
  fs::path folder;
  std::string project;  // project file name in the folder
  std::string list;     // replacement list text
  std::string bounds;   // the parameter line of the Monte Carlo input
  std::string observed;
  std::string slope_card;  // the card made a replacement name, or empty
};

// What the runs print goes to /dev/null while the trials run.
class quiet_output {
 public:
  quiet_output() {
    std::fflush(stdout);
    std::fflush(stderr);
    saved_out_ = dup(1);
    saved_err_ = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    close(null);
  }
  ~quiet_output() {
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out_, 1);
    dup2(saved_err_, 2);
    close(saved_out_);
    close(saved_err_);
  }

 private:
  int saved_out_;
  int saved_err_;
};

// Trials per second of the case on the given number of threads, 0 when no
// trial is asked for.
double run_case(const bench_case& c, int trials, int threads) {
  if (trials < 1) return 0.0;
  const fs::path work =
      fs::temp_directory_path() / ("valto_calibration_bench_" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  for (const auto& entry : fs::directory_iterator(c.folder))
    fs::copy_file(entry.path(), work / entry.path().filename());
  std::string project = read_text(work / c.project);
  project = set_card(project, "NUM_THREADS", "NUM_THREADS " + std::to_string(threads));
  project = set_card(project, "QUIET", "QUIET");
  if (!c.slope_card.empty()) project = set_card(project, c.slope_card, c.slope_card + " [SLOPE]");
  write_text(work / c.project, project);
  write_text(work / "bench.lst", c.list);
  write_text(work / "bench.obs", c.observed);
  write_text(work / "bench_mc.in", c.project + "\nbench.lst\nbench.obs\n1 1\n" + c.bounds + "\n");

  const fs::path old_dir = fs::current_path();
  fs::current_path(work);
  double inside = 0.0;
  double total = 0.0;
  {
    quiet_output quiet;
    montecarlo mc(trials, "bench_mc.in", parallel);
    mc.cost_callback = [&inside](const char* list, const char* prj, const double* params,
                                 calib_objective& objective, int n) {
      prepare_trial(list, params, n);
      run_results results;
      const auto start = std::chrono::steady_clock::now();
      run_simulation(prj, &results);
      end_trial_run();
      inside += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      return score_trial(results, objective, params, n);
    };
    const auto start = std::chrono::steady_clock::now();
    mc.run();
    total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  fs::current_path(old_dir);
  fs::remove_all(work);
  std::printf(
      "%-8s %2d threads: %4d trials in %7.3f s, %8.1f trials/s, %5.2f %% outside the run; %s\n",
      c.name, threads, trials, total, trials / total, 100.0 * (total - inside) / total,
      bench::load_average().c_str());
  char what[64];
  std::snprintf(what, sizeof what, "Monte Carlo trials, %s, %d threads", c.name, threads);
  bench::table_row(what, trials / total, "trials/s", "one run a trial");
  std::fflush(stdout);
  return trials / total;
}

// The eight-thread rate over the one-thread rate: eight is the program's
// count on an idle machine of eight processors, and a project this small
// must run its trials there at least as fast as on one thread.
void rate_row(const bench_case& c, const double rates[2]) {
  if (!(rates[0] > 0.0)) return;
  char what[64];
  std::snprintf(what, sizeof what, "Monte Carlo trials, %s, rate 8 / 1 threads", c.name);
  bench::table_row(what, rates[1] / rates[0], "x", "aim >= 1 on an idle machine");
}

}  // namespace

int main(int argc, char** argv) {
  settle_thread_waits(argv);
  const int calib10_trials = argc > 1 ? std::atoi(argv[1]) : 200;
  const int valley_trials = argc > 2 ? std::atoi(argv[2]) : 20;
  const bench_case calib10{"calib10", source_root / "tests/fixtures/calib10", "calib10.prj",
                           "1\n[MANN] \"%10.6lf\"\n", "0.02 0.30", "1\n0.269 1 1457.4 1\n", ""};
  const bench_case valley{"valley", source_root / "examples/valley", "valley.prj",
                          "1\n[SLOPE] \"%6.4lf\"\n", "0.01 0.03", "1\n1 1 1000 1\n", "OUTSLOPE"};
  for (const auto& [c, trials] : {std::pair{&calib10, calib10_trials}, {&valley, valley_trials}}) {
    const double rates[2] = {run_case(*c, trials, 1), run_case(*c, trials, 8)};
    rate_row(*c, rates);
  }
  return 0;
}
