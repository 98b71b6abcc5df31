#pragma once
// Computational pipes of a superlink under SUPERLINK_C_OPT: short pipes at
// both ends (10, 20, 50, then 100 m from each end) where the implicit solve
// meets its junctions, long ones in the middle.

#include <vector>

// The computational pipe lengths of one input pipe of length length (m),
// upstream first. A pipe of 10 m or less stays whole.
void grade_single_pipe(double length, std::vector<double>& pieces);

// The computational pipe lengths of a superlink whose input pipes have the
// given lengths (upstream first), with the input pipe (0-based) that holds
// each. One input pipe is graded as above; of several, the first is graded
// from the upstream end and the last from the downstream end, the pipes
// between staying whole; a superlink of 10 m or less is not graded.
void grade_superlink(const std::vector<double>& lengths, std::vector<double>& pieces,
                     std::vector<int>& owner);
