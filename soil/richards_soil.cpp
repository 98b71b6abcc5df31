// The Richards soil table reader and the node layout of its columns.

#include "soil/richards_soil.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/error_state.h"
#include "input/map_tables.h"

namespace {

// Values of one layer line by family.
constexpr int brooks_values = 10;
constexpr int havercamp_values = 12;
// The keyword form's first soil line keeps its numbers from this column on
// (0-based), after the id and the soil's description.
constexpr std::size_t keyword_value_column = 87;

// The leading numbers of text; reading stops at the first word that is not one.
std::vector<double> numbers_of(const char* text) {
  std::vector<double> out;
  const char* p = text;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ',') ++p;
    if (!*p) break;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n' &&
                     *end != ','))
      break;
    if (!std::isfinite(v)) break;
    out.push_back(v);
    p = end;
  }
  return out;
}

bool blank(const std::string& line) {
  return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The next line that holds anything; false at the end of the file.
bool next_filled(table_file& file, std::string& line) {
  while (file.next(line))
    if (!blank(line)) return true;
  return false;
}

// Numbers taken one by one across lines, for the id and the evapotranspiration
// values of a soil type.
class number_stream {
 public:
  explicit number_stream(table_file& file) : file_(file) {}
  bool next(double& v) {
    while (at_ >= values_.size()) {
      if (!next_filled(file_, line_)) return false;
      values_ = numbers_of(line_.c_str());
      at_ = 0;
      if (values_.empty()) return false;
    }
    v = values_[at_++];
    return true;
  }
  // Drops the rest of the current line, so the layer lines start afresh.
  void end_line() { at_ = values_.size(); }

 private:
  table_file& file_;
  std::string line_;
  std::vector<double> values_;
  std::size_t at_ = 0;
};

void report_short_table(const table_file& file, int soil) {
  raise_message("Error: soil table %s ends at line %d before soil %d is complete.\n",
                file.path(), file.line_number(), soil);
}

// Stores one layer line's values; false after a message.
bool store_layer(const table_file& file, int family, int soil_id, int layer,
                 const std::vector<double>& v, richards_soil_type& t) {
  const int needed = family == soil_family_havercamp ? havercamp_values : brooks_values;
  if (static_cast<int>(v.size()) < needed) {
    raise_message(
        "Error: soil table %s, line %d: layer %d of soil %d has %d values, %d needed.\n",
        file.path(), file.line_number(), layer, soil_id, static_cast<int>(v.size()), needed);
    return false;
  }
  t.ks[layer] = v[0];
  t.thetas[layer] = v[1];
  t.thetar[layer] = v[2];
  t.thetai[layer] = v[3];
  t.thetawp[layer] = v[4];
  t.thetafc[layer] = v[5];
  t.depth[layer] = v[6];
  if (family == soil_family_havercamp) {
    t.alpha[layer] = v[7];
    t.beta[layer] = v[8];
    t.ahav[layer] = v[9];
    t.bhav[layer] = v[10];
    t.dz[layer] = v[11];
  } else {
    t.lam[layer] = v[7];
    t.bp[layer] = brooks_corey_bp(v[8]);
    t.dz[layer] = v[9];
  }
  // A node thicker than its layer would leave the layer without nodes and
  // shift every deeper node into the wrong layer.
  if (!(t.dz[layer] > 0.0) || t.depth[layer] < t.dz[layer]) {
    raise_message(
        "Error: soil table %s, line %d: layer %d of soil %d has node thickness %g cm for a "
        "depth of %g cm; it must be above 0 and no more than the depth.\n",
        file.path(), file.line_number(), layer, soil_id, t.dz[layer], t.depth[layer]);
    return false;
  }
  return true;
}

// Layers first..3 of soil type t, one line each.
bool read_layer_lines(table_file& file, int family, int first, richards_soil_type& t) {
  std::string line;
  for (int layer = first; layer <= 3; ++layer) {
    if (!next_filled(file, line)) {
      report_short_table(file, t.id);
      return false;
    }
    if (!store_layer(file, family, t.id, layer, numbers_of(line.c_str()), t)) return false;
  }
  return true;
}

bool read_plain_types(table_file& file, int family, int long_term,
                      std::vector<richards_soil_type>& types) {
  std::string line;
  if (!next_filled(file, line)) {
    raise_message("Error: soil table %s is empty.\n", file.path());
    return false;
  }
  const std::vector<double> count = numbers_of(line.c_str());
  // A count far past any soil map's types is a damaged line, not a table.
  if (count.empty() || count[0] < 0.0 || count[0] > 1e6 || count[0] != std::floor(count[0])) {
    raise_message("Error: soil table %s, line %d: the number of soil types cannot be read.\n",
                  file.path(), file.line_number());
    return false;
  }
  // The second header number is not used.
  if (!next_filled(file, line)) {
    report_short_table(file, 1);
    return false;
  }
  const int n = static_cast<int>(count[0]);
  // The list grows with the types actually read: a damaged count line does
  // not get to size it.
  types.clear();
  number_stream head(file);
  for (int k = 0; k < n; ++k) {
    richards_soil_type& t = types.emplace_back();
    double v = 0.0;
    if (!head.next(v)) {
      report_short_table(file, k + 1);
      return false;
    }
    if (!(v >= INT_MIN && v <= INT_MAX) || v != std::floor(v)) {
      raise_message(
          "Error: soil table %s, line %d: soil id %g is not a whole number an int can hold.\n",
          file.path(), file.line_number(), v);
      return false;
    }
    t.id = static_cast<int>(v);
    if (long_term) {
      std::array<double, 4> et{};
      for (double& e : et)
        if (!head.next(e)) {
          report_short_table(file, t.id);
          return false;
        }
      t.albedo = et[0];
      t.veg_height = et[1];
      t.trans_coeff = et[2];
      t.canopy_resist = et[3];
    }
    head.end_line();
    if (!read_layer_lines(file, family, 1, t)) return false;
  }
  return true;
}

// The mapping table's form: a count line, a second header line, then per
// soil type a line of id, description and layer 1, and a line per deeper layer.
bool read_keyword_types(table_file& file, int family, int long_term,
                        std::vector<richards_soil_type>& types) {
  std::string line;
  char word[64] = {};
  int n = 0;
  // A count far past any soil map's types is a damaged line, not a table.
  constexpr int max_types = 1'000'000;
  if (!next_filled(file, line) || std::sscanf(line.c_str(), "%63s %d", word, &n) != 2 || n < 0 ||
      n > max_types) {
    raise_message("Error: soil table %s, line %d: the number of soil types cannot be read.\n",
                  file.path(), file.line_number());
    return false;
  }
  if (!next_filled(file, line)) {
    report_short_table(file, 1);
    return false;
  }
  types.clear();
  for (int k = 0; k < n; ++k) {
    richards_soil_type& t = types.emplace_back();
    if (!next_filled(file, line)) {
      report_short_table(file, k + 1);
      return false;
    }
    const std::vector<double> id = numbers_of(line.c_str());
    if (id.empty()) {
      raise_message("Error: soil table %s, line %d: the soil id cannot be read.\n", file.path(),
                    file.line_number());
      return false;
    }
    if (!(id[0] >= INT_MIN && id[0] <= INT_MAX) || id[0] != std::floor(id[0])) {
      raise_message(
          "Error: soil table %s, line %d: soil id %g is not a whole number an int can hold.\n",
          file.path(), file.line_number(), id[0]);
      return false;
    }
    t.id = static_cast<int>(id[0]);
    std::vector<double> v;
    if (line.size() > keyword_value_column)
      v = numbers_of(line.c_str() + keyword_value_column);
    if (long_term) {
      if (v.size() < 4) {
        raise_message(
            "Error: soil table %s, line %d: soil %d lacks its four evapotranspiration values.\n",
            file.path(), file.line_number(), t.id);
        return false;
      }
      t.albedo = v[0];
      t.veg_height = v[1];
      t.trans_coeff = v[2];
      t.canopy_resist = v[3];
      v.erase(v.begin(), v.begin() + 4);
    }
    if (!store_layer(file, family, t.id, 1, v, t) || !read_layer_lines(file, family, 2, t))
      return false;
  }
  return true;
}

template <class T>
bool size_array(std::vector<T>& v, std::size_t count, const char* name) {
  if (count == 0) {
    raise_message("Error: Attempting to allocate array of size 0\n");
    return false;
  }
  try {
    v.assign(count, T{});
  } catch (const std::bad_alloc&) {
    raise_message("Error allocating memory for variable %s\n", name);
    return false;
  }
  return true;
}

}  // namespace

void richards_fill_soil(richards_soil& rs, const richards_soil_type& t, std::size_t at,
                        int layer) {
  rs.ks[at] = t.ks[layer];
  rs.thetas[at] = t.thetas[layer];
  rs.thetar[at] = t.thetar[layer];
  rs.thetawp[at] = t.thetawp[layer];
  rs.thetafc[at] = t.thetafc[layer];
  if (rs.family == soil_family_havercamp) {
    rs.alpha[at] = t.alpha[layer];
    rs.beta[at] = t.beta[layer];
    rs.ahav[at] = t.ahav[layer];
    rs.bhav[at] = t.bhav[layer];
  } else {
    rs.lam[at] = t.lam[layer];
    rs.bp[at] = t.bp[layer];
    rs.thehac[at] = brooks_corey_thehac(t.thetas[layer], t.thetar[layer], t.lam[layer]);
    rs.bchc[at] = brooks_corey_bchc(t.bp[layer], t.lam[layer]);
  }
}

soil_column richards_soil::column(int c) {
  const std::size_t at = std::size_t(c) * std::size_t(row);
  soil_column col;
  col.n = numcells.empty() ? 0 : numcells[std::size_t(c)];
  col.phead = phead.data() + at;
  col.theta = theta.data() + at;
  col.khead = khead.data() + at;
  col.watcap = watcap.data() + at;
  col.thetas = thetas.data() + at;
  col.thetar = thetar.data() + at;
  if (family == soil_family_havercamp) {
    col.ahav = ahav.data() + at;
    col.bhav = bhav.data() + at;
    col.alpha = alpha.data() + at;
    col.beta = beta.data() + at;
  } else {
    col.lam = lam.data() + at;
    col.bp = bp.data() + at;
    col.bchc = bchc.data() + at;
    col.thehac = thehac.data() + at;
  }
  return col;
}

void richards_node_counts(richards_soil_type& t, int water_table) {
  t.n1 = static_cast<int>(std::floor(t.depth[1] / t.dz[1]));
  t.n2 = t.n1 + static_cast<int>(std::floor(t.depth[2] / t.dz[2]));
  t.n3 = t.n2 + static_cast<int>(std::floor(t.depth[3] / t.dz[3])) + 1;
  if (water_table) --t.n3;
}

double richards_interface_ks(double dz_a, double ks_a, double dz_b, double ks_b) {
  return (dz_a + dz_b) / (dz_a / ks_a + dz_b / ks_b);
}

int read_soil_table(table_file& file, int family, int long_term, int keyword,
                    std::span<const int> soil_type, richards_soil& rs) {
  rs.family = family;
  rs.long_term = long_term;
  const bool read = keyword ? read_keyword_types(file, family, long_term, rs.types)
                            : read_plain_types(file, family, long_term, rs.types);
  if (!read) return -1;
  // Every cell's column is allocated at the longest column's length: a
  // column of more nodes than a 100 m soil at 1 cm spacing is a damaged row.
  constexpr double max_column_nodes = 10000.0;
  for (const richards_soil_type& t : rs.types) {
    double nodes = 0.0;
    for (int layer = 1; layer <= 3; ++layer) nodes += t.depth[layer] / t.dz[layer];
    if (!(nodes <= max_column_nodes)) {
      raise_message(
          "Error: soil table %s: soil %d has layers of %.0lf nodes in all; a column takes at most "
          "%.0lf.\n",
          file.path(), t.id, nodes, max_column_nodes);
      return -1;
    }
  }
  for (richards_soil_type& t : rs.types) richards_node_counts(t, 0);

  const std::size_t cells = soil_type.empty() ? 0 : soil_type.size() - 1;
  rs.soil_type.assign(cells + 1, 0);
  rs.numcells.assign(cells + 1, 0);
  int largest = 0;
  for (std::size_t c = 1; c <= cells; ++c) {
    const auto found = std::find_if(rs.types.begin(), rs.types.end(), [&](const auto& t) {
      return t.id == soil_type[c];
    });
    if (found == rs.types.end()) {
      raise_message("Error: soil id %d of cell %d is not in the soil table %s (read to line %d).\n",
                    soil_type[c], static_cast<int>(c), file.path(), file.line_number());
      return -1;
    }
    rs.soil_type[c] = static_cast<int>(found - rs.types.begin());
    rs.numcells[c] = found->n3;
    largest = std::max(largest, found->n3);
  }
  return largest + 2;
}

bool alloc_richards_soil(richards_soil& rs, int cells) {
  rs.cells = cells;
  const std::size_t per_node = (std::size_t(cells) + 1) * std::size_t(rs.row);
  const std::size_t per_cell = std::size_t(cells) + 1;
  struct node_array {
    std::vector<double>* v;
    const char* name;
  };
  const bool havercamp = rs.family == soil_family_havercamp;
  const node_array arrays[] = {
      {&rs.phead, "PHEAD"},     {&rs.khead, "KHEAD"},     {&rs.theta, "THETA"},
      {&rs.watcap, "WATCAP"},   {&rs.watflux, "WATFLUX"}, {&rs.source, "SOURCE"},
      {&rs.dz, "DZ"},           {&rs.ks, "KS"},           {&rs.thetas, "THETAS"},
      {&rs.thetar, "THETAR"},   {&rs.thetawp, "THETAWP"}, {&rs.thetafc, "THETAFC"},
      {&rs.lam, "LAM"},         {&rs.bp, "BP"},           {&rs.thehac, "thehac"},
      {&rs.bchc, "BChc"},
  };
  for (const node_array& a : arrays)
    if (!size_array(*a.v, per_node, a.name)) return false;
  if (havercamp) {
    const node_array hav[] = {
        {&rs.ahav, "AHAV"}, {&rs.bhav, "BHAV"}, {&rs.alpha, "ALPHA"}, {&rs.beta, "BETA"}};
    for (const node_array& a : hav)
      if (!size_array(*a.v, per_node, a.name)) return false;
  }
  const node_array per_cell_arrays[] = {
      {&rs.root_depth, "root_depth"}, {&rs.dtr, "dtr"},         {&rs.avgks, "avgks"},
      {&rs.totaldz, "totaldz"},       {&rs.elevgw, "elevgw"},   {&rs.gw_flux, "gw_flux"},
      {&rs.bottom_elev, "bottom_elev"}, {&rs.inf_rich, "inf_rich"}, {&rs.event_drain, "event_drain"},
      {&rs.upward, "upward"},
  };
  for (const node_array& a : per_cell_arrays)
    if (!size_array(*a.v, per_cell, a.name)) return false;
  if (!size_array(rs.bound_type, per_cell, "bound_type")) return false;
  if (rs.numcells.size() != per_cell && !size_array(rs.numcells, per_cell, "numcells"))
    return false;
  return true;
}
