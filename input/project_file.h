#pragma once
// The project file reader: the magic line, then one card a line, each applied
// in file order to the three settings records.

struct project_settings;
struct run_parameters;
struct precip_settings;
struct model_state;

constexpr int project_line_limit = 255;  // characters of one project-file line

// Clears the three records, sets their defaults and fills them from the file.
// A file that cannot be opened sets params.project_file_missing; every other
// failure is left in error_state.
void read_project_file(const char* project_file, project_settings& settings,
                       run_parameters& params, precip_settings& precip);

// Takes the card word off the front of line and returns its code; the line
// keeps only the values. A blank line, a comment, an ignored word or an
// unknown word (with a warning) gives ignored_card_code.
int project_card_code(char* line);

// Sets the project directory from the first PROJECT_PATH / PROJECT_FOLDER
// card of the file, or else from the directory part of the file's name.
void read_project_path(const char* project_file);

// Derives the run's working fields of state.input from its settings records
// (stop time, method flags, uniform-rain start, converted depths, exchange
// names and the rest); the part of read_run_parameters that follows reading.
void derive_run_fields(model_state& state);
