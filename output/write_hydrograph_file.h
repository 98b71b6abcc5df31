#pragma once
// The interface hydrograph file: the outlet hydrograph and the location
// hydrographs of a finished run, read back from their own files and written
// ten values to a line for the modelling interface.

#include <cstdio>

// outlet and locations are open for reading from their first line;
// locations is null when the run lists no stream locations. start_date is
// yyyymmdd, start_time hhmm, interval the hydrograph interval in steps and
// rows the outlet rows the run wrote.
void write_hydrograph_file(std::FILE* outlet, std::FILE* out, std::FILE* locations,
                           long start_date, long start_time, long interval, long rows);
