// File-name resolution: where a name from the project's cards is really
// opened. Names read from input may use '/' or '\' between directories; every
// path built here uses '/'. Directories are tested and created through the
// file system, never by changing the process's working directory.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"

char project_directory[path_capacity] = {};
char output_directory[path_capacity] = {};
int output_directory_set = 0;
int run_prefix_flag = 0;
int run_prefix_number = 0;
int replace_line_index = 0;

namespace {

void print_too_long() { std::fputs("Error.... name too long!!!\n\n\n", stdout); }

bool is_separator(char c) { return c == '/' || c == '\\'; }

void use_forward_slashes(char* text) {
  for (char* c = text; *c; ++c)
    if (*c == '\\') *c = '/';
}

bool written_mode(const char* mode) { return mode[0] == 'w' || mode[0] == 'a'; }

// Copies text (at most length characters of it) into a directory setting,
// with '/' separators and one '/' at the end. Refused, leaving the setting
// as it was, when the text and its separator do not fit.
void store_directory(char* setting, const char* text, size_t length) {
  length = strnlen(text, length);
  bool needs_separator = length > 0 && !is_separator(text[length - 1]);
  if (length + (needs_separator ? 1 : 0) >= path_capacity) {
    print_too_long();
    return;
  }
  std::memmove(setting, text, length);
  if (needs_separator) setting[length++] = '/';
  setting[length] = '\0';
  use_forward_slashes(setting);
}

// Joins up to three parts into result; false (result empty) when the whole
// does not fit a path.
bool join(char* result, const char* a, const char* b = "", const char* c = "") {
  int n = std::snprintf(result, path_capacity, "%s%s%s", a, b, c);
  if (n < 0 || n >= path_capacity) {
    result[0] = '\0';
    return false;
  }
  return true;
}

// The test of a candidate: open it in the requested mode and close it again.
// For a written file this creates (or empties) it, as the real open would.
bool opens(const char* candidate, const char* mode) {
  std::FILE* f = std::fopen(candidate, mode);
  if (!f) return false;
  std::fclose(f);
  return true;
}

// Puts the run number in front of the last part of the name, so that
// out/q.txt of run 3 becomes out/0003_q.txt and its directory stays usable.
bool add_run_prefix(char* name) {
  const char* last = std::strrchr(name, '/');
  int directory_length = last ? static_cast<int>(last - name) + 1 : 0;
  char prefixed[path_capacity];
  int n = std::snprintf(prefixed, sizeof prefixed, "%.*s%04d_%s", directory_length, name,
                        run_prefix_number, name + directory_length);
  if (n < 0 || n >= path_capacity) return false;
  std::memcpy(name, prefixed, n + 1);
  return true;
}

bool directory_exists_or_made(const char* directory) {
  try {
    std::error_code ec;
    std::filesystem::path dir(directory);
    if (std::filesystem::is_directory(dir, ec)) return true;
    return std::filesystem::create_directory(dir, ec) && !ec;
  } catch (...) {
    return false;
  }
}

}  // namespace

void set_project_directory(char* text, int length) {
  if (!text || length <= 0) {
    project_directory[0] = '\0';
    return;
  }
  store_directory(project_directory, text, static_cast<size_t>(length));
}

void set_output_directory(const char* text) {
  // An empty text stays empty: a lone '/' would put every file at the root.
  store_directory(output_directory, text ? text : "", path_capacity);
  output_directory_set = 1;
}

void make_output_subdirectory(const char* out_dir, char* result) {
  char directory[path_capacity];
  copy_text(directory, sizeof directory, out_dir ? out_dir : "");
  use_forward_slashes(directory);
  copy_text(result, path_capacity, directory);

  // Only an output directory that begins with the project directory is
  // shortened; once shortened it no longer does, and later calls change nothing.
  size_t project_length = std::strlen(project_directory);
  if (project_length == 0 || std::strncmp(directory, project_directory, project_length) != 0)
    return;

  // The full directory is project directory + relative part, which is the
  // output directory as it stands.
  if (directory_exists_or_made(directory))
    copy_text(result, path_capacity, directory + project_length);
  else
    result[0] = '\0';
  set_output_directory(result);
}

bool resolve_file_path(const char* out_dir, const char* name, const char* mode, int written,
                       char* result) {
  result[0] = '\0';
  if (!name || !mode) return false;
  char file[path_capacity];
  if (strnlen(name, path_capacity) >= path_capacity) {
    print_too_long();
    return false;
  }
  copy_text(file, sizeof file, name);
  use_forward_slashes(file);
  if (file[0] == '\0') return false;

  // An absolute name is never put below the directories: such a candidate
  // could only name a file by accident.
  const bool absolute = file[0] == '/';
  bool cut = false;
  char candidate[path_capacity];
  char subdirectory[path_capacity];
  auto attempt = [&](const char* a, const char* b, const char* c) {
    if (!join(candidate, a, b, c)) {
      cut = true;
      return false;
    }
    copy_text(result, path_capacity, candidate);
    return opens(candidate, mode);
  };

  if (written) {
    make_output_subdirectory(out_dir, subdirectory);
    if (!absolute && attempt(project_directory, subdirectory, file)) return true;
    if (attempt(file, "", "")) return true;
    if (!absolute && attempt(project_directory, file, "")) return true;
  } else {
    if (attempt(file, "", "")) return true;
    make_output_subdirectory(out_dir, subdirectory);
    if (!absolute && attempt(project_directory, subdirectory, file)) return true;
  }
  if (cut) print_too_long();
  return false;
}

void get_new_filename(const char* name, const char* mode, char* result, const char* suffix) {
  if (!result) return;
  result[0] = '\0';
  if (!name || !mode) return;
  char file[path_capacity];
  if (strnlen(name, path_capacity) >= path_capacity) {
    print_too_long();
    return;
  }
  copy_text(file, sizeof file, name);
  strip_outer_quotes(file);
  use_forward_slashes(file);
  if (file[0] == '\0') return;

  const bool written = written_mode(mode);
  if (run_prefix_flag == 1 && written && !add_run_prefix(file)) {
    print_too_long();
    return;
  }
  if (suffix && suffix[0] != '\0') {
    const size_t length = std::strlen(file);
    if (length + std::strlen(suffix) >= path_capacity) {
      print_too_long();
      return;
    }
    std::memcpy(file + length, suffix, std::strlen(suffix) + 1);
  }
  if (!resolve_file_path(output_directory, file, mode, written ? 1 : 0, result))
    std::printf("Error getting new filename from %s\n", file);
}
