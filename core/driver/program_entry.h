#pragma once
// The program: banner, command line and the mode it asks for.

// Returns the process exit status: the run's result in single-run mode
// (0 ended normally, 1 stopped by an error), 0 for the other modes and for
// a command line answered with the usage text.
int program_entry(int argc, char** argv);
