#pragma once
// Reading the calibration input files: a path as the first token of its line
// (in double quotes it may hold blanks), and numbers read free-format across
// lines, each remembered with its line for the messages.

#include <string>
#include <vector>

class safe_file;

// The first token of line, quotes removed, whole however long; empty for a
// blank line.
std::string first_path_token(const char* line);

struct numbered_token {
  std::string text;
  int line = 0;  // 1-based line of the file
};

// The remaining tokens of the file (blanks, tabs and commas separate them),
// the file's next line being line first_line.
std::vector<numbered_token> read_tokens(safe_file& file, int first_line);
