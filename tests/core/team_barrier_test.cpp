// The team barrier on a real team: no thread leaves a round before every
// thread's write of that round is there to read, also when one thread comes
// so late that the others have gone to sleep, or just as they go.

#include "core/team_barrier.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(team_barrier, every_thread_sees_the_whole_round_written) {
  constexpr int team = 6;
  constexpr int rounds = 3000;
  team_barrier barrier;
  std::vector<int> written(team * 16, -1);  // a cache line a thread
  int missed = 0;
  int teams = 0;
#pragma omp parallel num_threads(team) reduction(+ : missed) reduction(max : teams)
  {
    const int me = omp_get_thread_num();
    const int size = omp_get_num_threads();
    teams = size;
    for (int r = 0; r < rounds; ++r) {
      // Past the others' spins: they sleep until it comes. Every round one
      // thread comes about as late as the spins last, so that the others
      // go to sleep just as it arrives (a lost wake-up hangs the test).
      if (r % 500 == 0 && me == size - 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      } else if (me == r % size) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(r % 80);
        while (std::chrono::steady_clock::now() < until) {
        }
      }
      written[me * 16] = r;
      barrier.wait(size);
      for (int t = 0; t < size; ++t)
        if (written[t * 16] != r) ++missed;
      // Nobody writes the next round before all have read this one.
      barrier.wait(size);
    }
  }
  EXPECT_EQ(teams, team);
  EXPECT_EQ(missed, 0);
}

}  // namespace
