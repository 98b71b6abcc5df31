// The test programs' entry: their OpenMP workers wait as the program's own
// do, chosen from how busy the machine is as they start (ctest runs many at
// once), and the runs they start of the program choose for themselves.
#include <gtest/gtest.h>

#include "core/parallel_context.h"

int main(int argc, char** argv) {
  settle_thread_waits(argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
