#pragma once
// Soil-water relations of a Richards soil column: relative conductivity and
// moisture capacity of every node by the Brooks-Corey or the Havercamp
// family, and the conversions between pressure head and water content of one
// node. Heads are in the column's length unit (cm), negative when
// unsaturated; contents are volume fractions; capacity is dtheta/dh (1/cm).

// The families of RICHARDS_C_OPTION. With none, neither property routine
// runs and the conversions take the Havercamp forms.
constexpr int soil_family_none = 0;
constexpr int soil_family_brooks = 1;
constexpr int soil_family_havercamp = 2;

// One cell's column: the cell's rows of the per-node arrays, nodes 1..n with
// the surface slot 0 in front. The arrays of the family not in use may be
// null.
struct soil_column {
  int n = 0;  // node count

  double* phead = nullptr;         // pressure head h, cm
  double* theta = nullptr;         // water content
  double* khead = nullptr;         // relative conductivity Kr, 0..1
  double* watcap = nullptr;        // moisture capacity Cm, 1/cm
  const double* thetas = nullptr;  // saturated content
  const double* thetar = nullptr;  // residual content
  // Brooks-Corey
  const double* lam = nullptr;     // pore-size index lambda
  const double* bp = nullptr;      // bubbling head hb, cm, negative
  const double* bchc = nullptr;    // threshold head hc <= hb, cm
  const double* thehac = nullptr;  // content at hc
  // Havercamp
  const double* ahav = nullptr;    // conductivity A, cm^B
  const double* bhav = nullptr;    // conductivity exponent B
  const double* alpha = nullptr;   // retention alpha, cm
  const double* beta = nullptr;    // retention exponent beta
};

// Bubbling head as the column holds it (negative), whatever the sign read.
double brooks_corey_bp(double hb);

// Threshold head hc, cm: below it the pure Brooks-Corey curve holds, above
// it the parabolic closure that reaches saturation at h = 0.
double brooks_corey_bchc(double bp, double lam);

// Content at hc. The closure meets the curve only when the effective
// saturation at hc is (2/lambda)/(2/lambda + 1), so the residual content
// stands under the fraction.
double brooks_corey_thehac(double thetas, double thetar, double lam);

// Kr and Cm of nodes 1..n from their heads (and, in the closure, their
// contents); slot 0 takes node 1's values, also when n = 0.
void brooks_corey_props(soil_column& col);

// As brooks_corey_props for Havercamp; a node at or above zero head is also
// set saturated.
void havercamp_props(soil_column& col);

// Head of node j from its content; a content at or below residual leaves the
// head as it was.
void soil_head_from_theta(soil_column& col, int j, int family);

// Content of node j from its head; returns the change of content.
double soil_theta_from_head(soil_column& col, int j, int family);
