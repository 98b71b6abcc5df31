// The -c mode: one SCE-UA search over the model, its best vector reported.

#include <cstdio>

#include "calibration/sce_ua.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"

namespace {

void report_best(const sce_optimizer& opt, int runs) {
  std::printf("The best results of the SCE calibration after %d runs:\n", runs);
  safe_file best;
  if (best.open("sce_best.out", "w"))
    std::fprintf(best.stream, "The best results of the SCE calibration %d runs:\n", runs);
  for (int j = 1; j <= opt.nopt; ++j) {
    std::printf("%lf\n", opt.best_point[j]);
    if (best.is_open()) std::fprintf(best.stream, "%lf\n", opt.best_point[j]);
  }
  best.close();
}

}  // namespace

int run_sce_calibration(parallel_context&, const char* input_path) {
  // The search's own output is written before any trial and carries no run
  // number, in a later search of the process as in the first.
  const int saved_flag = run_prefix_flag;
  const int saved_number = run_prefix_number;
  run_prefix_flag = 0;

  int status = 1;
  {
    sce_optimizer opt;
    sce_init(opt, input_path, "sce_output.out");
    const bool objective_read = !opt.ready || sce_create_objective(opt) == 1;
    if (objective_read &&
        (!opt.ready || check_replace_list(opt.replace_path.c_str(), opt.nopt) == 0)) {
      opt.cost_callback = run_cost_callback;
      const int runs = sceua(opt);
      if (runs > 0 && opt.tally.all_failed()) {
        opt.tally.report_all_failed();
      } else if (runs > 0) {
        report_best(opt, runs);
        status = 0;
      } else {
        std::printf("Error: unable to successfully run the SCE method\n");
      }
    } else if (objective_read) {
      std::printf("Error: unable to successfully run the SCE method\n");
    }
  }
  std::fflush(stdout);
  run_prefix_flag = saved_flag;
  run_prefix_number = saved_number;
  return status;
}
