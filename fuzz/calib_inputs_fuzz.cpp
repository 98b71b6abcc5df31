// The calibration drivers' input files: one input holds an observation file,
// an SCE-UA input file and a Monte Carlo input file (parts split at "@@@@"
// lines), each read as its driver reads it before the first trial. The
// search and the trials are not run.

#include <cstdint>
#include <string>

#include "calibration/calib_objective.h"
#include "calibration/montecarlo.h"
#include "calibration/sce_ua.h"
#include "core/parallel_context.h"
#include "fuzz_support.h"

namespace {

void read_observations(const std::string& path) {
  calib_objective objective;
  if (objective.read_observations(path.c_str()) != 1) return;
  const std::size_t n = static_cast<std::size_t>(objective.event_count);
  fuzz::require(objective.event_count >= 1, "observations read without events");
  fuzz::require(objective.obs_peaks.size() == n + 1 && objective.peak_weights.size() == n + 1 &&
                    objective.obs_volumes.size() == n + 1 &&
                    objective.volume_weights.size() == n + 1,
                "observations without room for their events");
}

void read_sce_input(const std::string& path) {
  sce_optimizer opt;
  sce_init(opt, path.c_str(), "sce_output.out");
  if (!opt.ready) return;
  const int n = opt.nopt;
  fuzz::require(n >= 1 && opt.lower.size() == std::size_t(n) + 1 &&
                    opt.upper.size() == std::size_t(n) + 1,
                "a ready search without its bounds");
  for (int j = 1; j <= n; ++j) fuzz::require(opt.lower[j] < opt.upper[j], "crossed bounds accepted");
  fuzz::require(opt.ngs >= 1 && opt.npg >= 2 && opt.nps >= 2 && opt.nspl >= 1,
                "settings the checks should have repaired");
  fuzz::require(opt.iseed != 0 && opt.kstop >= 0 && opt.kstop < 20, "seed or kstop left unchecked");
}

void read_montecarlo_input(const std::string& path) {
  montecarlo mc(1, path.c_str(), parallel);
  if (!mc.input_read) return;
  const std::size_t n = static_cast<std::size_t>(mc.param_count);
  fuzz::require(mc.param_count >= 1 && mc.lower.size() == n + 1 && mc.upper.size() == n + 1 &&
                    mc.current.size() == n + 1 && mc.best.size() == n + 1,
                "a read input without its vectors");
  fuzz::require(mc.project_path.size() < montecarlo_path_capacity &&
                    mc.replace_path.size() < montecarlo_path_capacity &&
                    mc.obs_path.size() < montecarlo_path_capacity,
                "a path longer than the input allows");
  mc.draw_parameters();
  for (std::size_t j = 1; j <= n; ++j) {
    if (mc.lower[j] < mc.upper[j]) {
      fuzz::require(mc.current[j] >= mc.lower[j] && mc.current[j] < mc.upper[j],
                    "a draw outside its bounds");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("calib_inputs", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = fuzz::split_parts(data, size, 3);
  const std::string obs = fuzz::write_file("obs.txt", parts[0]);
  const std::string sce = fuzz::write_file("sce.in", parts[1]);
  const std::string mc = fuzz::write_file("mc.in", parts[2]);
  fuzz::reset_process_state();
  read_observations(obs);
  fuzz::reset_process_state();
  read_sce_input(sce);
  fuzz::reset_process_state();
  read_montecarlo_input(mc);
  fuzz::reset_process_state();
  return 0;
}
