// Set-up of the nutrient model, in the order the grid set-up calls it: the
// aquatic environment file and the overland layer with the nutrient block of
// the constituent list; after the channels the stream and lake layers; after
// the pipe network the soil tables.

#include "quality/nsm_setup.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "input/map_tables.h"
#include "input/read_grid_inputs.h"
#include "input/stream_map_tables.h"
#include "quality/contaminant_inputs.h"
#include "quality/nsm_model.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }

bool quiet(const model_state& state) {
  return state.input.super_quiet || parallel.process_number != 0;
}

// Mapping-table kinds of the soil tables.
constexpr int nsm_soil_c = 25;
constexpr int nsm_soil_n = 26;
constexpr int nsm_soil_p = 27;
constexpr int nsm_gw_n = 28;
constexpr int nsm_gw_p = 29;
constexpr int nsm_gw_oth = 30;

// Slots of the overland inputs past the nine species.
constexpr int slot_doc_foc = 11;
constexpr int slot_dispersion = 12;
constexpr int slot_third = 13;

void copy_inputs(nsm_model& nsm, const nutrient_settings& record) {
  nsm.env.file_name = record.aq_env;
  // Card i of the overland group fills slot i + 1.
  for (std::size_t i = 0; i < record.ov_init.size(); ++i) {
    nsm_input& slot = nsm.ov_init[i + 1];
    slot.kind = record.ov_init[i].kind;
    slot.value = record.ov_init[i].value;
    slot.name = record.ov_init[i].name;
  }
  for (std::size_t i = 0; i < record.st_init.size(); ++i) {
    nsm_input& slot = nsm.st_init[i + 1];
    slot.kind = record.st_init[i].kind;
    slot.value = record.st_init[i].value;
    slot.name = record.st_init[i].name;
  }
  for (int s = 0; s < nsm_species; ++s) {
    const std::size_t k = std::size_t(s);
    nsm.out_ov[k] = {record.out_ov[k].flag, record.out_ov[k].name};
    nsm.out_st[k] = {record.out_st[k].flag, record.out_st[k].name};
    nsm.out_hyd[k] = {record.out_hyd[k].flag, record.out_hyd[k].name};
  }
}

// One per-cell value of the overland layer or one species, by its input
// kind. False after 119 or 80.
struct cell_value_texts {
  const char* uniform;
  const char* table;
  const char* map;
  const char* open_fail;
};

constexpr cell_value_texts species_texts = {
    "Assigning spatially uniform parameters for the %s constituent\n",
    "Assigning parameters for the %s constituent from the mapping table.\n",
    "Assigning parameters from a continuous map for the constituent %s\n",
    "Error opening initial condition continuous map file \nfor the grid %s constituent. \n"
    "Given filename: %s\n"};

constexpr cell_value_texts third_texts = {
    "Assigning spatially uniform parameters for the overland constituent %s\n",
    "Assigning parameters for the overland constituent %s from the mapping table.\n",
    "Assigning parameters from a continuous map for the overland constituent %s\n",
    "Error opening initial condition continuous map file \nfor the overland grid %s constituent. "
    "\nGiven filename: %s\n"};

bool assign_cell_value(model_state& state, const nsm_input& input, const char* name,
                       bool from_table, const cell_value_texts& texts, bool announce_open,
                       std::vector<double>& values) {
  const int cells = state.grid.cells;
  switch (input.kind) {
    case 3:
      announce_setup(state, texts.uniform, name);
      for (int j = 1; j <= cells; ++j) values[std::size_t(j)] = input.value;
      return true;
    case 2:
      if (!from_table) {
        set_error(err_nutrient_grid_table_missing, 0, 0, name);
        return false;
      }
      announce_setup(state, texts.table, name);
      return true;
    case 1: {
      if (announce_open) announce_setup(state, "Opening file: %s\n", input.name.c_str());
      safe_file file;
      if (!file.open(input.name.c_str(), "r")) {
        std::printf(texts.open_fail, name, input.name.c_str());
        set_error(err_open_nutrient_file, 0, 0, nullptr, input.name.c_str());
        return false;
      }
      announce_setup(state, texts.map, name);
      read_cell_map(state, file, input.name, values);
      return !stopped();
    }
    default:
      return true;
  }
}

// The rows of the nutrient block as per-cell spans of the given rows.
std::span<double> cells_of(std::vector<double>& row) { return row; }

stream_network_view network_of(const channel_state& ch) {
  stream_network_view v;
  v.links = ch.links;
  v.max_nodes = ch.max_nodes;
  v.nx = ch.nx;
  return v;
}

bool cross_section_link(const channel_state& ch, int l) {
  return (ch.ltype[std::size_t(l)] & link_bit::shaped) != 0 && ch.nx[std::size_t(l)] >= 1;
}

// Node masses from each node's own value and water.
void set_stream_masses(const channel_state& ch, const nsm_stream& st,
                       const std::vector<double>& values, std::vector<double>& mass) {
  for (int l = 1; l <= ch.links; ++l) {
    if (!cross_section_link(ch, l)) continue;
    for (int j = 1; j <= ch.nx[std::size_t(l)]; ++j) {
      const std::size_t k = st.slot(l, j);
      mass[k] = ch.dx[std::size_t(l)] * ch.area[k] * values[k];
    }
  }
}

// One stream value by its input kind; mass null for values without one.
bool assign_stream_constituent_params(model_state& state, const nsm_input& input,
                                      const char* name, bool from_table,
                                      std::vector<double>& values, std::vector<double>* mass) {
  const channel_state& ch = state.channel;
  const nsm_stream& st = state.quality.nsm->stream;
  switch (input.kind) {
    case 3:
      announce_setup(state, "Assigning spatially uniform parameters for the stream constituent %s\n",
                     name);
      for (int l = 1; l <= ch.links; ++l) {
        if (!cross_section_link(ch, l)) continue;
        for (int j = 1; j <= ch.nx[std::size_t(l)]; ++j) values[st.slot(l, j)] = input.value;
      }
      if (mass != nullptr) set_stream_masses(ch, st, values, *mass);
      return true;
    case 2:
      if (!from_table) {
        set_error(err_nutrient_stream_table_missing, 0, 0, name);
        return false;
      }
      announce_setup(state,
                     "Assigning parameters for the stream constituent %s from the mapping table.\n",
                     name);
      return true;
    case 1: {
      safe_file probe;
      if (!probe.open(input.name.c_str(), "r")) {
        std::printf(
            "Error opening initial condition continuous map file \nfor the stream %s "
            "constituent. \nGiven filename: %s\n",
            name, input.name.c_str());
        set_error(err_open_nutrient_file, 0, 0, nullptr, input.name.c_str());
        return false;
      }
      probe.close();
      announce_setup(state,
                     "Assigning parameters from a continuous map for the stream constituent %s\n",
                     name);
      if (read_stream_map_file(input.name.c_str(), network_of(ch), nullptr, values,
                               stream_map_values) != stream_map_read)
        return false;
      if (mass != nullptr) set_stream_masses(ch, st, values, *mass);
      return true;
    }
    default:
      return true;
  }
}

void assign_stream_constituents(nsm_model& nsm, model_state& state) {
  const input_state& in = state.input;
  nsm_stream& st = nsm.stream;
  const stream_network_view network = network_of(state.channel);
  const char* path = in.settings.st_mapping_table.c_str();
  std::array<bool, 13> marked{};
  auto load = [&](int kind, std::vector<std::vector<double>*> targets,
                  std::initializer_list<int> marks) {
    if (in.settings.st_mapping_table.empty() || !in.st_map_table_present[std::size_t(kind)])
      return true;
    std::vector<std::span<double>> columns;
    for (std::vector<double>* t : targets) columns.push_back(*t);
    if (!read_stream_mapping_table(path, kind, columns, network)) return false;
    for (int slot : marks) marked[std::size_t(slot)] = true;
    return true;
  };
  auto conc = [&](int s) { return &st.species[std::size_t(s - 1)].conc; };
  if (!load(stream_kind::nsm_n, {conc(1), conc(2), conc(3), conc(4)}, {1, 2, 3, 4})) return;
  if (!load(stream_kind::nsm_p, {conc(5), conc(6)}, {5, 6})) return;
  if (!load(stream_kind::nsm_c, {&st.doc, &st.doc_foc}, {10, 11})) return;
  if (!load(stream_kind::nsm_oth, {conc(7), conc(8), conc(9)}, {7, 8, 9})) return;
  if (!load(stream_kind::dispersion, {&st.dispersion}, {12})) return;

  for (int s = 1; s <= nsm_species; ++s) {
    char name[40] = "";
    nsm_species_long_name(name, s - 1, false);
    nsm_constituent& c = st.species[std::size_t(s - 1)];
    if (!assign_stream_constituent_params(state, nsm.st_init[std::size_t(s)], name,
                                          marked[std::size_t(s)], c.conc, &c.mass))
      return;
  }
  std::vector<double>* values[] = {&st.doc, &st.doc_foc, &st.dispersion};
  for (int i = 0; i < 3; ++i) {
    char name[40] = "";
    nsm_species_long_name(name, 9 + i, false);
    if (!assign_stream_constituent_params(state, nsm.st_init[std::size_t(10 + i)], name,
                                          marked[std::size_t(10 + i)], *values[i], nullptr))
      return;
  }
}

}  // namespace

void append_nutrient_block(contaminant_model& m, int cells) {
  constituent_state& c = m.c;
  const int before = std::max(c.constituents, 0);
  const int n = nsm_species + (m.soil_transport ? nsm_soil_only_pools : 0);
  const std::vector<int> flags = m.map_flag;
  size_contaminant_arrays(m, before + n, cells, c.soil_layers);
  for (std::size_t k = 1; k < flags.size() && k < m.map_flag.size(); ++k) m.map_flag[k] = flags[k];
  const int first = before + 1;
  for (int k = first; k <= before + n; ++k) {
    const int index = k - first;
    c.constituent_type[std::size_t(k)] = index < nsm_species ? 2 : 3;
    char name[40] = "";
    nsm_species_long_name(name, index, index >= nsm_species);
    m.name[std::size_t(k)] = name;
  }
  m.first_nutrient = first;
  m.nutrient_entries = n;
  // Infiltrated water carries a species into its soil pool, if it has one.
  c.soil_entry.assign(std::size_t(c.constituents) + 1, 0);
  for (int k = 1; k <= c.constituents; ++k)
    c.soil_entry[std::size_t(k)] =
        c.constituent_type[std::size_t(k)] == 2 ? nsm_species_map(first, k, true) : k;
}

void assign_contam_params(nsm_model& nsm, model_state& state) {
  contaminant_model& m = state.quality.contam;
  constituent_state& c = m.c;
  const input_state& in = state.input;
  const int first = m.first_nutrient;
  const int cells = state.grid.cells;
  const double dx = state.grid.dx;
  nsm_overland& ov = nsm.overland;

  for (int k = first; k < first + 10 && k <= c.constituents; ++k) c.precip_conc[std::size_t(k)] = 0.0;

  // Each table fills, and marks as filled, its own values; rain
  // concentrations per species [1..9].
  std::array<bool, 14> marked{};
  std::array<double, 10> rain{};
  map_table_context context = run_map_table_context(state);
  auto species_row = [&](int s) { return cells_of(c.ov_contam_conc[std::size_t(first + s - 1)]); };
  auto read_species_table = [&](int kind, int from, int count) {
    if (!table_requested(in, kind)) return true;
    std::vector<std::span<double>> columns;
    for (int s = from; s < from + count; ++s) columns.push_back(species_row(s));
    std::vector<double> given(std::size_t(table_values_per_row(kind)) + 1, 0.0);
    if (!read_map_table(context, kind, columns, table_values_per_row(kind), given)) return false;
    for (int s = from; s < from + count; ++s) {
      marked[std::size_t(s)] = true;
      rain[std::size_t(s)] = given[std::size_t(s - from + 1)];
    }
    return true;
  };
  if (!read_species_table(table_kind::nsm_n, 1, 4)) return;
  if (!read_species_table(table_kind::nsm_p, 5, 2)) return;
  if (!read_species_table(table_kind::nsm_oth, 7, 3)) return;
  if (table_requested(in, table_kind::nsm_c)) {
    const std::span<double> columns[] = {ov.doc_foc, ov.dispersion};
    if (!read_map_table(context, table_kind::nsm_c, columns)) return;
    marked[slot_doc_foc] = marked[slot_dispersion] = true;
  }
  if (table_requested(in, table_kind::dispersion)) {
    const std::span<double> columns[] = {ov.third};
    if (!read_map_table(context, table_kind::dispersion, columns)) return;
    marked[slot_third] = true;
  }

  for (int s = 1; s <= nsm_species; ++s) {
    const std::size_t k = std::size_t(first + s - 1);
    char name[40] = "";
    nsm_species_long_name(name, s - 1, false);
    c.precip_conc[k] = rain[std::size_t(s)];
    if (!assign_cell_value(state, nsm.ov_init[std::size_t(s)], name, marked[std::size_t(s)],
                           species_texts, false, c.ov_contam_conc[k]))
      return;
    for (int j = 1; j <= cells; ++j) {
      const std::size_t jj = std::size_t(j);
      c.ov_contam_mass[k][jj] = dx * state.surface.depth[jj] * dx * c.ov_contam_conc[k][jj];
    }
  }
  char name[40] = "";
  nsm_species_long_name(name, 10, false);
  if (!assign_cell_value(state, nsm.ov_init[slot_doc_foc], name, marked[slot_doc_foc],
                         species_texts, false, ov.doc_foc))
    return;
  nsm_species_long_name(name, 11, false);
  if (!assign_cell_value(state, nsm.ov_init[slot_dispersion], name, marked[slot_dispersion],
                         species_texts, true, ov.dispersion))
    return;
  assign_cell_value(state, nsm.ov_init[slot_third], "Dispersion", marked[slot_third], third_texts,
                    false, ov.third);
}

void assign_nsm_groundwater_params(model_state& state) {
  const input_state& in = state.input;
  contaminant_model& m = state.quality.contam;
  const int first = m.first_nutrient;
  auto row = [&](int position) -> std::span<double> {
    return m.c.gw_contam_conc[std::size_t(first + position)];
  };
  map_table_context context = run_map_table_context(state);
  if (table_requested(in, nsm_gw_n)) {
    const std::span<double> columns[] = {row(0), row(1), row(2), row(3)};
    if (!read_map_table(context, nsm_gw_n, columns)) return;
  }
  if (table_requested(in, nsm_gw_p)) {
    const std::span<double> columns[] = {row(4), row(5), row(6)};
    if (!read_map_table(context, nsm_gw_p, columns)) return;
  }
  if (table_requested(in, nsm_gw_oth) && first + 9 <= m.c.constituents) {
    const std::span<double> columns[] = {row(8), row(9)};
    read_map_table(context, nsm_gw_oth, columns);
  }
}

nsm_model* ensure_nutrient_model(model_state& state) {
  const input_state& in = state.input;
  if (!in.nutrients || in.nutrient_record == nullptr) return nullptr;
  quality_state& q = state.quality;
  if (!q.nsm) {
    q.nsm = std::make_unique<nsm_model>();
    copy_inputs(*q.nsm, *in.nutrient_record);
  }
  return q.nsm.get();
}

void setup_nutrient_model(model_state& state) {
  input_state& in = state.input;
  if (ensure_nutrient_model(state) == nullptr) return;
  quality_state& q = state.quality;
  nsm_model& nsm = *q.nsm;
  const int cells = state.grid.cells;
  nsm.cells = cells;
  read_aquatic_env(nsm.env, state);
  if (stopped()) return;

  const project_settings& s = in.settings;
  nsm.overland.allocate(cells, state.surface.depth.data(), state.grid.dx, s.water_temp, s.km_koc,
                        quiet(state));

  // The nutrient species ride on the grid's constituent transport, with or
  // without contaminants ahead of them.
  contaminant_model& m = q.contam;
  if (!m.on) {
    if (!start_constituent_model(state)) return;
    set_soil_depths(in);
    m.contaminants = 0;
    size_contaminant_arrays(m, 0, cells, constituent_soil_layers(in));
  }
  append_nutrient_block(m, cells);
  if (m.soil_transport)
    nsm.soil.allocate(cells, m.c.soil_layers, m.first_nutrient, m, quiet(state));
  nsm.overland.set_params(m.first_nutrient, m, s.chan_ph);
  assign_contam_params(nsm, state);
  if (stopped()) return;
  assign_nsm_groundwater_params(state);
  if (stopped()) return;
  in.ov_con_trans = 1;
}

void assign_nsm_soil_tables(model_state& state) {
  const input_state& in = state.input;
  if (!state.quality.nsm || !in.soil_con_trans) return;
  nsm_model& nsm = *state.quality.nsm;
  contaminant_model& m = state.quality.contam;
  const int first = m.first_nutrient;
  const int cells = state.grid.cells;
  const project_settings& s = in.settings;
  map_table_context context = run_map_table_context(state);

  // The tables give the top layer of each pool; the soil lists hold them too.
  struct pool_table {
    int kind;
    int given;
    int pool;
    int count;
  };
  const pool_table tables[] = {{nsm_soil_n, s.soils_nsm_n, 2, 5},
                               {nsm_soil_p, s.soils_nsm_p, 7, 6},
                               {nsm_soil_c, s.soils_nsm_c, 0, 2}};
  for (const pool_table& t : tables) {
    if (!t.given || !table_requested(in, t.kind)) continue;
    std::vector<std::span<double>> columns;
    for (int p = t.pool; p < t.pool + t.count; ++p)
      columns.push_back(m.c.land_surface_mass[std::size_t(first + p)]);
    if (!read_map_table(context, t.kind, columns)) return;
    for (int p = t.pool; p < t.pool + t.count; ++p)
      nsm.soil.set_top_layer(p, m.c.land_surface_mass[std::size_t(first + p)]);
  }

  for (int kind : {table_kind::nsm_soil_km, table_kind::nsm_soil_koc}) {
    if (!table_requested(in, kind)) continue;
    std::array<std::vector<double>, 6> per_cell;
    std::vector<std::span<double>> columns;
    for (std::vector<double>& a : per_cell) {
      a.assign(std::size_t(cells) + 1, 0.0);
      columns.push_back(a);
    }
    if (!read_map_table(context, kind, columns)) return;
    for (int j = 1; j <= cells; ++j) {
      double values[6];
      for (int i = 0; i < 6; ++i) values[i] = per_cell[std::size_t(i)][std::size_t(j)];
      if (kind == table_kind::nsm_soil_km) {
        nsm.soil.set_cell_km(j, values);
      } else {
        nsm.soil.set_cell_koc(j, values);
      }
    }
  }
}

void setup_nsm_streams(model_state& state) {
  if (!state.quality.nsm || !state.input.channel_routing) return;
  nsm_model& nsm = *state.quality.nsm;
  channel_state& ch = state.channel;
  const project_settings& s = state.input.settings;
  nsm_stream& st = nsm.stream;
  st.allocate(ch.links, ch.stride(), ch.area.data(), ch.dx.data(), s.water_temp, s.km_koc,
              quiet(state));
  nsm.stream_on = 1;
  if (ch.channel_lakes) {
    nsm.lake.allocate(ch.lake_count, ch.lake_volume.data(), s.water_temp, s.km_koc, quiet(state));
    nsm.lake.set_params(s.chan_ph);
    nsm.lake_on = 1;
  }
  st.set_params(ch.nx.data(), s.chan_ph);
  const stream_network_view network = network_of(ch);
  // The stream id map is kinetics input only: a map that cannot be read
  // leaves every node at id 1.
  if (nsm.env.st_ids.allocate(network)) {
    std::fill(nsm.env.st_ids.ids.begin(), nsm.env.st_ids.ids.end(), 1);
    if (!nsm.env.st_map_name.empty())
      read_stream_map_file(nsm.env.st_map_name.c_str(), network, &nsm.env.st_ids, {},
                           stream_map_ids);
  }
  if (stopped()) return;
  assign_stream_constituents(nsm, state);
}
