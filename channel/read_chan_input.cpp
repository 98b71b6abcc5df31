// The channel input file is read in several passes over the same text: the
// header sizes the network, a counting pass sizes everything else, the
// CONNECT cards give the topology, a data pass fills links, nodes,
// structures and pumps, a pass of its own builds the break-point tables, and
// the lakes are read last once the grid is known. Every value is checked as
// it is read, and every index a card names is checked against the network
// before anything is stored under it.

#include "channel/read_chan_input.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "channel/bp_xsec.h"
#include "run/model_state.h"
#include "core/physical_range.h"
#include "core/text_io.h"
#include "input/read_grid_inputs.h"
#include "input/series.h"

namespace {

struct card_word {
  const char* word;
  int code;
};

using namespace chan_card;

// Synonyms share a code; the first word of a code names it in messages.
constexpr card_word card_words[] = {
    {"alpha", alpha},
    {"beta", beta},
    {"theta", theta},
    {"dx", dx},
    {"links", links},
    {"maxnodes", maxnodes},
    {"connect", connect},
    {"link", link_card},
    {"nodes", nodes},
    {"trapezoid", trapezoid},
    {"subsurface_trapezoid", trapezoid_subsurface},
    {"trapezoid_subsurface", trapezoid_subsurface},
    {"trap_erode", trapezoid_erode},
    {"trapezoid_erode", trapezoid_erode},
    {"trapezoid_subsurface_erode", trapezoid_subsurface_erode},
    {"trapezoid_erode_subsurface", trapezoid_subsurface_erode},
    {"subsurface_trap_erode", trapezoid_subsurface_erode},
    {"breakpoint", breakpoint},
    {"break_erode", breakpoint_erode},
    {"breakpoint_erode", breakpoint_erode},
    {"subsurface_breakpoint", breakpoint_subsurface},
    {"breakpoint_subsurface", breakpoint_subsurface},
    {"breakpoint_subsurface_erode", breakpoint_subsurface_erode},
    {"breakpoint_erode_subsurface", breakpoint_subsurface_erode},
    {"erodible", erodible},
    {"erode", erodible},
    {"subsurface", subsurface},
    {"lake", lake},
    {"mlake", mlake},
    {"structure", structure},
    {"structtype", structtype},
    {"mannings_n", mannings_n},
    {"max_erosion", max_erosion},
    {"gw_bed_conductivity", k_river},
    {"k_river", k_river},
    {"gw_bed_thickness", m_river},
    {"m_river", m_river},
    {"dispersion_coeff", dispersion},
    {"decay_coeff", decay},
    {"num_outlets", num_outlets},
    {"node", node},
    {"elev", elev},
    {"xsec", xsec},
    {"bottom_width", bottom_width},
    {"bankfull_depth", bankfull_depth},
    {"side_slope", side_slope},
    {"x1", x1},
    {"x_y", x_y},
    {"npairs", npairs},
    {"streamcells", streamcells},
    {"cellij", cellij},
    {"numnodes", numnodes},
    {"linknode", linknode},
    {"numstructs", numstructs},
    {"upinvert", upinvert},
    {"downinvert", downinvert},
    {"inlet_disch_coeff", inlet_disch_coeff},
    {"rev_flow_disch_coeff", rev_flow_disch_coeff},
    {"slope", slope},
    {"length", length},
    {"width", width},
    {"height", height},
    {"diameter", diameter},
    {"rough_coeff", rough_coeff},
    {"a_value", a_value},
    {"b_value", b_value},
    {"minwse", minwse},
    {"initwse", initwse},
    {"maxwse", maxwse},
    {"numpts", numpts},
    {"crest_length", crest_length},
    {"crest_low_elev", crest_low_elev},
    {"crest_low_loc", crest_low_loc},
    {"discharge_coeff_forward", coeff_forward},
    {"discharge_coeff_reverse", coeff_reverse},
    {"steep_slope", steep_slope},
    {"shallow_slope", shallow_slope},
    {"pointsource", pointsource},
    {"num_interp", num_interp},
    {"pumpto", pumpto},
};

// Structure types by the leading word of STRUCTTYPE, in the order they are
// tried.
constexpr const char* structure_words[] = {"weir",         "sag_weir",         "round_culvert",
                                           "oval_culvert", "rect_culvert",     "rating_curve",
                                           "scheduled_release", "rule_curve"};
constexpr int rating_curve = 6, scheduled_release = 7, rule_curve = 8;

constexpr int max_upstream = 20;        // links meeting at one node
constexpr int max_lake_upstream = 4;    // upstream links kept for a lake's release
constexpr double min_roughness = 1e-8;  // Manning n below this is taken as not given
// A Manning n above 1 is rougher than any channel measured (dense brush on a
// floodplain is near 0.2) and is warned of; above 10 it is a slip of digits
// or units, a link that could carry no water, and is refused.
constexpr double usual_roughness = 1.0;
constexpr double max_roughness = 10.0;
// Node slots of one node array: a network beyond this is refused before any
// allocation (some thirty arrays of this size are made).
constexpr std::size_t max_node_slots = 20'000'000;
constexpr int max_levels = 30000;                     // NUM_INTERP of one table
constexpr std::size_t max_table_entries = 50'000'000;  // levels x tables of each table array

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n'; }

const char* card_name(int code) {
  for (const card_word& w : card_words)
    if (w.code == code) return w.word;
  return "?";
}

// Upper-case card word for messages.
std::string upper(const char* word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string lower(const char* word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One text file read line by line with its line number; a line longer than
// the line buffer is refused rather than read in pieces.
class card_file {
 public:
  card_file(safe_file& file, const char* what) : what_(what) {
    source_.stream = file.stream;
    source_.path = file.path;
  }

  // Next line into text(); false at the end of the file or after a refusal.
  bool next() {
    if (read_source_line(source_, line_) == 0) return false;
    if (line_.size() >= std::size_t(max_line)) {
      raise_message("Error: line %d of the %s %s is longer than %d characters.\n",
                    source_.line_number, what_, source_.path, max_line - 1);
      return false;
    }
    std::memcpy(text_, line_.c_str(), line_.size() + 1);
    return true;
  }
  void rewind() {
    if (source_.stream) std::rewind(source_.stream);
    source_.line_number = 0;
  }
  char* text() { return text_; }
  int line() const { return source_.line_number; }
  const char* path() const { return source_.path; }
  const char* what() const { return what_; }

 private:
  const char* what_;
  text_source source_;
  std::string line_;
  char text_[max_line];
};

bool stopped() { return error_state.stop_flag != 0; }

// A refused card: file, line and card, then the reason.
void refuse(const card_file& f, int code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void refuse(const card_file& f, int code, const char* format, ...) {
  char reason[512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(reason, sizeof reason, format, values);
  va_end(values);
  raise_message("Error in the %s %s, line %d, card %s: %s\n", f.what(), f.path(), f.line(),
                upper(card_name(code)).c_str(), reason);
}

bool take_int(card_file& f, int code, int& value) {
  char token[token_capacity];
  next_token(f.text(), token);
  if (parse_whole_int(token, value)) return true;
  refuse(f, code, "\"%s\" is not a whole number.", token);
  return false;
}

bool take_real(card_file& f, int code, double& value) {
  char token[token_capacity];
  next_token(f.text(), token);
  if (parse_finite_real(token, value)) return true;
  refuse(f, code, "\"%s\" is not a number.", token);
  return false;
}

// A size of a cross-section: a negative one has no shape to hold water.
bool take_size(card_file& f, int code, double& value, const char* what) {
  if (!take_real(f, code, value)) return false;
  if (within(ranges::non_negative, value)) return true;
  refuse(f, code, "the %s %g is outside its range; it must be 0 or more.", what, value);
  return false;
}

bool take_int_in(card_file& f, int code, int& value, int low, int high, const char* what) {
  if (!take_int(f, code, value)) return false;
  if (value >= low && value <= high) return true;
  refuse(f, code, "%s %d is outside %d..%d.", what, value, low, high);
  return false;
}

// Per-link counts of the counting pass.
struct network_counts {
  int header_cards = 0;
  int connect_cards = 0;
  int trapezoid_links = 0, trapezoid_subsurface = 0, trapezoid_erodible = 0;
  int breakpoint_links = 0, breakpoint_subsurface = 0, breakpoint_erodible = 0;
  int lake_links = 0, structure_links = 0, groundwater_links = 0;
  int typed_elements = 0, structtype_cards = 0, numstructs_sum = 0;
  int max_sections = 0;  // cross-sections of one break-point link
  int max_numpts = 0;
  int pointsources = 0, pumps = 0;
  int lake_loss = 0;
  std::vector<std::vector<int>> section_nodes;  // per link: node of each NPAIRS card
};

class chan_reader {
 public:
  chan_reader(model_state& state) : state_(state), chan_(state.channel) {}
  int read();

 private:
  bool read_header(card_file& f);
  bool allocate_links();
  bool counting_pass(card_file& f);
  bool count_card(card_file& f, int code);
  bool check_counts();
  void print_summary();
  bool count_tables();
  bool allocate_nodes();
  bool connectivity_pass(card_file& f);
  bool data_pass(card_file& f);
  bool data_card(card_file& f, int code);
  bool read_structtype(card_file& f);
  bool read_pump(card_file& f);
  bool set_bed_parameters();
  bool set_sections();
  bool breakpoint_pass(card_file& f);
  void set_node_elevations();
  bool read_grid_stream();
  bool read_lakes(card_file& f);

  bool take_link(card_file& f, int code, int& link) {
    return take_int_in(f, code, link, 1, chan_.links, "link");
  }
  int addr(int link, int node) const { return chan_.node_address(link, node); }

  model_state& state_;
  channel_state& chan_;
  network_counts n_;
  int link_ = 0;  // current link
  int node_ = 0;  // current node
  int element_ = 0;
  struct_element spare_element_;
  int bp_number_ = 0;
  std::vector<double> roughness_;  // Manning n per link as given
  bool rough_warned_ = false;      // a Manning n above 1 was reported
};

bool chan_reader::read_header(card_file& f) {
  char token[token_capacity] = "";
  if (f.next()) next_token(f.text(), token);
  if (stopped()) return false;
  if (lower(token).compare(0, 10, "valto_chan") != 0) {
    raise_message(
        "Error: the channel input file %s does not begin with the VALTO_CHAN card, so it "
        "holds no channel network.\n",
        f.path());
    return false;
  }
  while (n_.header_cards < 5) {
    if (!f.next()) {
      if (stopped()) return false;
      raise_message(
          "Premature end-of-file in the channel input file.\n"
          "The channel input file does not contain all the required parameter cards.\n"
          "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
          "Repair your channel input file and try again.  These cards must appear at\n"
          "The beginning of the file before and COORD or LINK cards.\n"
          "Program terminated in read_chan_input.\n");
      return false;
    }
    const int code = chan_card_code(f.text());
    bool ok = true;
    switch (code) {
      case alpha: ok = take_real(f, code, chan_.alpha); break;
      case beta: ok = take_real(f, code, chan_.beta); break;
      case theta: ok = take_real(f, code, chan_.theta); break;
      case links:
      case maxnodes: {
        int& count = code == links ? chan_.links : chan_.max_nodes;
        if (count != 0) {
          refuse(f, code, "a second %s card; the header gives each card once.",
                 code == links ? "LINKS" : "MAXNODES");
          return false;
        }
        ok = take_int_in(f, code, count, 1, 1'000'000, code == links ? "link count" : "node count");
        break;
      }
      default: continue;
    }
    if (!ok) return false;
    ++n_.header_cards;
  }
  if (chan_.links == 0 || chan_.max_nodes == 0) {
    raise_message("Error: the channel input file %s gives no %s card.\n", f.path(),
                  chan_.links == 0 ? "LINKS" : "MAXNODES");
    return false;
  }
  if (chan_.node_slots() > max_node_slots) {
    raise_message(
        "Error: the channel input file %s asks for %d links of up to %d nodes, more than this "
        "version holds.\n",
        f.path(), chan_.links, chan_.max_nodes);
    return false;
  }
  return true;
}

bool chan_reader::allocate_links() {
  const std::size_t n = std::size_t(chan_.links) + 1;
  n_.section_nodes.assign(n, {});
  roughness_.assign(n, 0.0);
  return allocate_zeroed(chan_.ltype, n, "ltype") && allocate_zeroed(chan_.ldex, n, "ldex") &&
         allocate_zeroed(chan_.ndep, n, "ndep") && allocate_zeroed(chan_.dslink, n, "dslink") &&
         allocate_zeroed(chan_.nx, n, "nx") && allocate_zeroed(chan_.nx1, n, "nx1") &&
         allocate_zeroed(chan_.og_nx1, n, "og_nx1") &&
         allocate_zeroed(chan_.bplink, n, "bplink") &&
         allocate_zeroed(chan_.interp_list, n, "interp_list") &&
         allocate_zeroed(chan_.lake2link, n, "lake2link") &&
         allocate_zeroed(chan_.inv_mannings_n, n, "inv_mannings_n") &&
         allocate_zeroed(chan_.dx, n, "dx") && allocate_zeroed(chan_.link_krb, n, "link_krb") &&
         allocate_zeroed(chan_.link_mrb, n, "link_mrb");
}

bool chan_reader::count_card(card_file& f, int code) {
  int& type = chan_.ltype[link_];
  switch (code) {
    case dx: return take_real(f, code, chan_.dx[link_]);
    case connect: {
      int link = 0, down = 0, count = 0;
      if (!take_link(f, code, link) || !take_int(f, code, down) ||
          !take_int_in(f, code, count, 0, 1'000'000, "upstream link count"))
        return false;
      ++n_.connect_cards;
      chan_.max_dep = std::max(chan_.max_dep, count);
      return true;
    }
    case link_card: return take_link(f, code, link_);
    case nodes: return take_int_in(f, code, chan_.nx1[link_], 1, chan_.max_nodes, "node count");
    case node: return take_int_in(f, code, node_, 1, chan_.max_nodes, "node");
    case trapezoid:
    case trapezoid_subsurface:
    case trapezoid_erode:
    case trapezoid_subsurface_erode:
      type = link_bit::trapezoid | (code - trapezoid);
      chan_.ldex[link_] = link_;
      ++n_.trapezoid_links;
      if (type & link_bit::subsurface) ++n_.trapezoid_subsurface;
      if (type & link_bit::erodible) ++n_.trapezoid_erodible;
      return true;
    case breakpoint:
    case breakpoint_erode:
    case breakpoint_subsurface:
    case breakpoint_subsurface_erode: {
      constexpr int types[] = {8, 10, 9, 11};
      type = types[code - breakpoint];
      chan_.ldex[link_] = link_;
      ++n_.breakpoint_links;
      if (type & link_bit::subsurface) ++n_.breakpoint_subsurface;
      if (type & link_bit::erodible) {
        ++n_.breakpoint_erodible;
        chan_.bplink[link_] = ++bp_number_;
      }
      return true;
    }
    case erodible:
    case subsurface: {
      const int bit = code == erodible ? link_bit::erodible : link_bit::subsurface;
      if (type & bit) return true;
      type |= bit;
      if (type & link_bit::trapezoid) ++(bit == link_bit::erodible ? n_.trapezoid_erodible
                                                                   : n_.trapezoid_subsurface);
      if (type & link_bit::breakpoint) ++(bit == link_bit::erodible ? n_.breakpoint_erodible
                                                                    : n_.breakpoint_subsurface);
      return true;
    }
    case lake:
      type = link_bit::lake;
      chan_.ldex[link_] = ++n_.lake_links;
      chan_.lake2link[link_] = n_.lake_links;
      return true;
    case mlake: n_.lake_loss = 1; return true;
    case structure:
      type = link_bit::structure;
      chan_.ldex[link_] = link_;
      chan_.nx1[link_] = 2;
      ++n_.structure_links;
      return true;
    case structtype: {
      char word[token_capacity];
      next_token(f.text(), word);
      ++n_.structtype_cards;
      const std::string w = lower(word);
      for (const char* s : structure_words)
        if (w.compare(0, std::strlen(s), s) == 0) {
          ++n_.typed_elements;
          break;
        }
      return true;
    }
    case mannings_n: {
      double n = 0.0;
      if (!take_real(f, code, n)) return false;
      if (n < min_roughness) {
        raise_message(
            "Error encountered when reading the channel input file, link %d:\n"
            "    Manning's Roughness is 0.000\n",
            link_);
        return false;
      }
      if (n > max_roughness) {
        refuse(f, code, "the Manning n %g of link %d is outside its range; it must be above 0 "
               "and at most %g.", n, link_, max_roughness);
        return false;
      }
      if (n > usual_roughness && !rough_warned_) {
        rough_warned_ = true;
        char text[1400];
        std::snprintf(text, sizeof text,
                      "Warning: line %d of the channel input file %s gives link %d the Manning n "
                      "%g, rougher than any channel measured; the run goes on with it (this "
                      "warning is given once for the file).\n",
                      f.line(), f.path(), link_, n);
        print_message(summary_file, text);
      }
      roughness_[link_] = n;
      return true;
    }
    case k_river: ++n_.groundwater_links; return true;
    case numstructs: {
      int count = 0;
      if (!take_int_in(f, code, count, 0, 1'000'000, "element count")) return false;
      n_.numstructs_sum += count;
      return true;
    }
    case npairs: {
      int pairs = 0;
      if (!take_int_in(f, code, pairs, 1, 1'000'000, "pair count")) return false;
      if (type & link_bit::breakpoint) {
        n_.section_nodes[link_].push_back(node_);
        chan_.max_pairs = std::max(chan_.max_pairs, pairs);
      }
      return true;
    }
    case num_interp: {
      int levels = 0;
      if (!take_int(f, code, levels)) return false;
      chan_.levels = std::max(chan_.levels, levels);
      return true;
    }
    case numpts: {
      int points = 0;
      if (!take_int_in(f, code, points, 0, 1'000'000, "point count")) return false;
      n_.max_numpts = std::max(n_.max_numpts, points);
      return true;
    }
    case pointsource: ++n_.pointsources; return true;
    case pumpto: ++n_.pumps; return true;
    default: return true;
  }
}

bool chan_reader::counting_pass(card_file& f) {
  while (f.next())
    if (!count_card(f, chan_card_code(f.text()))) return false;
  if (stopped()) return false;
  for (int l = 1; l <= chan_.links; ++l)
    n_.max_sections = std::max(n_.max_sections, int(n_.section_nodes[l].size()));
  if (n_.numstructs_sum != n_.typed_elements) {
    raise_message(
        "\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n"
        "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
        "etc.) is %d.  This inconstency is intolerable.  Check your channel\n"
        "input file.  Program terminated.\n",
        n_.numstructs_sum, n_.typed_elements);
    return false;
  }
  n_.lake_loss = n_.lake_loss && n_.lake_links > 0;
  if (n_.structure_links > 0 || n_.structtype_cards > 0)
    if (!allocate_zeroed(chan_.struct_range, std::size_t(chan_.links) + 1, "struct_link_range"))
      return false;
  for (struct_link_range& r : chan_.struct_range) r = struct_link_range{};
  return allocate_zeroed(chan_.elements, std::size_t(n_.structtype_cards) + 1, "struct_element");
}

void chan_reader::print_summary() {
  msg_printf("\n\nChannel input data:\n");
  msg_printf("  max. number of u.s. dependencies:      %d\n", chan_.max_dep);
  msg_printf("  number of trapezoidal links:           %d\n", n_.trapezoid_links);
  msg_printf("    num w/ subsurface attribute:           %d\n", n_.trapezoid_subsurface);
  msg_printf("    num w/ erodible attribute:             %d\n", n_.trapezoid_erodible);
  msg_printf("  number of breakpoint links:            %d\n", n_.breakpoint_links);
  msg_printf("    num w/ subsurface attribute:           %d\n", n_.breakpoint_subsurface);
  msg_printf("    num w/ erodible attribute:             %d\n", n_.breakpoint_erodible);
  msg_printf("    max number of xsec in any bp link:     %d\n", n_.max_sections);
  msg_printf("    max number of xsec pairs:              %d\n", chan_.max_pairs);
  msg_printf("  number of lake links:                  %d\n", n_.lake_links);
  msg_printf("  number of hydraulic structure links:   %d\n", n_.structure_links);
  msg_printf("    total no. of hydr. structure elements: %d\n", n_.typed_elements);
  msg_printf("  number of groundwater links:           %d\n", n_.groundwater_links);
  if (n_.trapezoid_subsurface + n_.breakpoint_subsurface != n_.groundwater_links)
    msg_printf(
        " ===> Error: the number of specified subsurface links does not match the number of "
        "subsurface \nparameters. Check your subsurface links to ensure that they specify the bed "
        "concuctivity and thickness\n");
}

bool chan_reader::check_counts() {
  if (chan_.max_dep > max_upstream) {
    raise_message(
        "Whoa there pardner!  You mean to tell me that you have more than 20\n"
        "channels flowing into one point?  How can that be?  I reckon that you\n"
        "or that new-fangled interface your a usin' have made a serious mistake.\n"
        "OR maybe you are trying to use this here model to simulate the runoff\n"
        "into the Great Lakes!.  In either case, I ain't gonna let you do it.\n"
        "Program terminated because the maximum number of upstream dependencies\n"
        "in the read_chan_input subroutine was equal to %d, which is, frankly, a\n"
        "reediculous number.  Fifteen yard penalty from the spot of the foul.\n",
        chan_.max_dep);
    return false;
  }
  if (n_.connect_cards != chan_.links) {
    raise_message(
        "Your channel input file contains %d links, and %d CONNECT cards\n"
        "These two numbers must be equal.  Therefore, you have a major \n"
        "problem with your channel input file.  VALTO cannot proceed.\n"
        "Fifteen yard penalty from the line of scrimmage.\n"
        "program terminated.\n",
        chan_.links, n_.connect_cards);
    return false;
  }
  if (n_.lake_links > 0 && chan_.max_dep > max_lake_upstream) {
    raise_message(
        "Error: the channel input file holds lakes and a link with %d upstream links; a network "
        "with lakes takes at most %d upstream links on any link.\n",
        chan_.max_dep, max_lake_upstream);
    return false;
  }
  return true;
}

// Tables a break-point link needs: one for all its nodes from one
// cross-section, one per node from its first to its second cross-section
// when it has two, and one per point when it is erodible.
bool chan_reader::count_tables() {
  int tables = 0;
  for (int l = 1; l <= chan_.links; ++l) {
    if (!(chan_.ltype[l] & link_bit::breakpoint)) continue;
    const std::vector<int>& at = n_.section_nodes[l];
    if (at.empty() || at.size() > 2) {
      raise_message(
          "Error: break-point link %d of the channel input file has %d cross-sections (NPAIRS "
          "cards); it needs one or two.\n",
          l, int(at.size()));
      return false;
    }
    if (at.size() == 2 && at[1] <= at[0]) {
      raise_message(
          "Error: the two cross-sections of break-point link %d stand at nodes %d and %d; the "
          "second must lie below the first.\n",
          l, at[0], at[1]);
      return false;
    }
    chan_.interp_list[l] = at.size() > 1;
    if (chan_.bplink[l] > 0)
      tables += std::max(chan_.nx1[l], 1);
    else
      tables += at.size() == 2 ? at[1] - at[0] + 1 : 1;
  }
  chan_.tables = tables;
  chan_.erodible_bp_links = bp_number_;
  if (tables == 0) return true;
  if (chan_.levels < 1) {
    raise_message(
        "Error: the number of interpolation points has not been specifiedfor any table. Each "
        "break-point cross-section table should have a NUM_INTERP ### card below the NPAIRS "
        "card\n");
    return false;
  }
  // A level count beyond the largest a table may have is refused when its
  // table is built; the arrays need not be larger than that.
  chan_.levels = std::min(chan_.levels, max_levels + 1);
  if (std::size_t(chan_.levels + 1) * std::size_t(tables + 1) > max_table_entries) {
    raise_message(
        "Error: the break-point tables of the channel input file need %d tables of %d levels, "
        "more than this version holds.\n",
        tables, chan_.levels);
    return false;
  }
  const std::size_t levels = std::size_t(chan_.levels + 1) * std::size_t(tables + 1);
  const std::size_t t = std::size_t(tables) + 1;
  if (!allocate_zeroed(chan_.xarea, levels, "xarea") ||
      !allocate_zeroed(chan_.xtw, levels, "xtw") || !allocate_zeroed(chan_.xk, levels, "xk") ||
      !allocate_zeroed(chan_.xp, levels, "xp") || !allocate_zeroed(chan_.numpairs, t, "numpairs") ||
      !allocate_zeroed(chan_.numhts, t, "numhts") || !allocate_zeroed(chan_.ht_spc, t, "ht_spc"))
    return false;
  if (bp_number_ == 0) return true;
  const std::size_t nodes = chan_.bp_node_index(bp_number_ + 1, 0);
  const std::size_t points = chan_.bp_point_index(bp_number_ + 1, 0, 0);
  return allocate_zeroed(chan_.xbp_lnn, points, "xbp_lnn") &&
         allocate_zeroed(chan_.ybp_lnn, points, "ybp_lnn") &&
         allocate_zeroed(chan_.max_yp, nodes, "max_yp") &&
         allocate_zeroed(chan_.ch_sand_vol0, nodes, "ch_sand_vol0");
}

bool chan_reader::allocate_nodes() {
  const std::size_t n = chan_.node_slots();
  const std::size_t us = (std::size_t(chan_.links) + 1) * std::size_t(chan_.max_dep + 1);
  for (auto* v : {&chan_.bel, &chan_.yp, &chan_.qp, &chan_.fr, &chan_.qp_vol, &chan_.qp_vol_sed,
                  &chan_.bottom, &chan_.bankfull_dep, &chan_.sslope, &chan_.sslope2,
                  &chan_.max_eros, &chan_.lnx, &chan_.lny, &chan_.yp_max_flood,
                  &chan_.chan_depth, &chan_.area, &chan_.area_old, &chan_.conv, &chan_.dconv,
                  &chan_.stdummy, &chan_.topw, &chan_.qlat})
    if (!allocate_zeroed(*v, n, "channel node array")) return false;
  if (!allocate_zeroed(chan_.uslinks, us, "uslinks") ||
      !allocate_zeroed(chan_.got_xsec, n, "got_xsec") ||
      !allocate_zeroed(chan_.table_num, n, "table_num") ||
      !allocate_zeroed(chan_.con_vect, n, "con_vect"))
    return false;
  const input_state& in = state_.input;
  if (n_.groundwater_links > 0 || in.stream_loss)
    if (!allocate_zeroed(chan_.krb, n, "Krb") || !allocate_zeroed(chan_.mrb, n, "Mrb"))
      return false;
  if (n_.pointsources > 0 &&
      !allocate_zeroed(chan_.stream_pointsource, n, "stream_pointsource"))
    return false;
  if (n_.pumps > 0 && !allocate_zeroed(chan_.stream_pumps, n, "stream_pumps")) return false;
  return true;
}

bool chan_reader::connectivity_pass(card_file& f) {
  f.rewind();
  int found = 0;
  while (found < chan_.links) {
    if (!f.next()) {
      if (stopped()) return false;
      raise_message(
          "Premature end-of-file in the channel input file.\n"
          "While searching for %d CONNECT cards\n"
          "Program terminated in read_chan_input.\n",
          chan_.links);
      return false;
    }
    if (chan_card_code(f.text()) != connect) continue;
    int l = 0, down = 0, count = 0;
    if (!take_link(f, connect, l) ||
        !take_int_in(f, connect, down, 0, chan_.links, "downstream link") ||
        !take_int_in(f, connect, count, 0, chan_.max_dep, "upstream link count"))
      return false;
    // A link that drains into itself would route its water round for ever.
    if (down == l) {
      refuse(f, connect, "link %d drains into itself; its downstream link must be another link "
             "or 0 for the outlet.", l);
      return false;
    }
    chan_.dslink[l] = down;
    chan_.ndep[l] = count;
    for (int k = 1; k <= count; ++k) {
      int up = 0;
      if (!take_int_in(f, connect, up, 1, chan_.links, "upstream link")) return false;
      chan_.uslinks[std::size_t(l) * (chan_.max_dep + 1) + k] = up;
    }
    ++found;
  }
  return true;
}

bool chan_reader::read_structtype(card_file& f) {
  char word[token_capacity];
  next_token(f.text(), word);
  const int j = ++element_;
  // The elements were sized by the first pass's count of these cards; a
  // file that reads differently the second time must not write past them.
  if (j >= int(chan_.elements.size())) {
    refuse(f, structtype, "more structure elements than the file's first reading counted.");
    return false;
  }
  if (!chan_.struct_range.empty()) {
    struct_link_range& r = chan_.struct_range[link_];
    r.first = std::min(r.first, j);
    r.last = std::max(r.last, j);
  }
  struct_element& e = chan_.elements[j];
  const std::string w = lower(word);
  for (int t = 0; t < int(std::size(structure_words)); ++t)
    if (w.compare(0, std::strlen(structure_words[t]), structure_words[t]) == 0) {
      e.type = t + 1;
      break;
    }
  if (e.type != rating_curve && e.type != scheduled_release && e.type != rule_curve) return true;
  char name[token_capacity];
  next_token(f.text(), name);
  const int usage_code = e.type == rating_curve        ? err_rating_curve_usage
                         : e.type == scheduled_release ? err_scheduled_release_usage
                                                       : err_rule_curve_usage;
  if (name[0] == '\0') {
    raise_error(usage_code);
    return false;
  }
  const project_settings& s = state_.input.settings;
  if (e.type == scheduled_release)
    e.ts = ts_find(s.ts_list, name);
  else
    e.es = es_find(s.es_list, name);
  if (e.ts || e.es) return true;
  raise_error(usage_code + 1);
  return false;
}

bool chan_reader::read_pump(card_file& f) {
  pump_def p;
  char kind[token_capacity], name[token_capacity];
  if (!take_int(f, pumpto, p.first) || !take_int(f, pumpto, p.second)) return false;
  next_token(f.text(), kind);
  next_token(f.text(), name);
  if (chan_.ltype[link_] == link_bit::trapezoid) p.second = 1;
  const project_settings& s = state_.input.settings;
  if (std::strncmp(kind, "ELEV", 4) == 0) {
    p.flow_type = 0;
    p.es = es_find(s.es_list, name);
  } else if (std::strncmp(kind, "TS", 2) == 0) {
    p.flow_type = 1;
    p.ts = ts_find(s.ts_list, name);
  } else {
    raise_message(
        "\n\nError in the channel input file: Flow type for pump is incorrectly\n"
        "defined for link %d. Must be ELEV or TS.\n",
        link_);
    return false;
  }
  chan_.pumps.push_back(p);
  if (chan_.stream_pumps.empty()) {
    refuse(f, pumpto, "a pump the file's first reading did not count.");
    return false;
  }
  chan_.stream_pumps[addr(link_, node_)] = int(chan_.pumps.size());
  return true;
}

bool chan_reader::data_card(card_file& f, int code) {
  const int a = addr(link_, node_);
  // Element fields before any structure element (or in a file without
  // one) land in a spare the network never reads.
  struct_element& e = chan_.elements.empty()
                          ? spare_element_
                          : chan_.elements[std::min(element_, int(chan_.elements.size()) - 1)];
  switch (code) {
    case link_card: return take_link(f, code, link_);
    case node: return take_int_in(f, code, node_, 1, chan_.max_nodes, "node");
    case elev: return take_real(f, code, chan_.bel[a]);
    case xsec: chan_.got_xsec[a] = chan_.ltype[link_]; return true;
    case bottom_width: return take_size(f, code, chan_.bottom[a], "bottom width");
    case bankfull_depth: return take_size(f, code, chan_.bankfull_dep[a], "bankfull depth");
    case side_slope: return take_size(f, code, chan_.sslope[a], "side slope");
    case max_erosion: return take_real(f, code, chan_.max_eros[a]);
    case x_y: return take_real(f, code, chan_.lnx[a]) && take_real(f, code, chan_.lny[a]);
    case k_river: return take_real(f, code, chan_.link_krb[link_]);
    case m_river: return take_real(f, code, chan_.link_mrb[link_]);
    case numstructs:
      if (chan_.struct_range.empty()) return true;
      return take_int(f, code, chan_.struct_range[link_].count);
    case structtype: return read_structtype(f);
    case upinvert:
    case crest_low_elev: return take_real(f, code, e.up_invert);
    case downinvert: return take_real(f, code, e.down_invert);
    case inlet_disch_coeff:
    case coeff_forward: return take_real(f, code, e.coeff_forward);
    case rev_flow_disch_coeff:
    case coeff_reverse: return take_real(f, code, e.coeff_reverse);
    case slope: return take_real(f, code, e.slope);
    case length:
    case crest_length: return take_real(f, code, e.length);
    case width:
    case diameter:
    case a_value:
    case steep_slope: return take_real(f, code, e.width);
    case height:
    case b_value:
    case shallow_slope: return take_real(f, code, e.height);
    case crest_low_loc: return take_real(f, code, e.crest_low_loc);
    case rough_coeff: return take_real(f, code, e.rough_coeff);
    case pointsource: {
      char name[token_capacity];
      next_token(f.text(), name);
      // A lake takes its point inflow at its first node.
      if (chan_.ltype[link_] == link_bit::lake) node_ = 1;
      if (chan_.stream_pointsource.empty()) {
        refuse(f, code, "a point source the file's first reading did not count.");
        return false;
      }
      chan_.stream_pointsource[addr(link_, node_)] = ts_find(state_.input.settings.ts_list, name);
      return true;
    }
    case pumpto: return read_pump(f);
    default: return true;
  }
}

// From the line after the last CONNECT card on: CONNECT cards are not read
// again, so they must all stand before the link data.
bool chan_reader::data_pass(card_file& f) {
  link_ = node_ = 0;
  while (f.next())
    if (!data_card(f, chan_card_code(f.text()))) return false;
  return !stopped();
}

bool chan_reader::set_bed_parameters() {
  if (chan_.krb.empty()) return true;
  const input_state& in = state_.input;
  for (int l = 1; l <= chan_.links; ++l) {
    const int t = chan_.ltype[l];
    const bool own = (t & link_bit::subsurface) && (t & (link_bit::trapezoid | link_bit::breakpoint));
    for (int j = 1; j <= chan_.nx1[l]; ++j) {
      chan_.krb[addr(l, j)] = own ? chan_.link_krb[l] : in.k_river;
      chan_.mrb[addr(l, j)] = own ? chan_.link_mrb[l] : in.m_river;
    }
  }
  return true;
}

bool chan_reader::set_sections() {
  for (int l = 1; l <= chan_.links; ++l) {
    const int t = chan_.ltype[l];
    const bool carries_water = !(t & (link_bit::structure | link_bit::lake));
    // An n of 0 given on a card is refused as it is read; here the link has
    // no MANNINGS_N card at all, most often because the file is cut short.
    if (carries_water && roughness_[l] < min_roughness) {
      raise_message(
          "Error encountered when reading the channel input file, link %d:\n"
          "    the link has no MANNINGS_N card (is the channel input file %s cut short?)\n",
          l, state_.input.files.channel_input.path);
      return false;
    }
    chan_.inv_mannings_n[l] = roughness_[l] > 0.0 ? 1.0 / roughness_[l] : 0.0;
    if (!(t & link_bit::trapezoid)) continue;
    int from = 0;
    for (int j = 1; j <= chan_.nx1[l]; ++j)
      if (chan_.got_xsec[addr(l, j)] == t) from = j;
    if (from == 0) {
      raise_message("Error: Cross section parameters not found for link %d.\n", l);
      return false;
    }
    const int s = addr(l, from);
    if (chan_.bottom[s] <= 0.0 && chan_.sslope[s] <= 0.0) {
      raise_message(
          "Error: the cross-section of link %d has no bottom width and no side slope, so it "
          "holds no water.\n",
          l);
      return false;
    }
    for (int j = 1; j <= chan_.nx1[l]; ++j) {
      const int a = addr(l, j);
      chan_.sslope[a] = chan_.sslope[s];
      chan_.bottom[a] = chan_.bottom[s];
      chan_.bankfull_dep[a] = chan_.bankfull_dep[s];
      if (t & link_bit::erodible) chan_.max_eros[a] = chan_.max_eros[s];
    }
  }
  return true;
}

bool chan_reader::breakpoint_pass(card_file& f) {
  if (chan_.tables == 0) return true;
  std::vector<bp_link_sections> links(std::size_t(chan_.links) + 1);
  std::vector<std::vector<int>> given(std::size_t(chan_.links) + 1);  // X1 cards per section
  f.rewind();
  msg_printf("Reading and interpolating break-point cross-sections ");
  int link = 0, node = 0;
  while (f.next()) {
    const int code = chan_card_code(f.text());
    const bool bp = link > 0 && (chan_.ltype[link] & link_bit::breakpoint);
    switch (code) {
      case link_card:
        if (!take_link(f, code, link)) return false;
        break;
      case chan_card::node:
        if (!take_int_in(f, code, node, 1, chan_.max_nodes, "node")) return false;
        break;
      case npairs: {
        if (!bp) break;
        bp_cross_section s;
        if (!take_int(f, code, s.pairs)) return false;
        s.node = node;
        s.x.assign(std::size_t(s.pairs) + 1, 0.0);
        s.z.assign(std::size_t(s.pairs) + 1, 0.0);
        links[link].link = link;
        links[link].sections.push_back(std::move(s));
        given[link].push_back(0);
        break;
      }
      case num_interp:
        if (!bp || links[link].sections.empty()) break;
        if (!take_int(f, code, links[link].sections.back().levels)) return false;
        break;
      case x1: {
        if (!bp) break;
        std::vector<bp_cross_section>& sections = links[link].sections;
        bp_cross_section* s = sections.empty() ? nullptr : &sections.back();
        if (!s || given[link].back() >= s->pairs) {
          raise_message(
              "\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table %d "
              "in link %d.\n",
              int(sections.size()), link);
          return false;
        }
        const int p = ++given[link].back();
        if (!take_real(f, code, s->x[p]) || !take_real(f, code, s->z[p])) return false;
        break;
      }
      default: break;
    }
  }
  if (stopped()) return false;
  int counter = 0;
  for (int l = 1; l <= chan_.links; ++l) {
    if (!(chan_.ltype[l] & link_bit::breakpoint)) continue;
    for (std::size_t i = 0; i < links[l].sections.size(); ++i) {
      const bp_cross_section& s = links[l].sections[i];
      if (given[l][i] == s.pairs) continue;
      raise_message(
          "Error: the cross-section of break-point link %d at node %d has %d X1 cards where its "
          "NPAIRS card gives %d.\n",
          l, s.node, given[l][i], s.pairs);
      return false;
    }
    if (!interp_bp_xsec(chan_, links[l], counter)) return false;
    msg_printf(".");
  }
  msg_printf("\n");
  return true;
}

// Elevations are given at points; a node lies midway between two points.
// Lake and structure links have as many nodes as points, so their last node
// averages with the spare point after them, which no card sets.
void chan_reader::set_node_elevations() {
  for (int l = 1; l <= chan_.links; ++l) {
    const bool shaped = chan_.ltype[l] & link_bit::shaped;
    chan_.nx[l] = shaped ? chan_.nx1[l] - 1 : chan_.nx1[l];
    chan_.og_nx1[l] = chan_.nx[l];
    for (int j = 1; j <= chan_.nx[l]; ++j) {
      const int a = addr(l, j);
      chan_.bel[a] = 0.5 * (chan_.bel[a] + chan_.bel[a + 1]);
      chan_.yp[a] = chan_.bel[a];
      chan_.qp[a] = 0.0;
    }
  }
}

bool chan_reader::read_grid_stream() {
  safe_file& file = state_.input.files.stream_cell;
  card_file f(file, "grid-stream file");
  char word[token_capacity] = "";
  if (f.next()) next_token(f.text(), word);
  if (stopped()) return false;
  if (std::strncmp(word, "GRIDSTREAMFILE", 14) != 0) {
    raise_message(
        "Error: the grid-stream file %s does not begin with GRIDSTREAMFILE, so no channel node "
        "is tied to a grid cell.\n",
        f.path());
    return false;
  }
  if (!f.next() || chan_card_code(f.text()) != streamcells) {
    if (stopped()) return false;
    raise_message(
        "The second card in the grid-stream file must be STREAMCELLS\n"
        "File format error, program terminating.\n");
    return false;
  }
  int cells = 0;
  if (!take_int(f, streamcells, cells)) return false;
  if (cells < 1) {
    raise_message(
        "The number of STREAMCELLS in the grid-stream (.gst) file\n"
        "must be greater than 0.  File format error, program terminating\n");
    return false;
  }
  if (std::size_t(cells) > max_node_slots) {
    refuse(f, streamcells, "%d stream cells are more than this version holds.", cells);
    return false;
  }
  chan_.stream_cells = cells;
  std::vector<int> entries(std::size_t(cells) + 1, 0);
  int counted = 0;
  while (f.next()) {
    if (chan_card_code(f.text()) != numnodes) continue;
    if (++counted > cells) {
      refuse(f, numnodes, "more NUMNODES cards than the %d STREAMCELLS.", cells);
      return false;
    }
    if (!take_int_in(f, numnodes, entries[counted], 0, 100000, "entry count")) return false;
    chan_.gst_max = std::max(chan_.gst_max, entries[counted]);
  }
  if (stopped()) return false;
  if (std::size_t(cells + 1) * std::size_t(chan_.gst_max + 1) > max_node_slots) {
    raise_message("Error: the grid-stream file %s lists more entries than this version holds.\n",
                  f.path());
    return false;
  }
  const std::size_t n = chan_.gst_index(cells + 1, 0);
  if (!allocate_zeroed(chan_.gst_ncellsingrid, std::size_t(cells) + 1, "gst_ncellsingrid"))
    return false;
  for (auto* v : {&chan_.gst_link, &chan_.gst_node, &chan_.gst_gnum, &chan_.gst_row, &chan_.gst_col})
    if (!allocate_zeroed(*v, n, "grid-stream list")) return false;
  for (auto* v : {&chan_.gst_pct, &chan_.gst_sac_weight, &chan_.gst_vlat})
    if (!allocate_zeroed(*v, n, "grid-stream list")) return false;
  for (int i = 1; i <= cells; ++i) chan_.gst_ncellsingrid[i] = entries[i];

  f.rewind();
  const grid_state& grid = state_.grid;
  int cell = 0, entry = 0;
  while (f.next()) {
    const int code = chan_card_code(f.text());
    if (code == cellij) {
      int r = 0, c = 0;
      if (++cell > cells) {
        refuse(f, code, "more CELLIJ cards than the %d STREAMCELLS.", cells);
        return false;
      }
      if (!take_int_in(f, code, r, 1, grid.rows, "row") ||
          !take_int_in(f, code, c, 1, grid.cols, "column"))
        return false;
      if (grid.mask[r][c] == 0) {
        refuse(f, code, "cell (%d, %d) lies outside the watershed.", r, c);
        return false;
      }
      chan_.gst_row[chan_.gst_index(cell, 0)] = r;
      chan_.gst_col[chan_.gst_index(cell, 0)] = c;
      entry = 0;
    } else if (code == linknode) {
      int l = 0, j = 0;
      double pct = 0.0;
      if (cell == 0) {
        refuse(f, code, "no CELLIJ card stands before it.");
        return false;
      }
      if (++entry > chan_.gst_ncellsingrid[cell]) {
        refuse(f, code, "more LINKNODE cards than the %d of the cell's NUMNODES.",
               chan_.gst_ncellsingrid[cell]);
        return false;
      }
      if (!take_link(f, code, l) || !take_int_in(f, code, j, 1, std::max(chan_.nx[l], 1), "node") ||
          !take_real(f, code, pct))
        return false;
      if (chan_.nx[l] < 1) {
        refuse(f, code, "link %d has no node.", l);
        return false;
      }
      const std::size_t k = chan_.gst_index(cell, entry);
      const std::size_t at = chan_.gst_index(cell, 0);
      chan_.gst_link[k] = l;
      chan_.gst_node[k] = j;
      chan_.gst_pct[k] = pct;
      chan_.gst_gnum[k] = grid.mask[chan_.gst_row[at]][chan_.gst_col[at]];
    }
  }
  if (stopped()) return false;
  msg_printf("Finished reading non-orthogonal channel information from gst file.\n");
  return true;
}

bool chan_reader::read_lakes(card_file& f) {
  const int lakes = n_.lake_links;
  chan_.channel_lakes = 1;
  chan_.lake_count = lakes;
  chan_.lake_loss = n_.lake_loss;
  chan_.max_lake_points = n_.max_numpts;
  const std::size_t per_lake = std::size_t(lakes) + 1;
  const std::size_t search = per_lake * std::size_t(n_.max_numpts + 1);
  const int cells = state_.grid.cells;
  for (auto* v : {&chan_.numpts, &chan_.lake_cells, &chan_.calc_loss})
    if (!allocate_zeroed(*v, per_lake, "lake array")) return false;
  for (auto* v : {&chan_.minwse, &chan_.initwse, &chan_.maxwse, &chan_.lake_volume,
                  &chan_.cumulative_lake_evap, &chan_.prevlake_volume,
                  &chan_.lake_volume_last_chan, &chan_.lake_area, &chan_.lake_elev,
                  &chan_.lake_in_dv, &chan_.lake_out_dv, &chan_.mlake})
    if (!allocate_zeroed(*v, per_lake, "lake array")) return false;
  if (!allocate_zeroed(chan_.lake_search_row, search, "lake_search") ||
      !allocate_zeroed(chan_.lake_search_col, search, "lake_search") ||
      !allocate_per_cell(chan_.lake_mask, cells, "lake_mask") ||
      !allocate_per_cell(chan_.new_flooded_grid, cells, "new_flooded_grid") ||
      !allocate_zeroed(chan_.pct_flooded, chan_.node_slots(), "pct_flooded"))
    return false;

  f.rewind();
  const grid_state& grid = state_.grid;
  int link = 0, k = 0;
  while (f.next()) {
    const int code = chan_card_code(f.text());
    bool ok = true;
    switch (code) {
      case link_card: ok = take_link(f, code, link); break;
      case lake:
        k = std::min(k + 1, lakes);
        chan_.lake2link[link] = k;
        break;
      case mlake:
        ok = take_real(f, code, chan_.mlake[k]);
        chan_.calc_loss[k] = 1;
        break;
      case minwse: ok = take_real(f, code, chan_.minwse[k]); break;
      case initwse: ok = take_real(f, code, chan_.initwse[k]); break;
      case maxwse: ok = take_real(f, code, chan_.maxwse[k]); break;
      case numpts: {
        int n = 0;
        if (!take_int(f, code, n)) return false;
        chan_.numpts[k] = n;
        // Ten row/column pairs to a line on the lines that follow.
        for (int i = 1; i <= n; ++i) {
          if ((i - 1) % 10 == 0 && !f.next()) {
            if (stopped()) return false;
            raise_message(
                "Error: the channel input file %s ends inside the %d search cells of lake %d.\n",
                f.path(), n, k);
            return false;
          }
          int r = 0, c = 0;
          if (!take_int_in(f, code, r, 1, grid.rows, "lake cell row") ||
              !take_int_in(f, code, c, 1, grid.cols, "lake cell column"))
            return false;
          if (grid.mask[r][c] == 0) {
            refuse(f, code, "lake %d cell (%d, %d) lies outside the watershed.", k, r, c);
            return false;
          }
          const std::size_t at = std::size_t(k) * (n_.max_numpts + 1) + i;
          chan_.lake_search_row[at] = r;
          chan_.lake_search_col[at] = c;
        }
        break;
      }
      default: break;
    }
    if (!ok) return false;
  }
  if (stopped()) return false;
  const double cell_area = grid.dx * grid.dx;
  for (int lk = 1; lk <= lakes; ++lk) {
    msg_printf("Minimum Water Surface Elevation Lake #%d: %.2lf\n", lk, chan_.minwse[lk]);
    msg_printf("Initial Water Surface Elevation Lake #%d: %.2lf\n", lk, chan_.initwse[lk]);
    msg_printf("Maximum Water Surface Elevation Lake #%d: %.2lf\n", lk, chan_.maxwse[lk]);
    msg_printf("number of coords for lake #%d's search order: %d\n", lk, chan_.numpts[lk]);
    if (chan_.calc_loss[lk])
      msg_printf("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", lk,
                 chan_.mlake[lk]);
    chan_.lake_volume[lk] = 0.0;
    chan_.lake_cells[lk] = 0;
    chan_.lake_in_dv[lk] = chan_.lake_out_dv[lk] = 0.0;
    for (int i = 1; i <= chan_.numpts[lk]; ++i) {
      const std::size_t at = std::size_t(lk) * (n_.max_numpts + 1) + i;
      const int cell = grid.mask[chan_.lake_search_row[at]][chan_.lake_search_col[at]];
      const double z = grid.elevation[cell];
      if (chan_.initwse[lk] <= z + 0.001) continue;
      ++chan_.lake_cells[lk];
      chan_.lake_volume[lk] += (chan_.initwse[lk] - z) * cell_area;
      chan_.lake_mask[cell] = lk;
    }
    chan_.lake_elev[lk] = chan_.initwse[lk];
    chan_.prevlake_volume[lk] = chan_.lake_volume_last_chan[lk] = chan_.lake_volume[lk];
    chan_.lake_area[lk] = chan_.lake_cells[lk] * cell_area;
  }
  const std::size_t n = std::size_t(chan_.links) + 1;
  chan_.og_ndep = chan_.ndep;
  chan_.og_dslink = chan_.dslink;
  chan_.og_ltype = chan_.ltype;
  if (!allocate_zeroed(chan_.og_uslinks, n * (max_lake_upstream + 1), "og_uslinks")) return false;
  for (int l = 1; l <= chan_.links; ++l)
    for (int j = 1; j <= std::min(chan_.ndep[l], max_lake_upstream); ++j)
      chan_.og_uslinks[std::size_t(l) * (max_lake_upstream + 1) + j] = chan_.upstream(l, j);
  return true;
}

int chan_reader::read() {
  safe_file& file = state_.input.files.channel_input;
  card_file f(file, "channel input file");
  if (!read_header(f) || !allocate_links() || !counting_pass(f)) return 0;
  if (!state_.input.super_quiet) print_summary();
  if (!check_counts() || !count_tables() || !allocate_nodes() || !connectivity_pass(f) ||
      !data_pass(f) || !set_bed_parameters() || !set_sections() || !breakpoint_pass(f))
    return 0;
  set_node_elevations();
  if (state_.input.explicit_channel && !read_grid_stream()) return 0;
  if (n_.lake_links > 0 && !read_lakes(f)) return 0;
  return n_.lake_loss;
}

}  // namespace

int chan_card_code(char* line) {
  int start = 0;
  while (line[start] != '\0' && is_space(line[start])) ++start;
  int end = start;
  while (line[end] != '\0' && !is_space(line[end])) ++end;
  char word[64];
  const int length = end - start;
  const bool fits = length > 0 && length < int(sizeof word);
  for (int i = 0; fits && i < length; ++i)
    word[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[start + i])));
  if (fits) word[length] = '\0';
  drop_leading_chars(line, end);
  if (!fits) return no_card;
  for (const card_word& w : card_words)
    if (std::strcmp(w.word, word) == 0) return w.code;
  return no_card;
}

int read_chan_input(model_state& state) {
  chan_reader reader(state);
  const int lake_loss = reader.read();
  state.input.files.channel_input.close();
  state.input.files.stream_cell.close();
  return lake_loss;
}
