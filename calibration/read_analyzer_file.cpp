// The analyzer definition file: one analyzer a line, built into the run's
// list in file order.

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "calibration/calibration_steps.h"
#include "calibration/stream_analyzers.h"
#include "core/error_state.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/replace_params.h"

namespace {

// One physical line into line (max_line bytes), its newline dropped; the
// part of a longer line that does not fit is passed over, so that every
// line is handled exactly once. False at the end of the file.
bool read_analyzer_line(std::FILE* stream, char* line) {
  if (!std::fgets(line, max_line, stream)) return false;
  std::size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') {
    line[length - 1] = '\0';
    return true;
  }
  int c;
  while ((c = std::fgetc(stream)) != EOF && c != '\n') {
  }
  return true;
}

}  // namespace

void read_analyzer_file(model_state& state, const char* path) {
  safe_file file;
  if (!file.open(path, "r")) {
    char line[path_capacity + 96];
    std::snprintf(line, sizeof line,
                  "Warning: unable to open the analyzer file %s; the run goes on without "
                  "analyzers.\n",
                  path);
    print_message(summary_file, line);
    return;
  }
  std::vector<char> buffer(max_line);
  char* line = buffer.data();
  int count = 0;
  while (read_analyzer_line(file.stream, line)) {
    // An unmatched pair prints its message and the line is still used.
    if (replacement.active) replace_line_params(line, max_line);
    if (line[0] == '#') continue;
    std::unique_ptr<analyzer> a;
    switch (parse_analyzer_type(line)) {
      case 1: a = std::make_unique<stanalyzer_1dst>(); break;
      case 2: a = std::make_unique<stanalyzer_2dst>(); break;
      default: continue;  // other kinds build nothing, without a message
    }
    a->parse_line(state, line);
    state.calib.analyzers.append(a.release());
    ++count;
  }
  if (!state.input.super_quiet) std::printf("Set up %d analyzers...\n", count);
  file.close();
}
