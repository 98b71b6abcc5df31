#pragma once
// Ctrl-C (SIGINT) and a polite kill (SIGTERM) stop a run at the end of the
// step it is in, so that no step is cut off inside a parallel loop. The
// handler only notes the signal; the run driver looks at the note between
// set-up phases and between passes of the time loop, never inside a step.
// A second signal of the same kind takes its default action at once.

// Installs the handler for SIGINT and SIGTERM.
void install_interrupt_handlers();

// The signal noted so far, 0 when none; stays noted for the rest of the
// process, so a batch or calibration stops running further runs.
int interrupt_signal();

// Notes sig as the handler does; for the driver's tests.
void note_interrupt(int sig);
void clear_interrupt();

// The exit status of an interrupted program: 128 + the signal number
// (130 for SIGINT, 143 for SIGTERM); 0 when nothing was noted.
int interrupt_exit_status();

// "SIGINT", "SIGTERM" or "signal".
const char* interrupt_name();
