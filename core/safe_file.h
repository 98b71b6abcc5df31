#pragma once
// Every file the model reads or writes (the project file aside) is held in a
// safe_file: a buffered stream that remembers the resolved name it was opened
// under, notices when its own memory has been overwritten, and closes itself.

#include <cstdio>
#include <string>

#include "core/output_set.h"

constexpr int path_capacity = 1024;

class safe_file {
 public:
  safe_file();
  ~safe_file();
  safe_file(const safe_file&) = default;  // copied only by the array templates
  safe_file& operator=(const safe_file&) = default;

  // Resolves name (run prefix, project and output directories) and opens it.
  // Returns false when nothing could be opened; the caller reports the role.
  // Opening an open wrapper warns and closes the earlier file first; a name
  // longer than a path is refused ("Error.... name too long!!!").
  // During a run a written file joins the run's output set and is made under
  // its temporary name (path shows it); appending to or reading a file the
  // run has written goes to that temporary file. A file appended to that
  // the run has not written (a log kept across runs) and a file opened with
  // file_commit::at_once are written in place.
  bool open(const char* name, const char* mode, file_commit commit = file_commit::at_run_end);
  // Closes the file when open and returns the wrapper to closed; harmless on
  // a closed wrapper. Withdraws summary_file when it refers here. Always 0.
  int close();
  bool is_open() const { return stream != nullptr; }

  // The name the file will stand under once the run is over: its path
  // without the temporary suffix, which a user never sees.
  std::string final_name() const;

  std::FILE* stream;         // the open file, null when closed
  std::FILE* shadow;         // copy of stream; a difference means overwritten memory
  char path[path_capacity];  // resolved name the file was opened under
  char mode[5];              // mode string it was opened with
};

// Process-wide resolution settings; not reset between the runs of one process.
extern char project_directory[path_capacity];  // ends in '/' once set
extern char output_directory[path_capacity];   // ends in '/' once set
extern int output_directory_set;
extern int run_prefix_flag;     // 1: written files get "%04d_" on their last name part
extern int run_prefix_number;   // the batch index or calibration process number
extern int replace_line_index;  // 0-based line of the replacement value file

void set_project_directory(char* text, int length);
void set_output_directory(const char* text);
// suffix goes after the last name part, the run prefix included.
void get_new_filename(const char* name, const char* mode, char* result, const char* suffix = "");
bool resolve_file_path(const char* out_dir, const char* name, const char* mode, int written,
                       char* result);
void make_output_subdirectory(const char* out_dir, char* result);
