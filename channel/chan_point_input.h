#pragma once
// Point inputs of the channel network: inflows fed into chosen nodes from a
// timed text file (NUMPT, POINT, NRPDS, INPUT), and the start-of-run channel
// state (outlet head boundary, cross-sections from stage, initial volume).

#include <cstdio>
#include <string>
#include <vector>

struct model_state;
struct channel_state;

// A date of the point-input file; years below 100 are 1900 + year.
struct point_input_date {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// The point-input file as a stream of words and numbers, with the line of
// the last token for messages.
class point_input_reader {
 public:
  point_input_reader(std::FILE* stream, const char* path, int line = 1)
      : stream_(stream), path_(path), line_(line) {}
  // The next word of at most five characters, lower-cased; a longer word
  // leaves its remaining characters for the next read. False at the end.
  bool word(std::string& out);
  // The next whole token as a number; 0 at the end of the file, -1 when the
  // token is no number (reported, with file and line).
  int whole(int& value);
  int real(double& value);
  int line() const { return line_; }
  const char* path() const { return path_; }

 private:
  bool token(std::string& out, std::size_t longest);
  std::FILE* stream_;
  const char* path_;
  int line_;
};

// The points' constituent concentrations, g/m3: rows 1..K over node
// addresses (row 0 unused). Null without channel constituents: the file then
// holds no constituent columns.
using point_conc_rows = std::vector<std::vector<double>>;

// The head of the file: its points and their first values, the number of
// periods and the first INPUT date. 1 with a first date, 0 without periods
// (or after a stop), -1 at an early end of the file (or after a stop).
int read_chan_point_cards(point_input_reader& in, channel_state& chan, point_conc_rows* conc,
                          point_input_date& date);

// One period's values of every point, then the next INPUT date. 1 with the
// next date read, 0 when that was the last period, -1 at an early end.
int read_next_input_block(point_input_reader& in, channel_state& chan, point_conc_rows* conc,
                          point_input_date& date);

// Sets the outlet node's depth from BOUND_DEPTH, or from the BOUND_TS series
// at the current time. Returns 0.
int set_outlet_boundary_depth(model_state& state);
