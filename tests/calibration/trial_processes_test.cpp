// Trials dealt out to MPI processes, run as the whole program under mpirun on
// the calib10 project: whatever the number of processes, every results file
// is the one the plain single-process run writes. Skipped in a build without
// MPI.

#include <gtest/gtest.h>

#include <string>
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
  const mode_case cases[] = {{"-m20 mc.in", &mc_files}, {"-s mc.in", &mc_files}, {"-c sce.in", &sce_files}};
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

}  // namespace
