#include "calibration/calib_objective.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error_state.h"
#include "core/physical_range.h"
#include "core/safe_file.h"
#include "core/text_io.h"

namespace {

constexpr double weight_floor = 1e-6;
constexpr double failed_below = -1e-16;

// A simulated value, or the failed marker for an event the arrays do not
// hold: an observed event the run never scored fails the trial rather than
// reading past the record.
double sim_at(std::span<const double> values, int i) {
  return i >= 0 && i < static_cast<int>(values.size()) ? values[i] : -999.99;
}

bool missing(std::span<const double> values) { return values.data() == nullptr; }

// Reads the numbers of one line into out (at most max); the count read.
int read_numbers(char* line, double* out, int max) {
  int count = 0;
  char token[token_capacity];
  while (count < max && next_token(line, token)) {
    if (!parse_finite_real(token, out[count])) break;
    ++count;
  }
  return count;
}

}  // namespace

void calib_objective::set_observations(std::vector<double> peaks, std::vector<double> p_weights,
                                       std::vector<double> volumes,
                                       std::vector<double> v_weights) {
  event_count = peaks.empty() ? 0 : static_cast<int>(peaks.size()) - 1;
  obs_peaks = std::move(peaks);
  peak_weights = std::move(p_weights);
  obs_volumes = std::move(volumes);
  volume_weights = std::move(v_weights);
}

int calib_objective::read_observations(const char* path) {
  refused = false;
  safe_file file;
  if (!path || !file.open(path, "r")) return -1;
  std::vector<char> line(max_line);
  int n = 0;
  char token[token_capacity];
  if (!read_line(file, line.data()) || !next_token(line.data(), token) || !parse_whole_int(token, n) ||
      n <= 0) {
    std::printf("Error: line 1 of the observation file %s must give the number of events (1 or "
                "more).\n",
                path);
    refused = true;
    file.close();
    return -1;
  }
  // The arrays grow with the lines read, so a count far beyond the file's
  // lines claims no memory for them.
  event_count = n;
  obs_peaks.assign(1, 0.0);
  peak_weights.assign(1, 0.0);
  obs_volumes.assign(1, 0.0);
  volume_weights.assign(1, 0.0);
  // What was read stays on a refusal: a driver that goes on scores against it.
  const auto refuse = [&](int read) {
    event_count = read;
    refused = true;
    file.close();
    return -1;
  };
  for (int i = 1; i <= n; ++i) {
    const int number = i + 1;
    double v[4];
    if (!read_line(file, line.data())) {
      std::printf("Error: the observation file %s gives %d events on line 1 but ends at line %d, "
                  "after %d of them.\n",
                  path, n, number - 1, i - 1);
      return refuse(i - 1);
    }
    if (read_numbers(line.data(), v, 4) < 4) {
      std::printf("Error: line %d of the observation file %s needs four numbers for event %d: "
                  "observed peak, peak weight, observed volume and volume weight.\n",
                  number, path, i);
      raise_error(err_observed_data_format);
      return refuse(i - 1);
    }
    // A negative weight would be taken for no weight without a word; a
    // negative observation that is scored has no physical meaning (one that
    // is not scored may mark a missing event).
    const char* names[4] = {"observed peak", "peak weight", "observed volume", "volume weight"};
    for (int f = 0; f < 4; ++f) {
      const bool weight = f % 2 == 1;
      if (v[f] >= 0.0 || (!weight && !(v[f + 1] > weight_floor))) continue;
      char allowed[64];
      range_words(ranges::non_negative, allowed, sizeof allowed);
      std::printf("Error: the %s %g of event %d on line %d of the observation file %s is outside "
                  "its range; it must be %s%s.\n",
                  names[f], v[f], i, number, path, allowed, weight ? "" : " while it is weighted");
      return refuse(i - 1);
    }
    obs_peaks.push_back(v[0]);
    peak_weights.push_back(v[1]);
    obs_volumes.push_back(v[2]);
    volume_weights.push_back(v[3]);
  }
  // A count below the events listed would leave the rest out of every score.
  for (int number = n + 2; read_line(file, line.data()); ++number) {
    if (!next_token(line.data(), token)) continue;
    std::printf("Error: the observation file %s gives %d events on line 1 but holds more: line %d "
                "is another.\n",
                path, n, number);
    return refuse(n);
  }
  file.close();
  return 1;
}

double calib_objective::volume_ratio_of() const {
  if (event_count <= 0) return 1.0;
  double peak = -1.0;
  double volume = -1.0;
  for (int i = 1; i <= event_count; ++i) {
    if (obs_peaks[i] > peak) peak = obs_peaks[i];
    if (obs_volumes[i] > volume) volume = obs_volumes[i];
  }
  return peak / volume;
}

double calib_objective::weighted_cost(std::span<const double> sp, std::span<const double> sv,
                                      int process_number) {
  if (missing(sp) || missing(sv)) return failed_score;
  char name[32];
  std::snprintf(name, sizeof name, "%d_cost.out", process_number);
  safe_file file;
  file.open(name, "a");
  std::FILE* out = file.stream;
  if (event_count <= 0) {
    file.close();
    return -1.0;
  }
  int points = 0;
  double sum = 0.0;
  for (int i = 1; i <= event_count; ++i) {
    if (peak_weights[i] > weight_floor) {
      const double sim = sim_at(sp, i);
      if (sim < failed_below) {
        file.close();
        return failed_score;
      }
      const double obs = obs_peaks[i];
      const double d = sim - obs;
      if (out) std::fprintf(out, "p:%lf, %lf  ", sim, d);
      ++points;
      sum += std::fabs((obs > 1e-16 ? d / obs : d) * peak_weights[i]);
    }
    if (volume_weights[i] > weight_floor) {
      const double sim = sim_at(sv, i);
      if (sim < failed_below) {
        file.close();
        return failed_score;
      }
      const double obs = obs_volumes[i];
      const double d = sim - obs;
      if (out) std::fprintf(out, "v:%lf, %lf  \n", sim, d);
      ++points;
      sum += std::fabs((obs > 0.0 ? d / obs : d) * volume_weights[i]);
    }
  }
  if (points == 0) {
    file.close();
    return -1.0;
  }
  if (out) {
    std::fprintf(out, "Total Points: %d\n", points);
    std::fprintf(out, "cost: %lf\n", sum);
    std::fprintf(out, "%s\n", std::string(79, '-').c_str());
  }
  file.close();
  return sum;
}

double calib_objective::rmse_of(std::span<const double> sp, std::span<const double> sv) {
  if (missing(sp) || missing(sv)) return failed_score;
  volume_ratio = volume_ratio_of();
  double sum = 0.0;
  for (int i = 1; i <= event_count; ++i) {
    const double peak = sim_at(sp, i);
    if (peak < failed_below) return failed_score;
    if (peak_weights[i] > weight_floor) sum += (peak - obs_peaks[i]) * (peak - obs_peaks[i]);
    const double volume = sim_at(sv, i);
    if (volume < failed_below) return failed_score;
    if (volume_weights[i] > weight_floor) {
      const double d = (volume - obs_volumes[i]) * volume_ratio;
      sum += d * d;
    }
  }
  return std::sqrt(sum);
}

double calib_objective::log_error_of(std::span<const double> sp, std::span<const double> sv) {
  if (missing(sp) || missing(sv)) return failed_score;
  volume_ratio = volume_ratio_of();
  double sum = 0.0;
  for (int i = 1; i <= event_count; ++i) {
    const double peak = sim_at(sp, i);
    if (peak < failed_below) return failed_score;
    if (peak_weights[i] > weight_floor) sum += std::fabs(std::log(peak) - std::log(obs_peaks[i]));
    const double volume = sim_at(sv, i);
    if (volume < failed_below) return failed_score;
    if (volume_weights[i] > weight_floor) {
      sum += std::fabs(std::log(volume * volume_ratio) - std::log(volume_ratio * obs_volumes[i]));
    }
  }
  return sum;
}

// The largest simulated value of the events that weigh in, or the marker
// of none when a trial failed.
double calib_objective::max_weighted(std::span<const double> sim,
                                     const std::vector<double>& weights) const {
  double largest = no_max_value;
  if (missing(sim)) return largest;
  for (int i = 1; i <= event_count; ++i) {
    const double value = sim_at(sim, i);
    if (value < failed_below) return largest;
    if (weights[i] > weight_floor && value > largest) largest = value;
  }
  return largest;
}

double calib_objective::max_sim_peak(std::span<const double> sp) const {
  return max_weighted(sp, peak_weights);
}

double calib_objective::max_sim_volume(std::span<const double> sv) const {
  return max_weighted(sv, volume_weights);
}

namespace {

// The HMLE's pieces over the weighted peaks: observed o, residual e = o - s,
// normalised logs L = ln o / M with M the mean log.
struct hmle_terms {
  std::vector<double> obs;
  std::vector<double> residual;
  std::vector<double> norm_log;
  double mean_log = 0.0;
};

hmle_terms hmle_prepare(const std::vector<double>& observed, const std::vector<double>& simulated) {
  hmle_terms t;
  const std::size_t m = observed.size();
  for (std::size_t k = 0; k < m; ++k) {
    t.obs.push_back(observed[k]);
    t.residual.push_back(observed[k] - simulated[k]);
    t.mean_log += std::log(observed[k]);
  }
  t.mean_log /= static_cast<double>(m);
  for (double o : t.obs) t.norm_log.push_back(std::log(o) / t.mean_log);
  return t;
}

double hmle_weight(double obs, double lambda) { return std::pow(obs, 2.0 * (lambda - 1.0)); }

double hmle_condition(const hmle_terms& t, double lambda) {
  double top = 0.0;
  double bottom = 0.0;
  for (std::size_t k = 0; k < t.obs.size(); ++k) {
    const double we2 = hmle_weight(t.obs[k], lambda) * t.residual[k] * t.residual[k];
    top += we2;
    bottom += we2 * t.norm_log[k];
  }
  return top / bottom - 1.0;
}

double hmle_solve(const hmle_terms& t) {
  return hmle_golden_section([&t](double lambda) { return std::fabs(hmle_condition(t, lambda)); },
                             0.1, 3.0);
}

double hmle_value(const hmle_terms& t, double lambda) {
  double sum = 0.0;
  for (std::size_t k = 0; k < t.obs.size(); ++k)
    sum += hmle_weight(t.obs[k], lambda) * t.residual[k] * t.residual[k];
  return sum / static_cast<double>(t.obs.size()) / std::exp(2.0 * (lambda - 1.0) * t.mean_log);
}

}  // namespace

double hmle_lambda(const std::vector<double>& observed, const std::vector<double>& simulated) {
  return hmle_solve(hmle_prepare(observed, simulated));
}

double calib_objective::hmle_of(std::span<const double> sp, std::span<const double> sv) const {
  if (missing(sp) || missing(sv)) return failed_score;
  int weighted = 0;
  std::vector<double> observed;
  std::vector<double> simulated;
  for (int i = 1; i <= event_count; ++i) {
    if (peak_weights[i] > weight_floor) {
      const double sim = sim_at(sp, i);
      if (sim < failed_below) return failed_score;
      observed.push_back(obs_peaks[i]);
      simulated.push_back(sim);
      ++weighted;
    }
    if (volume_weights[i] > weight_floor) {
      if (sim_at(sv, i) < failed_below) return failed_score;
      ++weighted;
    }
  }
  if (weighted == 0) return -1.0;
  // Volumes alone give the estimate nothing to stand on: no peak, no HMLE.
  if (observed.empty()) return -1.0;
  const hmle_terms t = hmle_prepare(observed, simulated);
  return hmle_value(t, hmle_solve(t));
}

void calib_objective::write_obs_log(std::span<const double> sp, std::span<const double> sv,
                                    int process_number) const {
  char name[32];
  std::snprintf(name, sizeof name, "%d_obs.log", process_number);
  safe_file file;
  if (!file.open(name, "a")) return;
  std::FILE* out = file.stream;
  std::fprintf(out, "%s\n", std::string(55, '-').c_str());
  std::fputs("Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n",
             out);
  for (int i = 1; i <= event_count; ++i) {
    const double peak = sim_at(sp, i);
    const double volume = sim_at(sv, i);
    std::fprintf(out,
                 "%-5d\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\n",
                 i, peak_weights[i], obs_peaks[i], peak, obs_peaks[i] - peak, volume_weights[i],
                 obs_volumes[i], volume, obs_volumes[i] - volume);
  }
  std::fputs("\n\n", out);
  file.close();
}

double calib_objective::evaluate(std::span<const double> sp, std::span<const double> sv,
                                 int process_number, int param_count, const double* params) {
  hmle = hmle_of(sp, sv);
  rmse = rmse_of(sp, sv);
  cost = weighted_cost(sp, sv, process_number);
  max_peak = max_sim_peak(sp);
  max_volume = max_sim_volume(sv);
  log_error = log_error_of(sp, sv);
  results.add(cost, hmle, rmse, log_error, max_peak, max_volume, params, param_count);
  write_obs_log(sp, sv, process_number);
  return cost;
}

void calib_objective::finish(int process_number, int, int partition_index, int threads_per_run,
                             int, int) {
  if (partition_index != 0) {
    results.clear();
    return;
  }
  results.regroup(threads_per_run);
  if (process_number == 0) results.write("results_all.out");
  results.clear();
}
