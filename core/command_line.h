#pragma once
// The program's command line: the mode and input file it asks for, the
// start-up banner, the version block and the web wrapping.

constexpr double valto_version = 5.7;
constexpr char valto_version_letter = 'a';

enum run_mode {
  mode_none = 0,
  mode_single = 1,
  mode_sce = 2,
  mode_batch = 3,
  mode_version = 4,
  mode_no_action = 5,
  mode_montecarlo = 6,
  mode_sensitivity = 7,
};

struct command_line {
  int mode;             // a run_mode
  char filename[1024];  // input file named on the command line
};

// Fills cmd (zeroed first) and returns the run count (1 unless a number
// follows -b or -m), or -1 after printing the usage text when the command
// line is not understood, or -2 after a message when the file name does not
// fit in 1023 characters or the -m run count is below 1.
int parse_command_line(int argc, char** argv, command_line& cmd);

void print_usage();
void print_version();
void print_banner(int total_threads);

// Process-wide: the program's name contains "web"; its output is wrapped in
// a minimal CGI response.
extern int web_mode;

// True when the program's name contains "web".
bool is_web_name(const char* program_name);

// The CGI head: the content-type line, the title and, read from standard
// input, the request of CONTENT_LENGTH characters (at most 1024), or the
// error line when that length is missing or not a number from 0 to 1024.
void print_web_head();

// The CGI tail printed last.
void print_web_tail();
