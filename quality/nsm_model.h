#pragma once
// The nutrient model: nine water-column species on the overland grid, in the
// stream network and in the channel lakes, thirteen soil pools per cell and
// soil layer, and the aquatic environment table. The species move with the
// constituent transport of the grid; on the grid their concentrations and
// masses are the constituent model's rows from the first nutrient entry on,
// so that both views share one storage. The model applies no kinetics of its
// own: its rates of change stay 0 and its source arrays are never filled.

#include <array>
#include <string>
#include <vector>

#include "core/safe_file.h"
#include "input/stream_map_tables.h"
#include "output/linknode_writer.h"
#include "output/map_writer.h"
#include "quality/constituent_state.h"

struct model_state;
struct contaminant_model;

// Water species, in the order of every water layer and of the constituent list.
constexpr int nsm_species = 9;
// Soil pools: 0, 1 carbon; 2 to 6 nitrogen; 7 to 12 phosphorus.
constexpr int nsm_soil_pools = 13;
// Constituent-list entries of the pools that have no water species.
constexpr int nsm_soil_only_pools = 4;
// Parameters of one aquatic environment id.
constexpr int aquatic_env_values = 52;
constexpr char aquatic_env_header[] = "AQUATIC_ENV_NSM10";

// For an index k of a block of 13 starting at start: a soil pool's water
// species (to_soil false) or a water species' soil pool (to_soil true), as
// start + the table's entry; -1 when there is none; k itself outside the
// block.
int nsm_species_map(int start, int k, bool to_soil);

// The descriptive name of water species or parameter index (soil false) or
// soil pool index (soil true) into buffer (40 characters); an index without
// a name leaves the buffer as it is.
void nsm_species_long_name(char* buffer, int index, bool soil);

// One species of one water layer, per element [1..n] of the layer.
struct nsm_constituent {
  std::string name;
  std::vector<double> conc;      // g/m3
  std::vector<double> mass;      // g
  std::vector<double> dmdt;      // rate of change of mass, g/s
  std::vector<double> fracdiss;  // dissolved share
  std::vector<double> fracbnd;   // bound share
  std::vector<std::array<double, 7>> terms;
  std::vector<double> km;        // partition coefficient
  std::vector<double> fsum;
  std::vector<double> maxconc;   // g/m3

  void allocate(int n);
  void set_names(const char* record_name);
  std::string conc_name, mass_name, dmdt_name, fracdiss_name, fracbnd_name, km_name, fsum_name,
      maxconc_name;
};

// The NH3 of dissolved ammonium in water amount w (m3): 0 below 1e-4 m3 or
// when the molar amount NH4 / 18.039 / w is below threshold.
double nsm_nh3_mass(double nh4_mass, double w, double ka, double hydrogen, double threshold);

// The ammonia dissociation constant at temperature t, deg C.
double nsm_dissociation_constant(double t);

// The aquatic environment file: a row of 52 parameters per id and the id of
// every overland cell and stream node.
struct aquatic_env {
  std::string file_name;
  std::string ov_map_name;
  std::string st_map_name;
  int num_ids = 0;
  std::vector<std::array<double, aquatic_env_values>> table;  // per id [1..num_ids]
  int cells = 0;
  std::vector<int> ov_ids;  // per active cell [1..cells]
  stream_id_grid st_ids;    // per node and link, 1 until the stream map is read
};

// Reads the aquatic environment file into env; 76, 77, 78 or 81 raised. The
// overland map is read over the run's mask.
void read_aquatic_env(aquatic_env& env, model_state& state);

// The largest NUM_IDS a file may give.
constexpr int max_aquatic_env_ids = 100000;

// Header, map names, NUM_IDS and table from the open file; false after 77,
// 78 or a NUM_IDS out of range (a message).
bool read_aquatic_env_file(aquatic_env& env, safe_file& file);

// The parts of the reader, on an open file; each rewinds it first.
bool aquatic_env_check_header(safe_file& file);
void aquatic_env_read_map_names(aquatic_env& env, safe_file& file);
void aquatic_env_read_num_ids(aquatic_env& env, safe_file& file);
// The entries after the NUM_IDS line and the one after it; false after 78.
bool aquatic_env_read_table(aquatic_env& env, safe_file& file);

// Water temperature, ammonia constant, pH and the project's Km/Koc record
// shared by the three water layers.
struct nsm_water_layer {
  double temperature = 0.0;  // deg C
  double ka = 0.0;           // ammonia dissociation constant
  double ph = 7.2;
  double hydrogen = 0.0;     // 10^-pH
  std::array<double, 12> km_koc{};  // Km of NO2 NO3 NH4 ON OP DP, then their Koc
  std::array<nsm_constituent, nsm_species> species;

  void set_water(double t, const std::array<double, 12>& record);
  void set_ph(double value);
};

// Per active cell. Concentration and mass are the constituent model's rows;
// the records here hold the rest.
struct nsm_overland : nsm_water_layer {
  int cells = 0;
  double dx = 0.0;    // m
  double area = 0.0;  // m2
  int first = -1;     // first nutrient entry of the constituent list
  const double* depth = nullptr;  // per cell, m
  const contaminant_model* model = nullptr;
  std::vector<double> water_temp;  // per cell, deg C
  std::vector<double> doc_foc;     // fraction of organic carbon of the dissolved organic carbon
  std::vector<double> dispersion;  // m2/s
  std::vector<double> third;       // the further per-cell parameter
  std::vector<double> total_n_out, total_p_out, nh3_out;  // per cell, g

  void allocate(int n, const double* cell_depth, double cell_size, double t,
                const std::array<double, 12>& record, bool quiet);
  void set_params(int first_entry, const contaminant_model& m, double ph);
  double species_mass(int s, int cell) const;
  const std::vector<double>& compute_nh3();
  const std::vector<double>& total_n();
  const std::vector<double>& total_p();
  // Every cell hands the top-layer amount of each pool with a water species
  // to that species' exchange accumulator (cell_uptake_mass) and books it
  // against the pool (soil_exchange_mass). One static parallel loop over the
  // cells, each writing only its own.
  void accumulate_soil_fluxes(constituent_state& c);
};

// Per node address link x stride + node over (links + 1) x stride slots.
// The totals are tables [node][link].
struct nsm_stream : nsm_water_layer {
  int links = 0;
  int stride = 0;
  const double* area = nullptr;  // flow area per node address, m2
  const double* dx = nullptr;    // node spacing per link, m
  const int* nodes = nullptr;    // node count per link
  std::vector<double> water_temp, doc, doc_foc, dispersion;  // per node address
  std::vector<std::vector<double>> total_p_out, total_n_out, total_kn_out, nh3_out;  // [node][link]
  std::vector<const double*> total_p_rows, total_n_rows, total_kn_rows;

  void allocate(int link_count, int node_stride, const double* node_area, const double* link_dx,
                double t, const std::array<double, 12>& record, bool quiet);
  void set_params(const int* node_counts, double ph);
  std::size_t slot(int link, int node) const {
    return std::size_t(link) * std::size_t(stride) + std::size_t(node);
  }
  void compute_nh3();
  void total_n();
  void total_kjeldahl_n();
  void total_p();
};

// Per channel lake.
struct nsm_lake : nsm_water_layer {
  int lakes = 0;
  const double* volume = nullptr;  // per lake, m3
  std::vector<double> water_temp;
  std::vector<double> total_p_out, total_n_out, total_kn_out, nh3_out;

  void allocate(int lake_count, const double* lake_volume, double t,
                const std::array<double, 12>& record, bool quiet);
  void set_params(double ph);
  void compute_nh3();
  void total_n();
  void total_kjeldahl_n();
  void total_p();
};

// The soil pools: pool p's amount per cell and layer is the constituent
// model's soil mass of entry first + p, so soil-layer transport moves the
// pools directly. Each cell also keeps six Km and six Koc values.
struct nsm_soil {
  int cells = 0;
  int layers = 0;
  int first = -1;
  contaminant_model* model = nullptr;
  std::vector<std::array<double, 12>> partition;  // per cell: Km x 6, Koc x 6

  void allocate(int cell_count, int layer_count, int first_entry, contaminant_model& m,
                bool quiet);
  cell_layer_table& pool(int p);
  void set_top_layer(int p, const std::vector<double>& values);
  void set_cell_km(int cell, const double* values);
  void set_cell_koc(int cell, const double* values);
};

// What the nutrient cards gave one initial value.
struct nsm_input {
  int kind = 0;         // 3 uniform, 2 mapping table, 1 map file; other: nothing
  std::string name;     // map file
  double value = 0.0;   // uniform value
};

// One species' output request.
struct nsm_output_request {
  int flag = 0;
  std::string name;
};

class nsm_model {
 public:
  nsm_model() = default;
  ~nsm_model();
  nsm_model(const nsm_model&) = delete;
  nsm_model& operator=(const nsm_model&) = delete;

  // Header
  int header_flag = 0;
  std::array<double, 4> clock_times{};  // run-clock times, Julian days
  int cells = 0;

  aquatic_env env;
  nsm_overland overland;
  nsm_stream stream;
  nsm_lake lake;
  nsm_soil soil;
  int stream_on = 0;
  int lake_on = 0;

  // Outlet values per species: [0] concentration, g/m3; [1] mass, g.
  std::array<std::array<double, 9>, nsm_species> outlet{};

  // Initial values: overland slots 1..13 (9 species, dissolved organic
  // carbon, its fraction, dispersion, the further parameter); stream slots
  // 1..12 (9 species, dissolved organic carbon, its fraction, dispersion).
  std::array<nsm_input, 14> ov_init;
  std::array<nsm_input, 13> st_init;

  // Rate totals of the kinetics, g/s summed; no kinetics fill them.
  double dmdt_in = 0.0;
  double dmdt_out = 0.0;

  // Overland maps
  std::array<nsm_output_request, nsm_species> out_ov;
  std::array<map_writer, nsm_species> ov_mass_maps;
  std::array<map_writer, nsm_species> ov_conc_maps;
  map_writer total_ov_n_map, total_ov_p_map;

  // Stream link/node files
  std::array<nsm_output_request, nsm_species> out_st;
  std::array<linknode_writer, nsm_species> st_mass_files;
  std::array<linknode_writer, nsm_species> st_conc_files;
  linknode_writer total_chan_n_file, total_chan_kn_file, total_chan_p_file;

  // Hydrograph-style outputs
  std::array<nsm_output_request, nsm_species> out_hyd;
  std::array<safe_file, nsm_species> hyd_mass;
  std::array<safe_file, nsm_species> hyd_conc;
};
