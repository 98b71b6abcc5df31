#include <cstdio>

int main() {
  std::printf("Parallel version of VALTO (5.7a) with SCE (OpenMP).\n");
  return 0;
}
