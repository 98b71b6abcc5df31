// The parallel layer's team sizing and its team barrier.

#include "core/parallel_team.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <chrono>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

TEST(team_for, takes_a_thread_for_each_full_share_up_to_the_run_count) {
  const int threads = omp_get_max_threads();
  omp_set_num_threads(8);
  struct sizing {
    long long items;
    int per_thread;
    int team;
  };
  const sizing cases[] = {
      {0, 64, 1},    {127, 64, 1},       {128, 64, 2},      {1023, 64, 8},
      {457, 8192, 1}, {20000, 8192, 2}, {1LL << 40, 64, 8}, {5, 0, 5},
  };
  for (const sizing& c : cases)
    EXPECT_EQ(team_for(c.items, c.per_thread), c.team) << c.items << " items, " << c.per_thread;
  omp_set_num_threads(1);
  EXPECT_EQ(team_for(1LL << 40, 1), 1);
  omp_set_num_threads(threads);
}

// Each thread writes its own slot and then reads every other thread's after
// the barrier: a barrier that let a thread through early, or did not order
// the writes before the reads, shows a slot of the round before. A late
// thread in some rounds makes the others outwait the spin and sleep.
TEST(team_barrier, orders_every_threads_writes_before_any_read_over_many_rounds) {
  for (int team : {2, 3, 8}) {
    SCOPED_TRACE(team);
    constexpr int rounds = 3000;
    std::vector<int> slot(std::size_t(team) * 16, -1);  // a cache line apart
    team_barrier barrier;
    int wrong = 0;
    int ran = 0;
#pragma omp parallel num_threads(team) reduction(+ : wrong)
    {
      const int me = omp_get_thread_num();
#pragma omp single
      ran = omp_get_num_threads();
      const int size = omp_get_num_threads();
      for (int r = 0; r < rounds; ++r) {
        const bool late = me == r % size && r % 500 == 7;
        if (late) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        slot[std::size_t(me) * 16] = r;
        barrier.arrive_and_wait(size);
        for (int t = 0; t < size; ++t)
          if (slot[std::size_t(t) * 16] != r) ++wrong;
        barrier.arrive_and_wait(size);
      }
    }
    EXPECT_EQ(ran, team);
    EXPECT_EQ(wrong, 0);
  }
}

// With a busy thread on every processor, the team's threads lose their
// processors at any point of a round, mid-spin or about to sleep: every
// round is still ordered, and no wake-up is lost (the watchdog fails the
// test rather than let it hang). Each team runs its rounds for some
// seconds, as many as the machine gives it.
TEST(team_barrier, orders_every_round_and_never_hangs_on_a_busy_machine) {
  test_support::watchdog watch("the team barrier", 240);
  test_support::busy_machine busy(120);
  for (int team : {2, 5, 8}) {
    SCOPED_TRACE(team);
    std::vector<int> slot(std::size_t(team) * 16, -1);
    team_barrier barrier;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    bool stop = false;  // thread 0's, written before a round's first meeting
    long long rounds = 0;
    int wrong = 0;
#pragma omp parallel num_threads(team) reduction(+ : wrong)
    {
      const int me = omp_get_thread_num();
      const int size = omp_get_num_threads();
      for (int r = 0;; ++r) {
        slot[std::size_t(me) * 16] = r;
        if (me == 0 && std::chrono::steady_clock::now() >= until) stop = true;
        barrier.arrive_and_wait(size);
        for (int t = 0; t < size; ++t)
          if (slot[std::size_t(t) * 16] != r) ++wrong;
        const bool last = stop;
        barrier.arrive_and_wait(size);
        if (last) {
          if (me == 0) rounds = r + 1;
          break;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(rounds, 100);
  }
}

}  // namespace
