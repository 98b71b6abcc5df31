#include "calibration/trial_dealer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calibration/run_cost_callback.h"
#include "calibration/run_results.h"
#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "input/replace_params.h"
#include "run/run_loop.h"
#include "run/run_simulation.h"

#ifdef VALTO_MPI
#include <mpi.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <deque>
#include <map>
#endif

trial_outcome run_trial_order(const trial_order& order) {
  trial_outcome outcome;
  outcome.process = parallel.process_number;
  if (order.kind == trial_batch) {
    replace_line_index = order.index;
    run_prefix_flag = 1;
    run_prefix_number = order.index;
    clear_first_error();
    outcome.status = run_simulation(order.project.c_str(), nullptr);
  } else {
    const int n = static_cast<int>(order.params.size()) - 1;
    prepare_trial(order.replace_list.c_str(), order.params.data(), n);
    run_results results;
    outcome.status = run_simulation(order.project.c_str(), &results);
    end_trial_run();
    outcome.peaks = std::move(results.peaks);
    outcome.volumes = std::move(results.volumes);
  }
  outcome.message = first_error_message();
  return outcome;
}

#ifndef VALTO_MPI

void start_processes(int&, char**&) {}
void end_processes() {}
int process_count() { return 1; }
int process_rank() { return 0; }

int deal_trials(int count, const std::function<trial_order(int)>& order_of,
                const std::function<void(int, const trial_outcome&)>& done) {
  for (int i = 0; i < count; ++i) done(i, run_trial_order(order_of(i)));
  return 0;
}

int serve_trials() { return 0; }
void release_processes(int) {}

#else

namespace {

enum message_tag { tag_order = 1, tag_outcome = 2, tag_release = 3 };

int started = 0;  // 1: this process called MPI_Init
int rank = 0;
int size = 1;

// A launcher's variables: Open MPI's, then those of PMI and PMIx launchers.
bool launched_by_mpi() {
  return std::getenv("OMPI_COMM_WORLD_SIZE") || std::getenv("PMI_SIZE") || std::getenv("PMIX_RANK");
}

// Messages travel as bytes: numbers as they lie in memory (the processes of
// one run are one program), texts and arrays after their lengths. One routine
// per message names its fields in order, for the packer and the unpacker.
struct packer {
  std::vector<char> bytes;
  void put(const void* p, std::size_t n) {
    const char* c = static_cast<const char*>(p);
    bytes.insert(bytes.end(), c, c + n);
  }
  void number(int& v) { put(&v, sizeof v); }
  void text(std::string& s) {
    int n = static_cast<int>(s.size());
    number(n);
    put(s.data(), s.size());
  }
  void values(std::vector<double>& v) {
    int n = static_cast<int>(v.size());
    number(n);
    put(v.data(), v.size() * sizeof(double));
  }
};

struct unpacker {
  const std::vector<char>& bytes;
  std::size_t at = 0;
  void take(void* p, std::size_t n) {
    if (at + n > bytes.size()) n = at < bytes.size() ? bytes.size() - at : 0;
    std::memcpy(p, bytes.data() + at, n);
    at += n;
  }
  void number(int& v) {
    v = 0;
    take(&v, sizeof v);
  }
  void text(std::string& s) {
    int n = 0;
    number(n);
    s.assign(n > 0 ? n : 0, '\0');
    take(s.data(), s.size());
  }
  void values(std::vector<double>& v) {
    int n = 0;
    number(n);
    v.assign(n > 0 ? n : 0, 0.0);
    take(v.data(), v.size() * sizeof(double));
  }
};

template <class Coder>
void order_fields(Coder& c, trial_order& order) {
  c.number(order.kind);
  c.number(order.index);
  c.values(order.params);
  c.text(order.project);
  c.text(order.replace_list);
}

template <class Coder>
void outcome_fields(Coder& c, int& index, trial_outcome& outcome) {
  c.number(index);
  c.number(outcome.status);
  c.values(outcome.peaks);
  c.values(outcome.volumes);
  c.text(outcome.message);
}

// The launcher ends every process with SIGTERM when one of them dies.
// The launcher may follow with SIGKILL at once, so the message naming the
// held trials is kept composed and the handler writes it as it stands: two
// buffers, the one not shown written, then shown.
volatile std::sig_atomic_t stop_asked = 0;
char held_notes[2][4096];
volatile std::sig_atomic_t held_note_lengths[2] = {0, 0};
volatile std::sig_atomic_t shown_note = 0;

void ask_stop(int) {
  if (stop_asked) return;
  stop_asked = 1;
  const int k = shown_note;
  ssize_t ignored = write(STDOUT_FILENO, held_notes[k], held_note_lengths[k]);
  (void)ignored;
}

// Waits for a message of tag from any process without keeping a processor
// busy: trials of the other processes want it. False when the run is being
// stopped or MPI failed.
bool wait_for(int tag, MPI_Status& status) {
  const timespec pause{0, 200000};
  for (;;) {
    int arrived = 0;
    if (MPI_Iprobe(MPI_ANY_SOURCE, tag, MPI_COMM_WORLD, &arrived, &status) != MPI_SUCCESS) return false;
    if (arrived) return true;
    if (stop_asked) return false;
    nanosleep(&pause, nullptr);
  }
}

bool receive(int tag, std::vector<char>& bytes, int& source) {
  MPI_Status status;
  if (!wait_for(tag, status)) return false;
  int n = 0;
  MPI_Get_count(&status, MPI_BYTE, &n);
  bytes.assign(n > 0 ? n : 0, '\0');
  source = status.MPI_SOURCE;
  return MPI_Recv(bytes.data(), n, MPI_BYTE, source, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE) ==
         MPI_SUCCESS;
}

bool send(const packer& p, int to, int tag) {
  return MPI_Send(p.bytes.data(), static_cast<int>(p.bytes.size()), MPI_BYTE, to, tag,
                  MPI_COMM_WORLD) == MPI_SUCCESS;
}

void note_held(const std::vector<std::deque<int>>& held) {
  std::string note = "\nError: the run was stopped while processes still held trials:";
  const char* separator = " ";
  for (std::size_t p = 1; p < held.size(); ++p) {
    for (int trial : held[p]) {
      note += separator + ("trial " + std::to_string(trial + 1)) + " on process " + std::to_string(p);
      separator = ", ";
    }
  }
  note += ". The results files hold every trial that finished.\n";
  const int k = 1 - shown_note;
  const std::size_t n = std::min(note.size(), sizeof held_notes[k]);
  std::memcpy(held_notes[k], note.data(), n);
  held_note_lengths[k] = static_cast<std::sig_atomic_t>(n);
  shown_note = k;
}

// One outcome that has arrived, or (wait) the next to arrive, into
// finished; the trial leaves its process's list. 1 taken, 0 none there yet,
// -1 the run is being stopped or MPI failed.
int take_outcome(bool wait, std::vector<std::deque<int>>& held,
                 std::map<int, trial_outcome>& finished) {
  MPI_Status status;
  int arrived = 0;
  if (!wait) {
    if (MPI_Iprobe(MPI_ANY_SOURCE, tag_outcome, MPI_COMM_WORLD, &arrived, &status) != MPI_SUCCESS)
      return -1;
    if (!arrived) return stop_asked ? -1 : 0;
  }
  std::vector<char> bytes;
  int source = 0;
  if (!receive(tag_outcome, bytes, source)) return -1;
  unpacker in{bytes};
  int index = 0;
  trial_outcome outcome;
  outcome_fields(in, index, outcome);
  outcome.process = source;
  finished[index] = std::move(outcome);
  std::deque<int>& list = held[source];
  for (auto at = list.begin(); at != list.end(); ++at) {
    if (*at != index) continue;
    list.erase(at);
    break;
  }
  return 1;
}

// The dealing of one mode's trials, where the work between the passes of
// process 0's own trial reaches it.
struct dealing {
  int count = 0;
  const std::function<trial_order(int)>* order_of = nullptr;
  std::size_t depth = 1;                  // trials a process holds at most
  std::vector<std::deque<int>> held;      // per process, the trials dealt it, in order
  std::map<int, trial_outcome> finished;  // not yet handed on
  int next_deal = 0;
  bool failed = false;
  std::chrono::steady_clock::time_point last_look{};
};

// Takes the outcomes that have arrived and deals the next trials to the
// processes they freed. False when the run is being stopped or MPI failed.
bool serve_processes(dealing& d) {
  bool changed = false;
  int taken = 0;
  while ((taken = take_outcome(false, d.held, d.finished)) == 1) changed = true;
  bool ok = taken == 0;
  for (int p = 1; ok && p < size; ++p) {
    for (;;) {
      // A second trial waits behind the one a process runs only while there
      // are trials enough to go round: near the end a trial queued behind
      // another would keep a free process idle.
      const std::size_t depth = d.count - d.next_deal > size ? d.depth : 1;
      if (d.held[p].size() >= depth || d.next_deal >= d.count) break;
      trial_order order = (*d.order_of)(d.next_deal);
      packer message;
      order_fields(message, order);
      if (!send(message, p, tag_order)) {
        ok = false;
        break;
      }
      d.held[p].push_back(d.next_deal++);
      changed = true;
    }
  }
  if (changed) note_held(d.held);
  return ok;
}

// A process that sends back its outcome waits (a large one) or idles (its
// next trial not dealt) until process 0 looks: process 0 looks between the
// passes of its own trial, often enough that no process waits long, seldom
// enough that the looks cost its trial nothing measurable.
dealing* serving = nullptr;
constexpr std::chrono::microseconds look_interval{500};

void serve_between_passes() {
  dealing* d = serving;
  if (!d || d->failed) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - d->last_look < look_interval) return;
  d->last_look = now;
  // A failure ends the dealing once the trial has ended; the trial itself
  // runs on, as it would have before anyone looked.
  if (!serve_processes(*d)) d->failed = true;
}

}  // namespace

void start_processes(int& argc, char**& argv) {
  if (!launched_by_mpi()) return;
  if (MPI_Init(&argc, &argv) != MPI_SUCCESS) return;
  started = 1;
  MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  parallel.process_number = rank;
  if (size > 1 && std::getenv("OMP_NUM_THREADS") == nullptr) set_thread_count(1);
  // One screen for the run: process 0 speaks for all.
  if (rank > 0 && !std::freopen("/dev/null", "w", stdout)) std::fclose(stdout);
}

void end_processes() {
  if (started) MPI_Finalize();
  started = 0;
}

int process_count() { return size; }
int process_rank() { return rank; }

int deal_trials(int count, const std::function<trial_order(int)>& order_of,
                const std::function<void(int, const trial_outcome&)>& done) {
  if (size < 2) {
    for (int i = 0; i < count; ++i) done(i, run_trial_order(order_of(i)));
    return 0;
  }
  void (*earlier)(int) = std::signal(SIGTERM, ask_stop);
  dealing d;
  d.count = count;
  d.order_of = &order_of;
  // Each process holds two trials, the one it runs and the next, so that it
  // need not wait for process 0 to look before it starts its next; one when
  // there are too few trials to go round twice, so that a round of a
  // search's complexes is spread over every process.
  d.depth = count >= 2 * size ? 2 : 1;
  d.held.resize(size);
  int next_done = 0;
  while (next_done < count && !d.failed) {
    if (!serve_processes(d)) {
      d.failed = true;
      break;
    }
    if (d.next_deal < count) {
      // Process 0 runs a trial of its own, and keeps dealing while it runs.
      const int own = d.next_deal++;
      const trial_order order = order_of(own);
      serving = &d;
      set_between_passes(serve_between_passes);
      trial_outcome outcome = run_trial_order(order);
      set_between_passes(nullptr);
      serving = nullptr;
      d.finished[own] = std::move(outcome);
    } else if (d.finished.find(next_done) == d.finished.end()) {
      if (take_outcome(true, d.held, d.finished) < 0) d.failed = true;
      note_held(d.held);
    }
    for (auto at = d.finished.find(next_done); at != d.finished.end();
         at = d.finished.find(next_done)) {
      done(next_done, at->second);
      d.finished.erase(at);
      ++next_done;
    }
  }
  if (d.failed) {
    // A stop asked by the launcher has said so already.
    if (!stop_asked) {
      note_held(d.held);
      std::fflush(stdout);
      ask_stop(SIGTERM);
    }
    // The trials that finished after one still held are kept too.
    for (const auto& [index, outcome] : d.finished) done(index, outcome);
    std::fflush(nullptr);
    // The other processes are gone or going; MPI cannot be ended in order.
    std::_Exit(1);
  }
  std::signal(SIGTERM, earlier);
  return 0;
}

int serve_trials() {
  for (;;) {
    std::vector<char> bytes;
    int source = 0;
    MPI_Status status;
    if (!wait_for(MPI_ANY_TAG, status)) return 1;
    if (!receive(status.MPI_TAG, bytes, source)) return 1;
    unpacker in{bytes};
    if (status.MPI_TAG == tag_release) {
      int given = 0;
      in.number(given);
      return given;
    }
    trial_order order;
    order_fields(in, order);
    trial_outcome outcome = run_trial_order(order);
    packer reply;
    outcome_fields(reply, order.index, outcome);
    if (!send(reply, source, tag_outcome)) return 1;
  }
}

void release_processes(int status) {
  if (size < 2) return;
  for (int p = 1; p < size; ++p) {
    packer message;
    int given = status;
    message.number(given);
    send(message, p, tag_release);
  }
}

#endif
