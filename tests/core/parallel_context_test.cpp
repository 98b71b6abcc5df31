// How the program settles its threads' waits and count as it starts: the
// words its first image hands to the one it starts again.

#include "core/parallel_context.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// Restores the process-wide set-up and the variables a case changed.
struct context_guard {
  ~context_guard() {
    unsetenv("VALTO_THREAD_WAITS");
    unsetenv("GOMP_SPINCOUNT");
    init_parallel_context();
  }
};

char program_name[] = "parallel_context_test";
char* arguments[] = {program_name, nullptr};

// The image started again takes the busy processors handed to it, fits its
// threads to them without looking, and leaves no word for the programs it
// starts, whose own waits they choose.
TEST(thread_waits, the_image_started_again_fits_its_threads_to_the_count_handed_down) {
  context_guard guard;
  const int processors = omp_get_num_procs();
  const struct {
    int busy;
    int threads;
  } cases[] = {{0, processors}, {processors - 1, 1}, {processors + 5, 1}};
  for (const auto& c : cases) {
    init_parallel_context();
    parallel.count_given = false;
    const std::string words = std::to_string(getpid()) + " " + std::to_string(c.busy);
    setenv("VALTO_THREAD_WAITS", words.c_str(), 1);
    setenv("GOMP_SPINCOUNT", "1000", 1);
    settle_thread_waits(arguments);  // its own process number: no second start
    EXPECT_EQ(std::getenv("VALTO_THREAD_WAITS"), nullptr);
    EXPECT_EQ(std::getenv("GOMP_SPINCOUNT"), nullptr);
    EXPECT_EQ(fit_threads_to_machine(), std::min(c.busy, processors)) << c.busy;
    EXPECT_EQ(parallel.total_threads, c.threads) << c.busy;
    EXPECT_EQ(omp_get_max_threads(), c.threads) << c.busy;
  }
}

// Words inherited from another process are not this run's count: they are
// taken away, and the spin set beside them is the user's and holds (the
// program is not started again).
TEST(thread_waits, words_of_another_process_are_not_trusted) {
  context_guard guard;
  init_parallel_context();
  parallel.count_given = false;
  setenv("VALTO_THREAD_WAITS", "1 3", 1);
  setenv("GOMP_SPINCOUNT", "5000", 1);
  settle_thread_waits(arguments);
  EXPECT_EQ(std::getenv("VALTO_THREAD_WAITS"), nullptr);
  EXPECT_STREQ(std::getenv("GOMP_SPINCOUNT"), "5000");
}

}  // namespace
