#pragma once
// The event runoff summary appended to the run summary at the end of every
// event, and the line layout of its constituent balances.

#include <cstdio>

struct event_water_totals;

// label, a blank, fill characters up to width columns (none for a label of
// width - 1 characters or more), blanks, then the value in format with its
// decimal point point_offset + 1 columns past the fill (column 66 with the
// layout every caller uses: width 50, fill '.', offset 14), then extra + 1
// newlines. The format comes from the code and holds a fractional part.
void print_summary_line(std::FILE* file, const char* label, double value, int width,
                        const char* format, char fill, int point_offset, int extra);

// The event's overland water balance, m3. error is a fraction of mass_in,
// 0 when nothing was in the balance at all; no_rain marks an event without
// rain (its note), whose balance is still closed on the water it had.
struct event_balance {
  double mass_in = 0.0;   // water at the start plus what came in
  double mass_out = 0.0;  // water at the end plus what went out
  double error = 0.0;
  bool no_rain = false;
};
event_balance overland_event_balance(const event_water_totals& totals);
