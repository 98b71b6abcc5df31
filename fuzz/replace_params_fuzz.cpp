// Replacement parameters: the list file (the input's first part), the value
// file (its second) and the substitution of the third part's lines, as a
// project's cards and a run's readers use them.

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "fuzz_support.h"
#include "input/replace_params.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::start_harness("replace_params", argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::reset_process_state();
  replace_line_index = data[0] % 4;
  const auto parts = fuzz::split_parts(data + 1, size - 1, 3);
  fuzz::write_file("list.txt", parts[0]);
  fuzz::write_file("values.txt", parts[1]);

  if (read_replace_params("list.txt") != 0) return 0;
  if (read_replace_vals("values.txt") != 0) return 0;
  fuzz::require(replacement.active == 1, "values loaded without substitution");

  // Lines as read_line delivers them: at most max_line - 1 characters.
  std::vector<char> line(max_line);
  std::string_view rest = parts[2];
  while (!rest.empty() && !error_state.stop_flag) {
    size_t end = rest.find('\n');
    std::string_view one = rest.substr(0, end);
    const size_t n = std::min(one.size(), size_t(max_line - 1));
    std::memcpy(line.data(), one.data(), n);
    line[n] = '\0';
    replace_line_params(line.data(), max_line);
    fuzz::require(std::strlen(line.data()) < size_t(max_line), "a line outgrew its buffer");
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  end_substitution();
  return 0;
}
