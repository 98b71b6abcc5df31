#include "core/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int web_mode = 0;

namespace {

constexpr int request_capacity = 1024;  // characters of a web request

// "-b3" and "-m20" carry the run count after the two mode characters.
void read_run_count(const char* arg, int& count) {
  int n = 0;
  if (std::sscanf(arg + 2, "%d", &n) == 1) count = n;
}

// A Monte Carlo count below 1 would draw no trial and still report a best
// vector: false after a message.
bool trial_count_usable(const char* arg, int count) {
  if (count >= 1) return true;
  std::printf("Error: the run count of -m must be 1 or more; %s was given.\n", arg);
  return false;
}

}  // namespace

void print_usage() {
  std::printf(
      "\nUsage: valto [-option] [inputfile]\n\n"
      " where -option is one of:\n"
      "      -c = SCE calibration mode (input file is the calibration control file)\n"
      "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
      "      -b = batch mode (input file is the batch control file)\n"
      "      -s = sensitivity mode (input file is the sensitivity control file)\n"
      "      -v = display version information (no project will be run)\n"
      "      -h = display the start-up line only (no project will be run)\n"
      "  The c, m, b, and v commands are optional and if not present the input file is\n"
      " treated as the project file\n\n"
      "  For the -b option, the command line should be:\n"
      "      valto -b[num_batch] valto_inputfile\n"
      "  (the project num_batch times, 1 when no number is given, run k taking line k\n"
      "  of the project's replacement value file; each run's files are prefixed\n"
      "  0000_, 0001_, ...)\n\n"
      "  For the -c option, the command line should be:\n"
      "      valto -c sce_inputfile\n"
      "  (an SCE-UA search of the parameters of a replacement list, each trial one\n"
      "  whole run scored against the observed event peaks and volumes)\n\n"
      "  For the -m option, the command line should be:\n"
      "      valto -m[num_batch] mc_inputfile\n"
      "  (num_batch trials, 1 when no number is given, each drawing its parameters\n"
      "  between the input file's bounds)\n\n"
      "  For the -s option, the command line should be:\n"
      "      valto -s sen_inputfile\n"
      "  (500 trials over the bounds of a Monte Carlo input file)\n\n"
      "  The -t option (and -tv) is not a mode of this version: it prints this text.\n\n"
      "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input "
      "file, mc_intputfile is\n"
      "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n"
      "  Each trial prints one line: its number, its values and its cost.\n\n");
}

void print_version() {
  std::printf("\n    -- VALTO version %4.2lf%c --\n \n", valto_version, valto_version_letter);
  std::printf("    A physically based, distributed watershed model: rain, snow,\n");
  std::printf("    infiltration, overland and channel flow, groundwater, sediment\n");
  std::printf("    and constituent transport on a grid and a channel network.\n");
  std::printf("    Report problems to the VALTO developers with the project file\n");
  std::printf("    and the run summary.\n");
  std::printf("\n \n");
}

void print_banner(int total_threads) {
  std::printf("Parallel version of VALTO (%2.1lf%c) with SCE (OpenMP), %d total threads.\n",
              valto_version, valto_version_letter, total_threads);
  std::fflush(stdout);
}

int parse_command_line(int argc, char** argv, command_line& cmd) {
  std::memset(&cmd, 0, sizeof cmd);
  if (argc < 2) {
    print_usage();
    return -1;
  }
  int count = 1;
  const char* file = nullptr;
  if (argc == 2) {
    cmd.mode = mode_single;
    file = argv[1];
  } else {
    const char* first = argv[1];
    if (std::strncmp(first, "-s", 2) == 0) {
      cmd.mode = mode_sensitivity;
    } else if (std::strncmp(first, "-c", 2) == 0) {
      cmd.mode = mode_sce;
    } else if (std::strncmp(first, "-b", 2) == 0) {
      cmd.mode = mode_batch;
      read_run_count(first, count);
    } else if (std::strncmp(first, "-m", 2) == 0) {
      cmd.mode = mode_montecarlo;
      read_run_count(first, count);
      if (!trial_count_usable(first, count)) {
        cmd.mode = mode_none;
        return -2;
      }
    } else if (std::strncmp(first, "-h", 2) == 0) {
      cmd.mode = mode_no_action;
    } else if (std::strncmp(first, "-v", 2) == 0) {
      cmd.mode = mode_version;
    } else {
      print_usage();
      return -1;
    }
    if (cmd.mode != mode_version) file = argv[2];
  }
  if (file) {
    if (std::strlen(file) >= sizeof cmd.filename) {
      std::printf("Error: the file name on the command line is longer than %d characters.\n",
                  static_cast<int>(sizeof cmd.filename) - 1);
      cmd.mode = mode_none;
      return -2;
    }
    std::strcpy(cmd.filename, file);
  }
  return count;
}

bool is_web_name(const char* program_name) {
  return program_name && std::strstr(program_name, "web") != nullptr;
}

void print_web_head() {
  std::printf("%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", 13, 10);
  std::printf(
      "<title>VALTO Test Case</title><body><P> Web version of VALTO (%2.1lf%c) with SCE "
      "starting...</P><P>",
      valto_version, valto_version_letter);

  const char* text = std::getenv("CONTENT_LENGTH");
  long length = -1;
  if (text) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')) ++end;
    if (end != text && end && *end == '\0' && errno == 0) length = value;
  }
  if (length < 0 || length > request_capacity) {
    std::printf("<P>Error in invocation - wrong FORM probably.");
    return;
  }
  // The request takes no further part in the run; it is shown as sent.
  char request[request_capacity + 1] = {};
  if (length > 0 && !std::fgets(request, static_cast<int>(length) + 1, stdin)) request[0] = '\0';
  std::fputs(request, stdout);
}

void print_web_tail() { std::printf("</P></body>\n"); }
