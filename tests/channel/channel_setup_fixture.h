#pragma once
// Fixture of the channel set-up tests: the junction project (a 3 x 8 grid
// with two head links meeting a third) copied into a temporary folder, its
// channel, grid-stream and project files edited per test, and the
// production set-up phases run in-process through the grid inputs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/grid_setup_fixture.h"

class channel_setup_test : public grid_setup_test {
 protected:
  void SetUp() override {
    grid_setup_test::SetUp();
    chan_text_ = fixture("junction.chan");
    gst_text_ = fixture("junction.gst");
    for (const char* name : {"mask.asc", "elevation.asc"}) dir_.write(name, fixture(name));
  }

  static std::string fixture(const std::string& name) {
    return test_support::read_file(
        (std::filesystem::path(VALTO_FIXTURES_DIR) / "junction" / name).string());
  }

  // The junction project's cards without its magic line, extra appended.
  static std::string junction_cards(const std::string& extra = "") {
    std::string cards = fixture("junction.prj");
    return cards.substr(cards.find('\n') + 1) + extra;
  }

  // Replaces the first occurrence of from in text (which must hold it).
  static void replace(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }

  // Writes the channel and grid-stream files as edited, then runs the set-up
  // through the grid inputs (the channel cards are let through the gate).
  std::string run_channel_setup(const std::string& extra = "",
                                const tweak& before_open = nullptr) {
    dir_.write("junction.chan", chan_text_);
    dir_.write("junction.gst", gst_text_);
    return run_setup(junction_cards(extra), "read_grid_inputs", "check_project_options",
                     [&](model_state& s) {
                       s.input.settings.unbuilt_cards.clear();
                       if (before_open) before_open(s);
                     });
  }

  const channel_state& chan() const { return state_->channel; }
  int at(int link, int node) const { return chan().node_address(link, node); }

  std::string chan_text_;
  std::string gst_text_;
};
