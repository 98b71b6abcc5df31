// The melt parameters of the cells, from the cards or the elevation bands
// file. The header is taken word by word, as such files come with tabs and
// blanks in no fixed layout; the bands line by line, so that a row short of
// a number is caught rather than borrowing one from the row below.

#include "soil/snow_bands.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/error_state.h"
#include "core/text_io.h"
#include "input/map_tables.h"
#include "input/project_settings.h"

namespace {

constexpr char count_word[] = "Number_Bands:";
constexpr const char* header_words[] = {"Lower_Elevation", "Upper_Elevation", "MF_Min",
                                        "MF_Max",          "SCF",             "FR_USE"};
constexpr int band_values = 6;

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The words of a file, line after line; the header is read word by word,
// the bands line by line.
class word_reader {
 public:
  explicit word_reader(table_file& file) : file_(file) {}
  // The next word into word; false at the end of the file.
  bool next(std::string& word) {
    for (;;) {
      skip_blanks();
      if (pos_ < line_.size()) {
        const std::size_t start = pos_;
        while (pos_ < line_.size() && !is_blank(line_[pos_])) ++pos_;
        word.assign(line_, start, pos_ - start);
        return true;
      }
      if (!file_.next(line_)) return false;
      pos_ = 0;
    }
  }
  // The rest of the current line when it holds a word, else the next line
  // that does; false at the end of the file.
  bool next_row(std::string& row) {
    for (;;) {
      skip_blanks();
      if (pos_ < line_.size()) {
        row.assign(line_, pos_, std::string::npos);
        pos_ = line_.size();
        return true;
      }
      if (!file_.next(line_)) return false;
      pos_ = 0;
    }
  }
  int line() const { return file_.line_number(); }

 private:
  void skip_blanks() {
    while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
  }
  table_file& file_;
  std::string line_;
  std::size_t pos_ = 0;
};

void report_bad_header(const char* path, int line, const std::string& found, bool ended,
                       const char* expected) {
  char where[160];
  if (ended)
    std::snprintf(where, sizeof where, "The file ends where \"%s\" belongs.\n", expected);
  else
    std::snprintf(where, sizeof where, "Line %d holds \"%.40s\" where \"%s\" belongs.\n", line,
                  found.c_str(), expected);
  raise_message(
      "Error reading elevation based NWSRFS snow input parameter file: %s\n\n"
      "The Elevation based NWSRFS input file should have the following format: \n\n"
      "Number_Bands:\tint(number of elevation bands) \n"
      "Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE \n"
      "0              \t##Elev_1\t      ##    \t##    \t## \t##   \n"
      "##Elev_1       \t##Elev_2\t      ##    \t##    \t## \t##   \n"
      "##Elev_2       \t##Elev_3\t      ##    \t##    \t## \t##   \n"
      "...            \t100000000\t      ##    \t##    \t## \t##   \n\n"
      "%s",
      path, where);
}

// The count line and the column header; false after the message.
bool read_header(word_reader& words, const char* path, int& bands) {
  std::string word;
  if (!words.next(word) || word != count_word) {
    report_bad_header(path, words.line(), word, word.empty(), count_word);
    return false;
  }
  word.clear();
  if (!words.next(word) || !parse_whole_int(word.c_str(), bands) || bands < 0) {
    report_bad_header(path, words.line(), word, word.empty(), "the number of bands");
    return false;
  }
  for (const char* expected : header_words) {
    word.clear();
    if (!words.next(word) || word != expected) {
      report_bad_header(path, words.line(), word, word.empty(), expected);
      return false;
    }
  }
  return true;
}

// The six numbers of band b's row; false after the message.
bool read_band(const std::string& row, int b, int line, const char* path, double* v) {
  std::size_t pos = 0;
  for (int k = 0; k < band_values; ++k) {
    while (pos < row.size() && is_blank(row[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < row.size() && !is_blank(row[pos])) ++pos;
    if (start == pos) {
      raise_message(
          "Error: band %d (line %d) of the elevation based NWSRFS snow input parameter file %s "
          "holds fewer than six numbers: Lower_Elevation Upper_Elevation MF_Min MF_Max SCF "
          "FR_USE.\n",
          b, line, path);
      return false;
    }
    const std::string word(row, start, pos - start);
    if (!parse_finite_real(word.c_str(), v[k])) {
      raise_message(
          "Error: band %d (line %d) of the elevation based NWSRFS snow input parameter file %s "
          "holds \"%.40s\" where its %s belongs, which must be a number.\n",
          b, line, path, word.c_str(), header_words[k]);
      return false;
    }
  }
  return true;
}

void set_cell(snow_state& snow, int i, const snow_params& p) {
  snow.mf_max[i] = p.mf_max;
  snow.mf_min[i] = p.mf_min;
  snow.fr_use[i] = p.fr_use;
  snow.scf[i] = p.scf;
}

void fill_cells(snow_state& snow, int cells, const snow_params& p) {
  for (int i = 1; i <= cells; ++i) set_cell(snow, i, p);
}

}  // namespace

snow_params snow_params_of(const project_settings& s) {
  snow_params p;
  if (s.nwsrfs_mf_max_given) p.mf_max = s.nwsrfs_mf_max;
  if (s.nwsrfs_mf_min_given) p.mf_min = s.nwsrfs_mf_min;
  if (s.nwsrfs_fr_use_given) p.fr_use = s.nwsrfs_fr_use;
  if (s.nwsrfs_scf_given) p.scf = s.nwsrfs_scf;
  return p;
}

bool read_snow_bands(const char* path, int cells, const double* elevation, snow_state& snow) {
  table_file file;
  if (!file.open(path)) {
    raise_message("Cannot open elevation based NWSRFS snow input parameter file: %s\n", path);
    return false;
  }
  word_reader words(file);
  int bands = 0;
  if (!read_header(words, file.path(), bands)) return false;
  fill_cells(snow, cells, snow_params{});
  std::string row;
  for (int b = 1; b <= bands; ++b) {
    if (!words.next_row(row)) {
      raise_message(
          "Error: the elevation based NWSRFS snow input parameter file %s ends before band %d "
          "of its %d.\n",
          file.path(), b, bands);
      return false;
    }
    double v[band_values];
    if (!read_band(row, b, words.line(), file.path(), v)) return false;
    if (!(v[4] > 0.0)) {
      raise_message(
          "Error: band %d (line %d) of the elevation based NWSRFS snow input parameter file %s "
          "gives a snow correction factor (SCF) of %g; it must be above 0.\n",
          b, words.line(), file.path(), v[4]);
      return false;
    }
    const snow_params p{v[3], v[2], v[5], v[4]};
    for (int i = 1; i <= cells; ++i)
      if (elevation[i] > v[0] && elevation[i] < v[1]) set_cell(snow, i, p);
  }
  return true;
}

bool set_snow_params(const project_settings& s, int cells, const double* elevation,
                     snow_state& snow) {
  if (!s.nwsrfs_snow && !s.eb_nwsrfs_snow) return true;
  if (s.nwsrfs_elev_snow_given)
    return read_snow_bands(s.nwsrfs_elev_snow.c_str(), cells, elevation, snow);
  const snow_params p = snow_params_of(s);
  const struct {
    const char* card;
    double value;
  } cards[] = {{"NWSRFS_MF_MAX", p.mf_max},
               {"NWSRFS_MF_MIN", p.mf_min},
               {"NWSRFS_FR_USE", p.fr_use},
               {"NWSRFS_SCF", p.scf}};
  for (const auto& c : cards) {
    if (!std::isfinite(c.value)) {
      raise_message("Error: the %s card gives %g, which is no finite number.\n", c.card, c.value);
      return false;
    }
  }
  if (!(p.scf > 0.0)) {
    raise_message("Error: the NWSRFS_SCF card gives a snow correction factor of %g; it must be "
                  "above 0.\n",
                  p.scf);
    return false;
  }
  fill_cells(snow, cells, p);
  return true;
}
