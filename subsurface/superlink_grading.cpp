// Grading of the computational pipes. The end pieces are short because the
// end relations of a superlink assume the water near a junction follows its
// head; in the middle long pipes save work without losing accuracy.

#include "subsurface/superlink_grading.h"

#include <algorithm>

void grade_single_pipe(double length, std::vector<double>& pieces) {
  pieces.clear();
  const double l = length;
  if (l <= 10.0) {
    pieces = {l};
  } else if (l <= 20.0) {
    pieces = {l / 2.0, l / 2.0};
  } else if (l < 60.0) {
    const double r = l - 20.0;
    if (r >= 10.0)
      pieces = {10.0, r, 10.0};
    else
      pieces = {10.0 + r / 2.0, 10.0 + r / 2.0};
  } else if (l < 160.0) {
    const double r = l - 60.0;
    if (r >= 20.0)
      pieces = {10.0, 20.0, r, 20.0, 10.0};
    else
      pieces = {10.0, 20.0 + r / 2.0, 20.0 + r / 2.0, 10.0};
  } else if (l < 360.0) {
    const double r = l - 160.0;
    if (r >= 50.0)
      pieces = {10.0, 20.0, 50.0, r, 50.0, 20.0, 10.0};
    else
      pieces = {10.0, 20.0, 50.0 + r / 2.0, 50.0 + r / 2.0, 20.0, 10.0};
  } else {
    const double r = l - 360.0;
    const int hundreds = static_cast<int>(r / 100.0);
    const double leftover = r - 100.0 * hundreds;
    pieces = {10.0, 20.0, 50.0, 100.0};
    for (int k = 0; k < hundreds; ++k) pieces.push_back(100.0);
    pieces.back() += leftover;  // the last 100 m pipe, or the first when there is none
    for (double p : {100.0, 50.0, 20.0, 10.0}) pieces.push_back(p);
  }
}

namespace {

// One end input pipe graded from its outer end: outer piece first.
void grade_end_pipe(double l, std::vector<double>& pieces) {
  pieces.clear();
  if (l <= 10.0 || l - 10.0 < 5.0) {
    pieces.push_back(l);
    return;
  }
  double s = l - 10.0;
  if (s < 10.0) {
    // A rest of 5 to 10 m lies outside the 10 m piece.
    pieces.push_back(s);
    pieces.push_back(10.0);
    return;
  }
  pieces.push_back(10.0);
  // The second and third pieces: cut at their size when longer, the two
  // parts made equal when the cut-off rest is shorter than the size.
  for (double size : {20.0, 50.0}) {
    if (size == 50.0 && s < 15.0) {
      pieces.back() += s;  // too short to stand alone
      return;
    }
    if (s <= size) {
      pieces.push_back(s);
      return;
    }
    if (s - size < size) {
      pieces.push_back(s / 2.0);
      pieces.push_back(s / 2.0);
      return;
    }
    pieces.push_back(size);
    s -= size;
  }
  // From the fourth piece on: 100 m pipes while two fit, then the rest as
  // one pipe under 100 m or two equal ones (a rest of exactly 100 m gives
  // two of 50 m).
  while (s >= 200.0) {
    pieces.push_back(100.0);
    s -= 100.0;
  }
  if (s >= 100.0) {
    pieces.push_back(s / 2.0);
    pieces.push_back(s / 2.0);
  } else {
    pieces.push_back(s);
  }
}

}  // namespace

void grade_superlink(const std::vector<double>& lengths, std::vector<double>& pieces,
                     std::vector<int>& owner) {
  pieces.clear();
  owner.clear();
  const int n = static_cast<int>(lengths.size());
  if (n == 0) return;
  if (n == 1) {
    grade_single_pipe(lengths[0], pieces);
    owner.assign(pieces.size(), 0);
    return;
  }
  double total = 0.0;
  for (double l : lengths) total += l;
  if (total <= 10.0) {
    pieces = lengths;
    for (int i = 0; i < n; ++i) owner.push_back(i);
    return;
  }
  std::vector<double> end;
  grade_end_pipe(lengths[0], end);
  for (double p : end) {
    pieces.push_back(p);
    owner.push_back(0);
  }
  for (int i = 1; i < n - 1; ++i) {
    pieces.push_back(lengths[std::size_t(i)]);
    owner.push_back(i);
  }
  grade_end_pipe(lengths[std::size_t(n - 1)], end);
  std::reverse(end.begin(), end.end());
  for (double p : end) {
    pieces.push_back(p);
    owner.push_back(n - 1);
  }
}
