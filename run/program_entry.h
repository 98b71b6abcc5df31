#pragma once
// The program: banner, command line and the mode it asks for.

// Returns the process exit status: the run's result in single-run mode
// (0 ended normally, 1 stopped by an error), for the calibration and
// sampling modes 0 when their trials ran and 1 when their input could not be
// used, their run count is below 1 or every trial failed, 0 for the other modes and for a command line answered with the usage
// text.
int program_entry(int argc, char** argv);
