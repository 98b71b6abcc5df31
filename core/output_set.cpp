#include "core/output_set.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

output_set* run_outputs = nullptr;

namespace {

// A run of a large project writes a few hundred map files; room for the
// usual count is made once, before the time loop opens any of them.
constexpr std::size_t usual_outputs = 256;

}  // namespace

output_set::output_set() { entries_.reserve(usual_outputs); }

void output_set::add(const char* requested, const char* final_path) {
  for (const entry& e : entries_)
    if (e.final_path == final_path) return;
  entries_.push_back({requested, final_path, std::string(final_path) + partial_suffix});
}

const char* output_set::partial_of(const char* name) const {
  // The latest file of a name is the one a reader means.
  for (auto e = entries_.rbegin(); e != entries_.rend(); ++e)
    if (e->requested == name || e->final_path == name || e->partial_path == name)
      return e->partial_path.c_str();
  return nullptr;
}

bool output_set::commit() {
  bool moved = true;
  // The summary and the outlet hydrograph are opened first, so they reach
  // their names last: a summary of this run beside its name means the set
  // before it is in place.
  for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
    if (std::rename(e->partial_path.c_str(), e->final_path.c_str()) == 0) continue;
    // A writer that removed its own file leaves nothing to move.
    if (errno == ENOENT) continue;
    std::printf("Error: unable to move the output %s into place as %s: %s\n",
                e->partial_path.c_str(), e->final_path.c_str(), std::strerror(errno));
    moved = false;
  }
  entries_.clear();
  return moved;
}

void output_set::discard() {
  for (const entry& e : entries_) std::remove(e.partial_path.c_str());
  entries_.clear();
}
