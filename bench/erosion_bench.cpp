// Overland erosion on a 1000 x 1000 tilted plane of 10 m cells, three
// classes (0.002, 0.03, 0.5 mm), every cell flowing under 20 mm/h of rain:
// ten erosion calls of 10 s on 1, 2, 4 and 8 threads. Prints milliseconds
// per call, the speed-up over one thread and the bound of the memory
// bandwidth, and checks that every thread count leaves the same class
// records and outlet volume.
//
// Bytes a cell step with three classes, counted from the code; a cell holds
// four class slots (the total and three classes) of the volume record (5
// doubles), the fraction record (4) and the step's eroded and deposited
// volumes (1 each). Detachment, transport and settling go over the grid in
// one wavefront, row after row, each row's cells touched again only while
// they are still in cache: a cell step reads the depth, elevation, both face
// flows and the rain (5 doubles), the splash, detachment and capacity
// coefficients and the critical stress (5 doubles), four neighbour indices,
// the channel flag and its mask entry (6 ints), reads and writes the
// fraction records (4 x 32 B, the capacity refreshes the suspended
// fractions), the volume records (4 x 80 B) and the eroded and deposited
// volumes (2 x 4 x 16 B), and writes both slopes, the outflow and both
// capacities (5 doubles): 40 + 40 + 24 + 256 + 320 + 128 + 40 = 848 B.
// The class totals are summed row by row in the same pass.

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "core/parallel_context.h"
#include "run/model_state.h"
#include "quality/sediment_erosion_transport.h"
#include "quality/sediment_inputs.h"
#include "quality/sediment_kernels.h"

namespace {

constexpr int rows = 1000;
constexpr int cols = 1000;
constexpr double dx = 10.0;  // m
constexpr int calls = 10;
constexpr double dt = 10.0;  // s
constexpr double cell_bytes = 848.0;  // a cell step, three classes

// The plane falls 2 % to the south and 1 % to the east, to the outlet in
// its south-east corner, under 2 cm of water flowing south-east.
std::unique_ptr<model_state> tilted_plane() {
  auto s = bench::tilted_plane(rows, cols, dx);
  const int n = rows * cols;
  surface_state& sf = s->surface;
  sf.flux_x.assign(n + 1, 0.05);   // m3/s
  sf.flux_y.assign(n + 1, 0.1);
  sf.rain_rate.assign(n + 1, 20.0);  // mm/h
  s->run.q_out = 0.15;

  sediment_state& sed = s->quality.sediment;
  sed.on = 1;
  sed.formula = 1;
  sed.classes = 3;
  sed.sand_size = 0.0625;
  sed.water_temp = 20.0;
  sed.spec_grav = {0.0, 2.65, 2.65, 2.65};
  sed.part_diam = {0.0, 0.002, 0.03, 0.5};
  alloc_sediment_arrays(*s);
  setup_sediment_classes(sed);
  for (int c = 1; c <= n; ++c) {
    sed.splash_K[c] = 60.0;
    sed.detach_coef[c] = 2e-5;
    sed.detach_exp[c] = 1.0;
    sed.sed_K[c] = 1.0;
    sed.fract(c, 1)[sed_element::parent] = 0.3;
    sed.fract(c, 2)[sed_element::parent] = 0.4;
    sed.fract(c, 3)[sed_element::parent] = 0.3;
  }
  return s;
}

struct timing {
  double seconds;
  double routed;  // m3 through the outlet
  std::vector<sed_volume> records;
};

timing erode(int threads) {
  omp_set_num_threads(threads);
  std::unique_ptr<model_state> s = tilted_plane();
  double routed = 0.0;
  double seconds = 0.0;
  for (int k = 0; k < calls; ++k) {
    const auto start = std::chrono::steady_clock::now();
    sediment_erosion_transport(*s, dt);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    routed += s->quality.sediment.outlet_step_volume;
    book_sediment_step(*s);
  }
  return {seconds, routed, std::move(s->quality.sediment.vol_sed)};
}

}  // namespace

int main(int, char** argv) {
  settle_thread_waits(argv);
  std::printf("overland erosion, %d x %d cells of %.0f m, 3 classes, %d calls of %.0f s\n", rows,
              cols, dx, calls, dt);
  std::printf("threads  ms/call  speed-up\n");
  const timing one = erode(1);
  bench::loop_figures f;
  f.loop = "sediment cell step, 1000 x 1000";
  f.unit = "cell steps/s";
  f.bytes = cell_bytes;
  f.identical = true;
  for (int threads : {1, 2, 4, 8}) {
    const timing t = threads == 1 ? timing{one.seconds, one.routed, {}} : erode(threads);
    std::printf("%7d  %7.1f  %8.2f\n", threads, t.seconds / calls * 1000.0,
                one.seconds / t.seconds);
    const double rate = double(rows) * cols * calls / t.seconds;
    if (threads == 1) f.one = rate;
    if (threads == 8) f.eight = rate;
    if (threads != 1) {
      f.identical = f.identical && t.routed == one.routed &&
                    t.records.size() == one.records.size() &&
                    std::memcmp(t.records.data(), one.records.data(),
                                one.records.size() * sizeof(sed_volume)) == 0;
    }
  }
  std::printf("outlet sediment %.6f m3\n", one.routed);
  bench::loop_rows(f);
  return f.identical ? 0 : 1;
}
