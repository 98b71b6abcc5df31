#pragma once
// Discharge through the elements of a hydraulic structure link: the weir, the
// sag weir (parabolic crest) and the round, oval and box culverts, with the
// critical-depth solver and the root finder of the short-culvert case, and
// the inlet-control coefficient the node-flow code sets before each use.
//
// Every formula takes one element (elements are numbered from 1) and the
// water levels on its two sides (m) and gives a signed discharge (m3/s):
// positive from the upstream side to the downstream side, negative for
// reverse flow. SI units throughout, 2g taken as 19.62 m/s2.

#include <vector>

struct struct_element;

// Discharge that marks a failed culvert solution; its message is printed.
constexpr double culvert_failure = -9999.99;

// Culvert shapes of the section routines (element types 3, 4, 5).
namespace culvert_shape {
constexpr int round = 1;
constexpr int oval = 2;
constexpr int box = 3;
}  // namespace culvert_shape

// What culv_flow works out besides the discharge.
struct culvert_flow {
  double q = 0.0;      // m3/s, negative for reverse flow
  int type = 0;        // flow type 0..6, negative for reverse flow
  double depth = 0.0;  // the rise, or the critical depth where the flow is critical, m
  double area = 0.0;   // flow area, m2
};

struct culvert_geometry {
  double area = 0.0;       // m2
  double perimeter = 0.0;  // wetted perimeter, m
  double top_width = 0.0;  // m
};

struct root_result {
  double root = 0.0;   // the discharge found, m3/s, or culvert_failure
  int iterations = 0;  // iterations taken
};

// Weir of crest length `length` at crest elevation `up_invert`.
double weir_flow(const std::vector<struct_element>& elements, int index, double up_level,
                 double down_level);

// Weir whose crest is a parabola of lowest elevation `up_invert`, its slope
// running from `width` (s1) to `height` (s2) over the crest length.
double sag_weir_flow(const std::vector<struct_element>& elements, int index, double up_level,
                     double down_level);

// Round, oval or box culvert (types 3, 4, 5). A zero barrel length or a
// failed short-culvert solution prints its message and gives culvert_failure.
culvert_flow culv_flow(const std::vector<struct_element>& elements, int index, double up_level,
                       double down_level);

// Area, wetted perimeter and top width of a culvert of rise d and span w at
// the given depth (m).
culvert_geometry culvert_section(double d, double depth, double w, int shape);

// Flow area (m2) of a round or box culvert at the given depth; 0 for other
// shapes.
double culvert_flow_area(int shape, double d, double w, double depth);

// Critical depth (m) of discharge q. Sets code 122 with the stop flag when
// the round-culvert iteration does not converge, code 123 for the oval shape.
double culvert_solve_depth(int shape, double d, double w, double q);

// q - A(yc) cd sqrt(2g) sqrt(head - yc), yc the critical depth of q: zero
// where q passes critically at the inlet under the given head (m).
double culvert_energy_residual(int shape, double d, double w, double cd, double head, double q);

// The root q of culvert_energy_residual between x1 and x2 (m3/s) by Brent's
// method to the given tolerance. A root not bracketed, or no convergence in
// 100 iterations, prints its message and gives culvert_failure.
root_result zbrent(int shape, double d, double w, double cd, double head, double x1, double x2,
                   double tolerance);

// The inlet-control coefficient from its calibration ratio: never above 1,
// a ratio past 1 falls back to 0.99.
double limit_inlet_coefficient(double ratio);

// Sets the inlet-control coefficient (coeff_inlet) of culvert `index` from two
// free-outfall runs at heads of 1.5 and 1.49 rises. A run that fails prints
// "Error in link number..." with `link` and raises 4000; returns false then.
bool calibrate_culvert(std::vector<struct_element>& elements, int index, int link);

// The culvert's share of structure link `link`: calibrated, then culv_flow at
// the two levels, a failure of any run reported as calibrate_culvert does.
// Returns culv_flow's discharge (culvert_failure after a failed last run).
double culvert_link_flow(std::vector<struct_element>& elements, int index, int link,
                         double up_level, double down_level);
