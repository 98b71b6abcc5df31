#pragma once
// The one process-wide error record and its reporter. A routine that meets a
// failure stores a numbered code here (with the numbers and texts its message
// quotes) and either reports at once or returns; the run driver reports any
// pending code after every step and leaves the loop when the stop flag is set.

#include <cstdint>

#include "core/message_table.h"

class safe_file;

struct error_record {
  int32_t code = 0;            // 0 nothing, 1..135 message table, 4000 own message printed
  int32_t stop_flag = 0;       // 1: the run ends at the driver's next test
  int32_t terminate_flag = 0;  // with stop_flag: "VALTO Terminated." and the code is kept
  int32_t number1 = 0;         // first integer quoted by a message
  int32_t number2 = 0;         // second integer quoted by a message
  char text1[60] = {};         // first text quoted by a message
  char text2[1024] = {};       // second text quoted by a message, most often a path
};

extern error_record error_state;

// Run summary file once it is open; messages are copied there. Withdrawn when
// that file closes, so later reports go to the screen only.
extern safe_file* summary_file;
extern int pause_flag;

// Turns the pending code into its message on the screen and in the summary
// file and leaves the stop flag for the driver (warnings clear it again).
void report_error();

// Writes one composed message to standard output and, when open, to the
// summary file. The text is written as it stands, never used as a format;
// serialised with the raises.
void print_message(safe_file* summary, const char* text);

// Store code, numbers and texts (texts are cut to fit, never overrun; a null
// text leaves its field as it stands) and report at once. Serialised under
// one lock, so worker threads may call it.
void raise_error(int code, int number1 = 0, int number2 = 0, const char* text1 = nullptr,
                 const char* text2 = nullptr);

// Print a message of the raiser's own (a format from the code, never user
// text) to the screen and summary file, then raise 4000: the run stops.
void raise_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Store a code for the driver to report after the step, without reporting now.
// Sets stop_flag for an error code; fields are stored as by raise_error.
void set_error(int code, int number1 = 0, int number2 = 0, const char* text1 = nullptr,
               const char* text2 = nullptr);

// The first error message (numbered or own) reported since the last
// clear_first_error(), cut to one line; empty when none. A calibration driver
// clears it before each trial and tells with it why the trials failed.
const char* first_error_message();
void clear_first_error();

// Copies text into a fixed field, cutting it to fit with its terminator.
void copy_text(char* field, int capacity, const char* text);

// The fixed text of a message-table code (with its quoted fields left out),
// or null for a code without message; for tests and tools.
const char* message_template(int code);

// True for the eight warning codes, whose report leaves the run going.
bool is_warning_code(int code);

// Points the reporter at the run's summary file, under the reporter's lock.
void set_summary_file(safe_file* file);

// Withdraws summary_file when it refers to file; the wrapper calls this when
// it closes or is destroyed, so no message is written through a dead wrapper.
void withdraw_summary_file(const safe_file* file);
