#pragma once
// The precipitation file: events of gauge data (GAGES depths, RATES rates,
// ACCUM accumulations, RADAR values per gauge) or of radar grid files, each
// opened by an EVENT card. Read once at start-up to count the events and
// once more, event by event, at each event start.

#include "core/physical_range.h"

class safe_file;
struct model_state;

// Rain rates, mm/h. The heaviest rain measured, about 38 mm in one minute,
// is near 2300 mm/h; a rate above 10000 mm/h is a slip of units or digits,
// not rain. Above 1000 mm/h, rates seen only for minutes in the heaviest
// storms, a rate is legal but worth a word.
inline constexpr physical_range rain_rate_range{0.0, 10000.0};
inline constexpr double usual_rain_rate = 1000.0;
struct raingage_data;

// Reads the next event from where the file stands into rd. keep_names: store
// every radar file name of a file list (event starts); without it only the
// first line's name is kept (the counting pass). 1 an event was read, 0 no
// further event or a stop already reported (error_state set), -1 end of file
// or an unreadable gauge value inside an event.
int read_precip_event(raingage_data& rd, safe_file& file, bool keep_names);

// Puts the reader back at the start of the file.
void rewind_precip_file(raingage_data& rd, safe_file& file);

// Turns the event's values into rates per gauge and period (mm/h) in place:
// GAGES depth / period length, ACCUM difference / period length, numeric
// RADAR the value of the period's end; RATES stay as read. Period lengths
// come from the lines' Julian dates; a period of no length rains 0. A
// negative rate stops the run (code 4000). event is the number quoted.
void convert_gage_values(raingage_data& rd, int event);

// 1 when an event starting at the event date may run inside the
// meteorological data from start to end, 0 after printing why not.
int check_gage_hmet_dates(int hmet_start_year, int hmet_start_month, int hmet_start_day,
                          int hmet_start_hour, int hmet_end_year, int hmet_end_month,
                          int hmet_end_day, int hmet_end_hour, int event_year, int event_month,
                          int event_day, int event_hour);

// The date check of event k of a long-term run, which starts at the given
// date, against the run's meteorology; false after the check's lines and
// "Error: VALTO failed on date check for precip event k" (code 4000).
bool check_event_dates(const model_state& state, int k, int year, int month, int day, int hour);

// Julian date of data line l; past the last line, the last line's date.
double line_time(const raingage_data& rd, int l);

// The event's start date fields, from its first data line.
void set_event_start_date(raingage_data& rd);
