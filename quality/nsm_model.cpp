// The nutrient model's vocabulary, its water and soil layers and the derived
// totals the outputs ask for before they write.

#include "quality/nsm_model.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "quality/contaminant_model.h"
#include "surface/cell_loops.h"

namespace {

// Pool to water species, and water species to pool; -1: no counterpart.
constexpr int pool_to_water[nsm_soil_pools] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
constexpr int water_to_pool[nsm_soil_pools] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};

constexpr const char* water_names[] = {
    "Nitrite (NO2-)",
    "Nitrate (NO3-)",
    "Ammonium (NH4+)",
    "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)",
    "Dissolved Phosphorous (Dissolved P)",
    "Algae",
    "Carbonaceous Biochemical Oxygen Demand",
    "Dissolved Oxygen (O2)",
    "Dissolved Org. Carbon",
    "Dissolved Org. Carbon, Fraction Org. C.",
    "Dispersion coefficient",
};

constexpr const char* soil_names[] = {
    "Organic Active Carbon",       "Organic Stable Carbon",      "Ammonium (NH4+)",
    "Nitrate (NO3-)",              "Organic Active Nitrogen",    "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",     "Mineral Active Phosphorus",  "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus",   "Organic Active Phosphorus",  "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus",
};

constexpr const char* short_names[nsm_species] = {"NO2", "NO3", "NH4", "ON", "OP",
                                                  "DP",  "Alg", "CBOD", "DO"};

// Molar masses of NH4+ and NH3, g/mol.
constexpr double nh4_molar = 18.039;
constexpr double nh3_molar = 17.031;

// Species indices of the totals.
enum { no2, no3, nh4, on, op, dp };

void announce(bool quiet, const char* text) {
  if (!quiet) std::fputs(text, stdout);
}

}  // namespace

int nsm_species_map(int start, int k, bool to_soil) {
  if (k < start || k - start >= nsm_soil_pools) return k;
  const int entry = to_soil ? water_to_pool[k - start] : pool_to_water[k - start];
  return entry < 0 ? -1 : start + entry;
}

void nsm_species_long_name(char* buffer, int index, bool soil) {
  const char* name = nullptr;
  if (soil && index >= 0 && index < nsm_soil_pools) name = soil_names[index];
  if (!soil && index >= 0 && index < 12) name = water_names[index];
  if (name != nullptr) std::snprintf(buffer, 40, "%s", name);
}

void nsm_constituent::allocate(int n) {
  const std::size_t size = std::size_t(n) + 1;
  for (std::vector<double>* a : {&conc, &mass, &dmdt, &fracdiss, &fracbnd, &km, &fsum, &maxconc})
    a->assign(size, 0.0);
  terms.assign(size, std::array<double, 7>{});
}

void nsm_constituent::set_names(const char* record_name) {
  name = record_name;
  conc_name = name + "-conc";
  mass_name = name + "-mass";
  dmdt_name = name + "-dmdt";
  fracdiss_name = name + "-fracdiss";
  fracbnd_name = name + "-fracbnd";
  km_name = name + "-Km";
  fsum_name = name + "-fsum";
  maxconc_name = name + "-maxconc";
}

double nsm_dissociation_constant(double t) {
  return std::pow(10.0, -(0.09018 + 2729.92 / (t + 273.15)));
}

double nsm_nh3_mass(double nh4_mass, double w, double ka, double hydrogen, double threshold) {
  if (w < 1e-4) return 0.0;
  const double x = nh4_mass / nh4_molar / w;
  if (x < threshold) return 0.0;
  return x * ka / hydrogen * nh3_molar * w;
}

void nsm_water_layer::set_water(double t, const std::array<double, 12>& record) {
  temperature = t;
  ka = nsm_dissociation_constant(t);
  km_koc = record;
}

void nsm_water_layer::set_ph(double value) {
  ph = value;
  hydrogen = std::pow(10.0, -value);
}

// Overland

void nsm_overland::allocate(int n, const double* cell_depth, double cell_size, double t,
                            const std::array<double, 12>& record, bool quiet) {
  announce(quiet, "Allocating memory for overland NSM...");
  cells = n;
  depth = cell_depth;
  dx = cell_size;
  area = cell_size * cell_size;
  set_water(t, record);
  water_temp.assign(std::size_t(n) + 1, t);
  for (std::vector<double>* a : {&doc_foc, &dispersion, &third}) a->assign(std::size_t(n) + 1, 0.0);
  for (int s = 0; s < nsm_species; ++s) {
    species[std::size_t(s)].allocate(n);
    species[std::size_t(s)].set_names((std::string("nutr_ov-") + short_names[s]).c_str());
  }
  announce(quiet, "Done\n");
}

void nsm_overland::set_params(int first_entry, const contaminant_model& m, double value) {
  first = first_entry;
  model = &m;
  set_ph(value);
  for (std::vector<double>* a : {&total_n_out, &total_p_out, &nh3_out})
    a->assign(std::size_t(cells) + 1, 0.0);
}

double nsm_overland::species_mass(int s, int cell) const {
  return model->c.ov_contam_mass[std::size_t(first + s)][std::size_t(cell)];
}

const std::vector<double>& nsm_overland::compute_nh3() {
  for (int j = 1; j <= cells; ++j) {
    const double w = depth[j] * area;
    nh3_out[std::size_t(j)] = nsm_nh3_mass(species_mass(nh4, j), w, ka, hydrogen, 1e-7);
  }
  return nh3_out;
}

const std::vector<double>& nsm_overland::total_n() {
  for (int j = 1; j <= cells; ++j)
    total_n_out[std::size_t(j)] = species_mass(no2, j) + species_mass(no3, j) +
                                  species_mass(nh4, j) + species_mass(on, j) +
                                  nh3_out[std::size_t(j)];
  return total_n_out;
}

const std::vector<double>& nsm_overland::total_p() {
  for (int j = 1; j <= cells; ++j)
    total_p_out[std::size_t(j)] = species_mass(op, j) + species_mass(dp, j);
  return total_p_out;
}

void nsm_overland::accumulate_soil_fluxes(constituent_state& c) {
  // Pools with a water species, and that species.
  constexpr int pools[] = {2, 3, 4, 8, 10};
  const int n = cells;
  const int start = first;
#pragma omp parallel for schedule(static) num_threads(team_for(n, cells_per_thread))
  for (int i = 1; i <= n; ++i) {
    for (int p : pools) {
      const int species_entry = nsm_species_map(start, start + p, false);
      const double a = c.soil_mass[std::size_t(start + p)].at(i, 1);
      c.cell_uptake_mass[std::size_t(species_entry)][std::size_t(i)] += a;
      c.soil_exchange_mass[std::size_t(start + p)][std::size_t(i)] += a;
    }
  }
}

// Stream

void nsm_stream::allocate(int link_count, int node_stride, const double* node_area,
                          const double* link_dx, double t, const std::array<double, 12>& record,
                          bool quiet) {
  announce(quiet, "Allocating memory for NSM Streams...");
  links = link_count;
  stride = node_stride;
  area = node_area;
  dx = link_dx;
  set_water(t, record);
  const std::size_t slots = std::size_t(links + 1) * std::size_t(stride);
  water_temp.assign(slots, t);
  for (std::vector<double>* a : {&doc, &doc_foc, &dispersion}) a->assign(slots, 0.0);
  for (int s = 0; s < nsm_species; ++s) {
    nsm_constituent& c = species[std::size_t(s)];
    c.allocate(int(slots) - 1);
    c.set_names((std::string("nutr_st-") + short_names[s]).c_str());
  }
  announce(quiet, "Done\n");
}

void nsm_stream::set_params(const int* node_counts, double value) {
  nodes = node_counts;
  set_ph(value);
  const std::vector<double> row(std::size_t(links) + 1, 0.0);
  for (std::vector<std::vector<double>>* t : {&total_p_out, &total_n_out, &total_kn_out, &nh3_out})
    t->assign(std::size_t(stride), row);
  // The link/node writers read the totals as tables of node rows.
  total_p_rows.clear();
  total_n_rows.clear();
  total_kn_rows.clear();
  for (int j = 0; j < stride; ++j) {
    total_p_rows.push_back(total_p_out[std::size_t(j)].data());
    total_n_rows.push_back(total_n_out[std::size_t(j)].data());
    total_kn_rows.push_back(total_kn_out[std::size_t(j)].data());
  }
}

void nsm_stream::compute_nh3() {
  const std::vector<double>& ammonium = species[nh4].mass;
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes[l]; ++j) {
      const std::size_t k = slot(l, j);
      nh3_out[std::size_t(j)][std::size_t(l)] =
          nsm_nh3_mass(ammonium[k], area[k] * dx[l], ka, hydrogen, 1e-8);
    }
}

void nsm_stream::total_n() {
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes[l]; ++j) {
      const std::size_t k = slot(l, j);
      total_n_out[std::size_t(j)][std::size_t(l)] =
          species[no2].mass[k] + species[no3].mass[k] + species[nh4].mass[k] +
          species[on].mass[k] + nh3_out[std::size_t(j)][std::size_t(l)];
    }
}

void nsm_stream::total_kjeldahl_n() {
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes[l]; ++j) {
      const std::size_t k = slot(l, j);
      total_kn_out[std::size_t(j)][std::size_t(l)] =
          species[nh4].mass[k] + species[on].mass[k] + nh3_out[std::size_t(j)][std::size_t(l)];
    }
}

void nsm_stream::total_p() {
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= nodes[l]; ++j) {
      const std::size_t k = slot(l, j);
      total_p_out[std::size_t(j)][std::size_t(l)] = species[op].mass[k] + species[dp].mass[k];
    }
}

// Lakes

void nsm_lake::allocate(int lake_count, const double* lake_volume, double t,
                        const std::array<double, 12>& record, bool quiet) {
  announce(quiet, "Allocating memory for NSM Lakes...");
  lakes = lake_count;
  volume = lake_volume;
  set_water(t, record);
  water_temp.assign(std::size_t(lakes) + 1, t);
  for (int s = 0; s < nsm_species; ++s) {
    species[std::size_t(s)].allocate(lakes);
    species[std::size_t(s)].set_names((std::string("nutr_lk-") + short_names[s]).c_str());
  }
  announce(quiet, "Done\n");
}

void nsm_lake::set_params(double value) {
  set_ph(value);
  for (std::vector<double>* a : {&total_p_out, &total_n_out, &total_kn_out, &nh3_out})
    a->assign(std::size_t(lakes) + 1, 0.0);
}

void nsm_lake::compute_nh3() {
  for (int i = 1; i <= lakes; ++i)
    nh3_out[std::size_t(i)] =
        nsm_nh3_mass(species[nh4].mass[std::size_t(i)], volume[i], ka, hydrogen, 1e-7);
}

void nsm_lake::total_n() {
  for (int i = 1; i <= lakes; ++i) {
    const std::size_t k = std::size_t(i);
    total_n_out[k] = species[no2].mass[k] + species[no3].mass[k] + species[nh4].mass[k] +
                     species[on].mass[k] + nh3_out[k];
  }
}

void nsm_lake::total_kjeldahl_n() {
  for (int i = 1; i <= lakes; ++i) {
    const std::size_t k = std::size_t(i);
    total_kn_out[k] = species[nh4].mass[k] + species[on].mass[k] + nh3_out[k];
  }
}

void nsm_lake::total_p() {
  for (int i = 1; i <= lakes; ++i) {
    const std::size_t k = std::size_t(i);
    total_p_out[k] = species[op].mass[k] + species[dp].mass[k];
  }
}

// Soil

void nsm_soil::allocate(int cell_count, int layer_count, int first_entry, contaminant_model& m,
                        bool quiet) {
  announce(quiet, "Allocating memory for NSM Soils...");
  cells = cell_count;
  layers = layer_count;
  first = first_entry;
  model = &m;
  announce(quiet, "Done\n");
}

cell_layer_table& nsm_soil::pool(int p) { return model->c.soil_mass[std::size_t(first + p)]; }

void nsm_soil::set_top_layer(int p, const std::vector<double>& values) {
  cell_layer_table& amounts = pool(p);
  for (int j = 1; j <= cells; ++j) amounts.at(j, 1) = values[std::size_t(j)];
}

void nsm_soil::set_cell_km(int cell, const double* values) {
  if (partition.empty()) partition.assign(std::size_t(cells) + 1, std::array<double, 12>{});
  for (int i = 0; i < 6; ++i) partition[std::size_t(cell)][std::size_t(i)] = values[i];
}

void nsm_soil::set_cell_koc(int cell, const double* values) {
  if (partition.empty()) partition.assign(std::size_t(cells) + 1, std::array<double, 12>{});
  for (int i = 0; i < 6; ++i) partition[std::size_t(cell)][std::size_t(6 + i)] = values[i];
}

nsm_model::~nsm_model() {
  for (safe_file& f : hyd_conc) f.close();
  for (safe_file& f : hyd_mass) f.close();
}
