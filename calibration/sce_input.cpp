// The SCE-UA input file, its checks and the objective of the search.

#include <cstdio>
#include <vector>

#include "calibration/calib_input_text.h"
#include "calibration/sce_ua.h"
#include "core/text_io.h"
#include "input/project_file.h"

namespace {

// Takes the next token as an int or a real; false when the file has no more
// or the token is not a number.
bool take_int(const std::vector<numbered_token>& t, std::size_t& at, int& value) {
  if (at >= t.size() || !parse_whole_int(t[at].text.c_str(), value)) return false;
  ++at;
  return true;
}

bool take_real(const std::vector<numbered_token>& t, std::size_t& at, double& value) {
  if (at >= t.size() || !parse_finite_real(t[at].text.c_str(), value)) return false;
  ++at;
  return true;
}

// The line of the token where reading stopped, for the messages.
int line_at(const std::vector<numbered_token>& t, std::size_t at, int last_line) {
  return at < t.size() ? t[at].line : last_line;
}

void apply_defaults(sce_optimizer& opt) {
  const int n = opt.nopt;
  opt.npg = 2 * n + 1;
  opt.nps = n + 1;
  opt.nspl = 2 * n + 1;
  opt.mings = opt.ngs;
  opt.iniflg = 0;
  opt.iprint = 0;
}

}  // namespace

int scein(sce_optimizer& opt, safe_file& input) {
  std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
  std::vector<char> line(max_line);
  std::string* paths[3] = {&opt.project_path, &opt.replace_path, &opt.obs_path};
  for (int k = 0; k < 3; ++k) {
    if (!read_line(input, line.data())) {
      std::printf("Error: the SCE input file %s ends at line %d, before its three path lines.\n",
                  input.path, k + 1);
      return -1;
    }
    *paths[k] = first_path_token(line.data());
    if (paths[k]->size() >= path_capacity) {
      std::printf("Error: the path on line %d of the SCE input file %s is longer than %d characters.\n",
                  k + 1, input.path, path_capacity - 1);
      return -1;
    }
  }
  read_project_path(opt.project_path.c_str());

  const std::vector<numbered_token> t = read_tokens(input, 4);
  const int last_line = t.empty() ? 4 : t.back().line;
  std::size_t at = 0;
  if (!take_int(t, at, opt.maxn) || !take_int(t, at, opt.kstop) || !take_real(t, at, opt.pcento) ||
      !take_int(t, at, opt.ngs) || !take_int(t, at, opt.iseed) || !take_int(t, at, opt.ideflt) ||
      !take_int(t, at, opt.nopt)) {
    std::printf("Error in your input file. The first line must have 7 parameters.\n");
    return -1;
  }
  if (opt.iseed == 0) opt.iseed = 3737;
  if (opt.nopt < 1) {
    std::printf("Error: the SCE input file %s gives %d parameters on line %d; at least 1 is needed.\n",
                input.path, opt.nopt, t[at - 1].line);
    return -1;
  }
  // Three numbers a parameter must follow the seven and the six settings: a
  // count the file cannot hold is refused before anything is sized by it.
  const int n = opt.nopt;
  if (static_cast<long long>(n) * 3 > static_cast<long long>(t.size())) {
    std::printf("Error: the SCE input file %s gives %d parameters but holds the values of fewer.\n",
                input.path, n);
    return -1;
  }
  opt.start.assign(n + 1, 0.0);
  opt.lower.assign(n + 1, 0.0);
  opt.upper.assign(n + 1, 0.0);

  int settings[6] = {};
  for (int& s : settings) {
    if (!take_int(t, at, s)) {
      std::printf(
          "Error: the SCE input file %s holds no whole number for the algorithm settings at line "
          "%d.\n",
          input.path, line_at(t, at, last_line));
      return -1;
    }
  }
  if (opt.ideflt == 1) {
    opt.npg = settings[0];
    opt.nps = settings[1];
    opt.nspl = settings[2];
    opt.mings = settings[3];
    opt.iniflg = settings[4];
    opt.iprint = settings[5];
  }
  for (int j = 1; j <= n; ++j) {
    if (!take_real(t, at, opt.start[j]) || !take_real(t, at, opt.lower[j]) ||
        !take_real(t, at, opt.upper[j])) {
      std::printf(
          "Error: the SCE input file %s holds no start value and bounds for parameter %d at line "
          "%d.\n",
          input.path, j, line_at(t, at, last_line));
      return -1;
    }
    const int line_of_upper = t[at - 1].line;
    if (opt.lower[j] >= opt.upper[j]) {
      std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %d\n", j);
      std::printf("Error: parameter %d on line %d of the SCE input file %s has the lower bound %g "
                  "and the upper bound %g; the lower must be below the upper.\n",
                  j, line_of_upper, input.path, opt.lower[j], opt.upper[j]);
      return -1;
    }
    // A start outside its bounds would seed the search with a point it may
    // never return to.
    if (opt.start[j] < opt.lower[j] || opt.start[j] > opt.upper[j]) {
      std::printf("Error: the start value %g of parameter %d on line %d of the SCE input file %s "
                  "is outside its bounds; it must be from %g to %g.\n",
                  opt.start[j], j, t[at - 3].line, input.path, opt.lower[j], opt.upper[j]);
      return -1;
    }
  }
  input.close();
  return 0;
}

int sce_check_input(sce_optimizer& opt) {
  const int n = opt.nopt;
  int r = 0;
  if (opt.ideflt == 0) apply_defaults(opt);
  if (opt.ngs < 1 || opt.ngs >= 1320) {
    std::printf(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n",
                opt.ngs);
    opt.ready = 0;
  }
  if (opt.kstop < 0 || opt.kstop >= 20) {
    std::printf(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
    std::printf(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", opt.kstop);
    std::printf(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
    ++r;
    opt.kstop = 5;
  }
  if (opt.mings <= 0 || opt.mings > opt.ngs) {
    std::printf(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n", opt.mings);
    std::printf(" SET IT TO DEFAULT\n");
    ++r;
    opt.mings = opt.ngs;
  }
  const int ngs_floor = opt.ngs > 1 ? opt.ngs : 1;
  if (opt.npg < 2 || opt.npg > 1320 / ngs_floor) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", opt.npg);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    ++r;
    opt.npg = 2 * n + 1;
  }
  if (opt.nps < 2 || opt.nps > opt.npg || opt.nps > 50) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", opt.nps);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    ++r;
    opt.nps = n + 1;
  }
  if (opt.nspl <= 0) {
    ++r;
    opt.nspl = opt.npg;
  }
  // A file may give any count of complexes: the product is taken wide.
  const long long population = static_cast<long long>(opt.npg) * opt.ngs;
  if (population > 1320) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %lld EXCEED\n",
                population);
    std::printf(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
    ++r;
    opt.ngs = 2;
    opt.npg = 2 * n + 1;
    opt.nspl = 2 * n + 1;
    opt.nps = n + 1;
  }
  if (r > 0) std::printf(" *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", r);
  return r;
}

void sce_init(sce_optimizer& opt, const char* input_path, const char* output_path) {
  opt.ready = 0;
  safe_file input;
  if (!input_path || !input.open(input_path, "r")) {
    std::printf("Can't open SCE input file %s\n", input_path ? input_path : "");
  } else if (scein(opt, input) == 0) {
    opt.ready = 1;
    sce_check_input(opt);
    if (opt.ngs < 1 || opt.ngs >= 1320) opt.ready = 0;
  }
  input.close();

  opt.output_open = 1;
  if (!opt.output_file.open(output_path, "w")) {
    std::printf("Can't open output file %s\n", output_path);
    opt.ready = 0;
  }
}

int sce_create_objective(sce_optimizer& opt) {
  opt.objective = std::make_unique<calib_objective>();
  if (opt.objective->read_observations(opt.obs_path.c_str()) == -1) {
    // A file refused for what it holds has named its line.
    if (opt.objective->refused) return -1;
    std::printf(
        "Error: unable to open the observation file for reading or problem while reading it.\n"
        "Attempted to read file: %s\n",
        opt.obs_path.c_str());
    return -1;
  }
  return 1;
}
