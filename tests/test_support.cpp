#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace test_support {

temp_dir::temp_dir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  for (;;) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("valto_test_" + std::to_string(::getpid()) + "_" +
                      std::to_string(counter++) + "_" + std::to_string(rd() % 100000));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string temp_dir::write(const std::string& name, const std::string& text) const {
  auto p = path_ / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << text;
  return p.string();
}

void temp_dir::copy_files_of(const std::filesystem::path& from) const {
  for (const auto& entry : std::filesystem::directory_iterator(from))
    if (entry.is_regular_file())
      write(entry.path().filename().string(), read_file(entry.path().string()));
}

bool temp_dir::replace_in(const std::string& name, const std::string& old_text,
                          const std::string& new_text) const {
  std::string text = read_file(file(name));
  const std::size_t at = text.find(old_text);
  if (at == std::string::npos) return false;
  text.replace(at, old_text.size(), new_text);
  write(name, text);
  return true;
}

scoped_cwd::scoped_cwd(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

scoped_cwd::~scoped_cwd() {
  std::error_code ec;
  std::filesystem::current_path(old_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

stdout_capture::stdout_capture() : active_(true) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
}

stdout_capture::~stdout_capture() {
  if (active_) stop();
}

std::string stdout_capture::stop() {
  if (!active_) return {};
  active_ = false;
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

program_result run_program(const std::string& args, const std::filesystem::path& dir,
                           const std::string& env) {
  std::string cmd = "cd '" + dir.string() + "' && " + env + (env.empty() ? "" : " ") + "'" +
                    VALTO_BINARY + "' " + args + " 2>&1 </dev/null";
  program_result result{-1, {}};
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return result;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

watchdog::watchdog(const char* what, int seconds) {
  const std::string name = what;
  watcher_ = std::thread([this, name, seconds] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done_.load() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!done_.load()) {
      std::fprintf(stderr, "%s hung: no end after %d s\n", name.c_str(), seconds);
      std::abort();
    }
  });
}

watchdog::~watchdog() {
  done_ = true;
  watcher_.join();
}

busy_machine::busy_machine(int most_seconds) {
  const int processors = std::max(1u, std::thread::hardware_concurrency());
  for (int k = 0; k < processors; ++k)
    busy_.emplace_back([this, most_seconds] {
      volatile double x = 1.0;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(most_seconds);
      while (on_.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < until)
        for (int i = 0; i < 1000; ++i) x = x * 1.0000001;
    });
}

busy_machine::~busy_machine() {
  on_ = false;
  for (std::thread& t : busy_) t.join();
}

}  // namespace test_support
