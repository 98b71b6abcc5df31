#pragma once
// The one parallel layer: how many threads a loop runs on, and the one way
// a thread waits for another's progress inside a team.
//
// Teams are sized by their work. Starting a team, and every barrier in it,
// costs some microseconds on an idle machine and far more on a busy one,
// where a thread that has lost its processor holds the whole team back. A
// loop therefore takes another thread only when each thread then has at
// least a kind's worth of items, and runs on the calling thread below that.
// On the 8-core machines this runs on, a parallel loop costs about 1 us on
// one thread, 5 to 8 us on eight whose idle threads spin a moment, and 100 us
// or more on eight whose idle threads sleep; a busy machine multiplies the
// team's costs many times over. The sizes below give each thread work of
// at least some tens of microseconds, so the start of the team costs a few
// percent of it at most, and a grid below about 10,000 cells runs on one
// thread.
//
// Waits for another thread's progress are made on the count itself, through
// C++20 atomic wait and notify: a waiter sleeps only while the count holds
// the value it last saw, and whoever changes it wakes the sleepers, so no
// wake-up can be lost. Any other reason to stop waiting (a solve that has
// ended, say) must be written into the count too, never beside it.

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

// Items a thread must have before a loop of each kind takes another thread.
// Per-cell physics (rain, infiltration, evapotranspiration, constituents,
// sediment): some tens to hundreds of nanoseconds a cell.
constexpr int cells_per_thread = 8192;
// The overland routers' sweeps, with several barriers a sub-step.
constexpr int sweep_cells_per_thread = 16384;
// Channel links of the loops a channel step makes once.
constexpr int links_per_thread = 64;
// Channel links of the explicit router, whose one team routes every
// sub-step of a call, five barriers a sub-step: its start is paid once for
// all of them, and its barriers spin rather than sleep, so half the share
// pays. Measured on a tree of links of 20 nodes, 8 threads on an otherwise
// idle machine: 127 links route 1.2 times as fast on their 3 threads as on
// one, 255 links 1.8 times on 7 (on one and 3 threads at 64 a thread).
constexpr int routed_links_per_thread = 32;
// Channel node slots of the water-quality advection.
constexpr int node_slots_per_thread = 65536;
// Richards soil columns, each a tridiagonal solve of tens of nodes.
constexpr int columns_per_thread = 64;
// Groundwater cells a thread of the line solve's wavefront or its cell
// loops takes.
constexpr int aquifer_cells_per_thread = 4096;
// Superlinks of the pipe network's per-link loops.
constexpr int superlinks_per_thread = 64;

// Threads for a loop of `items` items of a kind that wants `per_thread` a
// thread: at most the run's thread count (and the runtime's own limit), at
// least 1.
inline int team_for(long long items, int per_thread) {
  const long long filled = per_thread > 0 ? items / per_thread : items;
  const int most = omp_get_max_threads();
  if (filled <= 1 || most <= 1) return 1;
  return int(std::min<long long>(filled, most));
}

// A short wait that tells the processor this thread is spinning.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Pauses a waiter spends looking at a count before it sleeps: about as long
// as waking a sleeping thread takes, which is enough for a team whose
// threads all hold a processor to meet without sleeping; past it, the
// thread it waits for has lost its processor, and this one sleeps rather
// than hold a processor that thread needs.
constexpr int progress_spin_limit = 2000;

// Sets a progress count held in a plain int of a team's shared work; what
// this thread wrote before is seen by any thread that sees value. The store
// is sequentially consistent, so either the waker sees a sleeper or the
// sleeper sees the value.
inline void raise_progress(int& count, int value) {
  std::atomic_ref<int> word(count);
  word.store(value, std::memory_order_seq_cst);
  word.notify_all();
}

inline int progress_of(int& count) {
  return std::atomic_ref<int>(count).load(std::memory_order_acquire);
}

// Waits until done(count) holds; returns the count it saw hold. done must
// depend on the count alone.
template <class Done>
int wait_for_progress(int& count, Done done) {
  std::atomic_ref<int> word(count);
  int seen = word.load(std::memory_order_acquire);
  for (int tries = 0; !done(seen); ++tries) {
    if (tries < progress_spin_limit) {
      spin_pause();
    } else {
      word.wait(seen, std::memory_order_acquire);
    }
    seen = word.load(std::memory_order_acquire);
  }
  return seen;
}

// A barrier of the threads of a team, whose wait is that of the progress
// counts: a thread that arrives early spins for about a wake-up's time and
// then sleeps. The runtime's own barrier spins only as long as the idle
// threads between teams are told to (a short time, so that a busy machine
// gets its processors back), and a team whose phases are a few tens of
// microseconds long would then put some of its threads to sleep at nearly
// every barrier and pay a wake-up for each, on a virtual machine above a
// hundred microseconds. Every thread of the team must arrive, and each
// names the team's size alike.
class team_barrier {
 public:
  team_barrier() = default;
  team_barrier(const team_barrier&) = delete;
  team_barrier& operator=(const team_barrier&) = delete;

  void arrive_and_wait(int team) {
    if (team <= 1) return;
    // The round cannot turn before this thread arrives, and turns back only
    // after every waiter has seen it turn and arrived again, so two values
    // tell the rounds apart.
    const int round = progress_of(round_);
    std::atomic_ref<int> arrived(arrived_);
    if (arrived.fetch_add(1, std::memory_order_acq_rel) == team - 1) {
      // What every thread wrote before it arrived is seen by the last one,
      // and through the round by every thread that sees it turn.
      arrived.store(0, std::memory_order_relaxed);
      raise_progress(round_, 1 - round);
    } else {
      wait_for_progress(round_, [round](int seen) { return seen != round; });
    }
  }

 private:
  alignas(64) int arrived_ = 0;
  alignas(64) int round_ = 0;
};

// Such a count alone on its cache line.
class alignas(64) progress_count {
 public:
  progress_count() = default;
  progress_count(const progress_count&) = delete;
  progress_count& operator=(const progress_count&) = delete;

  int load() { return progress_of(count_); }
  void store(int value) { raise_progress(count_, value); }
  template <class Done>
  int wait_until(Done done) {
    return wait_for_progress(count_, done);
  }

 private:
  int count_ = 0;
};
