#include "calibration/montecarlo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <omp.h>

#include "calibration/calib_input_text.h"
#include "calibration/run_results.h"
#include "calibration/trial_dealer.h"
#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/text_io.h"
#include "input/replace_params.h"

namespace {

// The paths a Monte Carlo input may hold: a cut path would open another file.
bool take_path(const char* line, std::string& path, const char* file, int number) {
  path = first_path_token(line);
  if (path.size() < static_cast<std::size_t>(montecarlo_path_capacity)) return true;
  std::printf("Error: the path on line %d of the Monte Carlo input file %s is longer than %d characters.\n",
              number, file, montecarlo_path_capacity - 1);
  return false;
}

bool hash_token(const char* token) { return token[0] == '#'; }

}  // namespace

montecarlo::montecarlo(int runs, const char* input_path, parallel_context& ctx)
    : context(ctx), run_count(runs) {
  if (read_input(input_path) != 1) return;
  if (!seed_given) {
    seed = static_cast<uint32_t>(context.process_number + static_cast<long>(std::time(nullptr)));
  }
  random.seed(seed);
  group_number = context.run_group;
  active = context.partition_index == 0 ? 1 : 0;
  best.assign(param_count + 1, 0.0);
  // An observation file that cannot be opened leaves the objective without
  // events: the runs go on and score -1. One that is refused stops the runs
  // before the first (run_sampling).
  objective.read_observations(obs_path.c_str());
}

montecarlo::~montecarlo() { log_file.close(); }

int montecarlo::read_input(const char* input_path) {
  input_read = 0;
  safe_file file;
  if (!input_path || !file.open(input_path, "r")) return 0;
  std::vector<char> line(max_line);
  std::string* paths[3] = {&project_path, &replace_path, &obs_path};
  int number = 0;
  for (std::string* path : paths) {
    ++number;
    if (!read_line(file, line.data())) {
      std::printf("Error: the Monte Carlo input file %s ends at line %d, before its three path lines.\n",
                  file.path, number);
      return 0;
    }
    if (!take_path(line.data(), *path, file.path, number)) return 0;
  }

  ++number;
  char token[token_capacity];
  int n = 0;
  if (!read_line(file, line.data()) || !next_token(line.data(), token) || !parse_whole_int(token, n) ||
      n < 1) {
    std::printf("Error: line %d of the Monte Carlo input file %s must give the number of parameters (1 or more).\n",
                number, file.path);
    return 0;
  }
  seed_given = 0;
  if (next_token(line.data(), token) && !hash_token(token)) {
    long long s = 0;
    int whole = 0;
    if (!parse_whole_int(token, whole)) {
      std::printf("Error: the seed %s on line %d of the Monte Carlo input file %s is not a whole number.\n",
                  token, number, file.path);
      return 0;
    }
    s = whole;
    seed = static_cast<uint32_t>(s);
    seed_given = 1;
  }

  // The bounds grow with the lines read, so a count far beyond the file's
  // lines claims no memory for them.
  lower.assign(1, 0.0);
  upper.assign(1, 0.0);
  for (int j = 1; j <= n; ++j) {
    ++number;
    double low = 0.0;
    if (!read_line(file, line.data()) || !next_token(line.data(), token) ||
        !parse_finite_real(token, low)) {
      std::printf("Error: line %d of the Monte Carlo input file %s must give the bounds of parameter %d.\n",
                  number, file.path, j);
      return 0;
    }
    double high = low;
    if (next_token(line.data(), token) && !hash_token(token) && !parse_finite_real(token, high)) {
      std::printf("Error: the upper bound %s of parameter %d on line %d of the Monte Carlo input file %s is not a number.\n",
                  token, j, number, file.path);
      return 0;
    }
    // A reversed pair would draw from below its lower bound without a word.
    if (high < low) {
      std::printf("Error: parameter %d on line %d of the Monte Carlo input file %s has the lower "
                  "bound %g above its upper bound %g.\n",
                  j, number, file.path, low, high);
      return 0;
    }
    lower.push_back(low);
    upper.push_back(high);
  }
  file.close();
  param_count = n;
  current.assign(n + 1, 0.0);
  input_read = 1;
  return 1;
}

void montecarlo::draw_parameters() {
  if (!active) {
    std::fill(current.begin(), current.end(), 0.0);
    return;
  }
  for (int j = 1; j <= param_count; ++j) {
    const int r = random.draw();
    current[j] = lower[j] + r * (1.0 / 32768.0) * (upper[j] - lower[j]);
  }
}

void montecarlo::log_run(double cost) {
  if (!active) return;
  if (!log_file.is_open()) {
    char name[48];
    std::snprintf(name, sizeof name, "log_file_p%d.log", group_number);
    if (!log_file.open(name, "a")) return;
    std::fseek(log_file.stream, 0, SEEK_END);
    if (std::ftell(log_file.stream) == 0) {
      std::fputs("Cost  \t", log_file.stream);
      for (const replace_param& node : replacement.params) std::fprintf(log_file.stream, "%s\t", node.name);
      std::fputs("\n", log_file.stream);
    }
  }
  std::fprintf(log_file.stream, "%lf\t", cost);
  for (int j = 1; j <= param_count; ++j) std::fprintf(log_file.stream, "%le\t", current[j]);
  std::fputs("\n", log_file.stream);
  std::fflush(log_file.stream);
}

void montecarlo::book_trial(int i, double cost, const char* message) {
  tally.book(cost, message);
  log_run(cost);
  if (i == 0 || std::abs(best_cost) > std::abs(cost)) {
    best_cost = cost;
    for (int j = 1; j <= param_count; ++j) best[j] = current[j];
  }
  const int per_run = context.threads_per_run > 0 ? context.threads_per_run : 1;
  objective.finish(context.process_number, group_number, context.partition_index, per_run,
                   run_count, run_count / per_run);
}

int montecarlo::run() {
  if (!input_read) {
    std::printf("Error: unable to read the input monte carlo file.\n");
    return 0;
  }
  if (process_count() > 1) return run_dealt();
  for (int i = 0; i < run_count; ++i) {
    draw_parameters();
    const double cost = cost_callback(replace_path.c_str(), project_path.c_str(), current.data(),
                                      objective, param_count);
    book_trial(i, cost, first_error_message());
  }
  return 1;
}

int montecarlo::run_dealt() {
  // Every vector is drawn before the first is dealt, in the order of the
  // single-process run: the draws do not depend on the costs.
  std::vector<std::vector<double>> draws;
  for (int i = 0; i < run_count; ++i) {
    draw_parameters();
    draws.push_back(current);
  }
  // The results files carry the prefix the first trial gives them in one
  // process.
  run_prefix_flag = 1;
  run_prefix_number = context.process_number;
  // The log's header names the list's parameters, which a trial here would
  // have read.
  read_replace_params(replace_path.c_str());
  const auto order_of = [&](int i) {
    trial_order order;
    order.index = i;
    order.params = draws[i];
    order.project = project_path;
    order.replace_list = replace_path;
    return order;
  };
  const auto done = [&](int i, const trial_outcome& outcome) {
    current = draws[i];
    run_results results;
    results.peaks = outcome.peaks;
    results.volumes = outcome.volumes;
    const double cost = score_trial(results, objective, current.data(), param_count);
    book_trial(i, cost, outcome.message.c_str());
  };
  deal_trials(run_count, order_of, done);
  return 1;
}

namespace {

void print_and_write_best(double cost, const std::vector<double>& values, int n) {
  std::printf("\n\nBest objective function value: %lf\nParameters:\n ", cost);
  for (int j = 1; j <= n; ++j) std::printf("%lf ", values[j]);
  std::printf("\n");
  safe_file out;
  if (!out.open("best.out", "w")) {
    std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
    return;
  }
  std::fprintf(out.stream, "%lf:  ", cost);
  for (int j = 1; j <= n; ++j) std::fprintf(out.stream, "%le ", values[j]);
  std::fputs("\n", out.stream);
  out.close();
}

}  // namespace

void montecarlo::report_best() {
  std::fflush(stdout);
  // The processor count, not the run's thread count (which NUM_THREADS may
  // have lowered): both branches report the same in a group of one.
  if (omp_get_num_procs() < 2) {
    print_and_write_best(best_cost, best, param_count);
    return;
  }
  if (!active) return;
  // The bests of the run group's processes; a group holds this process alone,
  // so the gathered values are its own.
  const std::vector<double> costs{best_cost};
  const std::vector<double> vectors(best.begin(), best.end());
  if (context.process_number != 0) return;
  std::size_t winner = 0;
  for (std::size_t p = 1; p < costs.size(); ++p)
    if (costs[p] < costs[winner]) winner = p;
  const std::vector<double> chosen(vectors.begin() + winner * (param_count + 1),
                                   vectors.begin() + (winner + 1) * (param_count + 1));
  print_and_write_best(costs[winner], chosen, param_count);
}

namespace {

int run_sampling(parallel_context& context, int runs, const char* input_path) {
  const int saved_flag = run_prefix_flag;
  const int saved_number = run_prefix_number;
  int status = 1;
  {
    montecarlo mc(runs, input_path, context);
    mc.cost_callback = run_cost_callback;
    // A list that would leave every run unchanged has said why; no run.
    const bool list_refused =
        mc.input_read && check_replace_list(mc.replace_path.c_str(), mc.param_count) != 0;
    if (mc.objective.refused) {
      std::printf("Error: no Monte Carlo run is made against the refused observation file %s.\n",
                  mc.obs_path.c_str());
    } else if (!list_refused && mc.run()) {
      if (mc.tally.all_failed()) {
        mc.tally.report_all_failed();
      } else {
        mc.report_best();
        status = 0;
      }
    }
  }
  std::fflush(stdout);
  run_prefix_flag = saved_flag;
  run_prefix_number = saved_number;
  return status;
}

}  // namespace

int run_montecarlo_calibration(parallel_context& context, int runs, const char* input_path) {
  if (runs < 1) {
    std::printf("Error: the run count of -m must be 1 or more; -m%d was given.\n", runs);
    return 1;
  }
  const int per_run = context.threads_per_run > 0 ? context.threads_per_run : 1;
  return run_sampling(context, runs / per_run, input_path);
}

int run_sensitivity_sampling(parallel_context& context, const char* input_path) {
  const int per_run = context.threads_per_run > 0 ? context.threads_per_run : 1;
  return run_sampling(context, 500 / per_run, input_path);
}
