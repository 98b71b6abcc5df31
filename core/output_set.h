#pragma once
// The files a run writes are its result set, and a set is replaced whole or
// not at all. While a run goes on, every file it writes is made beside its
// final name under that name with ".partial" added; the run driver moves the
// whole set into place when the run reaches its end, removes it when the run
// stops before its time loop, and leaves it under the temporary names when
// the run stops in the loop, so that the previous run's files are never
// mixed with a new run's pieces.

#include <cstddef>
#include <string>
#include <vector>

constexpr const char partial_suffix[] = ".partial";

// When a written file reaches its final name.
enum class file_commit {
  at_run_end,  // a result of the run: written under the temporary name
  at_once,     // read by another program while the run goes on: written in place
};

class output_set {
 public:
  output_set();

  // Records a file written under final_path + partial_suffix, opened as
  // requested (the name given to the wrapper). A path already held is kept once.
  void add(const char* requested, const char* final_path);
  // The temporary path of the file opened as requested, or the one whose
  // final or temporary path is name; null when the set holds no such file.
  const char* partial_of(const char* name) const;
  std::size_t size() const { return entries_.size(); }

  // Moves every file to its final name, the first-opened last, and forgets
  // them. False when one could not be moved (a message names it); the others
  // are moved all the same.
  bool commit();
  // Removes every temporary file and forgets them.
  void discard();
  // Forgets the files, leaving them under their temporary names.
  void keep_partial() { entries_.clear(); }

 private:
  struct entry {
    std::string requested;  // name as the writer gave it
    std::string final_path;
    std::string partial_path;
  };
  std::vector<entry> entries_;
};

// The set the written files of the current run join; null outside a run,
// where a wrapper writes in place as a single writer or a calibration
// driver's own file needs.
extern output_set* run_outputs;
