// The bundled basin (examples/basin) cut to its first six hours of
// meteorology: rain from three gauges on the land, the channels, the lake
// and the aquifer, turning to snow at 04:00. Every file it writes is the same
// on 1, 2, 3, 4 and 8 threads, and each balance of its summary closes; its
// tracers variant carries the two constituents of its rain through the
// cells, the channels and the lake.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace surface_fixture;

const char* const inputs[] = {
    "basin.prj",     "basin.chan",   "basin.gst",         "rain.gag",        "hmet.zep",
    "tables.cmt",    "mask.asc",     "elevation.asc",     "roughness.asc",   "soils.idx",
    "ids.idx",       "ks.asc",       "hc.asc",            "phi.asc",         "lambda.asc",
    "thr.asc",       "theta.asc",    "albedo.asc",        "vheight.asc",     "tcoeff.asc",
    "canopy.asc",    "wp.asc",       "table.asc",         "bottom.asc",      "bound.asc",
    "hyd_locations.txt", "basin_tracers.prj"};

struct basin_run {
  test_support::temp_dir dir;
  run_output out;
  std::map<std::string, std::string> files;  // every file the run wrote, by relative path

  // The first hours of the meteorology (all of it when 0), and with a
  // groundwater step of gw_step seconds in place of the project's when given.
  explicit basin_run(int threads, const std::string& project = "basin.prj",
                     std::size_t hours = 6, int gw_step = 0,
                     const std::function<void(model_state&)>& after_pass = nullptr,
                     const std::function<void(const test_support::temp_dir&)>& edit = nullptr) {
    const fs::path from = fs::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "basin";
    for (const char* name : inputs) dir.write(name, test_support::read_file((from / name).string()));
    fs::create_directory(dir.path() / "maps");
    fs::create_directory(dir.path() / "tracers");
    const std::vector<std::string> lines =
        test_support::lines_of(test_support::read_file((from / "hmet.zep").string()));
    std::string kept;
    for (std::size_t h = 0; h < lines.size() && (hours == 0 || h < hours); ++h)
      kept += lines[h] + "\n";
    dir.write("hmet.zep", kept);
    std::vector<std::string> drop = {"MAP_FREQ", "NUM_THREADS"};
    std::string cards = "MAP_FREQ 60\nNUM_THREADS " + std::to_string(threads) + "\n";
    if (gw_step > 0) {
      drop.push_back("GW_TIMESTEP");
      cards += "GW_TIMESTEP " + std::to_string(gw_step) + "\n";
    }
    dir.write(project,
              edit_cards(test_support::read_file((from / project).string()), drop, cards));
    if (edit) edit(dir);
    out = run_in_process(dir.path(), project, after_pass);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      if (!entry.is_regular_file()) continue;
      const std::string name = fs::relative(entry.path(), dir.path()).generic_string();
      if (std::find(std::begin(inputs), std::end(inputs), name) != std::end(inputs)) continue;
      files[name] = test_support::read_file(entry.path().string());
    }
  }
  const std::string& summary() { return files["basin_summary.out"]; }
};

// Each class of the land's sediment block closes: eroded = deposited +
// suspended + into channels (+ to the lakes for the fines), printed so.
void expect_sediment_classes_close(const std::string& block) {
  for (const char* k : {"1", "2", "3"}) {
    const std::string c(k);
    SCOPED_TRACE("sediment " + c);
    const double eroded = summary_value(block, "Total sediment " + c + " eroded from surface:");
    EXPECT_GT(eroded, 10.0);
    double accounted = summary_value(block, "Total sediment " + c + " deposited on surface:") +
                       summary_value(block, "Total sediment " + c + " remaining in suspension:") +
                       summary_value(block, "Total sediment " + c + " transported into channels:");
    if (c != "3") accounted += summary_value(block, "Net sediment " + c + " from overland to lakes:");
    EXPECT_NEAR(accounted, eroded, 1e-7);
    EXPECT_EQ(summary_value(block, "Mass balance error for sediment " + c), 0.0);
  }
}

TEST(basin_example, writes_the_same_files_at_one_two_three_four_and_eight_threads) {
  basin_run one(1);
  ASSERT_EQ(one.out.status, 0) << one.out.text;
  // The run's own timing differs by nature.
  one.files.erase("out_time.out");
  one.files["basin_summary.out"] = summary_without_times(one.summary());
  std::vector<std::string> names;
  for (const auto& [name, text] : one.files) names.push_back(name);
  for (const char* expected :
       {"basin_summary.out", "basin_outlet.hyd", "basin_outlet.sed", "basin_streams.hyd",
        "basin_chan_depth.out", "basin_chan_discharge.out", "basin_chan_stage.out",
        "basin_lake.out", "evap_out", "maps/depth.0006.asc", "maps/swe.0006.asc",
        "maps/rain.0002.asc", "maps/gw_head.0006.asc", "maps/net_sed_volume.0006.asc"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  for (int threads : {2, 3, 4, 8}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    basin_run many(threads);
    ASSERT_EQ(many.out.status, 0) << many.out.text;
    many.files.erase("out_time.out");
    many.files["basin_summary.out"] = summary_without_times(many.summary());
    ASSERT_EQ(one.files.size(), many.files.size());
    for (const auto& [name, text] : one.files) {
      ASSERT_TRUE(many.files.count(name)) << name;
      EXPECT_FALSE(text.empty()) << name;
      EXPECT_TRUE(text == many.files[name]) << name << " differs from 1 thread's";
    }
  }
}

TEST(basin_example, every_balance_of_the_summary_closes) {
  basin_run run(1);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  const std::string& s = run.summary();
  // Water came in, ran out, soaked in and fell as snow.
  EXPECT_GT(summary_value(s, "Total amount of precip="), 100000.0);
  EXPECT_GT(summary_value(s, "Total amount of discharge="), 10000.0);
  EXPECT_GT(summary_value(s, "Total amount of infiltration="), 10000.0);
  EXPECT_GT(summary_value(s, "Final volume of snow="), 10000.0);
  EXPECT_GT(summary_value(s, "Total flux from gw to river="), 0.0);
  EXPECT_GT(summary_value(s, "Volume of flow into lakes="), 0.0);
  // The water balances print 0 to their last digit: the seepage the
  // aquifer gives up only at its next step is in the channels already, and
  // counting it twice shows in the overall and the surface balance.
  for (const char* label :
       {"Overall mass balance error =", "Mass balance error of surface components =",
        "Simple soil moisture mass balance ="})
    EXPECT_LT(std::fabs(summary_value(s, label)), 1e-6) << label;
  for (const char* label :
       {"Mass Balance error =", "Mass conservation error for wash load:",
        "Mass conservation error for sand load:", "Overall channel sediment mass cons. error:"})
    EXPECT_LT(std::fabs(summary_value(s, label)), 0.01) << label;
  EXPECT_EQ(summary_value(s, "Perennial lake mass bal error m^3="), 0.0);

  // The land's classes, from the run's totals (the last block of the
  // summary). The sand that reaches the lake stays on the cells of its edge;
  // the fines the lake settles lie on its cells but count once, among what
  // the land sent to the lake or the channels: every class closes to its
  // last printed digit.
  const std::string totals = s.substr(s.rfind("Overland Sediment Summary"));
  expect_sediment_classes_close(totals);
  EXPECT_GT(summary_value(totals, "Total vol of SS settled in lake"), 1.0);
}

// The whole meteorology, two storms, with the aquifer stepping hourly while
// the channels trade with it every few seconds. Each event counts the
// exchange the channels made during it, though the aquifer books an hour of
// it late (across the event's start and its end), and the water the lake
// evaporated: each event's balance closes to its last printed digit.
TEST(basin_example, each_event_balances_with_an_hourly_aquifer_and_the_lake_evaporating) {
  basin_run run(1, "basin.prj", 0, 3600);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  const std::string& s = run.summary();
  std::vector<std::size_t> events;
  for (std::size_t at = s.find("LONG-TERM RUNOFF SIMULATION SUMMARY"); at != std::string::npos;
       at = s.find("LONG-TERM RUNOFF SIMULATION SUMMARY", at + 1))
    events.push_back(at);
  ASSERT_EQ(events.size(), 2u);
  double evaporated = 0.0;
  for (std::size_t k = 0; k < events.size(); ++k) {
    SCOPED_TRACE(k + 1);
    const std::string event = s.substr(events[k], k + 1 < events.size()
                                                      ? events[k + 1] - events[k]
                                                      : std::string::npos);
    EXPECT_LT(std::fabs(summary_value(event, "mass conservation error:")), 1e-6);
    EXPECT_NEAR(summary_value(event, "Mass input + original mass:"),
                summary_value(event, "Mass output + final mass:"), 1e-6);
    const double lake = summary_value(event, "volume of lake evaporation:");
    EXPECT_GT(lake, 10.0);
    evaporated += lake;
    EXPECT_GT(summary_value(event, "volume of gw to chan:"), 100.0);
  }
  // The lake evaporates between the storms too.
  EXPECT_LT(evaporated, summary_value(s, "Volume of lake evap="));
  EXPECT_LT(std::fabs(summary_value(s, "Overall mass balance error =")), 1e-6);
  EXPECT_LT(std::fabs(summary_value(s, "Mass balance error of surface components =")), 1e-6);
}

// The pack laid by the cold front of the 10th melts on the 11th. The melt
// is wet time: it runs off to the channels and soaks in, so that by noon of
// the 12th, before the storm, no cell outside the lake holds more than its
// retention (waiting for the storm, some 15000 m3 stood on 441 cells).
TEST(basin_example, the_thaw_runs_off_before_the_storm_and_every_sediment_class_closes) {
  double melted_by_noon = 0.0;   // m3, the pack's melt up to 12:00 on the 12th
  double standing = 0.0;         // m3 above the retention depths then
  int cells_above = 0;
  bool taken = false;
  auto watch = [&](model_state& s) {
    const run_control& run = s.run;
    if (taken || run.day != 12 || run.hour < 12) return;
    taken = true;
    melted_by_noon = s.soil.snow.melt_volume;
    standing = 0.0;
    cells_above = 0;
    const std::vector<int>& lake = s.channel.lake_mask;
    for (int i = 1; i <= s.grid.cells; ++i) {
      if (!lake.empty() && lake[i] > 0) continue;
      const double above = s.surface.depth[i] - s.surface.retent_dep[i];
      if (above > 1e-6) {
        ++cells_above;
        standing += above * s.grid.dx * s.grid.dx;
      }
    }
  };
  basin_run run(1, "basin.prj", 0, 0, watch);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  EXPECT_GT(melted_by_noon, 10000.0);
  // Both events' and the run's sediment blocks close too, with the lake
  // settling fines long after the land last moved soil.
  const std::string& text = run.summary();
  for (std::size_t at = text.find("Overland Sediment Summary"); at != std::string::npos;
       at = text.find("Overland Sediment Summary", at + 1))
    expect_sediment_classes_close(text.substr(at, text.find("Mass balance error for sediment 3", at) + 60 - at));
  EXPECT_LT(standing, 1e-3 * melted_by_noon);
  EXPECT_EQ(cells_above, 0);
  const std::string& s = run.summary();
  for (const char* label :
       {"Overall mass balance error =", "Mass balance error of surface components ="})
    EXPECT_LT(std::fabs(summary_value(s, label)), 1e-6) << label;
}

// The basin's table raised to 5 cm below the ground, and 3 cm over it along
// the valley's flanks (rows 9 and 11): the cells at the table hand their
// soil water to the aquifer, and their emptied layers must not give the
// plants water back. The overall, surface and aquifer lines of the run and
// both events' lines close to their last digit; the simple soil-moisture
// line comes within 0.05 percent (it read -5041 percent when
// evapotranspiration booked the emptied layers' residual water as a
// negative withdrawal every hour: 7.26e6 m3 of it, and as much again of
// downward flux).
TEST(basin_example, a_table_risen_into_the_soil_and_over_the_ground_keeps_the_books) {
  auto raise_table = [](const test_support::temp_dir& dir) {
    const std::vector<std::string> lines =
        test_support::lines_of(test_support::read_file(dir.file("elevation.asc")));
    std::string table;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      if (k < 6) {
        table += lines[k] + "\n";
        continue;
      }
      std::istringstream row(lines[k]);
      double z = 0.0;
      const bool flank = k == 6 + 8 || k == 6 + 10;
      while (row >> z) table += std::to_string(flank ? z + 0.03 : z - 0.05) + " ";
      table += "\n";
    }
    dir.write("table.asc", table);
  };
  basin_run run(1, "basin.prj", 0, 0, nullptr, raise_table);
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  const std::string& s = run.summary();
  EXPECT_GT(summary_value(s, "Total amount of exfiltration="), 1000.0);
  EXPECT_GT(summary_value(s, "Total amount of evaporation="), 0.0);
  EXPECT_LT(summary_value(s, "Total downward flux from unsaturated zone="),
            summary_value(s, "Total amount of precip="));
  for (const char* label : {"Overall mass balance error =",
                            "Mass balance error of surface components =", "Mass Balance error ="})
    EXPECT_LT(std::fabs(summary_value(s, label)), 1e-6) << label;
  EXPECT_LT(std::fabs(summary_value(s, "Simple soil moisture mass balance =")), 0.05);
  int events = 0;
  for (std::size_t at = s.find("mass conservation error:"); at != std::string::npos;
       at = s.find("mass conservation error:", at + 1), ++events)
    EXPECT_LT(std::fabs(summary_value(s.substr(at), "mass conservation error:")), 1e-6);
  EXPECT_EQ(events, 2);
}

// 2 and 5 g/m3 in the rain: the mass each constituent gains is its
// concentration times the precipitation volume, and what it loses (soaked in,
// sent to the streams and the lake, decayed, left on the land) closes on it;
// what the cells give the lake is what the lake gains, and the channel, lake
// and global balances close as well.
TEST(basin_example, the_tracers_variant_carries_its_constituents_through_the_lake) {
  basin_run run(1, "basin_tracers.prj");
  ASSERT_EQ(run.out.status, 0) << run.out.text;
  // Every file of the variant lies in its own folder, the fixed names too.
  for (const auto& [name, text] : run.files)
    EXPECT_EQ(name.rfind("tracers/", 0), 0u) << name << " lies outside tracers/";
  for (const char* name : {"tracers/evap_out", "tracers/maskmap", "tracers/hotstart_file"})
    EXPECT_TRUE(run.files.count(name)) << name;
  const std::string& s = run.files["tracers/tracers_summary.out"];
  const double rain = summary_value(s, "Total amount of precip=");
  EXPECT_GT(rain, 100000.0);
  struct constituent {
    const char* header;
    const char* number;
    double conc;  // g/m3
    bool decays;
  };
  for (const constituent& c : {constituent{"Constituent     1 (Tracer)", "1", 2.0, false},
                               constituent{"Constituent     2 (Decaying)", "2", 5.0, true}}) {
    SCOPED_TRACE(c.header);
    const std::size_t at = s.rfind(std::string("Overland Constituent Transport Summary for ") +
                                   c.header);
    ASSERT_NE(at, std::string::npos);
    const std::string part = s.substr(at);
    const double decayed = summary_value(part, "Mass decay loss on overland");
    if (c.decays) EXPECT_GT(decayed, 1.0);
    else EXPECT_EQ(decayed, 0.0);
    EXPECT_GT(summary_value(part, "Mass loss to stream"), 10.0);
    const double to_lake = summary_value(part, "Lateral flow to lake");
    EXPECT_GT(to_lake, 0.1);
    EXPECT_EQ(summary_value(part, "Contam mass balance error"), 0.0);

    const std::string tail = std::string("Summary for Contaminant     ") + c.number;
    const std::string chan = s.substr(s.rfind("Channel Contaminant Transport " + tail));
    EXPECT_EQ(summary_value(chan, "Dissolved mass balance error"), 0.0);
    const std::string lake =
        s.substr(s.rfind(std::string("Lake Contaminant Transport Summary for Constituent     ") +
                         c.number));
    EXPECT_NEAR(summary_value(lake, "Mass gain from overland"), to_lake, 0.01);
    EXPECT_GT(summary_value(lake, "Mass channel trib inflow"), 0.0);
    EXPECT_EQ(summary_value(lake, "Contam mass balance error"), 0.0);
    const std::string global = s.substr(s.rfind("Transport Global " + tail));
    // The rain on the land and on the lake.
    EXPECT_NEAR(summary_value(global, "Precipitation inputs"), c.conc * rain / 1000.0, 0.006);
    EXPECT_EQ(summary_value(global, "Contam mass balance error"), 0.0);
  }
}

}  // namespace
