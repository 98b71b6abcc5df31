#pragma once
// The precipitation input of the current event: its gauges (or its list of
// radar grid files), the dated data lines turned into rates per gauge and
// period, the radar grid and its map onto the cells, and where the reader
// stands in the precipitation file. Filled at start-up by the counting pass
// and at each event start; read by the rain-change step.
//
// Every array is sized at start-up from the counting pass over the whole
// file, so that reading an event inside the time loop allocates nothing.

#include <vector>

// Radar file lists: at most this many data lines per event, and names of at
// most radar_name_length characters.
constexpr int radar_max_lines = 2000;
constexpr int radar_name_length = 150;
constexpr int radar_name_capacity = radar_name_length + 1;  // terminator included
constexpr int radar_name_slots = radar_max_lines + 1;       // the last name is repeated once

constexpr int precip_title_capacity = 255;  // event title, terminator included

// Date of one data line.
struct precip_date {
  int year = 0;  // four digits (two-digit years have 1900 added)
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
};

// A radar rainfall grid and the map of the watershed cells onto it.
struct radar_precip {
  int cols = 0;
  int rows = 0;
  double ll_x = 0.0;       // lower-left corner x, m
  double ll_y = 0.0;       // lower-left corner y, m
  double west = 0.0;       // west edge, m
  double north = 0.0;      // north edge, m
  double cell_size = 0.0;  // m
  double no_data = 0.0;    // value marking a cell without data

  // Rates of the grid, mm/h, at col + row x cols (row 0 the northern one).
  std::vector<double> precip_data;
  std::vector<int> valto_to_precip;  // radar cell index per watershed cell [1..cells]
  int max_values = 0;                // largest rows x cols of the events' grids (capacity kept)
};

// Position of the reader in the precipitation file: the line in hand and the
// next character to read in it.
struct precip_scan {
  std::vector<char> line;  // the current line, max_line characters
  int pos = 0;             // next character of line
  int line_number = 0;     // 1-based number of the line in hand, 0 before the first
  int at_end = 0;          // end of file met
};

struct raingage_data {
  // Data card kinds of the current event.
  int radar = 0;  // 0 none, 1 RADAR values per gauge, 2 RADAR with a list of grid files
  int gages = 0;  // GAGES: depths per period, mm
  int rates = 0;  // RATES: rates, mm/h
  int accum = 0;  // ACCUM: accumulated depths, mm
  int file_list = 0;  // NRGAG gave a list of radar grid files

  int nrgag = 0;  // gauges of the event (1 for a radar file list)
  int nrpds = 0;  // data lines of the event, one more for RATES

  std::vector<double> gage_x;  // gauge x [1..nrgag], m
  std::vector<double> gage_y;  // gauge y [1..nrgag], m
  // Value of gauge g on data line p at g x value_stride + p: as read (mm or
  // mm/h), then the rate of period p (mm/h) once the event is converted.
  std::vector<double> values;
  int value_stride = 0;
  std::vector<precip_date> dates;   // date of data line [1..lines]
  std::vector<double> line_times;   // Julian date of data line [1..lines]
  int lines = 0;                    // data lines read for the event
  std::vector<double> period_rates; // rates of the period being spread, per gauge [1..nrgag], mm/h
  std::vector<int> nearest;         // nearest gauge per cell [1..cells]
  std::vector<char> radar_names;    // radar_name_slots names of radar_name_capacity characters
  char first_radar_name[radar_name_capacity] = {};  // grid file of the event's first line
  radar_precip radar_grid;
  char title[precip_title_capacity] = {};  // title of the event in hand

  // Events of the file and the one in hand.
  int events_in_file = 0;  // events counted at start-up
  int events_met = 0;      // EVENT cards met so far
  int file_reads = 0;      // event starts that read the file
  int any_radar_files = 0; // some event names radar grid files
  int max_gauges = 0;      // most gauges of any event
  int max_lines = 0;       // most data lines of any event
  int unusual_rate_warned = 0;  // the warning of a rate above usual_rain_rate is given
  int start_year = 0, start_month = 0, start_day = 0, start_hour = 0, start_minute = 0;
  double rain_start = 0.0;  // Julian date of the first data line
  double rain_end = 0.0;    // Julian date of the last data line
  int period = 0;           // next period to apply, from 1

  precip_scan scan;
};
