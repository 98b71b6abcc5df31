// Closing the run's files: everything open is flushed and closed, a second
// call does nothing, and a corrupt wrapper is reported and emptied.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "run/model_state.h"
#include "output/output_steps.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::stdout_capture;
using test_support::temp_dir;

TEST(close_model_files, closes_inputs_and_outputs_and_is_silent_the_second_time) {
  temp_dir dir;
  const std::string mask = dir.write("mask.asc", "north: 1\n");
  model_state s;
  safe_file* const outputs[] = {&s.output.summary, &s.output.outlet_hydro,
                                &s.output.sig_outlet_hydro, &s.calib.optim_out,
                                &s.output.chan_stage, &s.output.map_dataset[0],
                                &s.output.map_dataset[11]};
  int k = 0;
  for (safe_file* f : outputs) {
    ASSERT_TRUE(f->open(dir.file("out" + std::to_string(k++)).c_str(), "w"));
    std::fputs("kept\n", f->stream);  // still in the stream's buffer
  }
  ASSERT_TRUE(s.input.files.watershed_mask.open(mask.c_str(), "r"));

  stdout_capture capture;
  close_model_files(s);
  close_model_files(s);
  EXPECT_EQ(capture.stop(), "");
  for (safe_file* f : outputs) EXPECT_FALSE(f->is_open());
  EXPECT_FALSE(s.input.files.watershed_mask.is_open());
  for (int i = 0; i < k; ++i) EXPECT_EQ(read_file(dir.file("out" + std::to_string(i))), "kept\n");
}

TEST(close_model_files, a_corrupt_wrapper_prints_its_message_and_is_emptied) {
  temp_dir dir;
  model_state s;
  ASSERT_TRUE(s.output.outlet_hydro.open(dir.file("outlet.hyd").c_str(), "w"));
  ASSERT_TRUE(s.output.summary.open(dir.file("summary.out").c_str(), "w"));
  const std::string path = s.output.outlet_hydro.path;
  std::FILE* real = s.output.outlet_hydro.stream;
  s.output.outlet_hydro.shadow = nullptr;  // overwritten memory

  stdout_capture capture;
  close_model_files(s);
  EXPECT_EQ(capture.stop(),
            "\n\n\nError with the file " + path + ". The file pointer is corrupt.\n\n\n\n");
  EXPECT_FALSE(s.output.outlet_hydro.is_open());
  EXPECT_EQ(s.output.outlet_hydro.path[0], '\0');
  EXPECT_FALSE(s.output.summary.is_open());  // the other files are closed all the same
  std::fclose(real);  // the wrapper would not trust the stream; the test does
}

}  // namespace
