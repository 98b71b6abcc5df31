#pragma once
// What the benchmarks share: the check that two thread counts left the same
// numbers, bit for bit.

#include <cstring>
#include <vector>

namespace bench {

inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace bench
