#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/error_state.h"
#include "core/grid_state.h"
#include "core/parallel_context.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/replace_params.h"

namespace fuzz {

namespace {
std::filesystem::path scratch;

void remove_scratch() {
  std::error_code ignored;
  if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}
}  // namespace

namespace {
// The argument with a relative path made absolute, or null when it has none.
char* absolute_argument(const char* arg) {
  std::string text = arg;
  std::string prefix;
  if (text.starts_with("-")) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return nullptr;
    const std::string flag = text.substr(0, equals + 1);
    static const char* const path_flags[] = {"-dict=", "-artifact_prefix=", "-exact_artifact_path=",
                                             "-seed_inputs=", "-merge_control_file=",
                                             "-features_dir="};
    bool takes_path = false;
    for (const char* f : path_flags) takes_path = takes_path || flag == f;
    if (!takes_path) return nullptr;
    prefix = flag;
    text = text.substr(equals + 1);
  }
  if (text.empty() || text[0] == '/') return nullptr;
  // An artifact prefix may name a file-name start in an existing folder.
  const bool ends_in_separator = text.back() == '/';
  std::string absolute = (std::filesystem::current_path() / text).lexically_normal().string();
  if (ends_in_separator && absolute.back() != '/') absolute += '/';
  return strdup((prefix + absolute).c_str());
}
}  // namespace

void start_harness(const char* name, int* argc, char*** argv) {
  if (argc && argv) {
    for (int i = 1; i < *argc; ++i)
      if (char* absolute = absolute_argument((*argv)[i])) (*argv)[i] = absolute;
  }
  // Every input rewrites its files: on a disk file system each rewrite waits
  // for the disk, in memory it costs nothing. TMPDIR still wins when set.
  std::error_code ignored;
  const char* tmpdir = std::getenv("TMPDIR");
  std::filesystem::path base = (!tmpdir && std::filesystem::is_directory("/dev/shm", ignored) &&
                                access("/dev/shm", W_OK) == 0)
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path();
  scratch = base / ("valto_fuzz_" + std::string(name) + "_" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  std::atexit(remove_scratch);
  const char* verbose = std::getenv("VALTO_FUZZ_VERBOSE");
  if (!verbose || std::strcmp(verbose, "1") != 0) {
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("stdout");
  }
  // One thread: the readers do not fork work, and OpenMP pools started per
  // input would only slow the fuzzer.
  set_thread_count(1);
}

std::string write_file(const char* name, std::string_view bytes) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) {
    std::perror(name);
    std::abort();
  }
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return name;
}

std::vector<std::string_view> split_parts(const uint8_t* data, size_t size, int count) {
  std::vector<std::string_view> parts;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view mark = "\n@@@@\n";
  while (static_cast<int>(parts.size()) < count - 1) {
    const size_t at = rest.find(mark);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at + 1));
    rest.remove_prefix(at + mark.size());
  }
  parts.push_back(rest);
  while (static_cast<int>(parts.size()) < count) parts.emplace_back();
  return parts;
}

void reset_process_state() {
  error_state = error_record{};
  project_directory[0] = '\0';
  output_directory[0] = '\0';
  output_directory_set = 0;
  run_prefix_flag = 0;
  run_prefix_number = 0;
  replace_line_index = 0;
  pause_flag = 0;
  quiet_flag = 0;
  end_substitution();
}

bool failure_reported() { return error_state.stop_flag != 0 || error_state.code != 0; }

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "reader contract broken: %s (error code %d)\n", what, error_state.code);
  std::abort();
}

void write_table_inputs(const uint8_t* data, size_t size, table_inputs& inputs) {
  // Made once for the process: the mask never changes between inputs.
  static block_2d<int>* mask = [] {
    auto* m = new block_2d<int>;
    number_mask(*m, table_inputs::rows, table_inputs::cols);
    return m;
  }();
  const auto parts = split_parts(data + 1, size - 1, 3);
  write_file("tables.cmt", parts[0]);
  write_file("a.idx", parts[1]);
  write_file("b.idx", parts[2]);
  map_table_context& context = inputs.context;
  context.path = "tables.cmt";
  context.mask = mask->table();
  context.rows = table_inputs::rows;
  context.cols = table_inputs::cols;
  context.cells = table_inputs::cells;
  context.ts_index = &inputs.index;
  context.series = &inputs.series;
}

int number_mask(block_2d<int>& mask, int rows, int cols) {
  mask.allocate_grid(rows, cols);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) mask[r][c] = r == 3 && c == 3 ? 0 : ++n;
  return n;
}

void small_grid(grid_state& g) {
  g.rows = g.cols = 3;
  g.dx = 10.0;
  g.cells = number_mask(g.mask, g.rows, g.cols);
}

}  // namespace fuzz
