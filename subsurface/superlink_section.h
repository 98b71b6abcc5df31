#pragma once
// Pipe hydraulics of the superlink network: flow area, top width and wetted
// perimeter of a section at a depth, and the critical and normal depths of
// a discharge. Sections: 1 circular, 2 arch, 3 rectangular (pipe_section);
// lengths in m, discharges in m3/s.

struct section_props {
  double area = 0.0;       // m2
  double top_width = 0.0;  // m
  double wet_per = 0.0;    // m
};

// Area, top width and wetted perimeter at depth y; a type outside 1..3
// leaves out as it stands. A full circle has no top width.
void superlink_section_props(double diameter, double y, double width, int type,
                             section_props& out);

// Area alone: circular and rectangular, 0 for other types or y <= 0.
double superlink_flow_area(int type, double diameter, double width, double y);

// Critical depth of discharge q into yc: 0, or -1 after a printed message
// (arch sections, no convergence), yc then as it stood.
int superlink_crit_calc(int type, double diameter, double width, double q, double& yc);

// Normal depth of discharge q at slope s by Manning into yn: 0, or -1 after
// a printed message. A circular pipe's depth is found within the depths up
// to that of its largest capacity (0.93818 D); a discharge above that
// capacity runs full (yn = D). Without a slope there is no normal depth and
// yn becomes infinite, so that the smaller of the critical and the normal
// depth is the critical one.
int superlink_norm_calc(int type, double diameter, double width, double n, double q, double s,
                        double& yn);

// Depth of the largest Manning capacity of a circular pipe, as a share of D.
constexpr double circular_capacity_share = 0.93818;
