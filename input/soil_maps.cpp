// The grid set-up's readers of the soil inputs: the Green and Ampt parameter
// maps and tables, the area-reduction map, the soil types and layers of the
// layered method, the hand-over to the Richards columns' set-up, the initial
// water content, and the soil-moisture hot start.
// Conductivities are read in cm/h and held in m/s, capillary heads read in
// cm and held in m.

#include <cstdio>
#include <string>

#include "run/model_state.h"
#include "input/ascii_grid.h"
#include "input/cell_ranges.h"
#include "input/map_tables.h"
#include "input/process_map_tables.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"
#include "soil/richards_soil.h"

namespace {

bool stopped() { return error_state.stop_flag != 0; }


void scale_cells(std::vector<double>& values, int cells, double divisor) {
  for (int i = 1; i <= cells && i < static_cast<int>(values.size()); ++i) values[i] /= divisor;
}

bool allocate_parameter_arrays(model_state& state) {
  soil_state& s = state.soil;
  const int n = state.grid.cells;
  return allocate_per_cell(s.ksat, n, "ksat") && allocate_per_cell(s.capillary, n, "capillary") &&
         allocate_per_cell(s.porosity, n, "porosity") &&
         allocate_per_cell(s.pore_index, n, "pore_index") &&
         allocate_per_cell(s.residual, n, "residual") &&
         allocate_per_cell(s.field_capacity, n, "field_capacity") &&
         allocate_per_cell(s.wilting_point, n, "wilting_point") &&
         allocate_per_cell(s.initial_theta, n, "initial_theta") &&
         allocate_per_cell(s.surface_moisture, n, "surface_moisture");
}

// One Green and Ampt parameter: from its map file, else from the table the
// mapping table file gave. False after a message.
struct parameter_source {
  int flag;                    // index into soil_params
  const char* card;            // the card naming its map
  safe_file input_files::*file;
  std::string project_settings::*name;
  const char* from_file;       // announcement with the file name
  const char* from_table;      // announcement without it
};

bool read_parameter(model_state& state, const parameter_source& p, std::vector<double>& values) {
  input_state& in = state.input;
  if (!in.soil_params[p.flag]) {
    raise_message(
        "Error: the infiltration method needs a %s map: give the %s card or a "
        "GREEN_AMPT_INFILTRATION table in the mapping table file.\n",
        p.card, p.card);
    return false;
  }
  safe_file& file = in.files.*p.file;
  const std::string& name = in.settings.*p.name;
  if (file.is_open()) {
    announce_setup(state, p.from_file, name.c_str());
    read_cell_map(state, file, name, values);
  } else {
    announce_setup(state, "%s", p.from_table);
  }
  return !stopped();
}

void read_green_ampt_parameters(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  const int n = state.grid.cells;
  if (table_requested(in, table_kind::green_ampt)) {
    const std::span<double> columns[] = {s.ksat,     s.capillary,      s.porosity,
                                         s.pore_index, s.residual, s.field_capacity,
                                         s.wilting_point};
    map_table_context context = run_map_table_context(state);
    if (!read_map_table(context, table_kind::green_ampt, columns)) return;
  }
  const parameter_source ks{0,
                            "CONDUCTIVITY",
                            &input_files::conductivity,
                            &project_settings::conductivity,
                            "reading saturated hydraulic conductivity map from file: %s\n",
                            "reading saturated hydraulic conductivity table and map from the "
                            "master table file\n"};
  if (!read_parameter(state, ks, s.ksat)) return;
  scale_cells(s.ksat, n, 360000.0);
  const parameter_source hc{1,
                            "CAPILLARY",
                            &input_files::capillary,
                            &project_settings::capillary,
                            "reading capillary drive map from file: %s\n",
                            "reading capillary drive map from the master table file\n"};
  if (!read_parameter(state, hc, s.capillary)) return;
  scale_cells(s.capillary, n, 100.0);
  const parameter_source phi{2,
                             "POROSITY",
                             &input_files::porosity,
                             &project_settings::porosity,
                             "reading porosity map from file: %s\n",
                             "reading porosity table and map from the master table file\n"};
  if (!read_parameter(state, phi, s.porosity)) return;
  if (!in.inf_redist) return;

  if (!in.soil_params[3]) {
    std::fputs("For infiltration redistribution, pore index map must be specified\n", stderr);
    std::fputs("Program stopped.\n", stderr);
    raise_error(own_message_code);
    return;
  }
  const parameter_source lambda{3,
                                "PORE_INDEX",
                                &input_files::pore_index,
                                &project_settings::pore_index,
                                "reading pore distribution index map from file: %s\n",
                                "reading pore distribution index map from master table file\n"};
  if (!read_parameter(state, lambda, s.pore_index)) return;
  if (!in.soil_params[4]) {
    std::fputs("For infiltration redistribution, residual saturation map must be specified\n",
               stderr);
    std::fputs("Program stopped.\n", stderr);
    raise_error(own_message_code);
    return;
  }
  const parameter_source thr{4,
                             "RESIDUAL_SAT",
                             &input_files::residual_sat,
                             &project_settings::residual_sat,
                             "reading residual saturation map from file: %s\n",
                             "reading residual saturation map from the master table file\n"};
  read_parameter(state, thr, s.residual);
}

const char* layer_value_names[9] = {"conductivity", "pore index", "capillary head",
                                    "porosity",     "field capacity", "wilting point",
                                    "residual content", "initial content", "layer depth"};

// The values of one layer line into the record: K, lambda, psi, phi, fc, wp,
// thr, thi and, for layers 1 and 2, the layer depth. Each is a whole
// blank-separated word and a finite number, so that a value such as "0.nan10"
// is refused rather than read as three.
bool parse_layer(const char* at, int layer, soil_type_record& t, const char* what,
                 const char* path, int line) {
  const int count = layer < 3 ? 9 : 8;
  double v[9];
  for (int k = 0; k < count; ++k) {
    if (!take_real_field(at, v[k])) {
      raise_message(
          "Error: line %d of the %s %s holds no %s (value %d of %d) for layer %d of soil type "
          "%d.\n",
          line, what, path, layer_value_names[k], k + 1, count, layer, t.id);
      return false;
    }
  }
  t.k[layer] = v[0];
  t.lambda[layer] = v[1];
  t.psi[layer] = v[2];
  t.phi[layer] = v[3];
  t.fc[layer] = v[4];
  t.wp[layer] = v[5];
  t.thr[layer] = v[6];
  t.thi[layer] = v[7];
  if (layer == 1) t.d1 = v[8];
  if (layer == 2) t.d2 = v[8];
  return true;
}

bool next_line(table_file& file, std::string& line, const char* what, const char* expected) {
  if (file.next(line)) return true;
  raise_message("Error: the %s %s ends before its %s (line %d).\n", what, file.path(), expected,
                file.line_number() + 1);
  return false;
}

// Layered soil file: the count, an unused integer, then per soil type its id
// line and three layer lines.
bool read_soil_layer_file(const char* path, std::vector<soil_type_record>& types) {
  const char* what = "layered soil file";
  table_file file;
  if (!file.open(path)) {
    raise_message("Error: the layered soil file %s cannot be opened.\n", path);
    return false;
  }
  std::string line;
  int count = 0, unused = 0;
  if (!next_line(file, line, what, "number of soil types")) return false;
  const char* at = line.c_str();
  if (!take_int_field(at, count) || count < 1) {
    raise_message("Error: line %d of the layered soil file %s holds no number of soil types.\n",
                  file.line_number(), path);
    return false;
  }
  if (!next_line(file, line, what, "second line")) return false;
  at = line.c_str();
  if (!take_int_field(at, unused)) {
    raise_message("Error: line %d of the layered soil file %s holds no whole number.\n",
                  file.line_number(), path);
    return false;
  }
  types.assign(1, soil_type_record{});
  for (int k = 1; k <= count; ++k) {
    soil_type_record t;
    if (!next_line(file, line, what, "soil types")) return false;
    at = line.c_str();
    if (!take_int_field(at, t.id)) {
      raise_message("Error: line %d of the layered soil file %s holds no soil type id.\n",
                    file.line_number(), path);
      return false;
    }
    for (int layer = 1; layer <= 3; ++layer) {
      if (!next_line(file, line, what, "layer lines")) return false;
      if (!parse_layer(line.c_str(), layer, t, what, path, file.line_number())) return false;
    }
    types.push_back(t);
  }
  return true;
}

// The MULTI_LAYER_SOIL table, read on from its section line: the count line,
// a second header line, the column header, then per soil type a row with
// the id and layer 1's values from character 88 and two lines of numbers
// for layers 2 and 3.
int read_soil_layer_table(table_file& file, std::vector<soil_type_record>& types) {
  const char* what = "MULTI_LAYER_SOIL table of the mapping table file";
  std::string line;
  char word[32];
  int count = 0, second = 0;
  if (!next_line(file, line, what, "NUM_SOILS line")) return -1;
  if (std::sscanf(line.c_str(), "%7s %d", word, &count) != 2 || count < 1) {
    raise_message("Error: line %d of the mapping table file %s holds no number of soil types.\n",
                  file.line_number(), file.path());
    return -1;
  }
  if (!next_line(file, line, what, "second header line")) return -1;
  if (std::sscanf(line.c_str(), "%16s %d", word, &second) != 2) {
    raise_message("Error: line %d of the mapping table file %s holds no whole number.\n",
                  file.line_number(), file.path());
    return -1;
  }
  if (!next_line(file, line, what, "column header")) return -1;
  types.assign(1, soil_type_record{});
  for (int k = 1; k <= count; ++k) {
    soil_type_record t;
    if (!next_line(file, line, what, "soil type rows")) return -1;
    if (!parse_table_id(line, t.id) || line.size() < 88) {
      raise_message(
          "Error: line %d of the mapping table file %s is no MULTI_LAYER_SOIL row: it needs a "
          "soil type id and nine values from character 88.\n",
          file.line_number(), file.path());
      return -1;
    }
    if (!parse_layer(line.c_str() + 87, 1, t, what, file.path(), file.line_number())) return -1;
    for (int layer = 2; layer <= 3; ++layer) {
      if (!next_line(file, line, what, "layer lines")) return -1;
      if (!parse_layer(line.c_str(), layer, t, what, file.path(), file.line_number())) return -1;
    }
    types.push_back(t);
  }
  return 1;
}

// Soil-type map ids become indices into the soil-type table.
bool index_soil_types(model_state& state, const char* source) {
  soil_state& s = state.soil;
  for (int i = 1; i <= state.grid.cells; ++i) {
    const int id = s.soiltype[i];
    int found = 0;
    for (int k = static_cast<int>(s.soil_types.size()) - 1; k >= 1 && !found; --k)
      if (s.soil_types[k].id == id) found = k;
    if (!found) {
      raise_message("Error: soil type %d of grid cell %d has no entry in the %s.\n", id, i,
                    source);
      return false;
    }
    s.soiltype[i] = found;
  }
  return true;
}

void read_layered_soils(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  const int n = state.grid.cells;
  if (!allocate_per_cell(s.soiltype, n, "soiltype")) return;
  if (!allocate_zeroed(s.theta_ml, std::size_t(n) + 1, "THETA_ML")) return;
  std::string source;
  if (in.files.soil_type.is_open()) {
    const std::string& map_name = in.settings.soil_type_map;
    announce_setup(state, "reading soil map from file: %s\n", map_name.c_str());
    map_header header;
    read_ascii_map(in.files.soil_type, map_name.c_str(), index_map, header,
                   state.grid.mask.table(), {}, {}, s.soiltype, state.grid.rows,
                   state.grid.cols);
    in.files.soil_type.close();
    if (stopped()) return;
    const std::string& layers = in.settings.soil_layer_input_file;
    in.files.soil_layers.close();
    if (!in.settings.soil_layer_input_file_given) {
      raise_message("Error: layered soil infiltration needs SOIL_LAYER_INPUT_FILE with %s.\n",
                    "SOIL_TYPE_MAP");
      return;
    }
    if (!read_soil_layer_file(layers.c_str(), s.soil_types)) return;
    source = "layered soil file " + layers;
  } else if (in.settings.mapping_table_given) {
    map_table_context context = run_map_table_context(state);
    const soil_table_reader reader = [&s](table_file& table, std::span<const int>) {
      return read_soil_layer_table(table, s.soil_types);
    };
    if (read_multi_layer_soil_table(context, reader, s.soiltype) != 1) {
      if (!stopped())
        raise_message("Error: the mapping table file %s has no MULTI_LAYER_SOIL table.\n",
                      context.path.c_str());
      return;
    }
    source = "MULTI_LAYER_SOIL table of " + context.path;
  } else {
    raise_message(
        "Error: layered soil infiltration needs SOIL_TYPE_MAP and SOIL_LAYER_INPUT_FILE, or a "
        "mapping table file with a MULTI_LAYER_SOIL table.\n");
    return;
  }
  if (!index_soil_types(state, source.c_str())) return;
  for (int i = 1; i <= n; ++i) {
    const soil_type_record& t = s.soil_types[s.soiltype[i]];
    s.surface_moisture[i] = t.thi[1];
    s.theta_ml[i] = {0.0, t.thi[1], t.thi[2], t.thi[3]};
  }
}

// The initial water content: its map or table, or the uniform content.
void read_initial_moisture(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  const int n = state.grid.cells;
  const bool moisture_table = table_requested(in, table_kind::initial_moisture);
  if (in.moisture) {
    if (in.files.moisture.is_open()) {
      announce_setup(state, "reading soil moisture map from file: %s\n",
                     in.settings.moisture.c_str());
      read_cell_map(state, in.files.moisture, in.settings.moisture, s.initial_theta);
    } else {
      announce_setup(state, "reading soil moisture table and map from the master table file\n");
      if (moisture_table) {
        const std::span<double> columns[] = {s.initial_theta};
        map_table_context context = run_map_table_context(state);
        read_map_table(context, table_kind::initial_moisture, columns);
      }
    }
    if (stopped()) return;
  }
  if (in.settings.moisture_given || moisture_table) return;
  if (!in.super_quiet) std::printf("initializing uniform initial soil water content\n");
  const double value = in.uniform_soil_water;
  for (int i = 1; i <= n; ++i) {
    double thi = value;
    if (thi < s.residual[i]) thi = s.residual[i] + 0.01;
    if (thi > s.porosity[i]) thi = s.porosity[i] - 0.01;
    s.initial_theta[i] = thi;
    s.surface_moisture[i] = value;
  }
}

// A hot start written by a run of a saturated cell gives its porosity to
// six decimals; beyond this margin the content holds more water than the
// soil has pores.
constexpr double porosity_margin = 1e-3;

// Each cell's hot-start water content at most the porosity of the soil
// that takes it: the Green and Ampt porosity map, or the first layer of a
// layered soil type. False after the message naming the first cell above.
bool hotstart_within_porosity(const model_state& state, const std::string& name) {
  const input_state& in = state.input;
  const soil_state& s = state.soil;
  const int n = state.grid.cells;
  const auto sized = [n](const auto& v) { return v.size() == std::size_t(n) + 1; };
  for (int i = 1; i <= n; ++i) {
    double porosity = 1.0;
    if ((in.green_ampt || in.inf_redist) && sized(s.porosity)) {
      porosity = s.porosity[i];
    } else if (in.inf_layered_soil && sized(s.soiltype) && s.soiltype[i] >= 1 &&
               std::size_t(s.soiltype[i]) < s.soil_types.size()) {
      porosity = s.soil_types[std::size_t(s.soiltype[i])].phi[1];
    }
    const double theta = s.surface_moisture[i];
    if (!(theta > porosity + porosity_margin)) continue;
    int row = 0, column = 0;
    cell_position(state.grid, i, row, column);
    raise_message(
        "Error: the soil water content of cell %d (row %d, column %d) from %s is %g, above the "
        "porosity %g of its soil; it must be from 0 to the porosity.\n",
        i, row, column, name.c_str(), theta, porosity);
    return false;
  }
  return true;
}

}  // namespace

void read_area_reduction_map(model_state& state) {
  const input_state& in = state.input;
  soil_state& s = state.soil;
  if (!in.settings.area_reduction_given) return;
  const int n = state.grid.cells;
  if (!allocate_per_cell(s.area_factor, n, "area_reduction")) return;
  const std::string& name = in.settings.area_reduction;
  if (!name.empty()) {
    safe_file file;
    if (!file.open(name.c_str(), "r")) {
      raise_message("Can't open area reduction file named: %s\n", name.c_str());
      return;
    }
    announce_setup(state, "reading area reduction map from file: %s\n", name.c_str());
    read_cell_map(state, file, name, s.area_factor);
  } else if (table_requested(in, table_kind::area_reduction)) {
    announce_setup(state, "reading area reduction map from the mapping table file.\n");
    const std::span<double> columns[] = {s.area_factor};
    map_table_context context = run_map_table_context(state);
    read_map_table(context, table_kind::area_reduction, columns);
  }
  if (stopped()) return;
  for (int i = 1; i <= n; ++i) s.area_factor[i] = 1.0 - s.area_factor[i];
  s.area_reduction = 1;
}

void read_et_maps(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  const int n = state.grid.cells;
  const bool table = table_requested(in, table_kind::evapotranspiration);
  if (!table && !in.long_term) return;
  if (table) {
    if (!allocate_per_cell(s.albedo, n, "albedo") ||
        !allocate_per_cell(s.veg_height, n, "veg_height") ||
        !allocate_per_cell(s.trans_coeff, n, "trans_coeff") ||
        !allocate_per_cell(s.canopy_resist, n, "canopy_resist"))
      return;
    const std::span<double> columns[] = {s.albedo, s.veg_height, s.trans_coeff, s.canopy_resist};
    map_table_context context = run_map_table_context(state);
    if (!read_map_table(context, table_kind::evapotranspiration, columns)) return;
  }
  if (!in.long_term) return;

  struct et_map {
    bool penman_only;            // read only with ET_CALC_PENMAN
    safe_file input_files::*file;
    std::string project_settings::*name;
    std::vector<double> soil_state::*values;
    const char* array;           // for the allocation message
    const char* from_file;       // announcement with the file name
    const char* from_table;      // announcement on the screen without it
    const char* summary_from_table;  // and in the summary file
  };
  const et_map maps[5] = {
      {false, &input_files::albedo, &project_settings::albedo, &soil_state::albedo, "albedo",
       "reading albedo map from file: %s\n",
       "reading albedo table and map from the master table file\n", nullptr},
      {true, &input_files::vheight, &project_settings::vheight, &soil_state::veg_height,
       "veg_height", "reading vegetation-height map from file: %s\n",
       "reading vegetation-height table and map from the master table file\n", nullptr},
      {true, &input_files::tcoeff, &project_settings::tcoeff, &soil_state::trans_coeff,
       "trans_coeff", "reading transmission-coefficient map from file: %s\n",
       "reading transmission-coefficient table and map from the master table file\n", nullptr},
      {true, &input_files::canopy, &project_settings::canopy, &soil_state::canopy_resist,
       "canopy_resist", "reading canopy resistance map from file: %s\n",
       "reading canopy resistance table and map from the master table file\n",
       "reading canopy resistance map from file\n"},
      {true, &input_files::wilting_point, &project_settings::wilting_point,
       &soil_state::wilting_point, "wilting_point", "reading wilting point map from file: %s\n",
       "reading wilting point table and map from the master table file\n", nullptr},
  };
  for (int k = 0; k < 5; ++k) {
    const et_map& m = maps[k];
    if (!in.et_params[k] || (m.penman_only && !in.settings.et_calc_penman)) continue;
    std::vector<double>& values = s.*m.values;
    // The table sized its four arrays; without it a map announced as the
    // table's is left at 0 in every cell rather than unsized.
    if (values.size() != std::size_t(n) + 1 && !allocate_per_cell(values, n, m.array)) return;
    safe_file& file = in.files.*m.file;
    if (file.is_open()) {
      const std::string& name = in.settings.*m.name;
      announce_setup(state, m.from_file, name.c_str());
      read_cell_map(state, file, name, values);
      if (stopped()) return;
    } else if (m.summary_from_table) {
      announce_setup_apart(state, m.from_table, m.summary_from_table);
    } else {
      announce_setup(state, "%s", m.from_table);
    }
  }
}

void read_soil_maps(model_state& state) {
  const input_state& in = state.input;
  soil_state& s = state.soil;
  if (!in.green_ampt && !in.inf_redist && !in.inf_layered_soil && !in.inf_richards) return;
  if (in.inf_richards) {
    // The columns take their contents from the soil table: neither the
    // parameter maps nor a uniform content apply.
    read_area_reduction_map(state);
    if (stopped()) return;
    read_et_maps(state);
    if (stopped()) return;
    init_richards_soil(state);
    return;
  }
  if (!allocate_parameter_arrays(state)) return;
  read_area_reduction_map(state);
  if (stopped()) return;
  if (in.green_ampt || in.inf_redist) {
    read_green_ampt_parameters(state);
  } else {
    read_layered_soils(state);
  }
  if (stopped()) return;
  read_et_maps(state);
  if (stopped()) return;
  if (!in.inf_layered_soil) {
    read_initial_moisture(state);
    if (stopped()) return;
  }

  const int n = state.grid.cells;
  if (in.green_ampt) {
    for (int i = 1; i <= n; ++i) {
      if (s.initial_theta[i] < 0.0) {
        std::printf("Warning: initial water content < 0 at grid %d, set to 0\n", i);
        s.initial_theta[i] = 0.0;
      }
      s.surface_moisture[i] = s.initial_theta[i];
    }
  }
  if (in.inf_redist) {
    if (!allocate_per_cell(s.front_theta, n, "redist_front_theta")) return;
    if (!allocate_per_cell(s.theta_out, n, "redist_theta_out")) return;
    for (int i = 1; i <= n; ++i) {
      s.surface_moisture[i] = s.initial_theta[i];
      s.front_theta[i] = s.initial_theta[i];
      s.theta_out[i] = s.initial_theta[i];
    }
  }
}

void read_soil_moisture_hotstart(model_state& state) {
  input_state& in = state.input;
  soil_state& s = state.soil;
  if (!in.settings.read_sm_hotstart_given) return;
  const int n = state.grid.cells;
  if (s.surface_moisture.size() != std::size_t(n) + 1 &&
      !allocate_per_cell(s.surface_moisture, n, "surface_moisture"))
    return;
  const std::string& name = in.settings.read_sm_hotstart;
  announce_setup(state, "reading soil moisture hotstart map from file: %s\n", name.c_str());
  read_cell_map(state, in.files.sm_hotstart, name, s.surface_moisture);
  if (stopped()) return;
  if (!cells_within(state.grid, s.surface_moisture, ranges::fraction, "soil water content",
                    name.c_str()) ||
      !hotstart_within_porosity(state, name))
    return;
  if (in.inf_richards) {
    richards_hotstart(state, s.surface_moisture, name.c_str());
    return;
  }
  const auto sized = [n](const auto& v) { return v.size() == std::size_t(n) + 1; };
  for (int i = 1; i <= n; ++i) {
    const double theta = s.surface_moisture[i];
    if ((in.green_ampt || in.inf_redist) && sized(s.initial_theta)) s.initial_theta[i] = theta;
    if (in.inf_redist && sized(s.front_theta) && sized(s.theta_out)) {
      s.front_theta[i] = theta;
      s.theta_out[i] = theta;
    }
    if (in.inf_layered_soil && sized(s.theta_ml)) s.theta_ml[i][1] = theta;
  }
}
