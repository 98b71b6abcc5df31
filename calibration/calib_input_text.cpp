#include "calibration/calib_input_text.h"

#include <vector>

#include "core/safe_file.h"
#include "core/text_io.h"

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

}  // namespace

std::string first_path_token(const char* line) {
  const char* p = line;
  while (*p && is_separator(*p)) ++p;
  std::string out;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"' && *p != '\r' && *p != '\n') out += *p++;
    return out;
  }
  while (*p && !is_separator(*p)) out += *p++;
  return out;
}

std::vector<numbered_token> read_tokens(safe_file& file, int first_line) {
  std::vector<numbered_token> tokens;
  std::vector<char> line(max_line);
  int number = first_line;
  while (read_line(file, line.data())) {
    const char* p = line.data();
    for (;;) {
      while (*p && is_separator(*p)) ++p;
      if (!*p) break;
      numbered_token t;
      t.line = number;
      while (*p && !is_separator(*p)) t.text += *p++;
      tokens.push_back(std::move(t));
    }
    ++number;
  }
  return tokens;
}
