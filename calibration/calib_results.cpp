#include "calibration/calib_results.h"

#include <cstdio>

#include "core/safe_file.h"

namespace {

double key_of(const calib_result& r, int ranking) {
  switch (ranking) {
    case calib_results::by_cost: return r.cost;
    case calib_results::by_hmle: return r.hmle;
    case calib_results::by_rmse: return r.rmse;
    case calib_results::by_max_peak: return r.max_peak;
    case calib_results::by_max_volume: return r.max_volume;
    default: return r.log_error;
  }
}

}  // namespace

void calib_results::add(double cost, double hmle, double rmse, double log_error, double max_peak,
                        double max_volume, const double* params, int count) {
  calib_result r;
  r.cost = cost;
  r.hmle = hmle;
  r.rmse = rmse;
  r.max_peak = max_peak;
  r.max_volume = max_volume;
  r.log_error = log_error;
  r.param_count = count > 0 ? count : 0;
  r.params.assign(r.param_count + 1, 0.0);
  for (int j = 1; j <= r.param_count && params; ++j) r.params[j] = params[j];
  results_.push_back(std::move(r));

  // A new entry goes before the first entry of larger key, so equal keys keep
  // the order of addition.
  const int added = static_cast<int>(results_.size()) - 1;
  for (int k = 0; k < static_cast<int>(rankings_.size()); ++k) {
    std::vector<int>& order = rankings_[k];
    const double key = key_of(results_[added], k);
    auto at = order.begin();
    while (at != order.end() && !(key_of(results_[*at], k) > key)) ++at;
    order.insert(at, added);
  }
}

int calib_results::write(const char* path) const {
  // An empty store leaves the file alone: a search scored without a model
  // run has no line to add.
  if (results_.empty()) return 0;
  safe_file file;
  if (!file.open(path, "a")) return -1;
  std::FILE* out = file.stream;
  std::fseek(out, 0, SEEK_END);
  if (std::ftell(out) == 0) {
    std::fputs("--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n",
               out);
  }
  for (int index : rankings_[by_max_volume]) {
    const calib_result& r = results_[index];
    std::fprintf(out, "%-8.2lf\t%-12.4lf\t%-12.2lf\t%-12.6lf\t%-12.2lf\t%-12.2lf\t: ", r.cost, r.hmle,
                 r.rmse, r.log_error, r.max_peak, r.max_volume);
    for (int j = 1; j <= r.param_count; ++j) std::fprintf(out, "%-6.4lf  ", r.params[j]);
    std::fputs("\n", out);
  }
  file.close();
  return 0;
}

void calib_results::clear() {
  results_.clear();
  for (std::vector<int>& order : rankings_) order.clear();
}

void calib_results::regroup(int) const {}
