// Stream loss without the groundwater model, run whole on the bank project
// (a 3 x 10 grid of 100 m cells draining to a channel along its bottom row
// under four hours of 36 mm/h): every wet node loses through its bed by its
// depth, and what the channels lose leaves the run's books as the flux from
// river to groundwater.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../surface/surface_run_fixture.h"
#include "run/model_state.h"
#include "test_support.h"

namespace {

using namespace surface_fixture;

struct bank_run {
  test_support::temp_dir dir;
  run_output out;
  std::string summary;
};

void run_bank(bank_run& r, const std::string& extra,
              const std::function<void(model_state&)>& after_pass = nullptr) {
  for (const char* name : {"mask.asc", "elevation.asc", "bank.chan", "bank.gst"})
    r.dir.write(name, fixture_text("bank", name));
  r.dir.write("bank.prj", edit_cards(fixture_text("bank", "bank.prj"), {}, "NUM_THREADS 1\n" + extra));
  r.out = run_in_process(r.dir.path(), "bank.prj", after_pass);
  r.summary = test_support::read_file(r.dir.file("summary.out"));
}

// A bed of 1 m at 0.36 /h (1e-4 m/s) takes a modest share; at 360 /h the
// nodes would lose more than they hold each step, so each gives what it
// holds. Either way the surface, the channels and the run's books close.
TEST(stream_loss_run, the_channels_lose_through_their_beds_and_the_books_close) {
  bank_run plain;
  run_bank(plain, "");
  ASSERT_EQ(plain.out.status, 0) << plain.out.text;
  const double plain_discharge = summary_value(plain.summary, "Total amount of discharge=");

  const struct {
    const char* name;
    double k;  // K_RIVER, 1/h
  } cases[] = {{"modest bed", 0.36}, {"bed that would take more than the nodes hold", 360.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bank_run r;
    double lowest_area = 0.0;
    run_bank(r, "STREAM_LOSS\nK_RIVER " + std::to_string(c.k) + "\nM_RIVER 1\n",
             [&](model_state& s) {
               for (double a : s.channel.area) lowest_area = std::min(lowest_area, a);
             });
    ASSERT_EQ(r.out.status, 0) << r.out.text;
    const std::string& t = r.summary;
    const double lost = summary_value(t, "Total flux from river to gw=");
    EXPECT_GT(lost, 10.0);
    // The discharge lacks what the beds took, but for the little the
    // channels hold at the end apart.
    EXPECT_NEAR(plain_discharge - summary_value(t, "Total amount of discharge="), lost,
                0.01 * lost);
    EXPECT_NEAR(summary_value(t, "volume of water from chan to gw:"), lost, 0.06);
    EXPECT_LT(std::fabs(summary_value(t, "Mass balance error of surface components =")), 1e-4);
    EXPECT_LT(std::fabs(summary_value(t, "Overall mass balance error =")), 1e-4);
    EXPECT_GE(lowest_area, -1e-8);
  }
}

}  // namespace
