#pragma once
// Waits inside one team of an OpenMP parallel region whose phases last only
// tens of microseconds: a barrier, and a count that one thread raises and
// others wait on (a wavefront's progress).
//
// Runs are made with idle OpenMP workers asleep (OMP_WAIT_POLICY=PASSIVE) so
// that workers on a shared machine do not starve each other; but then every
// `omp barrier` puts the team to sleep and the kernel must wake each thread
// again, which costs more than a short phase's work. A thread here spins
// first for about as long as waking a sleeping thread takes (some 50
// microseconds here), which is enough for a team whose threads all hold a
// processor to meet, and then sleeps until the round moves on. It never
// yields its processor while it waits: on a machine with more work than
// processors a yielding thread is the last to be given one back, and a
// team whose threads took turns yielding lost a scheduler slice at every
// barrier.

#include <atomic>
#include <climits>

#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

// A short wait that tells the processor this thread is spinning.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Sleeps while *word holds value, or returns at once when it no longer
// does; wake_all wakes every thread asleep on word.
inline void sleep_while(int* word, int value) {
#if defined(__linux__)
  syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
#else
  std::atomic_ref<int>(*word).wait(value, std::memory_order_seq_cst);
#endif
}

inline void wake_all(int* word) {
#if defined(__linux__)
  syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
#else
  std::atomic_ref<int>(*word).notify_all();
#endif
}

// A count that one thread raises and others wait on, held in a plain int
// shared by the team, with the number of its sleepers in another beside it.
// A waiter spins first for about as long as waking a sleeping thread takes
// (some 50 microseconds here), then sleeps until the count moves or it is
// woken.
constexpr int count_spin_limit = 2000;  // pauses of some 25 ns each

// Sets the count; what this thread wrote before is seen by a thread that
// sees value.
inline void raise_count(int* count, int* sleepers, int value) {
  // Both sequentially consistent: either this thread sees the sleeper, or
  // the sleeper sees the value before it sleeps.
  std::atomic_ref<int>(*count).store(value, std::memory_order_seq_cst);
  if (std::atomic_ref<int>(*sleepers).load(std::memory_order_seq_cst) > 0) wake_all(count);
}

// Wakes the count's sleepers to look again, for a wait whose end depends on
// more than the count. Whatever the waiters must see is written, sequentially
// consistent, before.
inline void wake_count(int* count, int* sleepers) {
  if (std::atomic_ref<int>(*sleepers).load(std::memory_order_seq_cst) > 0) wake_all(count);
}

// Waits until done(count) holds; returns the count it saw hold.
template <class Done>
int wait_on_count(int* count, int* sleepers, Done done) {
  std::atomic_ref<int> word(*count);
  int seen = word.load(std::memory_order_acquire);
  for (int tries = 0; tries < count_spin_limit; ++tries) {
    if (done(seen)) return seen;
    spin_pause();
    seen = word.load(std::memory_order_acquire);
  }
  std::atomic_ref<int> asleep(*sleepers);
  asleep.fetch_add(1, std::memory_order_seq_cst);
  for (seen = word.load(std::memory_order_seq_cst); !done(seen);
       seen = word.load(std::memory_order_seq_cst))
    sleep_while(count, seen);
  asleep.fetch_sub(1, std::memory_order_relaxed);
  return seen;
}

// Such a count alone on its cache line.
class alignas(64) wake_word {
 public:
  wake_word() = default;
  wake_word(const wake_word&) = delete;
  wake_word& operator=(const wake_word&) = delete;

  int load() { return std::atomic_ref<int>(word_).load(std::memory_order_acquire); }
  void store(int value) { raise_count(&word_, &sleepers_, value); }
  template <class Done>
  int wait_until(Done done) {
    return wait_on_count(&word_, &sleepers_, done);
  }

 private:
  int word_ = 0;
  int sleepers_ = 0;
};

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
    const int now = round_.load();
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) == team - 1) {
      // No thread of this round touches the count again, and none of the
      // next one before the round moves on.
      arrived_.store(0, std::memory_order_relaxed);
      round_.store(now + 1);
      return;
    }
    round_.wait_until([now](int round) { return round != now; });
  }

 private:
  alignas(64) std::atomic<int> arrived_{0};
  wake_word round_;
};
