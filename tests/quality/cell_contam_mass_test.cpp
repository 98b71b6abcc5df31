// The overland cell's dissolved mass: decay gathered at its interval and
// taken by the cell mass step in the share of its own step, the pond's
// analytic decay, and the limits that keep a cell's mass from going
// negative.

#include "quality/cell_contam_mass.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "constituent_fixture.h"

namespace {

using constituent_fixture::flux_grid;
using constituent_fixture::size_state;

TEST(cell_contam_mass, the_step_takes_its_share_of_what_was_gathered_over_longer) {
  struct share_case {
    const char* label;
    double step, interval, amount, share;
  };
  const share_case cases[] = {
      {"the same interval: whole", 10.0, 10.0, 6.0, 6.0},
      {"half a second longer: whole", 10.0, 10.5, 6.0, 6.0},
      {"a shorter interval: whole", 10.0, 4.0, 6.0, 6.0},
      {"just over half a second longer: in share", 10.0, 10.6, 6.0, 6.0 * 10.0 / 10.6},
      {"three steps: a third", 10.0, 30.0, 9.0, 3.0},
  };
  for (const share_case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_DOUBLE_EQ(step_share(c.step, c.interval, c.amount), c.share);
  }
}

// One cell of 100 m under 0.05 m of still water holding concentration conc of
// one contaminant decaying at k per second.
struct pond {
  constituent_state c;
  std::vector<double> depth = {0.0, 0.05};
  pond(double conc, double k) {
    size_state(c, 1, 1, 1);
    c.ov_contam_conc[1][1] = conc;
    c.ov_contam_mass[1][1] = conc * 0.05 * 1e4;
    c.ov_contam_decay[1][1] = k;
  }
  double& mass() { return c.ov_contam_mass[1][1]; }
  // One cell mass step of a seconds without flow: the whole net rate once.
  void take(double a, double decay_interval) {
    contam_intervals intervals;
    intervals.decay = decay_interval;
    const double rate = ov_contam_cell_mass(c, 1, 1, a, intervals, false, nullptr);
    mass() += rate * a;
    c.ov_contam_conc[1][1] = mass() / (0.05 * 1e4);
  }
};

TEST(cell_contam_mass, still_water_decays_by_one_minus_k_a_per_step) {
  // 100 g/m3 x 500 m3 = 50000 g at 1e-5 /s in 10 s steps: after n steps
  // M0 (1 - 1e-4)^n, and after 36000 s close to M0 e^(-0.36).
  pond p(100.0, 1e-5);
  const double m0 = p.mass();
  double decayed = 0.0;
  for (int n = 1; n <= 3600; ++n) {
    contam_decay_accumulate(p.c, 1, 100.0, 10.0, p.depth.data(), p.depth.data(), nullptr);
    p.take(10.0, 10.0);
    decayed += p.c.ov_decay_dmt[1];
    p.c.ov_decay_dmt[1] = 0.0;
    if (n == 1 || n == 100 || n == 3600) {
      EXPECT_NEAR(p.mass(), m0 * std::pow(1.0 - 1e-4, n), 1e-9 * m0) << n;
    }
  }
  EXPECT_NEAR(p.mass() / m0, std::exp(-0.36), 2e-5);
  EXPECT_NEAR(p.mass() + decayed, m0, 1e-9 * m0);
  EXPECT_EQ(p.c.cell_decay_mass[1][1], 0.0);
}

TEST(cell_contam_mass, decay_gathered_every_third_step_is_taken_a_third_at_a_time) {
  // Gathered over 30 s while the cell mass step runs every 10 s: each step
  // takes a third of what is still gathered, and what is taken leaves the
  // cell, so the balance holds at every step.
  pond p(100.0, 1e-5);
  const double m0 = p.mass();
  contam_decay_accumulate(p.c, 1, 100.0, 30.0, p.depth.data(), p.depth.data(), nullptr);
  const double gathered = m0 * 1e-5 * 30.0;  // 15 g
  EXPECT_NEAR(p.c.cell_decay_mass[1][1], gathered, 1e-12);
  double left = gathered;
  for (int n = 1; n <= 3; ++n) {
    p.take(10.0, 30.0);
    const double share = left / 3.0;
    left -= share;
    EXPECT_NEAR(p.c.cell_decay_mass[1][1], left, 1e-12) << n;
    EXPECT_NEAR(p.mass() + p.c.ov_decay_dmt[1], m0, 1e-9 * m0) << n;
  }
  EXPECT_NEAR(p.c.ov_decay_dmt[1], gathered * (1.0 - 8.0 / 27.0), 1e-12);
}

TEST(cell_contam_mass, gathered_decay_never_exceeds_the_shallower_waters_mass) {
  constituent_state c;
  size_state(c, 1, 3, 1);
  // Cell 1 falls from 0.05 to 0.01 m at 100 g/m3 with a huge rate: capped at
  // 0.01 x 1e4 x 100 = 10000 g. Cell 2 is a lake cell, cell 3 dry now.
  for (int j = 1; j <= 3; ++j) {
    c.ov_contam_conc[1][j] = 100.0;
    c.ov_contam_decay[1][j] = 1.0;
  }
  const std::vector<double> last = {0.0, 0.05, 0.05, 0.05}, now = {0.0, 0.01, 0.05, 0.0};
  const std::vector<int> lake = {0, 0, 1, 0};
  contam_decay_accumulate(c, 1, 100.0, 600.0, last.data(), now.data(), lake.data());
  EXPECT_DOUBLE_EQ(c.cell_decay_mass[1][1], 10000.0);
  EXPECT_EQ(c.cell_decay_mass[1][2], 0.0);
  EXPECT_EQ(c.cell_decay_mass[1][3], 0.0);
}

TEST(cell_contam_mass, sinks_stop_at_an_empty_cell_and_go_where_they_belong) {
  struct sink_case {
    const char* label;
    double mass, uptake, decay, infil, exit;
    bool soil;
    double rate;  // g/s over 10 s
    double decay_taken, infil_taken, exit_taken;
  };
  const sink_case cases[] = {
      {"all within the mass", 10.0, 1.0, 2.0, 3.0, 4.0, false, (1.0 - 4.0 - 3.0 - 2.0) / 10.0,
       2.0, 3.0, 4.0},
      // 10 + 1 - 2 leaves 9 g, infiltration takes 3, the outlet the last 6.
      {"the outlet takes what is left", 10.0, 1.0, 2.0, 3.0, 8.0, false, -1.0, 2.0, 3.0, 6.0},
      {"decay larger than the cell", 1.0, 0.0, 5.0, 3.0, 0.0, false, -0.1, 1.0, 0.0, 0.0},
      {"with soil transport", 10.0, -1.0, 0.0, 3.0, 0.0, true, -0.4, 0.0, 3.0, 0.0},
  };
  for (const sink_case& s : cases) {
    SCOPED_TRACE(s.label);
    constituent_state c;
    size_state(c, 1, 1, 1);
    c.ov_contam_mass[1][1] = s.mass;
    c.cell_uptake_mass[1][1] = s.uptake;
    c.cell_decay_mass[1][1] = s.decay;
    c.cell_infil_mass[1][1] = s.infil;
    double exit = s.exit;
    contam_intervals intervals{10.0, 10.0, 10.0, 10.0};
    EXPECT_NEAR(ov_contam_cell_mass(c, 1, 1, 10.0, intervals, s.soil, &exit), s.rate, 1e-12);
    EXPECT_NEAR(c.ov_decay_dmt[1], s.decay_taken, 1e-12);
    EXPECT_NEAR(c.ov_infil_dmt[1], s.infil_taken, 1e-12);
    EXPECT_NEAR(c.ov_out_dmt[1], s.exit_taken, 1e-12);
    EXPECT_EQ(c.cell_decay_mass[1][1], 0.0);
    EXPECT_EQ(c.cell_infil_mass[1][1], 0.0);
    EXPECT_EQ(exit, 0.0);
    EXPECT_NEAR(c.ov_uptake_dmt[1], s.uptake, 1e-12);
    EXPECT_NEAR(c.soil_top_mass[1][1], s.soil ? s.infil_taken : 0.0, 1e-12);
    EXPECT_NEAR(c.soil_exchange_mass[1][1], s.soil ? s.uptake : 0.0, 1e-12);
    EXPECT_GE(s.mass + s.rate * 10.0, -1e-12);
  }
}

}  // namespace

namespace {

// The pond: three 100 m cells on flat ground, 0.05 m of still water at
// 100 g/m3 on the first two, the outlet cell dry, decay 0.864 per day
// (1e-5 /s) taken in 10 s steps for 36000 s.
TEST(cell_contam_mass, the_pond_decays_to_69_77_kg_of_its_100) {
  constituent_state c;
  size_state(c, 1, 3, 1);
  const std::vector<int> left = {0, 0, 1, 2}, right = {0, 2, 3, 0}, none = {0, 0, 0, 0};
  const std::vector<double> depth = {0.0, 0.05, 0.05, 0.0}, still = {0.0, 0.0, 0.0, 0.0};
  for (int j = 1; j <= 2; ++j) {
    c.ov_contam_conc[1][j] = 100.0;
    c.ov_contam_mass[1][j] = 100.0 * 0.05 * 1e4;
  }
  for (int j = 1; j <= 3; ++j) c.ov_contam_decay[1][j] = 0.864 / 86400.0;
  const contam_grid grid{3,           100.0,        left.data(),  right.data(), none.data(),
                         none.data(), depth.data(), still.data(), still.data()};
  contam_flux_work work;
  work.size(3);
  contam_intervals intervals{10.0, 10.0, 10.0, 10.0};
  double exit = 0.0, negative = 0.0, decayed = 0.0;
  for (int n = 0; n < 3600; ++n) {
    contam_decay_accumulate(c, 1, 100.0, 10.0, depth.data(), depth.data(), nullptr);
    cell_contam_mass_update(c, 1, work, grid, 10.0, 1 + n % 2, intervals, 3, &exit, nullptr,
                            false, negative);
    decayed += c.ov_decay_dmt[1] / 1000.0;
    c.ov_decay_dmt[1] = 0.0;
  }
  const double left_kg = (c.ov_contam_mass[1][1] + c.ov_contam_mass[1][2]) / 1000.0;
  // 100 (1 - 1e-4)^3600 = 69.766; 100 e^-0.36 = 69.768.
  EXPECT_NEAR(left_kg, 69.77, 0.01);
  EXPECT_NEAR(decayed, 30.23, 0.01);
  EXPECT_NEAR(left_kg + decayed, 100.0, 1e-9);
  EXPECT_EQ(c.ov_contam_mass[1][3], 0.0);
  EXPECT_EQ(negative, 0.0);
}

TEST(cell_contam_mass, a_dried_cell_hands_its_mass_to_the_soil_or_its_land_surface) {
  for (const bool soil : {true, false}) {
    SCOPED_TRACE(soil);
    constituent_state c;
    size_state(c, 1, 2, 1);
    const std::vector<int> none = {0, 0, 0}, lake = {0, 0, 1};
    const std::vector<double> depth = {0.0, 0.0, 0.0}, still = {0.0, 0.0, 0.0};
    c.ov_contam_mass[1] = {0.0, 8.0, 5.0};
    c.ov_contam_conc[1] = {0.0, 4.0, 5.0};
    const contam_grid grid{2, 10.0, none.data(), none.data(), none.data(), none.data(),
                           depth.data(), still.data(), still.data()};
    contam_flux_work work;
    work.size(2);
    double negative = 0.0;
    cell_contam_mass_update(c, 1, work, grid, 10.0, 1, contam_intervals{}, 0, nullptr,
                            lake.data(), soil, negative);
    EXPECT_EQ(c.ov_contam_mass[1][1], 0.0);
    EXPECT_EQ(c.ov_contam_conc[1][1], 0.0);
    EXPECT_EQ(c.soil_top_mass[1][1], soil ? 8.0 : 0.0);
    EXPECT_EQ(c.ov_infil_dmt[1], soil ? 8.0 : 0.0);
    EXPECT_EQ(c.land_surface_mass[1][1], soil ? 0.0 : 8.0);
    EXPECT_EQ(c.ov_contam_mass[1][2], 5.0);  // the lake cell's is the lake's business
  }
}

TEST(cell_contam_mass, a_cell_a_channel_lake_holds_gives_its_mass_to_the_lake) {
  constituent_state c;
  size_state(c, 1, 2, 1);
  const std::vector<int> none = {0, 0, 0}, lake = {0, 0, 1};
  const std::vector<double> depth = {0.0, 0.1, 0.0}, still = {0.0, 0.0, 0.0};
  const std::vector<double> lake_conc = {0.0, 2.0};
  std::vector<double> inflow = {0.0, 1.0};
  c.ov_contam_mass[1] = {0.0, 8.0, 5.0};
  c.ov_contam_conc[1] = {0.0, 0.8, 5.0};
  contam_grid grid{2, 10.0, none.data(), none.data(), none.data(), none.data(),
                   depth.data(), still.data(), still.data()};
  grid.lake = lake.data();
  grid.lake_conc = lake_conc.data();
  grid.lake_inflow = inflow.data();
  contam_flux_work work;
  work.size(2);
  double negative = 0.0;
  cell_contam_mass_update(c, 1, work, grid, 10.0, 1, contam_intervals{}, 0, nullptr, lake.data(),
                          false, negative);
  EXPECT_EQ(c.ov_contam_mass[1][1], 8.0);
  EXPECT_EQ(c.ov_contam_mass[1][2], 0.0);
  EXPECT_EQ(c.ov_contam_conc[1][2], 0.0);
  EXPECT_EQ(inflow[1], 6.0);
  EXPECT_EQ(work.to_lakes, 5.0);
  EXPECT_EQ(c.land_surface_mass[1][2], 0.0);
}

// A 40 x 40 plane, enough cells for the step to run on threads, with a
// lake, dry and ponded cells, flows both ways, gathered sinks large enough
// to empty cells, exfiltration, sediment-bound release and outflows at
// every bank cell or at the outlet alone: every thread count gives the
// masses, the accumulators, the totals and the outflows as booked of one
// thread, bit for bit.
struct varied_plane : flux_grid {
  static constexpr int side = 40;
  constituent_state c;
  std::vector<int> lake;
  std::vector<double> cell_exit, sed_release, sed_total;
  double sed_released = 0.0, negative = 0.0, exit_mass = 3.0;
  varied_plane() : flux_grid(side, side) {
    size_state(c, 2, cells, 1);
    c.constituent_type[2] = 2;
    c.ov_exfil_dmt.assign(3, 0.0);
    lake.assign(std::size_t(cells) + 1, 0);
    for (auto* v : {&cell_exit, &sed_release, &sed_total}) v->assign(std::size_t(cells) + 1, 0.0);
    for (int r = 0; r < side; ++r)
      for (int k = 0; k < side; ++k) {
        const int j = r * side + k + 1;
        lake[j] = r > 30 && k > 30;
        depth[j] = j % 7 == 0 ? 0.0 : 0.002 + 0.0003 * ((j * 11) % 13);
        if (right[j]) qx[j] = 0.0004 * ((j % 5) - 2);
        if (below[j]) qy[j] = 0.0003 * ((j % 3) - 1) + 0.0002;
        cell_exit[j] = k == side - 1 ? 0.2 * (r % 4) : 0.0;
        sed_release[j] = 0.01 * ((j % 9) - 4);
        sed_total[j] = 1.0;
        for (int n = 1; n <= 2; ++n) {
          c.ov_contam_conc[n][j] = depth[j] > 0.0 ? 1.0 + 0.1 * ((j * n) % 17) : 0.0;
          c.ov_contam_mass[n][j] = j % 7 == 0 ? 0.5 : c.ov_contam_conc[n][j] * depth[j] * 100.0;
          c.ov_contam_disp[n][j] = 0.05;
          c.cell_decay_mass[n][j] = 0.001 * (j % 11);
          c.cell_infil_mass[n][j] = j % 13 == 0 ? 50.0 : 0.002 * (j % 5);
          c.cell_uptake_mass[n][j] = 0.003 * ((j % 7) - 3);
          c.cell_exfil_mass[n][j] = j % 4 == 0 ? 0.01 : 0.0;
        }
      }
  }
  // The lake cells as a channel lake's (2.5 g/m3), which takes what
  // crosses their shores, or as cells that keep their own.
  std::vector<double> lake_conc{0.0, 2.5}, lake_inflow{0.0, 0.0};
  void steps(bool per_cell_exit, bool soil, bool channel_lake = false, bool one_pass = false) {
    const contam_intervals intervals{30.0, 20.0, 30.0, 10.0, 20.0, 30.0};
    sed_contam_rows sed{sed_release.data(), sed_total.data(), &sed_released};
    contam_grid g = grid();
    if (channel_lake) {
      g.lake = lake.data();
      g.lake_conc = lake_conc.data();
      g.lake_inflow = lake_inflow.data();
    }
    if (one_pass) work.size_sweeps(g);
    for (int step = 0; step < 3; ++step)
      for (int n = 1; n <= 2; ++n)
        cell_contam_mass_update(c, n, work, g, 10.0, 1 + step % 2, intervals, side * 20,
                                &exit_mass, lake.data(), soil, negative,
                                per_cell_exit ? cell_exit.data() : nullptr, &sed);
  }
};

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// The sweeps in one pass over the cells, on any number of threads, give
// the bits of the sweeps in two passes on one thread.
TEST(cell_contam_mass, the_step_gives_the_same_bits_in_one_pass_and_on_any_number_of_threads) {
  const int before = omp_get_max_threads();
  for (const bool per_cell_exit : {true, false})
    for (const bool soil : {true, false})
      for (const bool channel_lake : {true, false}) {
        SCOPED_TRACE(testing::Message() << "per-cell exit " << per_cell_exit << " soil " << soil
                                        << " channel lake " << channel_lake);
        omp_set_num_threads(1);
        varied_plane one;
        one.steps(per_cell_exit, soil, channel_lake);
        // The fixture reaches every booking: cut masses, dried cells, outflow.
        EXPECT_GT(one.negative, 0.0);
        EXPECT_GT(one.c.ov_out_dmt[1], 0.0);
        EXPECT_NE(one.sed_released, 0.0);
        if (channel_lake) {
          EXPECT_NE(one.work.to_lakes, 0.0);
        }
        for (const bool one_pass : {true, false})
          for (int threads : {1, 3, 8}) {
            if (!one_pass && threads == 1) continue;
            omp_set_num_threads(threads);
            varied_plane many;
            many.steps(per_cell_exit, soil, channel_lake, one_pass);
            SCOPED_TRACE(testing::Message() << threads << " threads, one pass " << one_pass);
            for (int n = 1; n <= 2; ++n) {
              SCOPED_TRACE(testing::Message() << "constituent " << n);
              for (auto field :
                   {&constituent_state::ov_contam_mass, &constituent_state::ov_contam_conc,
                    &constituent_state::soil_top_mass, &constituent_state::land_surface_mass,
                    &constituent_state::soil_exchange_mass, &constituent_state::cell_infil_mass,
                    &constituent_state::cell_exfil_mass, &constituent_state::cell_decay_mass,
                    &constituent_state::cell_uptake_mass})
                EXPECT_TRUE(same_bits((one.c.*field)[n], (many.c.*field)[n]));
            }
            for (auto total : {&constituent_state::ov_uptake_dmt, &constituent_state::ov_decay_dmt,
                               &constituent_state::ov_infil_dmt, &constituent_state::ov_out_dmt,
                               &constituent_state::ov_exfil_dmt})
              EXPECT_TRUE(same_bits(one.c.*total, many.c.*total));
            EXPECT_TRUE(same_bits(one.work.exit_taken, many.work.exit_taken));
            EXPECT_TRUE(same_bits(one.cell_exit, many.cell_exit));
            EXPECT_TRUE(same_bits(one.sed_total, many.sed_total));
            EXPECT_TRUE(same_bits(one.lake_inflow, many.lake_inflow));
            const auto same_double = [](double x, double y) {
              return std::memcmp(&x, &y, sizeof x) == 0;
            };
            EXPECT_TRUE(same_double(one.sed_released, many.sed_released));
            EXPECT_TRUE(same_double(one.negative, many.negative));
            EXPECT_TRUE(same_double(one.exit_mass, many.exit_mass));
            EXPECT_TRUE(same_double(one.work.to_lakes, many.work.to_lakes));
          }
      }
  omp_set_num_threads(before);
}

}  // namespace
