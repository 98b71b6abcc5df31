#pragma once
// A barrier for one team of an OpenMP parallel region whose phases last only
// tens of microseconds.
//
// Runs are made with idle OpenMP workers asleep (OMP_WAIT_POLICY=PASSIVE) so
// that workers on a shared machine do not starve each other; but then every
// `omp barrier` puts the team to sleep and the kernel must wake each thread
// again, which costs more than a short phase's work. A thread here spins a
// moment first (enough for a team whose threads all hold a processor to
// meet), then gives its processor away while it waits, so that a team
// thread that lost its processor to other work gets it back, and only after
// that sleeps.

#include <atomic>
#include <thread>

// A short wait that tells the processor this thread is spinning.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

class team_barrier {
 public:
  team_barrier() = default;
  team_barrier(const team_barrier&) = delete;
  team_barrier& operator=(const team_barrier&) = delete;

  // Every thread of the team, of team threads, calls it; none returns
  // before all have come. What a thread wrote before it is seen by every
  // thread after it.
  void wait(int team) {
    if (team <= 1) return;
    const unsigned round = round_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) == team - 1) {
      // No thread of this round touches the count again, and none of the
      // next one before the round moves on.
      arrived_.store(0, std::memory_order_relaxed);
      round_.store(round + 1, std::memory_order_release);
      round_.notify_all();
      return;
    }
    for (int tries = 0; tries < spin_limit + yield_limit; ++tries) {
      if (round_.load(std::memory_order_acquire) != round) return;
      if (tries < spin_limit)
        spin_pause();
      else
        std::this_thread::yield();
    }
    while (round_.load(std::memory_order_acquire) == round)
      round_.wait(round, std::memory_order_acquire);
  }

 private:
  // Some microseconds of pauses, then up to a millisecond or two of giving
  // the processor away before the thread sleeps.
  static constexpr int spin_limit = 200;
  static constexpr int yield_limit = 2000;

  alignas(64) std::atomic<int> arrived_{0};
  alignas(64) std::atomic<unsigned> round_{0};
};
