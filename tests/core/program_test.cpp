// The program as a user starts it: banner, usage, modes, exit status and the
// web wrapping. The program is started under an explicit name, so that no
// test depends on the name of the build directory.

#include <gtest/gtest.h>
#include <omp.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/command_line.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::temp_dir;

struct program_run {
  int status;
  std::string output;
};

// Runs the program as `name args` in dir, with env settings and stdin_text
// on standard input.
program_run run_as(const std::string& name, const std::string& args, const std::string& dir,
                   const std::string& env = "", const std::string& stdin_text = "") {
  std::string cmd = "cd '" + dir + "' && printf '%s' '" + stdin_text + "' | " + env +
                    (env.empty() ? "" : " ") + "bash -c 'exec -a " + name + " \"$0\" \"$@\"' '" +
                    VALTO_BINARY + "' " + args + " 2>&1";
  program_run result{-1, {}};
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return result;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

program_run run_valto(const std::string& args, const temp_dir& dir) {
  return run_as("valto", args, dir.path().string());
}

const std::string banner_start = "Parallel version of VALTO (5.7a) with SCE (OpenMP), ";

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

std::string after_first_line(const std::string& text) {
  return text.substr(text.find('\n') + 1);
}

std::string usage_text() {
  return "\n"
         "Usage: valto [-option] [inputfile]\n"
         "\n"
         " where -option is one of:\n"
         "      -c = SCE calibration mode (input file is the calibration control file)\n"
         "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
         "      -b = batch mode (input file is the batch control file)\n"
         "      -s = sensitivity mode (input file is the sensitivity control file)\n"
         "      -v = display version information (no project will be run)\n"
         "      -h = display the start-up line only (no project will be run)\n"
         "  The c, m, b, and v commands are optional and if not present the input file is\n"
         " treated as the project file\n"
         "\n"
         "  For the -b option, the command line should be:\n"
         "      valto -b[num_batch] valto_inputfile\n"
         "  (the project num_batch times, 1 when no number is given, run k taking line k\n"
         "  of the project's replacement value file; each run's files are prefixed\n"
         "  0000_, 0001_, ...)\n"
         "\n"
         "  For the -c option, the command line should be:\n"
         "      valto -c sce_inputfile\n"
         "  (an SCE-UA search of the parameters of a replacement list, each trial one\n"
         "  whole run scored against the observed event peaks and volumes)\n"
         "\n"
         "  For the -m option, the command line should be:\n"
         "      valto -m[num_batch] mc_inputfile\n"
         "  (num_batch trials, 1 when no number is given, each drawing its parameters\n"
         "  between the input file's bounds)\n"
         "\n"
         "  For the -s option, the command line should be:\n"
         "      valto -s sen_inputfile\n"
         "  (500 trials over the bounds of a Monte Carlo input file)\n"
         "\n"
         "  The -t option (and -tv) is not a mode of this version: it prints this text.\n"
         "\n"
         "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, mc_intputfile is\n"
         "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n"
         "  Each trial prints one line: its number, its values and its cost.\n"
         "\n";
}

TEST(program, without_arguments_prints_the_banner_and_the_usage_text) {
  temp_dir dir;
  const program_run r = run_valto("", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(first_line(r.output).rfind(banner_start, 0), 0u);
  EXPECT_NE(first_line(r.output).find(" total threads.\n"), std::string::npos);
  EXPECT_EQ(after_first_line(r.output), usage_text());
}

// The banner shows the thread count the loops will use: the user's
// OMP_NUM_THREADS where it is a count, else one thread per processor that
// other work leaves free (at least one; the tests themselves keep the
// machine busy).
TEST(program, the_thread_count_follows_omp_num_threads_where_it_is_a_count) {
  temp_dir dir;
  const struct {
    const char* env;
    std::string banner_end;
  } cases[] = {
      {"OMP_NUM_THREADS=1", "1 total threads.\n"},
      {"OMP_NUM_THREADS=3", "3 total threads.\n"},
      {"OMP_NUM_THREADS=2,1", "2 total threads.\n"},
      {"OMP_NUM_THREADS=0", ""},
      {"OMP_NUM_THREADS=many", ""},
      {"env -u OMP_NUM_THREADS", ""},
  };
  for (const auto& c : cases) {
    const program_run r = run_as("valto", "-v x", dir.path().string(), c.env);
    // The runtime warns of a value it refuses before the banner.
    ASSERT_NE(r.output.find(banner_start), std::string::npos) << c.env;
    const std::string line = first_line(r.output.substr(r.output.find(banner_start)));
    if (c.banner_end.empty()) {
      const std::size_t end = line.rfind(" total threads.\n");
      ASSERT_NE(end, std::string::npos) << c.env;
      const int count = std::atoi(line.substr(line.rfind(' ', end - 1) + 1).c_str());
      EXPECT_GE(count, 1) << c.env;
      EXPECT_LE(count, omp_get_num_procs()) << c.env;
      continue;
    }
    EXPECT_EQ(line.substr(line.size() - std::min(line.size(), c.banner_end.size())), c.banner_end)
        << c.env;
  }
}

TEST(program, an_unknown_option_gets_the_usage_text_and_status_0) {
  temp_dir dir;
  const program_run r = run_valto("-t x", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_first_line(r.output), usage_text());
}

TEST(program, version_and_no_action_modes) {
  temp_dir dir;
  const program_run v = run_valto("-v x", dir);
  EXPECT_EQ(v.status, 0);
  const std::string block = after_first_line(v.output);
  EXPECT_EQ(block.rfind("\n    -- VALTO version 5.70a --\n \n", 0), 0u);
  EXPECT_EQ(block.substr(block.size() - 3), "\n \n");

  const program_run h = run_valto("-h x", dir);
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(after_first_line(h.output), "");
}

TEST(program, calibration_modes_without_their_input_end_with_status_1) {
  temp_dir dir;
  struct refusal {
    const char* args;
    const char* tail;  // the last line printed
  };
  const refusal cases[] = {
      {"-c sce.in", "Error: unable to successfully run the SCE method\n"},
      {"-cfoo sce.in", "Error: unable to successfully run the SCE method\n"},
      {"-m5 mc.in", "Error: unable to read the input monte carlo file.\n"},
      {"-sx sen.in", "Error: unable to read the input monte carlo file.\n"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.args);
    const program_run r = run_valto(c.args, dir);
    EXPECT_EQ(r.status, 1);
    const std::string tail(c.tail);
    ASSERT_GE(r.output.size(), tail.size());
    EXPECT_EQ(r.output.substr(r.output.size() - tail.size()), tail);
  }
  EXPECT_NE(run_valto("-c sce.in", dir).output.find("Can't open SCE input file sce.in\n"),
            std::string::npos);
}

TEST(program, batch_of_zero_runs_nothing) {
  temp_dir dir;
  const program_run r = run_valto("-b0 p.prj", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_first_line(r.output),
            "VALTO is running in batch mode, and is running 0 runs...\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out_time.out"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "0000_out_time.out"));
}

// Every run is made and timed, and the batch's status reports the failures.
TEST(program, a_batch_keeps_going_after_failed_runs_and_times_each) {
  temp_dir dir;
  const program_run r = run_valto("-b3 missing.prj", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("VALTO is running in batch mode, and is running 3 runs...\n"),
            std::string::npos);
  for (const char* name : {"0000_out_time.out", "0001_out_time.out", "0002_out_time.out"}) {
    SCOPED_TRACE(name);
    const std::string timing = read_file(dir.file(name));
    EXPECT_EQ(timing.rfind("total time (s): ", 0), 0u);
    EXPECT_EQ(timing.find('\n'), timing.size() - 1);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "0003_out_time.out"));
}

TEST(program, a_failed_single_run_exits_1_and_still_records_its_time) {
  temp_dir dir;
  const program_run r = run_valto("missing.prj", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Error: The specified project file was not found.\n"), std::string::npos);
  EXPECT_NE(r.output.find("Run time:"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("out_time.out")).rfind("total time (s): ", 0), 0u);
}

const std::string web_head =
    "Content-Type:text/text;charset=iso-8859-1\r\n\n<title>VALTO Test Case</title><body><P> Web "
    "version of VALTO (5.7a) with SCE starting...</P><P>";
const std::string web_error = "<P>Error in invocation - wrong FORM probably.";

TEST(program, under_a_web_name_the_request_is_echoed_inside_the_cgi_response) {
  temp_dir dir;
  const std::string d = dir.path().string();
  const program_run r = run_as("/srv/cgi/valto_web", "-h x", d, "CONTENT_LENGTH=5", "hello");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, web_head + "hello</P></body>\n");

  // Only as much as CONTENT_LENGTH says is read, and never past a newline.
  const program_run cut = run_as("webvalto", "-h x", d, "CONTENT_LENGTH=3", "hello");
  EXPECT_EQ(cut.output, web_head + "hel</P></body>\n");
}

TEST(program, a_bad_content_length_gives_the_error_line) {
  temp_dir dir;
  const std::string d = dir.path().string();
  for (const char* env : {"", "CONTENT_LENGTH=abc", "CONTENT_LENGTH=-5", "CONTENT_LENGTH=1025"}) {
    SCOPED_TRACE(env);
    const program_run r = run_as("valto_web", "-h x", d, env, "hello");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, web_head + web_error + "</P></body>\n");
  }
}

TEST(program, a_request_of_1024_characters_fits) {
  temp_dir dir;
  const std::string request(1024, 'q');
  const program_run r =
      run_as("valto_web", "-h x", dir.path().string(), "CONTENT_LENGTH=1024", request);
  EXPECT_EQ(r.output, web_head + request + "</P></body>\n");
}

struct parse_case {
  std::vector<const char*> args;
  int count;
  int mode;
  const char* file;
};

TEST(parse_command_line, the_first_two_characters_choose_the_mode) {
  const parse_case cases[] = {
      {{"valto", "p.prj"}, 1, mode_single, "p.prj"},
      {{"valto", "-v"}, 1, mode_single, "-v"},  // a lone argument is a project file
      {{"valto", "-v", "x"}, 1, mode_version, ""},
      {{"valto", "-h", "x"}, 1, mode_no_action, "x"},
      {{"valto", "-b", "b.in"}, 1, mode_batch, "b.in"},
      {{"valto", "-bx", "b.in"}, 1, mode_batch, "b.in"},
      {{"valto", "-b3", "b.in", "extra"}, 3, mode_batch, "b.in"},
      {{"valto", "-m20", "m.in"}, 20, mode_montecarlo, "m.in"},
      // No run would be made, yet the mode would end as if it succeeded.
      {{"valto", "-m0", "m.in"}, -2, mode_none, ""},
      {{"valto", "-m-5", "m.in"}, -2, mode_none, ""},
      {{"valto", "-cfoo", "c.in"}, 1, mode_sce, "c.in"},
      {{"valto", "-sx", "s.in"}, 1, mode_sensitivity, "s.in"},
      {{"valto", "-t", "x"}, -1, mode_none, ""},
      {{"valto", "p.prj", "x"}, -1, mode_none, ""},
  };
  for (const parse_case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    command_line cmd;
    testing::internal::CaptureStdout();
    const int count = parse_command_line(static_cast<int>(c.args.size()),
                                         const_cast<char**>(c.args.data()), cmd);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(cmd.mode, c.mode);
    EXPECT_STREQ(cmd.filename, c.file);
  }
}

TEST(parse_command_line, a_file_name_of_1024_characters_is_refused) {
  const std::string name(1024, 'f');
  const char* args[] = {"valto", name.c_str()};
  command_line cmd;
  testing::internal::CaptureStdout();
  const int count = parse_command_line(2, const_cast<char**>(args), cmd);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(count, -2);
  EXPECT_EQ(out, "Error: the file name on the command line is longer than 1023 characters.\n");

  temp_dir dir;
  const program_run r = run_valto(name, dir);
  EXPECT_EQ(r.status, 1);
}

}  // namespace
