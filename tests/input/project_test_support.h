#pragma once
// Shared fixture of the project reader tests: a temporary folder for project
// files, and the process-wide values the cards change (folders, quiet byte,
// thread count, pause flag, value line, error record) saved before each test
// and put back after it, so that the tests do not leak into each other.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/project_file.h"
#include "input/project_reader.h"
#include "test_support.h"

class project_test : public testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_project_directory_, project_directory, sizeof saved_project_directory_);
    std::memcpy(saved_output_directory_, output_directory, sizeof saved_output_directory_);
    saved_output_set_ = output_directory_set;
    saved_quiet_ = quiet_flag;
    saved_threads_ = parallel.total_threads;
    saved_pause_ = pause_flag;
    saved_replace_line_ = replace_line_index;
    project_directory[0] = '\0';
    output_directory[0] = '\0';
    output_directory_set = 0;
    quiet_flag = 0;
    clear_errors();
  }

  void TearDown() override {
    std::memcpy(project_directory, saved_project_directory_, sizeof saved_project_directory_);
    std::memcpy(output_directory, saved_output_directory_, sizeof saved_output_directory_);
    output_directory_set = saved_output_set_;
    quiet_flag = saved_quiet_;
    set_thread_count(saved_threads_);
    pause_flag = saved_pause_;
    replace_line_index = saved_replace_line_;
    clear_errors();
  }

  static void clear_errors() {
    error_state.code = 0;
    error_state.stop_flag = 0;
    error_state.terminate_flag = 0;
    error_state.text1[0] = '\0';
  }

  // Writes a project file (magic line first) and returns its path.
  std::string project(const std::string& cards, const std::string& file = "run.prj") {
    return dir_.write(file, "VALTOPROJECT\n" + cards);
  }

  // Reads cards into state with read_project_file; returns standard output.
  std::string read_cards(const std::string& cards) {
    std::string path = project(cards);
    test_support::stdout_capture out;
    read_project_file(path.c_str(), state_->input.settings, state_->input.params,
                      state_->input.precip);
    return out.stop();
  }

  // Runs the first set-up phase on cards; returns standard output.
  std::string read_run(const std::string& cards) {
    std::string path = project(cards);
    test_support::stdout_capture out;
    read_run_parameters(path.c_str(), *state_);
    return out.stop();
  }

  // Runs both set-up phases on cards; returns standard output.
  std::string read_and_check(const std::string& cards) {
    std::string path = project(cards);
    test_support::stdout_capture out;
    read_run_parameters(path.c_str(), *state_);
    if (error_state.stop_flag == 0 && error_state.code == 0) check_project_options(*state_);
    return out.stop();
  }

  input_state& in() { return state_->input; }
  project_settings& settings() { return state_->input.settings; }
  run_parameters& params() { return state_->input.params; }
  precip_settings& precip() { return state_->input.precip; }

  test_support::temp_dir dir_;
  std::unique_ptr<model_state> state_ = std::make_unique<model_state>();

 private:
  char saved_project_directory_[path_capacity];
  char saved_output_directory_[path_capacity];
  int saved_output_set_ = 0;
  int saved_quiet_ = 0;
  int saved_threads_ = 1;
  int saved_pause_ = 0;
  int saved_replace_line_ = 0;
};

// Captures standard error between construction and stop().
class stderr_capture {
 public:
  stderr_capture() {
    std::fflush(stderr);
    testing::internal::CaptureStderr();
  }
  ~stderr_capture() {
    if (active_) stop();
  }
  std::string stop() {
    if (!active_) return {};
    active_ = false;
    std::fflush(stderr);
    return testing::internal::GetCapturedStderr();
  }

 private:
  bool active_ = true;
};
