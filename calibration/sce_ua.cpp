// The SCE-UA search and the -c calibration around it.

#include "calibration/sce_ua.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "calibration/run_results.h"
#include "calibration/trial_dealer.h"
#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"

namespace {

using point_table = std::vector<std::vector<double>>;

// A table of count points of n parameters, 1-based both ways.
point_table make_points(int count, int n) {
  return point_table(count + 1, std::vector<double>(n + 1, 0.0));
}

// A trial's cost as the search takes it (absolute), its results line and its
// tally.
double sce_book(sce_optimizer& opt, double cost, const char* message) {
  opt.objective->finish(parallel.process_number, parallel.run_group, parallel.partition_index,
                        parallel.threads_per_run, 1, 1);
  opt.tally.book(std::fabs(cost), message);
  return std::fabs(cost);
}

// One trial: the absolute cost of the point, and the trial's results line.
double sce_evaluate(sce_optimizer& opt, const std::vector<double>& point) {
  const double cost = opt.cost_callback(opt.replace_path.c_str(), opt.project_path.c_str(),
                                        point.data(), *opt.objective, opt.nopt);
  return sce_book(opt, cost, first_error_message());
}

// Trials 0..count-1 at point_of(i), each cost handed to take(i, cost) in
// trial order: run in this process, or dealt out to the processes of an MPI
// run and scored here as they come back.
void sce_evaluate_each(sce_optimizer& opt, int count,
                       const std::function<const std::vector<double>&(int)>& point_of,
                       const std::function<void(int, double)>& take) {
  if (process_count() < 2) {
    for (int i = 0; i < count; ++i) take(i, sce_evaluate(opt, point_of(i)));
    return;
  }
  // The results files carry the prefix the first trial gives them in one
  // process.
  run_prefix_flag = 1;
  run_prefix_number = parallel.process_number;
  const auto order_of = [&](int i) {
    trial_order order;
    order.index = i;
    order.params = point_of(i);
    order.project = opt.project_path;
    order.replace_list = opt.replace_path;
    return order;
  };
  const auto done = [&](int i, const trial_outcome& outcome) {
    run_results results;
    results.peaks = outcome.peaks;
    results.volumes = outcome.volumes;
    const double cost = score_trial(results, *opt.objective, point_of(i).data(), opt.nopt);
    take(i, sce_book(opt, cost, outcome.message.c_str()));
  };
  deal_trials(count, order_of, done);
}

void write_log_line(sce_optimizer& opt, double cost, const std::vector<double>& point) {
  std::FILE* out = opt.log_file.stream;
  std::fprintf(out, "%-5d  %8.3lf %8.3lf  : ", opt.icall, cost, opt.bestf);
  for (int j = 1; j <= opt.nopt; ++j) std::fprintf(out, " %le", point[j]);
  std::fputs("\n", out);
}

// The log is opened at its first use, after the first trial has switched the
// run prefix on.
bool log_usable(sce_optimizer& opt) {
  if (opt.log_failed) return false;
  if (opt.log_file.is_open()) return true;
  if (!opt.log_file.open("sce_log_file.txt", "w")) {
    std::printf("Error: unable to open the log file.\n");
    opt.log_failed = 1;
    return false;
  }
  std::fputs("Sim No.   Cost     Minimum Cost:  Parameter Values\n", opt.log_file.stream);
  return true;
}

void sce_log_population(sce_optimizer& opt, const point_table& x, const std::vector<double>& xf,
                        int npt) {
  for (int i = 1; i <= npt; ++i) opt.bestf = std::min(opt.bestf, xf[i]);
  if (!log_usable(opt)) return;
  for (int i = 1; i <= npt; ++i) {
    write_log_line(opt, xf[i], x[i]);
    ++opt.icall;
  }
  std::fflush(opt.log_file.stream);
}

// Index heap sort of cost[1..n]: index[k] is the point of rank k.
void sce_index_sort(const std::vector<double>& cost, int n, std::vector<int>& index) {
  index.assign(n + 1, 0);
  for (int i = 1; i <= n; ++i) index[i] = i;
  auto sift = [&](int root, int end) {
    while (2 * root <= end) {
      int child = 2 * root;
      if (child < end && cost[index[child + 1]] > cost[index[child]]) ++child;
      if (!(cost[index[root]] < cost[index[child]])) break;
      std::swap(index[root], index[child]);
      root = child;
    }
  };
  for (int i = n / 2; i >= 1; --i) sift(i, n);
  for (int end = n; end > 1; --end) {
    std::swap(index[1], index[end]);
    sift(1, end - 1);
  }
}

// Normalised standard deviations and the geometric range of the population.
void sce_population_spread(sce_optimizer& opt, const point_table& x, int npt) {
  const int n = opt.nopt;
  double log_sum = 0.0;
  for (int j = 1; j <= n; ++j) {
    double hi = -1e20;
    double lo = 1e20;
    double sum = 0.0;
    double squares = 0.0;
    for (int i = 1; i <= npt; ++i) {
      hi = std::max(hi, x[i][j]);
      lo = std::min(lo, x[i][j]);
      sum += x[i][j];
      squares += x[i][j] * x[i][j];
    }
    const double mean = sum / npt;
    const double variance = std::max(squares / npt - mean * mean, 1e-20);
    opt.xmax[j] = hi;
    opt.xmin[j] = lo;
    opt.xmean[j] = mean;
    opt.stdx[j] = std::sqrt(variance) / opt.range[j];
    log_sum += std::log((hi - lo) / opt.range[j] + 1e-20);
  }
  opt.gnrng = std::exp(log_sum / n);
}

// Where a search draws its random numbers: the search's one stream, shared
// by its complexes in turn (a search in one process), or a complex's own
// stream for one shuffling loop, seeded from the search's seed, the loop and
// the complex, so that complexes evolving side by side draw what they would
// draw in any order. An own stream is the same multiplicative generator
// with its own shuffle table and kept normal deviate.
class sce_draws {
 public:
  explicit sce_draws(int* shared) : shared_(shared) {}
  sce_draws(int seed, int loop, int complex) {
    std::uint64_t h = std::uint64_t(std::uint32_t(seed)) * 0x9E3779B97F4A7C15ull;
    for (const std::uint64_t part : {std::uint64_t(loop), std::uint64_t(complex)}) {
      h ^= part + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
      h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
      h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
      h ^= h >> 31;
    }
    state_ = 1 + int(h % std::uint64_t(modulus - 1));
    for (int j = table_size + 7; j >= 0; --j) {
      advance();
      if (j < table_size) table_[j] = state_;
    }
    kept_ = table_[0];
  }

  double uniform() {
    if (shared_) return sce_ran1(*shared_);
    advance();
    const int j = kept_ / (1 + (modulus - 1) / table_size);
    kept_ = table_[j];
    table_[j] = state_;
    return std::min(kept_ * (1.0 / modulus), 1.0 - 1.2e-7);
  }

  double normal() {
    if (shared_) return sce_gasdev(*shared_);
    if (normal_kept_) {
      normal_kept_ = false;
      return normal_value_;
    }
    double p, q, r;
    do {
      p = 2.0 * uniform() - 1.0;
      q = 2.0 * uniform() - 1.0;
      r = p * p + q * q;
    } while (r >= 1.0 || r == 0.0);
    const double f = std::sqrt(-2.0 * std::log(r) / r);
    normal_value_ = f * p;
    normal_kept_ = true;
    return f * q;
  }

 private:
  static constexpr int modulus = 2147483647;  // 2^31 - 1
  static constexpr int table_size = 32;
  // Park-Miller by Schrage's factorisation.
  void advance() {
    const int k = state_ / 127773;
    state_ = 16807 * (state_ - k * 127773) - 2836 * k;
    if (state_ < 0) state_ += modulus;
  }
  int* shared_ = nullptr;
  int state_ = 1;
  int kept_ = 0;
  int table_[table_size] = {};
  bool normal_kept_ = false;
  double normal_value_ = 0.0;
};

// Kind 1: uniform, kind 2: normal; each component redrawn until inside.
void sce_random_point(const sce_optimizer& opt, sce_draws& draws, int kind,
                      const std::vector<double>& centre, const std::vector<double>& scale,
                      std::vector<double>& x) {
  for (int j = 1; j <= opt.nopt; ++j) {
    do {
      const double z = kind == 1 ? draws.uniform() : draws.normal();
      x[j] = centre[j] + (opt.upper[j] - opt.lower[j]) * (z * scale[j]);
    } while (x[j] < opt.lower[j] || x[j] > opt.upper[j]);
  }
}

// One complex through its evolution steps of a shuffling loop. Each step
// picks a sub-complex with the trapezoidal probability and tries, in turn
// while the new point is worse than the sub-complex's worst, its reflection
// through the centroid of the others, a contraction halfway to the worst
// and a random point about the best; the point tried last replaces the
// worst. The complex asks for one trial at a time (`trial_point`) and takes
// its cost through `take_cost`, so that a search can evolve its complexes
// one after another or side by side.
class sce_complex {
 public:
  sce_complex(const sce_optimizer& opt, sce_draws draws)
      : opt_(opt), draws_(draws), cx_(make_points(opt.npg, opt.nopt)), cf_(opt.npg + 1, 0.0),
        s_(make_points(opt.nps, opt.nopt)), sf_(opt.nps + 1, 0.0), positions_(opt.nps + 1, 0),
        centroid_(opt.nopt + 1, 0.0), snew_(opt.nopt + 1, 0.0) {}

  // Complex igs of the population, its points taken every ngs-th.
  void take_from(const point_table& x, const std::vector<double>& xf, int igs) {
    for (int k = 1; k <= opt_.npg; ++k) {
      cx_[k] = x[igs + opt_.ngs * (k - 1)];
      cf_[k] = xf[igs + opt_.ngs * (k - 1)];
    }
    step_ = 0;
    next_step();
  }
  void give_back(point_table& x, std::vector<double>& xf, int igs) const {
    for (int k = 1; k <= opt_.npg; ++k) {
      x[igs + opt_.ngs * (k - 1)] = cx_[k];
      xf[igs + opt_.ngs * (k - 1)] = cf_[k];
    }
  }

  bool evolved() const { return step_ > opt_.nspl; }
  const std::vector<double>& trial_point() const { return snew_; }

  void take_cost(double fnew) {
    const double fw = sf_[opt_.nps];
    const int n = opt_.nopt;
    if (fnew > fw && tried_ == 1) {
      for (int j = 1; j <= n; ++j) snew_[j] = centroid_[j] - (centroid_[j] - s_[opt_.nps][j]) * 0.5;
      tried_ = 2;
      return;
    }
    if (fnew > fw && tried_ == 2) {
      sce_random_point(opt_, draws_, 2, s_[1], opt_.stdx, snew_);
      tried_ = 3;
      return;
    }
    const int nps = opt_.nps;
    s_[nps] = snew_;
    sf_[nps] = fnew;
    for (int k = 1; k <= nps; ++k) {
      cx_[positions_[k]] = s_[k];
      cf_[positions_[k]] = sf_[k];
    }
    sce_sort_population(cx_, cf_, opt_.npg);
    next_step();
  }

 private:
  // The next step's sub-complex and its reflected point.
  void next_step() {
    if (++step_ > opt_.nspl) return;
    const int npg = opt_.npg, nps = opt_.nps, n = opt_.nopt;
    if (nps == npg) {
      for (int k = 1; k <= nps; ++k) positions_[k] = k;
    } else {
      for (int k = 1; k <= nps; ++k) {
        int position;
        bool taken;
        do {
          const double u = draws_.uniform();
          const double a = npg + 0.5;
          position = 1 + static_cast<int>(std::floor(a - std::sqrt(a * a - npg * (npg + 1.0) * u)));
          taken = false;
          for (int k1 = 1; k1 < k; ++k1) taken = taken || positions_[k1] == position;
        } while (taken);
        positions_[k] = position;
      }
      std::sort(positions_.begin() + 1, positions_.begin() + nps + 1);
    }
    for (int k = 1; k <= nps; ++k) {
      s_[k] = cx_[positions_[k]];
      sf_[k] = cf_[positions_[k]];
    }
    for (int j = 1; j <= n; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= nps - 1; ++k) sum += s_[k][j];
      centroid_[j] = sum / (nps - 1);
    }
    bool outside = false;
    for (int j = 1; j <= n; ++j) {
      snew_[j] = 2.0 * centroid_[j] - s_[nps][j];
      if (snew_[j] < opt_.lower[j] || snew_[j] > opt_.upper[j]) outside = true;
    }
    if (outside) sce_random_point(opt_, draws_, 2, s_[1], opt_.stdx, snew_);
    tried_ = 1;
  }

  const sce_optimizer& opt_;
  sce_draws draws_;
  point_table cx_;               // the complex, best first
  std::vector<double> cf_;
  point_table s_;                // the step's sub-complex
  std::vector<double> sf_;
  std::vector<int> positions_;   // its points' places in the complex
  std::vector<double> centroid_;
  std::vector<double> snew_;     // the point to try
  int step_ = 0;                 // evolution step, 1..nspl
  int tried_ = 0;                // 1 reflection, 2 contraction, 3 random point
};

// Storage of one search, sized from its settings.
struct sce_work {
  point_table x;
  std::vector<double> xf;
};

// A tried point's cost into the best so far, the log and the trial count.
void sce_log_trial(sce_optimizer& opt, double cost, const std::vector<double>& point) {
  opt.bestf = std::min(opt.bestf, cost);
  if (log_usable(opt)) {
    write_log_line(opt, cost, point);
    std::fflush(opt.log_file.stream);
  }
  ++opt.icall;
}

// One shuffling loop's evolution in one process: the complexes one after
// another on the search's stream, as the search has always run.
void sce_evolve_in_turn(sce_optimizer& opt, sce_work& w, sce_draws& draws) {
  for (int igs = 1; igs <= opt.ngs; ++igs) {
    sce_complex c(opt, draws);
    // The copy shares the search's stream: nothing of it stays behind.
    c.take_from(w.x, w.xf, igs);
    while (!c.evolved()) {
      const double cost = sce_evaluate(opt, c.trial_point());
      sce_log_trial(opt, cost, c.trial_point());
      c.take_cost(cost);
    }
    c.give_back(w.x, w.xf, igs);
  }
}

// One shuffling loop's evolution over the processes of an MPI run: every
// complex on its own stream, their trials dealt out in rounds, one trial of
// each complex still evolving a round. Each round's trials are booked,
// logged and counted in complex order, so the search and its files are the
// same at any number of processes.
void sce_evolve_side_by_side(sce_optimizer& opt, sce_work& w, int loop) {
  std::vector<sce_complex> complexes;
  complexes.reserve(std::size_t(opt.ngs));
  for (int igs = 1; igs <= opt.ngs; ++igs) {
    complexes.emplace_back(opt, sce_draws(opt.iseed, loop, igs));
    complexes.back().take_from(w.x, w.xf, igs);
  }
  std::vector<int> round;
  for (;;) {
    round.clear();
    for (int igs = 1; igs <= opt.ngs; ++igs)
      if (!complexes[std::size_t(igs - 1)].evolved()) round.push_back(igs);
    if (round.empty()) break;
    sce_evaluate_each(opt, int(round.size()),
                      [&](int i) -> const std::vector<double>& {
                        return complexes[std::size_t(round[std::size_t(i)] - 1)].trial_point();
                      },
                      [&](int i, double cost) {
                        sce_complex& c = complexes[std::size_t(round[std::size_t(i)] - 1)];
                        sce_log_trial(opt, cost, c.trial_point());
                        c.take_cost(cost);
                      });
  }
  for (int igs = 1; igs <= opt.ngs; ++igs) complexes[std::size_t(igs - 1)].give_back(w.x, w.xf, igs);
}

void write_point_rows(std::FILE* out, const std::vector<double>& point, int n, const char* first) {
  for (int j = 1; j <= std::min(n, 8); ++j) std::fprintf(out, first, point[j]);
  std::fputs("\n", out);
  if (n > 8) {
    for (int j = 9; j <= n; ++j) std::fprintf(out, "%10.3lf ", point[j]);
    std::fputs("\n", out);
  }
}

// Drops the last complex: the points of the first g complexes stay in their
// interleaved order.
void sce_partition(sce_optimizer& opt, sce_work& w) {
  const int g = opt.ngs - 1;
  point_table x = w.x;
  std::vector<double> xf = w.xf;
  for (int i = 1; i <= g; ++i) {
    for (int k = 1; k <= opt.npg; ++k) {
      x[i + g * (k - 1)] = w.x[i + opt.ngs * (k - 1)];
      xf[i + g * (k - 1)] = w.xf[i + opt.ngs * (k - 1)];
    }
  }
  w.x = std::move(x);
  w.xf = std::move(xf);
  opt.ngs = g;
}

// No change of the criterion: a relative change below pcento, where two
// equal costs of 0 count as no change at all.
bool criterion_stalled(double pcento, double earlier, double bestf) {
  const double change = std::fabs(earlier - bestf);
  const double scale = std::fabs(earlier + bestf) * 0.5;
  if (scale == 0.0) return change == 0.0;
  return pcento > change / scale;
}

}  // namespace

void sce_sort_population(point_table& x, std::vector<double>& xf, int count) {
  std::vector<int> index;
  sce_index_sort(xf, count, index);
  const point_table x0 = x;
  const std::vector<double> xf0 = xf;
  for (int k = 1; k <= count; ++k) {
    x[k] = x0[index[k]];
    xf[k] = xf0[index[k]];
  }
}

int sceua(sce_optimizer& opt) {
  if (!opt.ready) {
    std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
    return -1;
  }
  if (!opt.objective) opt.objective = std::make_unique<calib_objective>();
  const int n = opt.nopt;
  std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
  opt.bestf = 99999999.0;
  opt.range.assign(n + 1, 0.0);
  for (int j = 1; j <= n; ++j) opt.range[j] = opt.upper[j] - opt.lower[j];
  opt.stdx.assign(n + 1, 0.0);
  opt.xmax.assign(n + 1, 0.0);
  opt.xmin.assign(n + 1, 0.0);
  opt.xmean.assign(n + 1, 0.0);
  opt.best_point.assign(n + 1, 0.0);
  opt.random_state = -std::abs(opt.iseed);
  sce_clear_gasdev();
  opt.loops = 0;
  int npt = opt.ngs * opt.npg;
  std::FILE* out = opt.output_file.stream;
  std::fputs("ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n", out);
  std::printf(" ***  Evolution Loop Number %d\n", 0);
  if (opt.maxn < npt) {
    std::printf("Error: maximum number of function calls less than the number of points\n");
    return -1;
  }

  sce_work w;
  w.x = make_points(npt, n);
  w.xf.assign(npt + 1, 0.0);
  const std::vector<double> unit(n + 1, 1.0);
  sce_draws search_draws(&opt.random_state);
  // Under MPI the complexes evolve side by side, each on its own stream.
  const bool side_by_side = process_count() > 1;

  // The draws do not depend on the costs: the whole population is drawn,
  // then scored.
  for (int i = 1; i <= npt; ++i) {
    if (i == 1 && opt.iniflg == 1) {
      w.x[1] = opt.start;
    } else {
      sce_random_point(opt, search_draws, 1, opt.lower, unit, w.x[i]);
    }
  }
  sce_evaluate_each(
      opt, npt, [&](int i) -> const std::vector<double>& { return w.x[i + 1]; },
      [&](int i, double cost) { w.xf[i + 1] = cost; });
  opt.icall = 1;
  sce_log_population(opt, w.x, w.xf, npt);

  sce_sort_population(w.x, w.xf, npt);
  opt.best_point = w.x[1];
  opt.bestf = w.xf[1];
  sce_population_spread(opt, w.x, npt);

  double history[21] = {};
  if (opt.icall < opt.maxn && opt.gnrng > 0.001) {
    for (int nloop = 1;; ++nloop) {
      opt.loops = nloop;
      std::printf(" ***  Evolution Loop Number %d\n", nloop);
      if (side_by_side) {
        sce_evolve_side_by_side(opt, w, nloop);
      } else {
        sce_evolve_in_turn(opt, w, search_draws);
      }
      sce_sort_population(w.x, w.xf, npt);
      opt.best_point = w.x[1];
      opt.bestf = w.xf[1];
      sce_population_spread(opt, w.x, npt);

      std::fprintf(out, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", nloop, opt.icall, opt.ngs,
                   opt.bestf, w.xf[npt], opt.gnrng);
      write_point_rows(out, opt.best_point, n, "%10.3lf ");
      if (opt.iprint == 1) {
        std::fprintf(out, " POPULATION AT LOOP %d\n", nloop);
        for (int i = 1; i <= npt; ++i) {
          std::fprintf(out, "%10.5lf ", w.xf[i]);
          write_point_rows(out, w.x[i], n, "%10.5lf ");
        }
      }
      std::fflush(out);

      if (opt.icall >= opt.maxn) {
        std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
        std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", opt.maxn);
        std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", 0, opt.ngs + 1, nloop);
        break;
      }
      history[20] = opt.bestf;
      if (nloop >= opt.kstop + 1 && criterion_stalled(opt.pcento, history[20 - opt.kstop], opt.bestf)) {
        std::fprintf(out, " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
        std::fprintf(out, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n", opt.pcento * 100.0,
                     opt.kstop);
        break;
      }
      for (int k = 1; k <= 19; ++k) history[k] = history[k + 1];
      if (opt.gnrng <= 0.001) {
        std::fprintf(out, " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
        std::fprintf(out, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", opt.gnrng * 100.0);
        break;
      }
      if (opt.ngs > opt.mings) {
        sce_partition(opt, w);
        npt = opt.npg * opt.ngs;
      }
    }
  }

  std::fputs(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n", out);
  std::fprintf(out, "%lf ", opt.bestf);
  for (int j = 1; j <= std::min(n, 12); ++j) std::fprintf(out, "%lf ", opt.best_point[j]);
  std::fputs("\n", out);
  std::fflush(out);
  return opt.icall;
}
