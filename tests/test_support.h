#pragma once
// Shared fixtures for the test programs: temporary directory trees, files
// written from strings, captured console output, running the program, and a
// busy machine watched over for hangs.

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// A fresh directory under the system's temporary folder, removed with the
// object. The process's working directory is left alone.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes text to name below the directory (parent folders made) and returns its path.
  std::string write(const std::string& name, const std::string& text) const;
  // The plain files of folder from copied in: a fixture or an example to change.
  void copy_files_of(const std::filesystem::path& from) const;
  // The first old_text of file name replaced by new_text; false when the file
  // does not hold it (the fixture changed under the test).
  bool replace_in(const std::string& name, const std::string& old_text,
                  const std::string& new_text) const;

 private:
  std::filesystem::path path_;
};

// Changes the working directory for the object's life.
class scoped_cwd {
 public:
  explicit scoped_cwd(const std::filesystem::path& dir);
  ~scoped_cwd();

 private:
  std::filesystem::path old_;
};

std::string read_file(const std::string& path);

// text cut or filled with blanks to width: the fixed columns of the mapping
// tables' rows.
inline std::string padded(const std::string& text, std::size_t width) {
  std::string s = text;
  s.resize(width, ' ');
  return s;
}

// The lines of text, without their newlines.
std::vector<std::string> lines_of(const std::string& text);

// Captures what the process writes to standard output (C stdio and iostream)
// between start and stop.
class stdout_capture {
 public:
  stdout_capture();
  ~stdout_capture();
  std::string stop();

 private:
  bool active_;
};

struct program_result {
  int status;
  std::string output;  // standard output and standard error together
};

// Runs the valto program with the given argument string in dir.
program_result run_program(const std::string& args, const std::filesystem::path& dir,
                           const std::string& env = "");

// Aborts the whole test program, naming what hung, unless disarmed within
// the given seconds: a lost wake-up in a team then fails the test instead
// of holding ctest until its own timeout.
class watchdog {
 public:
  watchdog(const char* what, int seconds);
  ~watchdog();  // disarms
  watchdog(const watchdog&) = delete;
  watchdog& operator=(const watchdog&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

// One busy thread a processor of the machine for the object's life (and at
// most the given seconds, so a test that is stopped leaves no load
// behind): every team the test starts then has more runnable threads than
// processors, and its threads lose their processors mid-sweep as they do
// on a shared machine.
class busy_machine {
 public:
  explicit busy_machine(int most_seconds);
  ~busy_machine();
  busy_machine(const busy_machine&) = delete;
  busy_machine& operator=(const busy_machine&) = delete;

 private:
  std::atomic<bool> on_{true};
  std::vector<std::thread> busy_;
};

}  // namespace test_support
