// The program's results are replaced whole or not at all. The bundled basin
// is run once to leave a result set (hydrographs, link/node files, lake
// output, maps, the groundwater hot start, the summary); then runs that fail
// at start-up and runs stopped by SIGINT or SIGTERM in the middle of their
// time loop must leave every one of those files byte for byte as it was.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "surface/surface_run_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;

// Every file below dir, by relative path.
std::map<std::string, std::string> files_of(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), dir).generic_string()] = read_file(entry.path().string());
  return files;
}

std::vector<std::string> partial_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& [name, text] : files_of(dir))
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".partial") == 0) names.push_back(name);
  return names;
}

// The basin with its meteorology cut to the first hours, in a fresh folder.
struct basin_copy {
  temp_dir dir;
  explicit basin_copy(std::size_t hours) {
    dir.copy_files_of(fs::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "basin");
    fs::create_directory(dir.path() / "maps");
    set_hours(hours);
    // Maps every hour, so the set holds many of them.
    edit_project({"MAP_FREQ"}, "MAP_FREQ 60\n");
  }
  void set_hours(std::size_t hours) {
    const fs::path from = fs::path(VALTO_FIXTURES_DIR) / ".." / ".." / "examples" / "basin";
    const std::vector<std::string> lines =
        test_support::lines_of(read_file((from / "hmet.zep").string()));
    std::string kept;
    for (std::size_t h = 0; h < lines.size() && h < hours; ++h) kept += lines[h] + "\n";
    dir.write("hmet.zep", kept);
  }
  void edit_project(const std::vector<std::string>& drop, const std::string& cards) {
    dir.write("basin.prj",
              surface_fixture::edit_cards(read_file(dir.file("basin.prj")), drop, cards));
  }
};

// The program started on the project in dir; after the output shows the
// time loop running, the signal is sent and the rest of the output read.
test_support::program_result run_and_signal(const fs::path& dir, int sig) {
  int out[2];
  if (pipe(out) != 0) return {-1, "no pipe"};
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int none = open("/dev/null", O_RDONLY);
    dup2(none, 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    close(out[1]);
    execl(VALTO_BINARY, VALTO_BINARY, "basin.prj", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  test_support::program_result result{-1, {}};
  bool sent = false;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) {
    result.output.append(buf, std::size_t(n));
    // The screen output is buffered; once the set-up's lines have come
    // through, the loop has run for a good many steps.
    if (!sent && result.output.find("Running....\n") != std::string::npos) {
      kill(pid, sig);
      sent = true;
    }
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class output_commit : public ::testing::Test {
 protected:
  // A short run of the basin leaves the result set the later runs must keep.
  void SetUp() override {
    const auto first = test_support::run_program("basin.prj", basin.dir.path());
    ASSERT_EQ(first.status, 0) << first.output.substr(0, 3000);
    before = files_of(basin.dir.path());
    ASSERT_TRUE(partial_files(basin.dir.path()).empty());
    for (const char* name : {"basin_summary.out", "basin_outlet.hyd", "basin_streams.hyd",
                             "basin_chan_depth.out", "basin_lake.out", "hotstart_file"})
      ASSERT_FALSE(before[name].empty()) << name;
    std::size_t maps = 0;
    for (const auto& [name, text] : before) maps += name.rfind("maps/", 0) == 0 ? 1 : 0;
    ASSERT_GT(maps, 10u);
  }

  // Every file of the first run is as it was; out_time.out gains a line a
  // run, as it always has.
  void expect_results_untouched() {
    const auto after = files_of(basin.dir.path());
    for (const auto& [name, text] : before) {
      if (name == "out_time.out" || name == "hmet.zep" || name == "basin.prj" || name == "ks.asc")
        continue;
      auto found = after.find(name);
      ASSERT_NE(found, after.end()) << name;
      EXPECT_TRUE(found->second == text) << name << " changed";
    }
  }

  basin_copy basin{6};
  std::map<std::string, std::string> before;
};

struct start_up_failure {
  const char* label;
  std::function<void(basin_copy&)> edit;
  std::string message;
};

TEST_F(output_commit, a_run_that_fails_at_start_up_leaves_the_last_results_and_no_new_file) {
  const std::string ks = read_file(basin.dir.file("ks.asc"));
  const std::vector<start_up_failure> cases = {
      {"a word in a soil map read after the outputs are opened",
       [&](basin_copy& b) {
         std::string text = ks;
         text.replace(text.rfind(' '), 1, " x ");
         b.dir.write("ks.asc", text);
       },
       "ks.asc"},
      {"no OUTLET_HYDRO card",
       [](basin_copy& b) { b.edit_project({"OUTLET_HYDRO"}, ""); },
       "Error: the project file basin.prj has no OUTLET_HYDRO card, which names the output "
       "hydrograph file.\n"},
  };
  for (const start_up_failure& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string project = read_file(basin.dir.file("basin.prj"));
    c.edit(basin);
    const auto run = test_support::run_program("basin.prj", basin.dir.path());
    EXPECT_EQ(run.status, 1) << run.output.substr(0, 3000);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output.substr(0, 3000);
    expect_results_untouched();
    EXPECT_EQ(files_of(basin.dir.path()).size(), before.size());
    basin.dir.write("basin.prj", project);
    basin.dir.write("ks.asc", ks);
  }
}

TEST_F(output_commit, a_run_stopped_by_an_error_in_its_time_loop_leaves_the_last_results) {
  // A negative depth of the first event's second period is met when the
  // event is read, an hour into the run.
  const std::string rain = read_file(basin.dir.file("rain.gag"));
  std::string bad = rain;
  for (std::size_t at; (at = bad.find("RATES 2001 3 10 ")) != std::string::npos;)
    bad.replace(at, 5, "GAGES");
  const std::size_t at = bad.find("GAGES 2001 3 10 3 0 8 ");
  ASSERT_NE(at, std::string::npos);
  bad.replace(at, 22, "GAGES 2001 3 10 3 0 -8 ");
  basin.dir.write("rain.gag", bad);
  const auto run = test_support::run_program("basin.prj", basin.dir.path());
  EXPECT_EQ(run.status, 1) << run.output.substr(0, 3000);
  EXPECT_NE(run.output.find("You have a negative precip value for gage 1, rain period 1\n"),
            std::string::npos);
  basin.dir.write("rain.gag", rain);
  expect_results_untouched();
  const auto files = files_of(basin.dir.path());
  EXPECT_EQ(files.count("basin_outlet.hyd.partial"), 1u);
  const std::string summary = files.at("basin_summary.out.partial");
  EXPECT_NE(summary.find("You have a negative precip value"), std::string::npos);
  EXPECT_EQ(files.count("hotstart_file.partial"), 0u);
}

struct interrupt_case {
  int sig;
  int status;
  const char* name;
};

TEST_F(output_commit, an_interrupted_run_stops_at_a_step_end_and_leaves_its_files_partial) {
  basin.set_hours(96);
  for (const interrupt_case& c : {interrupt_case{SIGINT, 130, "SIGINT"},
                                  interrupt_case{SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(c.name);
    const auto run = run_and_signal(basin.dir.path(), c.sig);
    EXPECT_EQ(run.status, c.status) << run.output.substr(run.output.size() - 3000);
    expect_results_untouched();
    const auto files = files_of(basin.dir.path());
    for (const char* name : {"basin_summary.out.partial", "basin_outlet.hyd.partial",
                             "basin_chan_depth.out.partial", "basin_lake.out.partial"})
      EXPECT_EQ(files.count(name), 1u) << name;
    std::size_t maps = 0;
    for (const std::string& name : partial_files(basin.dir.path()))
      maps += name.rfind("maps/", 0) == 0 ? 1 : 0;
    EXPECT_GT(maps, 0u);
    const std::string summary = files.at("basin_summary.out.partial");
    EXPECT_NE(summary.find(std::string("The run was interrupted (") + c.name + ") at the end of step"),
              std::string::npos)
        << summary.substr(summary.size() > 2000 ? summary.size() - 2000 : 0);
    EXPECT_NE(summary.find("Its files are left under their names with \".partial\" added; the "
                           "files of the previous run are untouched.\n"),
              std::string::npos);
    // The hot start is written at a run's end only: an interrupted run
    // has none, and the last run's stays the only one.
    EXPECT_EQ(files.count("hotstart_file.partial"), 0u);
  }
  // A run that then ends normally moves its whole set into place.
  basin.set_hours(6);
  const auto again = test_support::run_program("basin.prj", basin.dir.path());
  ASSERT_EQ(again.status, 0) << again.output.substr(0, 3000);
  const auto files = files_of(basin.dir.path());
  for (const auto& [name, text] : before) {
    if (name == "out_time.out") continue;
    EXPECT_EQ(files.count(name + ".partial"), 0u) << name;
  }
}

}  // namespace
