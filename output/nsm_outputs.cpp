// The nutrient model's outputs: the outlet series of each species (".conc"
// and ".mass"), the overland species and total maps, and the link/node files
// of the stream species and the channel totals. The totals are computed from
// the species just before they are written.

#include "output/nsm_outputs.h"

#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "run/model_state.h"
#include "core/parallel_context.h"
#include "output/map_formats.h"
#include "output/map_writer.h"
#include "output/timeseries_rows.h"
#include "quality/nsm_model.h"
#include "quality/nsm_setup.h"

namespace {

constexpr const char* lower_names[nsm_species] = {"no2", "no3", "nh4", "on", "op",
                                                  "dp",  "alg", "cbod", "do"};

// Dataset ids of the overland species maps (the concentration's is one more).
constexpr int ov_mass_ids[nsm_species] = {1025, 1028, 1031, 1034, 1037, 1040, 1046, 1049, 1052};

// Link/node codes: species mass c + 7, concentration c + 16 (c from 1).
constexpr int total_chan_n_code = 28;
constexpr int total_chan_kn_code = 29;
constexpr int total_chan_p_code = 30;

// The path and role of a channel total, when requested.
struct total_file {
  int given;
  const std::string* path;
  const char* role;
};

}  // namespace

void open_nutrient_outputs(model_state& state) {
  nsm_model* nsm = ensure_nutrient_model(state);
  if (nsm == nullptr) return;
  const project_settings& s = state.input.settings;
  // The channel totals are opened here to check their paths; the writers
  // open them again with their headers.
  const total_file totals[] = {
      {s.total_chan_n_given, &s.total_chan_n, "output total channel nitrogen"},
      {s.total_chan_kn_given, &s.total_chan_kn, "output total channel Kjeldahl nitrogen"},
      {s.total_chan_p_given, &s.total_chan_p, "output total channel phosphorus"}};
  for (const total_file& t : totals) {
    if (!t.given) continue;
    safe_file probe;
    if (!probe.open(t.path->c_str(), "w")) {
      set_error(err_open_file, 0, 0, t.role, t.path->c_str());
      return;
    }
    probe.close();
  }
  for (int c = 0; c < nsm_species; ++c) {
    const nsm_output_request& request = nsm->out_hyd[std::size_t(c)];
    if (!request.flag) continue;
    char name[40] = "";
    nsm_species_long_name(name, c, false);
    if (state.input.qtr) {
      set_error(47, 0, 0, state.input.settings.mapping_table.c_str(),
                (request.name + ".conc").c_str());
      return;
    }
    const std::string conc = request.name + ".conc";
    if (!nsm->hyd_conc[std::size_t(c)].open(conc.c_str(), "w")) {
      std::printf(
          "Error opening nutrient concentration output file (hydrograph style )\nfor the %s "
          "hydrograph file. \nGiven filename: %s\n",
          name, conc.c_str());
      set_error(err_open_file, 0, 0, "nutrient concentration", conc.c_str());
      return;
    }
    const std::string mass = request.name + ".mass";
    if (!nsm->hyd_mass[std::size_t(c)].open(mass.c_str(), "w")) {
      std::printf(
          "Error opening nutrient mass output file (hydrograph style )\nfor the %s hydrograph "
          "file. \nGiven filename: %s\n",
          name, mass.c_str());
      set_error(err_open_file, 0, 0, "nutrient mass", mass.c_str());
      return;
    }
  }
}

void open_nsm_map_outputs(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr) return;
  const project_settings& s = state.input.settings;
  const map_grid grid = run_map_grid(state);
  const map_format format = run_map_format(state);
  nsm_overland& ov = nsm->overland;
  const contaminant_model& m = state.quality.contam;
  if (s.total_ov_n_given) {
    nsm->total_ov_n_map.bind(grid, ov.total_n_out.data());
    nsm->total_ov_n_map.setup(format, s.total_ov_n.c_str(), "", ".asc", 1055, "Total_ov_N");
    if (error_state.stop_flag) return;
  }
  if (s.total_ov_p_given) {
    nsm->total_ov_p_map.bind(grid, ov.total_p_out.data());
    nsm->total_ov_p_map.setup(format, s.total_ov_p.c_str(), "", ".asc", 1056, "Total_ov_P");
    if (error_state.stop_flag) return;
  }
  for (int c = 0; c < nsm_species; ++c) {
    const nsm_output_request& request = nsm->out_ov[std::size_t(c)];
    if (!request.flag) continue;
    const std::size_t k = std::size_t(m.first_nutrient + c);
    const std::string mass_name = std::string("OV_") + lower_names[c] + "_mass";
    const std::string conc_name = std::string("OV_") + lower_names[c] + "_conc";
    map_writer& mass = nsm->ov_mass_maps[std::size_t(c)];
    mass.bind(grid, m.c.ov_contam_mass[k].data());
    mass.setup(format, request.name.c_str(), ".mass", ".asc", ov_mass_ids[c],
               mass_name.c_str());
    if (error_state.stop_flag) return;
    map_writer& conc = nsm->ov_conc_maps[std::size_t(c)];
    conc.bind(grid, m.c.ov_contam_conc[k].data());
    conc.setup(format, request.name.c_str(), ".conc", ".asc", ov_mass_ids[c] + 1,
               conc_name.c_str());
    if (error_state.stop_flag) return;
  }

  if (!nsm->stream_on) return;
  const linknode_network net = channel_linknode_network(state.channel);
  nsm_stream& st = nsm->stream;
  struct total_writer {
    int given;
    const std::string* path;
    linknode_writer* writer;
    int code;
    const double* const* table;
  };
  const total_writer totals[] = {
      {s.total_chan_n_given, &s.total_chan_n, &nsm->total_chan_n_file, total_chan_n_code,
       st.total_n_rows.data()},
      {s.total_chan_kn_given, &s.total_chan_kn, &nsm->total_chan_kn_file, total_chan_kn_code,
       st.total_kn_rows.data()},
      {s.total_chan_p_given, &s.total_chan_p, &nsm->total_chan_p_file, total_chan_p_code,
       st.total_p_rows.data()}};
  for (const total_writer& t : totals) {
    if (!t.given) continue;
    t.writer->setup_2d(t.code, t.table, net);
    t.writer->open(t.path->c_str(), "", "", 1000.0);
  }
  for (int c = 0; c < nsm_species; ++c) {
    const nsm_output_request& request = nsm->out_st[std::size_t(c)];
    if (!request.flag) continue;
    nsm_constituent& species = st.species[std::size_t(c)];
    linknode_writer& mass = nsm->st_mass_files[std::size_t(c)];
    mass.setup_1d(c + 8, species.mass.data(), net);
    mass.open(request.name.c_str(), ".mass", "", 1000.0);
    linknode_writer& conc = nsm->st_conc_files[std::size_t(c)];
    conc.setup_1d(c + 17, species.conc.data(), net);
    conc.open(request.name.c_str(), ".conc", "", 1.0);
  }
}

void write_nsm_hydrograph_rows(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr) return;
  const run_control& run = state.run;
  const input_state& in = state.input;
  const double time = in.long_term ? long_term_time(run, in.settings.strict_julian_date != 0)
                                   : run.elapsed_minutes;
  // The outlet's values: the last node of the network when the channels
  // carry the species, else the outlet cell's water on the grid.
  const contaminant_model& m = state.quality.contam;
  const quality_state& q = state.quality;
  const channel_state& chan = state.channel;
  const int outlet = state.grid.outlet_cell;
  const bool routed = q.chan_contam.on && nsm->stream_on && chan.links > 0;
  const std::size_t node = routed ? std::size_t(chan.node_address(chan.links, chan.nx[chan.links])) : 0;
  for (int c = 0; c < nsm_species; ++c) {
    std::array<double, 9>& record = nsm->outlet[std::size_t(c)];
    const std::size_t k = std::size_t(m.first_nutrient + c);
    if (routed && m.first_nutrient > 0 && k < q.chan_node_conc.size()) {
      record[0] = q.chan_node_conc[k][node];
      record[1] = q.chan_node_mass[k][node];
    } else if (outlet > 0 && m.first_nutrient > 0) {
      record[0] = m.c.ov_contam_conc[k][std::size_t(outlet)];
      record[1] = m.c.ov_contam_mass[k][std::size_t(outlet)];
    }
    if (!nsm->out_hyd[std::size_t(c)].flag) continue;
    safe_file& conc = nsm->hyd_conc[std::size_t(c)];
    safe_file& mass = nsm->hyd_mass[std::size_t(c)];
    if (conc.is_open()) std::fprintf(conc.stream, "%16.8lf %11.4lf\n", time, record[0]);
    if (mass.is_open()) std::fprintf(mass.stream, "%16.8lf %11.4lf\n", time, record[1]);
  }
}

void write_nsm_linknode_records(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr || !nsm->stream_on) return;
  const project_settings& s = state.input.settings;
  nsm_stream& st = nsm->stream;
  if (s.total_chan_n_given || s.total_chan_kn_given) st.compute_nh3();
  if (s.total_chan_n_given) {
    st.total_n();
    nsm->total_chan_n_file.write_step();
  }
  if (s.total_chan_kn_given) {
    st.total_kjeldahl_n();
    nsm->total_chan_kn_file.write_step();
  }
  if (s.total_chan_p_given) {
    st.total_p();
    nsm->total_chan_p_file.write_step();
  }
  for (int c = 0; c < nsm_species; ++c) {
    if (!nsm->out_st[std::size_t(c)].flag) continue;
    nsm->st_mass_files[std::size_t(c)].write_step();
    nsm->st_conc_files[std::size_t(c)].write_step();
  }
}

void write_nsm_maps(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr) return;
  const project_settings& s = state.input.settings;
  const double minutes = state.run.elapsed_minutes;
  nsm_overland& ov = nsm->overland;
  if (s.total_ov_n_given || s.total_ov_p_given) ov.compute_nh3();
  if (s.total_ov_n_given) {
    ov.total_n();
    nsm->total_ov_n_map.write_map(minutes);
    if (error_state.stop_flag) return;
  }
  if (s.total_ov_p_given) {
    ov.total_p();
    nsm->total_ov_p_map.write_map(minutes);
    if (error_state.stop_flag) return;
  }
  for (int c = 0; c < nsm_species; ++c) {
    if (!nsm->out_ov[std::size_t(c)].flag) continue;
    nsm->ov_mass_maps[std::size_t(c)].write_map(minutes);
    if (error_state.stop_flag) return;
    nsm->ov_conc_maps[std::size_t(c)].write_map(minutes);
    if (error_state.stop_flag) return;
  }
}

void end_nsm_datasets(model_state& state) {
  nsm_model* nsm = state.quality.nsm.get();
  if (nsm == nullptr) return;
  for (int c = 0; c < nsm_species; ++c) {
    if (!nsm->out_ov[std::size_t(c)].flag) continue;
    nsm->ov_mass_maps[std::size_t(c)].end_dataset();
    nsm->ov_conc_maps[std::size_t(c)].end_dataset();
  }
  for (int c = 0; c < nsm_species; ++c) {
    if (!nsm->out_st[std::size_t(c)].flag) continue;
    nsm->st_mass_files[std::size_t(c)].write_end();
    nsm->st_conc_files[std::size_t(c)].write_end();
  }
}
