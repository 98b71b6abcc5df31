#pragma once
// What the calibration tests share: a folder to work in with the process-wide
// file settings cleared (and put back), and the calib10 project copied there.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/error_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "input/replace_params.h"
#include "test_support.h"

namespace calib_test {

// The working folder of one test: the current directory while the object
// lives, with no project or output folder and no run prefix, all put back
// (and the thread count) when it goes.
class work_folder {
 public:
  work_folder() : cwd_(dir_.path()) {
    std::memcpy(project_, project_directory, sizeof project_);
    std::memcpy(output_, output_directory, sizeof output_);
    output_set_ = output_directory_set;
    prefix_flag_ = run_prefix_flag;
    prefix_number_ = run_prefix_number;
    threads_ = parallel.total_threads;
    project_directory[0] = '\0';
    output_directory[0] = '\0';
    output_directory_set = 0;
    run_prefix_flag = 0;
    run_prefix_number = 0;
    error_state = error_record{};
  }
  ~work_folder() {
    std::memcpy(project_directory, project_, sizeof project_);
    std::memcpy(output_directory, output_, sizeof output_);
    output_directory_set = output_set_;
    run_prefix_flag = prefix_flag_;
    run_prefix_number = prefix_number_;
    set_thread_count(threads_);
    replacement.params.clear();
    end_substitution();
    error_state = error_record{};
  }
  work_folder(const work_folder&) = delete;
  work_folder& operator=(const work_folder&) = delete;

  std::string write(const std::string& name, const std::string& text) const {
    return dir_.write(name, text);
  }
  std::string read(const std::string& name) const { return test_support::read_file(dir_.file(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_.path() / name); }
  const std::filesystem::path& path() const { return dir_.path(); }

  // The calib10 fixture's files copied into the folder.
  void copy_calib10() const {
    const std::filesystem::path from = std::filesystem::path(VALTO_FIXTURES_DIR) / "calib10";
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::copy_file(entry.path(), dir_.path() / entry.path().filename());
  }

 private:
  test_support::temp_dir dir_;
  test_support::scoped_cwd cwd_;
  char project_[path_capacity];
  char output_[path_capacity];
  int output_set_ = 0;
  int prefix_flag_ = 0;
  int prefix_number_ = 0;
  int threads_ = 1;
};

}  // namespace calib_test
