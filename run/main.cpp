#include "core/parallel_context.h"
#include "run/program_entry.h"

int main(int argc, char** argv) {
  settle_thread_waits(argv);
  return program_entry(argc, argv);
}
