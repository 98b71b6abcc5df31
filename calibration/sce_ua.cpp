// The SCE-UA search and the -c calibration around it.

#include "calibration/sce_ua.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

// The points x[1..count] scored into xf, in their order: in this process, or
// dealt out to the processes of an MPI run and scored here as they come back.
void sce_evaluate_points(sce_optimizer& opt, const point_table& x, std::vector<double>& xf,
                         int count) {
  if (process_count() < 2) {
    for (int i = 1; i <= count; ++i) xf[i] = sce_evaluate(opt, x[i]);
    return;
  }
  // The results files carry the prefix the first trial gives them in one
  // process.
  run_prefix_flag = 1;
  run_prefix_number = parallel.process_number;
  const auto order_of = [&](int i) {
    trial_order order;
    order.index = i;
    order.params = x[i + 1];
    order.project = opt.project_path;
    order.replace_list = opt.replace_path;
    return order;
  };
  const auto done = [&](int i, const trial_outcome& outcome) {
    run_results results;
    results.peaks = outcome.peaks;
    results.volumes = outcome.volumes;
    const double cost = score_trial(results, *opt.objective, x[i + 1].data(), opt.nopt);
    xf[i + 1] = sce_book(opt, cost, outcome.message.c_str());
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

// Kind 1: uniform, kind 2: normal; each component redrawn until inside.
void sce_random_point(sce_optimizer& opt, int kind, const std::vector<double>& centre,
                      const std::vector<double>& scale, std::vector<double>& x) {
  for (int j = 1; j <= opt.nopt; ++j) {
    do {
      const double z = kind == 1 ? sce_ran1(opt.random_state) : sce_gasdev(opt.random_state);
      x[j] = centre[j] + (opt.upper[j] - opt.lower[j]) * (z * scale[j]);
    } while (x[j] < opt.lower[j] || x[j] > opt.upper[j]);
  }
}

// The competitive complex evolution step on a sub-complex s[1..nps].
void sce_cce(sce_optimizer& opt, point_table& s, std::vector<double>& sf, int nps,
             std::vector<double>& centroid, std::vector<double>& snew) {
  const int n = opt.nopt;
  const std::vector<double>& sb = s[1];
  const std::vector<double>& sw = s[nps];
  const double fw = sf[nps];
  for (int j = 1; j <= n; ++j) {
    double sum = 0.0;
    for (int k = 1; k <= nps - 1; ++k) sum += s[k][j];
    centroid[j] = sum / (nps - 1);
  }
  bool outside = false;
  for (int j = 1; j <= n; ++j) {
    snew[j] = 2.0 * centroid[j] - sw[j];
    if (snew[j] < opt.lower[j] || snew[j] > opt.upper[j]) outside = true;
  }
  if (outside) sce_random_point(opt, 2, sb, opt.stdx, snew);

  auto try_point = [&]() {
    const double fnew = sce_evaluate(opt, snew);
    opt.bestf = std::min(opt.bestf, fnew);
    if (log_usable(opt)) {
      write_log_line(opt, fnew, snew);
      std::fflush(opt.log_file.stream);
    }
    ++opt.icall;
    return fnew;
  };

  double fnew = try_point();
  if (fnew > fw) {
    for (int j = 1; j <= n; ++j) snew[j] = centroid[j] - (centroid[j] - sw[j]) * 0.5;
    fnew = try_point();
    if (fnew > fw) {
      sce_random_point(opt, 2, sb, opt.stdx, snew);
      fnew = try_point();
    }
  }
  s[nps] = snew;
  sf[nps] = fnew;
}

// Storage of one search, sized from its settings.
struct sce_work {
  point_table x, cx, s;
  std::vector<double> xf, cf, sf;
  std::vector<int> positions;
  std::vector<double> centroid, snew;
};

void sce_evolve_population(sce_optimizer& opt, sce_work& w, int igs) {
  const int npg = opt.npg;
  const int nps = opt.nps;
  for (int k = 1; k <= npg; ++k) {
    w.cx[k] = w.x[igs + opt.ngs * (k - 1)];
    w.cf[k] = w.xf[igs + opt.ngs * (k - 1)];
  }
  for (int step = 1; step <= opt.nspl; ++step) {
    if (nps == npg) {
      for (int k = 1; k <= nps; ++k) w.positions[k] = k;
    } else {
      for (int k = 1; k <= nps; ++k) {
        int position;
        bool taken;
        do {
          const double u = sce_ran1(opt.random_state);
          const double a = npg + 0.5;
          position = 1 + static_cast<int>(std::floor(a - std::sqrt(a * a - npg * (npg + 1.0) * u)));
          taken = false;
          for (int k1 = 1; k1 < k; ++k1) taken = taken || w.positions[k1] == position;
        } while (taken);
        w.positions[k] = position;
      }
      std::sort(w.positions.begin() + 1, w.positions.begin() + nps + 1);
    }
    for (int k = 1; k <= nps; ++k) {
      w.s[k] = w.cx[w.positions[k]];
      w.sf[k] = w.cf[w.positions[k]];
    }
    sce_cce(opt, w.s, w.sf, nps, w.centroid, w.snew);
    for (int k = 1; k <= nps; ++k) {
      w.cx[w.positions[k]] = w.s[k];
      w.cf[w.positions[k]] = w.sf[k];
    }
    sce_sort_population(w.cx, w.cf, npg);
  }
  for (int k = 1; k <= npg; ++k) {
    w.x[igs + opt.ngs * (k - 1)] = w.cx[k];
    w.xf[igs + opt.ngs * (k - 1)] = w.cf[k];
  }
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
  w.cx = make_points(opt.npg, n);
  w.cf.assign(opt.npg + 1, 0.0);
  w.s = make_points(opt.nps, n);
  w.sf.assign(opt.nps + 1, 0.0);
  w.positions.assign(opt.nps + 1, 0);
  w.centroid.assign(n + 1, 0.0);
  w.snew.assign(n + 1, 0.0);
  const std::vector<double> unit(n + 1, 1.0);

  // The draws do not depend on the costs: the whole population is drawn,
  // then scored.
  for (int i = 1; i <= npt; ++i) {
    if (i == 1 && opt.iniflg == 1) {
      w.x[1] = opt.start;
    } else {
      sce_random_point(opt, 1, opt.lower, unit, w.x[i]);
    }
  }
  sce_evaluate_points(opt, w.x, w.xf, npt);
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
      for (int igs = 1; igs <= opt.ngs; ++igs) sce_evolve_population(opt, w, igs);
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
