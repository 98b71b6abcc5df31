#pragma once
// The channel input file: the link/node network, its cross-sections,
// structures, pumps, point-source series and channel lakes, and the
// grid-stream file that ties the nodes to grid cells.

struct model_state;

// Card codes of the channel input file; a word not in the table is no_card.
namespace chan_card {
constexpr int alpha = 1, beta = 2, theta = 3, dx = 4, links = 5, maxnodes = 6, connect = 7,
              link_card = 8, nodes = 9, trapezoid = 10, trapezoid_subsurface = 11,
              trapezoid_erode = 12, trapezoid_subsurface_erode = 13, breakpoint = 14,
              breakpoint_erode = 15, breakpoint_subsurface = 16,
              breakpoint_subsurface_erode = 17, erodible = 18, subsurface = 19, lake = 20,
              mlake = 21, structure = 22, structtype = 23, mannings_n = 24, max_erosion = 25,
              k_river = 26, m_river = 27, dispersion = 28, decay = 29, num_outlets = 30,
              node = 31, elev = 32, xsec = 33, bottom_width = 34, bankfull_depth = 35,
              side_slope = 36, x1 = 37, x_y = 38, npairs = 39, streamcells = 40, cellij = 41,
              numnodes = 42, linknode = 43, numstructs = 44, upinvert = 45, downinvert = 46,
              inlet_disch_coeff = 48, rev_flow_disch_coeff = 50, slope = 51, length = 52,
              width = 53, height = 54, diameter = 56, rough_coeff = 57, a_value = 58,
              b_value = 59, minwse = 60, initwse = 61, maxwse = 62, numpts = 63,
              crest_length = 64, crest_low_elev = 65, crest_low_loc = 66,
              coeff_forward = 67, coeff_reverse = 68, steep_slope = 69, shallow_slope = 70,
              pointsource = 71, num_interp = 72, pumpto = 73, no_card = 74;
}

// Takes the first word off line (leading blanks, tabs and newlines skipped;
// the word ends at a blank, tab, newline or the end) and gives its code,
// matched in lower case; no_card for a blank line or an unknown word.
int chan_card_code(char* line);

// Reads the channel input file and the grid-stream file into the network of
// state.channel. Returns the lake-loss flag (1 when an MLAKE card is
// present); on a failure the error state holds the code.
int read_chan_input(model_state& state);
