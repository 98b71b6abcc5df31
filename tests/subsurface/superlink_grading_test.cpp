// Graded computational pipes: short at both ends, the whole length kept.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "subsurface/superlink_grading.h"

namespace {

struct grade_case {
  double length;
  std::vector<double> pieces;
};

const grade_case single_cases[] = {
    {8.0, {8.0}},
    {10.0, {10.0}},
    {15.0, {7.5, 7.5}},
    {25.0, {12.5, 12.5}},
    {50.0, {10.0, 30.0, 10.0}},
    {70.0, {10.0, 25.0, 25.0, 10.0}},
    {100.0, {10.0, 20.0, 40.0, 20.0, 10.0}},
    {180.0, {10.0, 20.0, 60.0, 60.0, 20.0, 10.0}},
    {300.0, {10.0, 20.0, 50.0, 140.0, 50.0, 20.0, 10.0}},
    {400.0, {10.0, 20.0, 50.0, 140.0, 100.0, 50.0, 20.0, 10.0}},
    {630.0, {10.0, 20.0, 50.0, 100.0, 100.0, 170.0, 100.0, 50.0, 20.0, 10.0}},
};

TEST(superlink_grading, a_single_pipe_is_graded_from_both_ends) {
  for (const grade_case& c : single_cases) {
    SCOPED_TRACE(c.length);
    std::vector<double> pieces;
    grade_single_pipe(c.length, pieces);
    ASSERT_EQ(pieces.size(), c.pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) EXPECT_DOUBLE_EQ(pieces[i], c.pieces[i]);
  }
}

TEST(superlink_grading, several_pipes_keep_their_length_and_their_middle) {
  const std::vector<std::vector<double>> superlinks = {
      {100.0, 100.0, 100.0, 100.0}, {12.0, 400.0}, {3.0, 4.0}, {13.0, 17.0, 90.0}, {250.0, 30.0}};
  for (const auto& lengths : superlinks) {
    std::vector<double> pieces;
    std::vector<int> owner;
    grade_superlink(lengths, pieces, owner);
    ASSERT_EQ(pieces.size(), owner.size());
    // Every input pipe is exactly covered by its own pieces, in order.
    std::vector<double> covered(lengths.size(), 0.0);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0) {
        EXPECT_GE(owner[i], owner[i - 1]);
      }
      EXPECT_GT(pieces[i], 0.0);
      covered[std::size_t(owner[i])] += pieces[i];
    }
    for (std::size_t p = 0; p < lengths.size(); ++p) EXPECT_NEAR(covered[p], lengths[p], 1e-9);
  }
  std::vector<double> pieces;
  std::vector<int> owner;
  grade_superlink({100.0, 100.0, 100.0, 100.0}, pieces, owner);
  // The end pipes graded 10, 20, 35, 35 from their outer ends; the middle two whole.
  const std::vector<double> expect = {10, 20, 35, 35, 100, 100, 35, 35, 20, 10};
  ASSERT_EQ(pieces.size(), expect.size());
  for (std::size_t i = 0; i < expect.size(); ++i) EXPECT_DOUBLE_EQ(pieces[i], expect[i]);
  grade_superlink({3.0, 4.0}, pieces, owner);  // 10 m or less: as read
  EXPECT_EQ(pieces, (std::vector<double>{3.0, 4.0}));
  // A rest under 5 m stays with its 10 m; a rest of 5 to 10 m lies outside
  // the 10 m piece.
  grade_superlink({12.0, 30.0, 17.0}, pieces, owner);
  EXPECT_EQ(pieces, (std::vector<double>{12.0, 30.0, 10.0, 7.0}));
}

}  // namespace
