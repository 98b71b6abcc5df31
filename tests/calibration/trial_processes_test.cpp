// Trials dealt out to MPI processes, run as the whole program under mpirun on
// the calib10 project: whatever the number of processes, every results file
// is the one the plain single-process run writes. Skipped in a build without
// MPI.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calib_test_support.h"
#include "test_support.h"

namespace {

using calib_test::work_folder;
using test_support::lines_of;
using test_support::program_result;
using test_support::run_program;

#ifdef VALTO_MPIRUN
// The launcher goes in front of the program; root may start it here (the CI
// runs as root), and the ranks may outnumber the processors.
program_result run_processes(int n, const std::string& args, const work_folder& dir) {
  const std::string launcher = "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 '" +
                               std::string(VALTO_MPIRUN) + "' --oversubscribe --bind-to none -np " +
                               std::to_string(n);
  return run_program(args, dir.path(), launcher);
}
#endif

void skip_without_mpi() {
#ifndef VALTO_MPIRUN
  GTEST_SKIP() << "valto is built without MPI";
#endif
}

const std::vector<std::string> mc_files{"0000_log_file_p0.log", "0000_best.out",
                                        "0000_results_all.out", "0000_0_cost.out",
                                        "0000_0_obs.log"};
const std::vector<std::string> sce_files{"sce_output.out",       "0000_sce_log_file.txt",
                                         "0000_sce_best.out",    "0000_results_all.out",
                                         "0000_0_cost.out",      "0000_0_obs.log"};

TEST(trial_processes, results_files_are_those_of_one_process_at_any_count) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  struct mode_case {
    const char* args;
    const std::vector<std::string>* files;
  };
  const mode_case cases[] = {{"-m20 mc.in", &mc_files}, {"-s mc.in", &mc_files}};
  for (const mode_case& c : cases) {
    SCOPED_TRACE(c.args);
    work_folder plain;
    plain.copy_calib10();
    ASSERT_EQ(run_program(c.args, plain.path()).status, 0);
    for (int n : {1, 2, 3}) {
      SCOPED_TRACE(n);
      work_folder dir;
      dir.copy_calib10();
      const program_result r = run_processes(n, c.args, dir);
      ASSERT_EQ(r.status, 0) << r.output;
      for (const std::string& name : *c.files) EXPECT_EQ(dir.read(name), plain.read(name)) << name;
    }
  }
#endif
}

// The search's start population is scored as one process scores it; from two
// processes on, its complexes evolve side by side, each on a stream of its
// own, and the search is the same at any count. One process under the
// launcher searches as the plain run does.
TEST(trial_processes, a_search_is_the_same_at_any_count_of_processes_from_two) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  work_folder plain;
  plain.copy_calib10();
  ASSERT_EQ(run_program("-c sce.in", plain.path()).status, 0);
  std::vector<std::unique_ptr<work_folder>> runs;
  for (int n : {1, 2, 3}) {
    runs.push_back(std::make_unique<work_folder>());
    runs.back()->copy_calib10();
    const program_result r = run_processes(n, "-c sce.in", *runs.back());
    ASSERT_EQ(r.status, 0) << n << "\n" << r.output;
    EXPECT_NE(r.output.find("The best results of the SCE calibration after"), std::string::npos);
  }
  for (const std::string& name : sce_files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(runs[0]->read(name), plain.read(name));
    EXPECT_EQ(runs[2]->read(name), runs[1]->read(name));
  }
  // Two complexes of three points: the log's heading and six trials.
  const std::vector<std::string> one = lines_of(plain.read("0000_sce_log_file.txt"));
  const std::vector<std::string> two = lines_of(runs[1]->read("0000_sce_log_file.txt"));
  ASSERT_GT(one.size(), 7u);
  ASSERT_GT(two.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(two.begin(), two.begin() + 7),
            std::vector<std::string>(one.begin(), one.begin() + 7));
  EXPECT_NE(two, one) << "the complexes evolve on their own streams";
#endif
}

TEST(trial_processes, batch_runs_keep_their_own_prefixes) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  auto fixed_roughness = [](const work_folder& dir) {
    dir.copy_calib10();
    std::string project = dir.read("calib10.prj");
    project.replace(project.find("[MANN]"), 6, "0.08");
    dir.write("calib10.prj", project);
  };
  work_folder plain;
  fixed_roughness(plain);
  ASSERT_EQ(run_program("-b4 calib10.prj", plain.path()).status, 0);
  work_folder dir;
  fixed_roughness(dir);
  const program_result r = run_processes(3, "-b4 calib10.prj", dir);
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* run : {"0000_", "0001_", "0002_", "0003_"}) {
    const std::string name = std::string(run) + "outlet.hyd";
    EXPECT_FALSE(dir.read(name).empty()) << name;
    EXPECT_EQ(dir.read(name), plain.read(name)) << name;
  }
#endif
}

// Process 1 cannot write its hydrograph (a folder holds its name), so every
// trial it runs fails; the trials of processes 0 and 2 go on, and the run
// ends with all.
TEST(trial_processes, trials_that_fail_on_one_process_are_booked_and_the_run_completes) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  work_folder dir;
  dir.copy_calib10();
  std::filesystem::create_directory(dir.path() / "0001_outlet.hyd");
  std::filesystem::create_directory(dir.path() / "0001_outlet.hyd.partial");
  const program_result r = run_processes(3, "-m20 mc.in", dir);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Best objective function value"), std::string::npos);
  const std::vector<std::string> rows = lines_of(dir.read("0000_results_all.out"));
  ASSERT_EQ(rows.size(), 21u);
  int failed = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) failed += rows[i].rfind("999999.99", 0) == 0;
  // The first trials are dealt to process 1.
  EXPECT_GE(failed, 1);
  EXPECT_LT(failed, 20);
  EXPECT_EQ(lines_of(dir.read("0000_log_file_p0.log")).size(), 21u);
#endif
}

// Every trial fails on the processes that ran it: their first message comes
// back to process 0, which says why and fails.
TEST(trial_processes, a_run_whose_every_trial_failed_elsewhere_says_why) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  work_folder dir;
  dir.copy_calib10();
  dir.write("calib10.lst", "1\n[FOO] \"%10.6lf\"\n");
  const program_result r = run_processes(3, "-m6 mc.in", dir);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Error: all 6 trials failed; the first stopped with: Error: line 15 of "
                          "the project file calib10.prj"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("Best objective function value"), std::string::npos);
  EXPECT_EQ(lines_of(dir.read("0000_results_all.out")).size(), 7u);
#endif
}

#ifdef VALTO_MPIRUN
// The process of the given rank that runs in dir (the folder is the test's
// own, so nothing else runs there), or 0.
int rank_in(const std::filesystem::path& dir, int rank) {
  const std::string wanted = "OMPI_COMM_WORLD_RANK=" + std::to_string(rank);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code cwd_ec;
    if (std::filesystem::read_symlink(entry.path() / "cwd", cwd_ec) != dir || cwd_ec) continue;
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    for (std::string item; std::getline(environ, item, '\0');)
      if (item == wanted) return std::stoi(name);
  }
  return 0;
}

// Whether a process sleeps (its trials done, it waits on the others): its
// state read fifty times over half a second, asleep in nearly all.
bool sleeping(int pid) {
  int asleep = 0;
  for (int k = 0; k < 50; ++k) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos && close + 2 < text.size()) asleep += text[close + 2] == 'S';
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return asleep >= 45;
}
#endif

// Process 1's first trial waits for ever to open its hydrograph (a pipe
// with no reader holds its name); once process 0 has run the other two and
// waits, process 1 is killed. The launcher stops the run: process 0 names
// the trial process 1 held, keeps the two that finished and fails.
TEST(trial_processes, a_process_that_dies_ends_the_run_naming_its_trials_and_keeping_the_rest) {
  skip_without_mpi();
#ifdef VALTO_MPIRUN
  work_folder dir;
  dir.copy_calib10();
  ASSERT_EQ(mkfifo((dir.path() / "0001_outlet.hyd.partial").c_str(), 0600), 0);
  auto killer = std::async(std::launch::async, [&] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    int rank0 = 0, rank1 = 0;
    while (std::chrono::steady_clock::now() < give_up) {
      if (!rank0) rank0 = rank_in(dir.path(), 0);
      if (!rank1) rank1 = rank_in(dir.path(), 1);
      if (rank0 && rank1 && sleeping(rank0)) return kill(rank1, SIGKILL) == 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // A reader that comes and goes lets process 1 on, to its end.
    close(open((dir.path() / "0001_outlet.hyd.partial").c_str(), O_RDONLY | O_NONBLOCK));
    return false;
  });
  const program_result r = run_processes(2, "-m3 mc.in", dir);
  ASSERT_TRUE(killer.get()) << r.output;
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Error: the run was stopped while processes still held trials: trial 1 "
                          "on process 1. The results files hold every trial that finished."),
            std::string::npos)
      << r.output;
  EXPECT_EQ(lines_of(dir.read("0000_results_all.out")).size(), 3u) << dir.read("0000_results_all.out");
  EXPECT_EQ(lines_of(dir.read("0000_log_file_p0.log")).size(), 3u);
#endif
}

}  // namespace
