// Wells of the aquifer: one active entry per well cell, built once from the
// WELL_TABLE rows and the well index map, and the rates they withdraw.

#include "subsurface/gw_wells.h"

#include "core/error_state.h"
#include "input/map_tables.h"
#include "input/series.h"

bool add_well_instance(const std::vector<gw_well>& table, int id, int cell, int row, int col,
                       std::vector<gw_well>& active) {
  for (const gw_well& entry : table) {
    if (entry.id != id) continue;
    gw_well well = entry;
    well.cell = cell;
    active.insert(active.begin(), well);
    return true;
  }
  raise_message(
      "Error: A well was found in the index map (cell [%d,%d]) that \n  was not found in the "
      "well table.\n",
      row, col);
  return false;
}

bool scan_well_index_map(const id_grid& ids, int* const* mask, int rows, int cols,
                         std::vector<gw_well>& table, std::vector<gw_well>& active) {
  bool all = true;
  for (int r = 1; r <= rows && r <= ids.rows; ++r)
    for (int c = 1; c <= cols && c <= ids.cols; ++c) {
      const int id = ids.at(r, c);
      if (id != 0 && !add_well_instance(table, id, mask[r][c], r, c, active)) all = false;
    }
  table.clear();
  table.shrink_to_fit();
  return all;
}

void apply_well_rates(std::span<const gw_well> wells, std::span<double> pump_rate, double now,
                      double dx, std::span<const ts_index_entry> ts_index) {
  const double area = dx * dx;
  for (const gw_well& well : wells) {
    double rate = well.rate;  // m3/s
    if (well.flag != 0) {
      const time_series* series = nullptr;
      bool listed = false;
      // The later row of a repeated id wins, as the table's readers take it.
      for (const ts_index_entry& entry : ts_index)
        if (entry.id == well.ts_index) {
          listed = true;
          series = entry.series;
        }
      if (!listed) {
        raise_message(
            "Error: attempting to extract a value from an unknown time series in the time "
            "series table.    Check the mapping table file (.cmt). The specified time series "
            "index is %d, but the \nindex is not found in the time series index table.\n",
            well.ts_index);
        rate = 0.0;
      } else {
        rate = ts_value(now, series);
      }
    }
    pump_rate[std::size_t(well.cell)] = rate / area;
  }
}
