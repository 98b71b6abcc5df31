// Channel point inputs. The file is read as a stream of five-letter
// keywords and numbers: its head at the start of the run, then one block of
// values each time the clock reaches the next INPUT date. The values hold
// from one date to the next, and after the last to the end of the run.

#include "channel/chan_point_input.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "channel/channel_steps.h"
#include "channel/ex_section.h"
#include "core/julian.h"
#include "run/model_state.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

constexpr int max_words = 10000;  // words passed over in search of a keyword
constexpr int keyword_length = 5;

bool stopped() { return error_state.stop_flag != 0; }

// Passes words until keyword; 1 found, 0 at the end of the file, -1 after
// max_words words (the caller reports).
int find_keyword(point_input_reader& in, const char* keyword, int& words) {
  std::string w;
  while (words < max_words) {
    if (!in.word(w)) return 0;
    ++words;
    if (w == keyword) return 1;
  }
  return -1;
}

void missing_card(const char* what) {
  raise_message(
      "There is a problem with your channel source input file.  VALTO cannot\n"
      "%s\n\n",
      what);
}

// An INPUT line: its word and five integers. A word other than "input"
// leaves the date as it was.
int read_input_date(point_input_reader& in, point_input_date& date) {
  std::string w;
  int v[5] = {};
  bool ended = !in.word(w);
  for (int i = 0; i < 5 && !ended; ++i) {
    const int got = in.whole(v[i]);
    if (got < 0) return -1;
    ended = got == 0;
  }
  if (ended) {
    msg_printf("\n last year %d last month %d last day %d last hour %d last minute %d \n",
               date.year, date.month, date.day, date.hour, date.minute);
    return -1;
  }
  if (w != "input") return 1;
  date = {v[0] < 100 ? v[0] + 1900 : v[0], v[1], v[2], v[3], v[4]};
  return 1;
}

double julian_of(const point_input_date& d) {
  return julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0);
}

// The K constituent values (g/m3) after a point's inflow, into the store at
// the point's address; rows 1..K, none without channel constituents. 1 read,
// -1 at an early end or a bad number (reported).
int read_constituent_values(point_input_reader& in, point_conc_rows* conc, int address) {
  if (conc == nullptr) return 1;
  for (std::size_t k = 1; k < conc->size(); ++k) {
    double c = 0.0;
    if (in.real(c) <= 0) return -1;
    if (c < 0.0) {
      raise_message(
          "Error: line %d of the channel point input file %s: constituent %d concentration %g "
          "is negative.\n",
          in.line(), in.path(), int(k), c);
      return -1;
    }
    (*conc)[k][std::size_t(address)] = c;
  }
  return 1;
}

// With channel constituents their point concentrations, else no columns.
point_conc_rows* point_conc_store(model_state& state) {
  return state.quality.chan_contam.on ? &state.quality.chan_point_conc : nullptr;
}

void keep_date(channel_state& chan, const point_input_date& d) {
  const int parts[5] = {d.year, d.month, d.day, d.hour, d.minute};
  for (int i = 0; i < 5; ++i) chan.next_date[i] = parts[i];
}

point_input_date kept_date(const channel_state& chan) {
  return {chan.next_date[0], chan.next_date[1], chan.next_date[2], chan.next_date[3],
          chan.next_date[4]};
}

}  // namespace

bool point_input_reader::token(std::string& out, std::size_t longest) {
  out.clear();
  int c = std::fgetc(stream_);
  while (c != EOF && std::isspace(c)) {
    if (c == '\n') ++line_;
    c = std::fgetc(stream_);
  }
  while (c != EOF && !std::isspace(c) && out.size() < longest) {
    out.push_back(static_cast<char>(c));
    if (out.size() < longest) c = std::fgetc(stream_);
  }
  if (c != EOF && std::isspace(c)) std::ungetc(c, stream_);
  return !out.empty();
}

bool point_input_reader::word(std::string& out) {
  if (!token(out, keyword_length)) return false;
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return true;
}

int point_input_reader::whole(int& value) {
  std::string t;
  if (!token(t, token_capacity)) return 0;
  if (parse_whole_int(t.c_str(), value)) return 1;
  raise_message("Error: line %d of the channel point input file %s: \"%s\" is not a whole number.\n",
                line_, path_, t.c_str());
  return -1;
}

int point_input_reader::real(double& value) {
  std::string t;
  if (!token(t, token_capacity)) return 0;
  if (parse_finite_real(t.c_str(), value)) return 1;
  raise_message("Error: line %d of the channel point input file %s: \"%s\" is not a number.\n",
                line_, path_, t.c_str());
  return -1;
}

int read_chan_point_cards(point_input_reader& in, channel_state& chan, point_conc_rows* conc,
                          point_input_date& date) {
  int words = 0;
  const int numpt = find_keyword(in, "numpt", words);
  if (numpt < 0) {
    missing_card("find the first card.  Check the format of your channel source file");
    return 0;
  }
  if (numpt == 0) return -1;
  int got = in.whole(chan.points);
  if (got <= 0) return -1;
  if (chan.points < 0 || chan.points > 1'000'000) {
    raise_message("Error: line %d of the channel point input file %s: NUMPT %d is not a count.\n",
                  in.line(), in.path(), chan.points);
    return 0;
  }
  if (!allocate_zeroed(chan.chan_point_address, std::size_t(chan.points) + 1, "chan_point_address"))
    return 0;
  words = 0;
  for (int i = 1; i <= chan.points; ++i) {
    const int found = find_keyword(in, "point", words);
    if (found < 0) {
      missing_card(
          "find the point source location card.  Check the format of your channel source file");
      return 0;
    }
    if (found == 0) return -1;
    int node = 0, link = 0;
    double q = 0.0;
    if ((got = in.whole(node)) <= 0 || (got = in.whole(link)) <= 0 || (got = in.real(q)) <= 0)
      return stopped() ? 0 : -1;
    if (link < 1 || link > chan.links || node < 1 || node > chan.nx[link] || !chan.is_routed(link)) {
      raise_message(
          "Error: point %d of the channel point input file %s, node %d of link %d, is not a node "
          "of a channel link of the network.\n",
          i, in.path(), node, link);
      return 0;
    }
    const int a = chan.node_address(link, node);
    chan.chan_point_address[i] = a;
    chan.point_input_values[a] = q;
    if (read_constituent_values(in, conc, a) < 0) return stopped() ? 0 : -1;
  }
  words = 0;
  const int nrpds = find_keyword(in, "nrpds", words);
  if (nrpds < 0) {
    missing_card(
        "find the number of timed changes to your point inputs.  Check the format of your "
        "channel source file");
    return -1;
  }
  chan.periods = 0;
  if (nrpds == 0) return 0;
  got = in.whole(chan.periods);
  if (got < 0) return -1;
  if (got == 0 || chan.periods <= 0) return 0;
  return read_input_date(in, date);
}

int read_next_input_block(point_input_reader& in, channel_state& chan, point_conc_rows* conc,
                          point_input_date& date) {
  for (int i = 1; i <= chan.points; ++i) {
    double q = 0.0;
    const int got = in.real(q);
    if (got <= 0) return -1;
    chan.point_input_values[chan.chan_point_address[i]] = q;
    if (read_constituent_values(in, conc, chan.chan_point_address[i]) < 0) return -1;
  }
  if (chan.blocks_read >= chan.periods) return 0;
  return read_input_date(in, date);
}

int set_outlet_boundary_depth(model_state& state) {
  channel_state& chan = state.channel;
  const input_state& in = state.input;
  double depth = in.bound_depth;
  if (chan.bound_series) depth = ts_value(state.run.current_time, chan.bound_series);
  const int outlet = chan.node_address(chan.links, chan.nx[chan.links]);
  chan.yp[outlet] = chan.bel[outlet] + depth;
  chan.chan_depth[outlet] = depth;
  return 0;
}

void read_chan_point_sources(model_state& state) {
  channel_state& chan = state.channel;
  const input_state& in = state.input;
  if (!in.explicit_channel) return;
  // Hot starts and the head boundary leave wet nodes; the flag is raised
  // again below for every kind of starting water.
  const int hot_water = chan.chan_has_water;
  chan.chan_has_water = 0;
  if (in.head_bound) {
    if (!in.bound_ts.empty()) {
      chan.bound_series = ts_find(in.settings.ts_list, in.bound_ts.c_str());
      if (!chan.bound_series) {
        raise_error(err_stream_head_series_missing, 0, 0, in.bound_ts.c_str());
        return;
      }
    }
    set_outlet_boundary_depth(state);
    chan.chan_has_water = 1;
  }
  if (hot_water) chan.chan_has_water = 1;

  // Sections from stage: the hot start and the head boundary gave stages,
  // and the areas follow from them.
  ex_section(chan, section_mode::from_stage);
  if (stopped()) return;
  chan.initial_volume = chan.water_volume();

  // Water in the channels at the start is routed from the first step on.
  chan.active = chan.chan_has_water;
  if (!in.settings.chan_point_input_given) return;
  if (!allocate_zeroed(chan.point_input_values, chan.node_slots() + 1, "point_input_values"))
    return;
  const std::string& name = in.settings.chan_point_input;
  if (!chan.point_file.open(name.c_str(), "r")) {
    msg_printf("Can't open %s to read channel point source input file \n", name.c_str());
    msg_printf("There will be no point inputs to the channel file \n");
    return;
  }
  chan.point_input = 1;
  chan.chan_has_water = 1;
  chan.active = 1;
  point_input_reader reader(chan.point_file.stream, chan.point_file.path);
  point_input_date date;
  const int result = read_chan_point_cards(reader, chan, point_conc_store(state), date);
  chan.point_line = reader.line();
  if (stopped()) return;
  if (result == 1) {
    keep_date(chan, date);
    chan.next_input_time = julian_of(date);
  } else if (result < 0) {
    raise_message(
        "Unexpected end of file in chan point data file.\n"
        "Check the format of the data file.\nProgram terminated.");
  } else {
    chan.next_input_time = 0.0;
  }
}

void read_chan_point_input(model_state& state) {
  channel_state& chan = state.channel;
  if (!chan.point_input) return;
  if (std::fabs(chan.next_input_time - state.run.current_time) >= state.run.tolerance) return;
  ++chan.blocks_read;
  point_input_reader reader(chan.point_file.stream, chan.point_file.path, chan.point_line);
  point_input_date date = kept_date(chan);
  const int result = read_next_input_block(reader, chan, point_conc_store(state), date);
  chan.point_line = reader.line();
  if (stopped()) return;
  if (result == 1) {
    keep_date(chan, date);
    chan.next_input_time = julian_of(date);
  } else if (result == 0) {
    chan.next_input_time = 0.0;
  } else {
    raise_message(
        "Unexpected end of file in chan point input data file.\n"
        "Check the format of the data file.\nProgram terminated.");
  }
}
