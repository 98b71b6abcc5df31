// The time-step table of the README: a tilted V under steady rain, run to
// equilibrium by each overland scheme at a few time steps. At equilibrium the
// outlet must pass rain x area; the table shows how far the mean over the last
// half hour stands from it and how much the discharge swings between two
// consecutive steps (what a hydrograph sampled every other step would miss).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_support.h"
#include "run/run_simulation.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "run/run_loop.h"
#include "core/text_io.h"

namespace {

namespace fs = std::filesystem;

constexpr int rows = 30;
constexpr int cols = 21;  // the V's floor is the middle column
constexpr double dx = 10.0;
constexpr double rain_mm_h = 20.0;
constexpr int run_minutes = 180;
constexpr int window_minutes = 30;

double ground(int r, int c, double floor_slope) {
  return 100.0 + floor_slope * dx * (rows - 1 - r) + 0.05 * dx * std::abs(c - cols / 2);
}

// Sides fall 5 % to the floor, the floor to the outlet on the south edge.
void write_v(const fs::path& dir, double floor_slope) {
  std::vector<double> mask(rows * cols, 1.0), elev(rows * cols), rough(rows * cols, 0.03);
  const int mid = cols / 2;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      elev[r * cols + c] = ground(r, c, floor_slope);
  bench::write_grid(dir / "mask.asc", rows, cols, dx, mask);
  bench::write_grid(dir / "elevation.asc", rows, cols, dx, elev);
  bench::write_grid(dir / "roughness.asc", rows, cols, dx, rough);

  // The channel: one trapezoid link under the floor, its bed a metre down,
  // a node at the upstream edge of each floor cell and one at the outlet.
  std::ofstream chan(dir / "v.chan");
  chan << "VALTO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " << rows + 1
       << "\nCONNECT 1 0 0\nLINK 1\nNODES " << rows + 1 << "\nTRAPEZOID\nDX " << dx
       << "\nMANNINGS_N 0.035\n";
  for (int n = 1; n <= rows + 1; ++n) {
    chan << "NODE " << n << "\nELEV " << ground(n - 1, mid, floor_slope) - 1.0 << "\n";
    if (n == 1) chan << "XSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 3\nSIDE_SLOPE 1\n";
  }
  std::ofstream gst(dir / "v.gst");
  gst << "GRIDSTREAMFILE\nSTREAMCELLS " << rows << "\n";
  for (int r = 1; r <= rows; ++r)
    gst << "CELLIJ " << r << " " << mid + 1 << "\nNUMNODES 1\nLINKNODE 1 " << r << " 1.0\n";
}

void write_project(const fs::path& dir, const char* scheme, double dt, double floor_slope,
                   bool channel) {
  std::ofstream p(dir / "v.prj");
  p << "VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\nROUGHNESS roughness.asc\n"
    << "GRIDSIZE " << dx << "\nROWS " << rows << "\nCOLS " << cols << "\nOUTROW " << rows
    << "\nOUTCOL " << cols / 2 + 1 << "\nOUTSLOPE " << floor_slope << "\nOVERTYPE " << scheme << "\nTIMESTEP " << dt
    << "\nTOT_TIME " << run_minutes << "\nPRECIP_UNIF\nRAIN_INTENSITY " << rain_mm_h
    << "\nRAIN_DURATION " << run_minutes << "\nSTART_DATE 2001 7 15\nSTART_TIME 0 0\n"
    << "HYD_FREQ 60\nMAP_FREQ 600\nQUIET\nNUM_THREADS 1\nSUMMARY v_summary.out\nOUTLET_HYDRO v_outlet.hyd\n";
  if (channel) p << "CHAN_EXPLIC\nCHANNEL_INPUT v.chan\nSTREAM_CELL v.gst\n";
}

// Outlet discharge of each step, from the run's outflow volume (over land
// and through the channel).
std::vector<double> flows;
double last_volume = 0.0;
double step_seconds = 0.0;

void record_outflow(model_state& s) {
  const double v = s.surface.outflow_volume;
  flows.push_back((v - last_volume) / step_seconds);
  last_volume = v;
}

struct row {
  int status;         // the run's exit status: not 0 when the scheme broke down
  double mean_ratio;  // mean outlet discharge over the window / (rain x area)
  double swing;       // largest change between consecutive steps / (rain x area)
};

row measure(const fs::path& dir, const char* scheme, double dt, double floor_slope, bool channel) {
  write_v(dir, floor_slope);
  write_project(dir, scheme, dt, floor_slope, channel);
  flows.clear();
  last_volume = 0.0;
  step_seconds = dt;
  std::vector<run_phase> steps(production_steps().begin(), production_steps().end());
  steps.push_back({"record_outflow", record_outflow});
  run_lists lists = production_lists();
  lists.steps = steps;
  const int status = bench::run_quietly(dir, "v.prj", lists);

  const double q_eq = rain_mm_h / 1000.0 / 3600.0 * rows * cols * dx * dx;
  const std::size_t window = static_cast<std::size_t>(window_minutes * 60 / dt);
  row out{status, 0.0, 0.0};
  if (status != 0 || flows.size() < window + 1) return out;
  double sum = 0.0;
  for (std::size_t k = flows.size() - window; k < flows.size(); ++k) {
    sum += flows[k];
    out.swing = std::max(out.swing, std::abs(flows[k] - flows[k - 1]) / q_eq);
  }
  out.mean_ratio = sum / window / q_eq;
  return out;
}

void print(const char* label, double dt, const row& r) {
  if (r.status != 0)
    std::printf("%-16s %6.1f %31s\n", label, dt, "run stopped");
  else
    std::printf("%-16s %6.1f %14.6f %16.6f\n", label, dt, r.mean_ratio, r.swing);
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  const fs::path dir = bench::scratch_folder("valto_timestep_bench");
  constexpr double steps[] = {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0};
  std::printf("tilted V, %d x %d cells of %.0f m, sides 5 %%, rain %.0f mm/h, last %d of %d minutes\n",
              rows, cols, dx, rain_mm_h, window_minutes, run_minutes);
  std::printf("%-16s %6s %14s %16s\n", "overland, floor 2 %", "dt s", "mean Q/(iA)",
              "step swing/(iA)");
  for (const char* scheme : {"explicit", "ade", "ade-pc"})
    for (double dt : steps) print(scheme, dt, measure(dir, scheme, dt, 0.02, false));
  std::printf("%-16s %6s %14s %16s\n", "channel (ADE)", "dt s", "mean Q/(iA)", "step swing/(iA)");
  for (double slope : {0.02, 0.005, 0.001}) {
    char label[32];
    std::snprintf(label, sizeof label, "floor %.1f %%", slope * 100.0);
    for (double dt : steps) print(label, dt, measure(dir, "ade", dt, slope, true));
  }
  if (std::getenv("KEEP") == nullptr) fs::remove_all(dir);
  return 0;
}
