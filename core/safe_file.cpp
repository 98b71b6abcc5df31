#include "core/safe_file.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/error_state.h"

namespace {

void print_corrupt(const safe_file& file) {
  // The path is read no further than its own field: overwritten memory may
  // have taken its terminator too.
  std::printf("\n\n\nError with the file %.*s. The file pointer is corrupt.\n\n\n\n",
              static_cast<int>(strnlen(file.path, path_capacity)), file.path);
}

// Closes the stream and returns the wrapper to closed. A stream that differs
// from its shadow cannot be trusted to be a stream at all, so it is dropped
// unclosed rather than handed to fclose.
void release(safe_file& file) {
  if (file.stream && file.stream == file.shadow) std::fclose(file.stream);
  file.stream = nullptr;
  file.shadow = nullptr;
  file.path[0] = '\0';
  file.mode[0] = '\0';
}

// Where the file of name really opens: the run's temporary file for a
// result of the current run, the resolved name otherwise. False (with no
// file made) when nothing can be opened.
bool resolve_for_run(const char* name, const char* mode, file_commit commit,
                     char* resolved) {
  output_set* set = commit == file_commit::at_run_end ? run_outputs : nullptr;
  if (const char* partial = set ? set->partial_of(name) : nullptr) {
    copy_text(resolved, path_capacity, partial);
    return true;
  }
  if (!set || mode[0] != 'w') {
    get_new_filename(name, mode, resolved);
    return resolved[0] != '\0';
  }
  get_new_filename(name, mode, resolved, partial_suffix);
  if (resolved[0] == '\0') return false;
  char final_path[path_capacity];
  copy_text(final_path, sizeof final_path, resolved);
  final_path[std::strlen(final_path) - (sizeof partial_suffix - 1)] = '\0';
  // A directory in the way could never be replaced by the file: the open
  // fails now, as it would have without the temporary name.
  std::error_code ec;
  if (std::filesystem::is_directory(final_path, ec)) {
    std::remove(resolved);
    resolved[0] = '\0';
    return false;
  }
  set->add(name, final_path);
  return true;
}

}  // namespace

safe_file::safe_file() : stream(nullptr), shadow(nullptr), path{}, mode{} {}

safe_file::~safe_file() {
  if (summary_file == this) withdraw_summary_file(this);
  if (stream) close();
}

std::string safe_file::final_name() const {
  std::string name = path;
  constexpr std::size_t suffix = sizeof partial_suffix - 1;
  if (name.size() > suffix && name.compare(name.size() - suffix, suffix, partial_suffix) == 0)
    name.resize(name.size() - suffix);
  return name;
}

bool safe_file::open(const char* name, const char* open_mode, file_commit commit) {
  if (stream != shadow) print_corrupt(*this);
  if (!name || name[0] == '\0') return false;
  if (!open_mode || (open_mode[0] != 'w' && open_mode[0] != 'a' && open_mode[0] != 'r'))
    return false;

  // The name is copied before anything is closed: it may be this wrapper's
  // own path, which closing clears.
  size_t name_length = strnlen(name, path_capacity);
  char requested[path_capacity];
  if (name_length < path_capacity) std::memcpy(requested, name, name_length + 1);

  if (stream) {
    std::printf(
        "\n\nError!!!!!!! opening a file when the previous file was not closed.\nOriginal "
        "file: %.*s\nNew file: %s\n\n\n",
        static_cast<int>(strnlen(path, path_capacity)), path, name);
    // The earlier stream would be unreachable from here on; close it now.
    if (summary_file == this) withdraw_summary_file(this);
    release(*this);
  }

  // A name that does not fit the path field is refused, never cut: a cut
  // name would open some other file.
  if (name_length >= path_capacity) {
    std::fputs("Error.... name too long!!!\n\n\n", stdout);
    return false;
  }

  char resolved[path_capacity];
  if (!resolve_for_run(requested, open_mode, commit, resolved)) return false;

  std::FILE* opened = std::fopen(resolved, open_mode);
  if (!opened) return false;
  stream = opened;
  shadow = opened;
  copy_text(path, sizeof path, resolved);
  copy_text(mode, sizeof mode, open_mode);
  return true;
}

int safe_file::close() {
  if (summary_file == this) withdraw_summary_file(this);
  if (stream != shadow) print_corrupt(*this);
  release(*this);
  return 0;
}
