#pragma once
// The link/node stream file: one header, then one "TS" record per output
// time holding a line per link. The writers know nothing of the quantity;
// their callers pick the file, the values and the quantity code.

#include <cstdio>

// Quantity codes of the header's magic line. Codes outside 0-31 write no
// magic line.
namespace linknode_code {
constexpr int stream_depth = 0;
constexpr int stream_flow = 1;
constexpr int stream_stage = 2;
constexpr int stream_velocity = 3;
constexpr int flood_stream_depth = 4;
constexpr int superlink_flow = 5;
constexpr int superlink_head = 6;
constexpr int superlink_tile_flow = 7;
constexpr int nutrient_mass = 8;   // 8-16: NO2 .. DO mass
constexpr int nutrient_conc = 17;  // 17-25: NO2 .. DO concentration
constexpr int contam_mass = 26;
constexpr int contam_conc = 27;
constexpr int total_nitrogen = 28;
constexpr int total_kjeldahl_nitrogen = 29;
constexpr int total_phosphorus = 30;
constexpr int stream_sed_flux = 31;
}  // namespace linknode_code

// How a record turns its two value tables into the written value.
enum class linknode_kind {
  plain = 0,       // A
  difference = 1,  // A - B
  ratio = 2,       // A / B, 0 where B is not above 1e-7
};

// The network a record describes. Links run 1..links; every per-link array
// has links + 1 entries. Value tables are flat: node j of link i sits at
// i x stride + j.
struct linknode_layout {
  int links = 0;
  const int* node_count = nullptr;     // nodes of link i that hold values
  const int* written_count = nullptr;  // node columns to write for link i, or null: node_count
  const int* ltype = nullptr;          // link type bits
  int stride = 0;
  const int* lake_number = nullptr;    // channel lake of a lake link
  const double* lake_value = nullptr;  // per lake [1..lake_count], written for lake links
  int lake_count = 0;
};

// Magic line (by code), link count, output interval in minutes, number of
// output times and the start date (seconds always 0).
void write_linknode_file_header(std::FILE* file, int code, int links, int time_step, int steps,
                                int day, int month, int year, int hour, int minute);

// One "TS" record numbered step: a line per link and a closing blank line.
// b is read only by the difference and ratio kinds and may be null for plain.
void write_linknode_record(std::FILE* file, const linknode_layout& layout, int step,
                           const double* a, const double* b, linknode_kind kind);
