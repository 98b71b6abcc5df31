#pragma once
// Shared fixtures for the test programs: temporary directory trees, files
// written from strings, captured console output and running the program.

#include <filesystem>
#include <string>
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

}  // namespace test_support
