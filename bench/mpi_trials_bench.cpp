// Monte Carlo trials dealt out to MPI processes: 64 trials of the example
// basin (basin_mc.in) at 1, 2, 4 and 8 processes of one thread each, the
// program started by mpirun as a user starts it. Process 0 deals, scores and
// writes, and runs trials of its own, dealing between their passes; the
// others run the trials dealt to them. Every count's results files must
// equal those of one process. The 1-process time is measured in
// the same run; the load average says how idle the machine was.
//
//   bench_mpi_trials_bench [trials]

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

double load_average() {
  double load[1] = {0.0};
  return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

#ifdef VALTO_MPIRUN
const char* const results_files[] = {"0000_log_file_p0.log", "0000_best.out", "0000_results_all.out",
                                     "0000_0_cost.out", "0000_0_obs.log"};

// The basin copied into a folder of its own for one count of processes.
fs::path basin_copy(int processes) {
  const fs::path dir = fs::temp_directory_path() / ("valto_mpi_bench_" + std::to_string(getpid()) +
                                                    "_" + std::to_string(processes));
  fs::remove_all(dir);
  fs::copy(fs::path(VALTO_SOURCE_DIR) / "examples" / "basin", dir, fs::copy_options::recursive);
  return dir;
}

// Wall time of the whole program at this count of processes; -1 when it failed.
double run_at(int processes, int trials, const fs::path& dir) {
  std::string command = "cd '" + dir.string() + "' && OMP_NUM_THREADS=1 ";
  if (processes > 1) {
    command += "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 '" +
               std::string(VALTO_MPIRUN) + "' --oversubscribe --bind-to none -np " +
               std::to_string(processes) + " ";
  }
  command += "'" + std::string(VALTO_BINARY) + "' -m" + std::to_string(trials) +
             " basin_mc.in >/dev/null 2>&1";
  int status = 0;
  const double seconds = bench::seconds_of([&] { status = std::system(command.c_str()); });
  return status == 0 ? seconds : -1.0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const int trials = argc > 1 ? std::atoi(argv[1]) : 64;
  std::printf("load average before: %.2f\n", load_average());
#ifndef VALTO_MPIRUN
  (void)trials;
  std::printf("valto is built without MPI: nothing to measure\n");
  return 0;
#else
  double one_process = 0.0;
  std::vector<std::string> reference;
  int status = 0;
  for (int processes : {1, 2, 4, 8}) {
    const fs::path dir = basin_copy(processes);
    const double seconds = run_at(processes, trials, dir);
    if (seconds < 0.0) {
      std::printf("%d processes: the run failed\n", processes);
      status = 1;
      fs::remove_all(dir);
      continue;
    }
    bool identical = true;
    for (std::size_t k = 0; k < std::size(results_files); ++k) {
      const std::string text = read_text(dir / results_files[k]);
      if (processes == 1) reference.push_back(text);
      else identical = identical && k < reference.size() && text == reference[k];
    }
    if (processes == 1) one_process = seconds;
    const double speed_up = one_process > 0.0 ? one_process / seconds : 0.0;
    std::printf("%d processes: %.2f s, speed-up %.2f over 1 process (%.2f s), results files %s, "
                "load average %.2f\n",
                processes, seconds, speed_up, one_process, identical ? "identical" : "DIFFERENT",
                load_average());
    if (!identical) status = 1;
    const std::string what = "MC " + std::to_string(trials) + " basin trials, " +
                             std::to_string(processes) + " processes";
    bench::table_row(what.c_str(), seconds, "s", "1 process, same run");
    if (processes > 1) {
      const std::string ratio = what + ", speed-up";
      bench::table_row(ratio.c_str(), speed_up, "x", "at most processes");
    }
    fs::remove_all(dir);
  }
  return status;
#endif
}
