// Reading the constituents: the CONTAMINANT_TRANSPORT table gives the list
// and eight per-cell parameters of each constituent, in this column order:
// dispersion, decay, exchange rate, land-surface mass, groundwater
// concentration, initial surface concentration, partition coefficient and
// the greatest concentration the land surface releases towards.

#include "quality/contaminant_inputs.h"

#include <cstdio>

#include "core/error_state.h"
#include "run/model_state.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"

namespace {

constexpr double tiny = 1e-16;

bool stopped() { return error_state.stop_flag != 0; }

// The layers a constituent is carried in under the run's infiltration model.
int soil_layer_count(const input_state& in) {
  if (in.inf_redist) {
    int n = 1;
    if (in.soil_moist_depth - in.top_layer_depth > tiny) ++n;
    if (in.top_layer_depth - in.mixing_layer_depth > tiny) ++n;
    return n;
  }
  if (in.green_ampt) return 1;
  if (in.inf_layered_soil) return in.mixing_layer_depth > tiny ? 3 : 2;
  return 1;
}

// Constituents ride the eroded soil only where both are carried.
void refuse_unattached_sediment_contam() {
  raise_message(
      "Error: the project card SEDIMENT_CONTAM attaches the overland constituents to the eroded "
      "soil; it needs OV_CON_TRANS and SOIL_EROSION.\n");
}

// What this version carries: refused combinations name the card to drop.
bool check_options(const model_state& state) {
  const input_state& in = state.input;
  const project_settings& s = in.settings;
  if (!(s.kinetics_timestep_factor > 0.0)) {
    raise_message(
        "Error: the project card KINETICS_TIMESTEP_FACTOR has the value %g; it must be above 0, "
        "or the constituent decay and exchange would never come due again.\n",
        s.kinetics_timestep_factor);
    return false;
  }
  if (s.sediment_contam && !in.soil_erosion) {
    refuse_unattached_sediment_contam();
    return false;
  }
  if (s.sediment_contam && in.soil_erosion) {
    // The attached mass rides the channel fines, which only the explicit
    // routing carries, and it is taken from and given back to the top soil
    // layer.
    if (in.channel_routing && !in.explicit_channel) {
      raise_message(
          "Error: the project card SEDIMENT_CONTAM with channel routing carries the attached "
          "mass with the channel sediment of CHAN_EXPLIC or DIFFUSIVE_WAVE; choose one of those "
          "or remove SEDIMENT_CONTAM.\n");
      return false;
    }
    if (!in.soil_con_trans) {
      raise_message(
          "Error: the project card SEDIMENT_CONTAM takes the attached mass from the soil layers "
          "of SOIL_CON_TRANS; add SOIL_CON_TRANS or remove SEDIMENT_CONTAM.\n");
      return false;
    }
  }
  if (in.soil_con_trans && !in.green_ampt && !in.inf_redist && !in.inf_layered_soil &&
      !in.inf_richards) {
    raise_message(
        "Error: the project card SOIL_CON_TRANS carries constituents in the soil under Green and "
        "Ampt or Richards infiltration (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or "
        "INF_RICHARDS) only in this version; remove it or choose one of those methods.\n");
    return false;
  }
  return true;
}

void read_table(model_state& state) {
  contaminant_model& m = state.quality.contam;
  constituent_state& c = m.c;
  announce_setup(state, "reading contaminant transport table and map from master table file\n");
  map_table_context context = run_map_table_context(state);
  std::array<constituent_grid*, 8> grids = {&c.ov_contam_disp,    &c.ov_contam_decay,
                                            &c.ov_contam_uptake,  &c.land_surface_mass,
                                            &c.gw_contam_conc,    &c.ov_contam_conc,
                                            &c.cell_partition_coef, &c.ov_contam_maxconc};
  contaminant_tables tables;
  if (!read_contam_table(context, grids, tables)) {
    if (!stopped()) {
      // No section or no constituents: nothing counts them.
      m.contaminants = 0;
      raise_error(err_contaminant_count);
    }
    return;
  }
  m.present = 1;
  m.contaminants = tables.count;
  const std::size_t rows = std::size_t(tables.count) + 1;
  m.name = tables.descriptions;
  m.output_name = tables.output_names;
  m.partition = tables.partition;
  c.precip_conc = tables.precip_conc;
  m.name.resize(rows);
  m.output_name.resize(rows);
  m.partition.resize(rows, 0.0);
  c.precip_conc.resize(rows, 0.0);
}

// The load map gives the first constituent's land-surface mass.
void read_load_map(model_state& state) {
  const project_settings& s = state.input.settings;
  if (!s.contam_map_given) return;
  announce_setup_apart(state, ("reading contamimant load map from file: " + s.contam_map + "\n").c_str(),
                       ("reading contaminant load map from file: " + s.contam_map + "\n").c_str());
  std::vector<double> load;
  if (!allocate_per_cell(load, state.grid.cells, "contam_map")) return;
  read_cell_map(state, state.input.files.contam_map, s.contam_map, load);
  if (stopped()) return;
  std::vector<double>& land = state.quality.contam.c.land_surface_mass[1];
  for (int j = 1; j <= state.grid.cells; ++j) land[std::size_t(j)] = load[std::size_t(j)];
}

}  // namespace

void size_contaminant_arrays(contaminant_model& m, int n, int cells, int layers) {
  constituent_state& c = m.c;
  const std::size_t rows = std::size_t(n) + 1;
  const std::vector<double> zero_cells(std::size_t(cells) + 1, 0.0);
  c.constituents = n;
  c.constituent_type.assign(rows, 1);
  c.soil_layers = layers;
  c.precip_conc.resize(rows, 0.0);
  // The table's grids hold their rows already; the rest start at zero.
  for (constituent_cells* a :
       {&c.cell_partition_coef, &c.ov_contam_decay, &c.gw_contam_conc, &c.ov_contam_disp,
        &c.ov_contam_uptake, &c.ov_contam_maxconc, &c.ov_contam_conc, &c.land_surface_mass}) {
    a->resize(rows);
    for (std::vector<double>& row : *a) row.resize(zero_cells.size(), 0.0);
  }
  for (constituent_cells* a :
       {&c.soil_decay_coef, &c.ov_contam_mass, &c.soil_top_mass, &c.soil_exchange_mass,
        &c.soil_exfil_mass, &c.cell_exfil_mass, &c.cell_decay_mass, &c.cell_infil_mass,
        &c.cell_uptake_mass, &c.cell_precip_mass})
    a->assign(rows, zero_cells);
  for (std::vector<double>* t :
       {&c.soil_decay_dmt, &c.soil_leach_dmt, &c.soil_gw_gain_dmt, &c.ov_decay_dmt,
        &c.ov_infil_dmt, &c.ov_uptake_dmt, &c.ov_out_dmt, &c.ov_precip_dmt, &c.ov_exit_mass,
        &c.ov_exfil_dmt})
    t->assign(rows, 0.0);
  if (m.soil_transport) {
    for (std::vector<cell_layer_table>* f :
         {&c.soil_mass, &c.soil_conc, &c.soil_fraction_dissolved}) {
      f->assign(rows, cell_layer_table{});
      for (std::size_t k = 1; k < rows; ++k) (*f)[k].assign(cells, layers);
    }
    c.theta.assign(cells, layers);
    m.geometry.layers.assign(std::size_t(cells) + 1, layers);
    m.geometry.thickness.assign(cells, layers);
    m.geometry.porosity.assign(cells, layers);
  }
  m.name.resize(rows);
  m.output_name.resize(rows);
  m.partition.resize(rows, 0.0);
  m.map_flag.assign(rows, 0);
  m.ov_infil_vol.assign(zero_cells.size(), 0.0);
  m.depth_last.assign(zero_cells.size(), 0.0);
  m.cell_qlat_mass.assign(rows, zero_cells);
  m.work.size(cells);
  m.run.assign(rows, constituent_totals{});
  m.event.assign(rows, constituent_event_totals{});
}

bool start_constituent_model(model_state& state) {
  input_state& in = state.input;
  if (!check_options(state)) return false;
  contaminant_model& m = state.quality.contam;
  m.on = 1;
  m.soil_transport = in.soil_con_trans;
  m.kinetics_factor = in.settings.kinetics_timestep_factor;
  m.soil_kinetics_factor = in.settings.soil_kinetics_timestep_factor;
  return true;
}

void set_soil_depths(input_state& in) {
  if (in.green_ampt || in.inf_redist || in.inf_richards) {
    if (in.top_layer_depth < tiny) in.top_layer_depth = in.soil_moist_depth;
    if (in.mixing_layer_depth < tiny) in.mixing_layer_depth = in.top_layer_depth;
  }
}

int constituent_soil_layers(const input_state& in) { return soil_layer_count(in); }

void read_contaminant_inputs(model_state& state) {
  input_state& in = state.input;
  if (!in.ov_con_trans) {
    if (in.settings.sediment_contam) refuse_unattached_sediment_contam();
    return;
  }
  if (!start_constituent_model(state)) return;
  contaminant_model& m = state.quality.contam;

  const bool table = table_requested(in, table_kind::contaminants) || in.soil_erosion;
  if (!table) {
    announce_setup(state, "using uniform contaminant transport values\n");
    m.contaminants = 0;
    raise_error(err_contaminant_count);
    return;
  }
  read_table(state);
  if (stopped()) return;

  set_soil_depths(in);
  const int cells = state.grid.cells;
  size_contaminant_arrays(m, m.contaminants, cells, soil_layer_count(in));
  // Every contaminant's maps are written with the card that asks for all.
  for (int k = 1; k <= m.contaminants; ++k) m.map_flag[std::size_t(k)] = in.all_contam_output;
  read_load_map(state);
}
