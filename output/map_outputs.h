#pragma once
// The run's fixed gridded maps (open_map_outputs and write_map_step are
// declared with the other output steps).

class safe_file;
struct model_state;

// Dataset index of a fixed map; its dataset id is 1010 + index.
namespace fixed_map_index {
constexpr int depth = 0;
constexpr int discharge = 1;
constexpr int rain = 2;
constexpr int inf_depth = 3;
constexpr int inf_rate = 4;
constexpr int surf_moist = 5;
constexpr int gw_head = 6;
constexpr int gw_recharge_cum = 12;
constexpr int gw_recharge_inc = 13;
constexpr int sed_flux = 7;
constexpr int net_sed = 8;
constexpr int susp_sed = 9;
constexpr int contam_conc = 10;
constexpr int flood_grid = 11;
constexpr int swe = 14;
}  // namespace fixed_map_index

// Opens the dataset of fixed map index (0-14) when its card asked for it.
void open_map_dataset(model_state& state, int index);
// Opens file_name as a dataset of the run's form and writes its header: a
// binary header, nothing in the framework exchange or with per-time grids,
// else an ASCII header. False when no file was opened (error 59 when one
// failed to open).
bool open_dataset_file(model_state& state, int id, const char* file_name, const char* name,
                       safe_file& file);

// Name of per-time grid count of stem in dir ("dir/stem.0007.asc"); false
// when cut to capacity.
bool per_time_map_path(char* out, int capacity, const char* dir, const char* stem, int count);
// The surface moisture grids' stem: "surf" in a directory named with its
// closing separator, else "smoist".
const char* surface_moisture_stem(const char* dir);
