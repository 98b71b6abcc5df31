// Set-up of overland erosion: the sediment cards become the sediment
// settings, the mapping table file gives the particle classes and each
// cell's erosion parameters, and the outlet sediment hydrograph is opened.

#include "quality/sediment_inputs.h"

#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"
#include "quality/sediment_kernels.h"
#include "surface/cell_loops.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

// A file that must be writable for the run to go on; the role names it in
// the message of code 4.
bool open_role(safe_file& file, const std::string& name, const char* role) {
  if (file.open(name.c_str(), "w")) return true;
  set_error(err_open_file, 0, 0, role, name.c_str());
  return false;
}

// The map datasets of these files are written by the map outputs; here they
// are only proven writable, so a bad name stops the run at set-up.
bool probe_role(const std::string& name, const char* role) {
  safe_file file;
  if (!open_role(file, name, role)) return false;
  file.close();
  return true;
}

void take_settings(model_state& state) {
  const project_settings& s = state.input.settings;
  sediment_state& sed = state.quality.sediment;
  sed.on = 1;
  sed.record_length = 4;
  const int v = s.soil_erosion_value;
  sed.mode = v > 9 ? 2 : 1;
  sed.formula = v > 9 ? v - 10 : v;
  sed.net_sed_volume = s.net_sed_volume_given;
  sed.vol_sed_susp = s.vol_sed_susp_given;
  sed.max_sed_flux = s.max_sed_flux_given;
  sed.in_sed_loc = s.in_sed_loc_given;
  sed.outlet_sed_tss = s.outlet_sed_tss_given;
  sed.out_tss_loc = s.out_tss_loc_given;
  sed.adjust_elev = s.adjust_elev_given;
  sed.sand_size = s.sand_size;
  sed.silt_size = s.silt_size;
  sed.clay_size = s.clay_size;
  sed.water_temp = s.water_temp < 0.0 ? 0.0 : s.water_temp;
  sed.sed_porosity = s.sed_porosity;
  sed.viscosity = water_viscosity(sed.water_temp);
}

void take_classes(sediment_state& sed, sediment_classes& table) {
  sed.classes = table.count;
  sed.spec_grav = std::move(table.spec_grav);
  sed.part_diam = std::move(table.part_diam);
  sed.f_bind = std::move(table.f_bind);
  sed.class_file = std::move(table.output_filename);
  const std::size_t size = std::size_t(sed.classes) + 1;
  sed.spec_grav.resize(size, 0.0);
  sed.part_diam.resize(size, 0.0);
  sed.f_bind.resize(size, 0.0);
  sed.class_file.resize(size);
}

// A cell whose table value is not above 0 takes the usual value of its
// soil: a splash coefficient of 60, a detachment coefficient of 2e-5 and a
// linear shear law.
void default_parameters(sediment_state& sed, int cells) {
  for (int c = 1; c <= cells; ++c) {
    if (!(sed.splash_K[c] > 0.0)) sed.splash_K[c] = 60.0;
    if (!(sed.detach_coef[c] > 0.0)) sed.detach_coef[c] = 2e-5;
    if (!(sed.detach_exp[c] > 0.0)) sed.detach_exp[c] = 1.0;
  }
}

}  // namespace

void open_sediment_outputs(model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  sediment_state& sed = state.quality.sediment;
  if (s.vol_sed_susp_given && !probe_role(s.vol_sed_susp, "output suspended sediment")) return;
  // With per-time grids the card names their folder, not a file.
  if (s.max_sed_flux_given && !in.map_kind[0] &&
      !probe_role(s.max_sed_flux, "output sediment flux"))
    return;
  if (!s.outlet_sed_flux_given) {
    print_message(summary_file,
                  "Error: soil erosion writes the outlet sediment hydrograph, but the project "
                  "file has no card OUTLET_SED_FLUX naming its file.\n");
    set_error(err_open_file, 0, 0, "outlet sediment hydrograph", "");
    return;
  }
  if (!open_role(sed.outlet_file, s.outlet_sed_flux, "outlet sediment hydrograph")) return;
  if (s.outlet_sed_tss_given &&
      !open_role(sed.outlet_tss_file, s.outlet_sed_tss, "outlet sediment tss file"))
    return;
}

bool alloc_sediment_arrays(model_state& state) {
  sediment_state& sed = state.quality.sediment;
  const int cells = state.grid.cells;
  const std::size_t per_cell = std::size_t(cells) + 1;
  const std::size_t per_class = std::size_t(sed.classes) + 1;
  const std::size_t records = per_cell * per_class;
  const std::size_t blocks = std::size_t(sum_blocks(cells)) + 1;
  if (sed.max_sed_flux && !(allocate_zeroed(sed.ov_qsmax, records, "ov_qsmax") &&
                            allocate_zeroed(sed.ov_qsmax_total, per_cell, "ov_qsmax_total")))
    return false;
  if (sed.net_sed_volume && !allocate_zeroed(sed.ov_net_sed, per_cell, "ov_net_sed")) return false;
  if (sed.vol_sed_susp && !(allocate_zeroed(sed.ov_qsconc, records, "ov_qsconc") &&
                            allocate_zeroed(sed.ov_conc, per_cell, "ov_conc")))
    return false;
  return allocate_zeroed(sed.qsx, per_cell, "qsx") && allocate_zeroed(sed.qsy, per_cell, "qsy") &&
         allocate_zeroed(sed.splash_K, per_cell, "splash_K") &&
         allocate_zeroed(sed.sed_K, per_cell, "sed_K") &&
         allocate_zeroed(sed.detach_coef, per_cell, "detach_coef") &&
         allocate_zeroed(sed.detach_crit, per_cell, "detach_crit") &&
         allocate_zeroed(sed.detach_exp, per_cell, "detach_exp") &&
         allocate_zeroed(sed.vol_sed, records, "vol_sed") &&
         allocate_zeroed(sed.sed_fract, records, "sed_fract") &&
         allocate_zeroed(sed.totals, per_class, "tot_sed") &&
         allocate_zeroed(sed.step_deposited, records, "ov_sed_vol_deposited") &&
         allocate_zeroed(sed.step_eroded, records, "ov_sed_vol_eroded") &&
         allocate_zeroed(sed.ov_qsvol, records, "ov_sed->ov_qsvol") &&
         allocate_zeroed(sed.channel_cells, per_cell, "channel_cells") &&
         allocate_zeroed(sed.slope_x, per_cell, "Sx") && allocate_zeroed(sed.slope_y, per_cell, "Sy") &&
         allocate_zeroed(sed.outflow, per_cell, "Q") &&
         allocate_zeroed(sed.block_totals, blocks * per_class, "sed_block_totals") &&
         allocate_zeroed(sed.block_bad, blocks, "sed_block_bad");
}

void read_sediment_inputs(model_state& state) {
  const input_state& in = state.input;
  if (!in.soil_erosion) return;
  sediment_state& sed = state.quality.sediment;
  take_settings(state);
  if (sed.mode == 2) {
    raise_message(
        "Error: the project card SOIL_EROSION has the value %d; sediment carried as constituents "
        "(values 10 and above) is not available in this version.\n",
        in.settings.soil_erosion_value);
    return;
  }
  open_sediment_outputs(state);
  if (stopped()) return;

  announce_setup(state, "Reading sediments table from mapping table file\n");
  if (!table_requested(in, table_kind::sediments)) {
    raise_error(err_sediments_table_missing);
    return;
  }
  sediment_classes table;
  read_sediment_table(in.settings.mapping_table.c_str(), table);
  if (stopped()) return;
  take_classes(sed, table);
  if (!alloc_sediment_arrays(state)) return;

  announce_setup(state, "Reading soil erosion properties table from mapping table file\n");
  if (!table_requested(in, table_kind::soil_erosion)) {
    raise_error(err_soil_erosion_table);
    return;
  }
  map_table_context context = run_map_table_context(state);
  erosion_destinations out;
  out.params = {std::span<double>(sed.splash_K), std::span<double>(sed.detach_coef),
                std::span<double>(sed.detach_exp), std::span<double>(sed.detach_crit),
                std::span<double>(sed.sed_K)};
  out.sed_fract = sed.sed_fract;
  if (!read_erosion_table(context, out, sed.classes) || stopped()) return;
  default_parameters(sed, state.grid.cells);
  setup_sediment_classes(sed);
}
