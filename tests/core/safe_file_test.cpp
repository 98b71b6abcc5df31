#include "core/safe_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error_state.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::scoped_cwd;
using test_support::stdout_capture;
using test_support::temp_dir;

// The resolution settings are process-wide: each test starts from none and
// puts back what it found.
class file_names : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_project_, project_directory, path_capacity);
    std::memcpy(saved_output_, output_directory, path_capacity);
    saved_output_set_ = output_directory_set;
    saved_prefix_flag_ = run_prefix_flag;
    saved_prefix_number_ = run_prefix_number;
    project_directory[0] = '\0';
    output_directory[0] = '\0';
    output_directory_set = 0;
    run_prefix_flag = 0;
    run_prefix_number = 0;
  }
  void TearDown() override {
    std::memcpy(project_directory, saved_project_, path_capacity);
    std::memcpy(output_directory, saved_output_, path_capacity);
    output_directory_set = saved_output_set_;
    run_prefix_flag = saved_prefix_flag_;
    run_prefix_number = saved_prefix_number_;
  }

  static void use_project(const std::string& dir) {
    std::string text = dir;
    set_project_directory(text.data(), static_cast<int>(text.size()));
  }

 private:
  char saved_project_[path_capacity];
  char saved_output_[path_capacity];
  int saved_output_set_ = 0;
  int saved_prefix_flag_ = 0;
  int saved_prefix_number_ = 0;
};

struct candidate_case {
  const char* what;
  const char* mode;
  const char* output_dir;          // relative to the project directory; "" for none
  std::vector<const char*> files;  // created below the tree root, content = their own path
  const char* name;                // as a card would give it; relative to the working dir
  const char* opened;              // below the tree root, or null when nothing opens
  const char* screen;              // what resolution prints
};

// Tree: root/cwd is the working directory, root/proj the project directory.
const candidate_case candidate_cases[] = {
    {"read takes the name as given first", "r", "", {"cwd/f.txt", "proj/f.txt"}, "f.txt",
     "cwd/f.txt", ""},
    {"read falls back to the project directory", "r", "", {"proj/f.txt"}, "f.txt", "proj/f.txt",
     ""},
    {"read with an output directory looks in it", "r", "out/", {"proj/out/f.txt", "proj/f.txt"},
     "f.txt", "proj/out/f.txt", ""},
    {"read with an output directory skips the bare project directory", "r", "out/",
     {"proj/f.txt", "proj/out/g.txt"}, "f.txt", nullptr, "Error getting new filename from f.txt\n"},
    {"read accepts backslashes", "r", "", {"cwd/sub/f.txt"}, "sub\\f.txt", "cwd/sub/f.txt", ""},
    {"read drops the outer quotes", "r", "", {"cwd/a b.txt"}, "\"a b.txt\"", "cwd/a b.txt", ""},
    {"read finds nothing", "r", "", {"proj/g.txt"}, "f.txt", nullptr,
     "Error getting new filename from f.txt\n"},
    {"write goes below the output sub-directory first", "w", "out/", {"proj/out/keep"}, "f.txt",
     "proj/out/f.txt", ""},
    {"write without output directory goes to the project directory", "w", "", {}, "f.txt",
     "proj/f.txt", ""},
    {"write falls back to the name as given", "w", "missing/", {}, "f.txt", "cwd/f.txt", ""},
    {"write reaches the bare project directory last", "w", "missing/", {"proj/res/keep"},
     "res\\f.txt", "proj/res/f.txt", ""},
    {"write finds no directory", "a", "missing/", {}, "none/f.txt", nullptr,
     "Error getting new filename from none/f.txt\n"},
};

TEST_F(file_names, candidates_are_tried_in_order_by_opening_them) {
  for (const candidate_case& c : candidate_cases) {
    SCOPED_TRACE(c.what);
    temp_dir tree;
    const std::string root = tree.path().string() + "/";
    fs::create_directories(tree.path() / "cwd");
    fs::create_directories(tree.path() / "proj");
    for (const char* f : c.files) tree.write(f, f);
    use_project(root + "proj");
    output_directory[0] = '\0';
    if (c.output_dir[0]) set_output_directory(c.output_dir);

    scoped_cwd in(tree.path() / "cwd");
    safe_file file;
    stdout_capture capture;
    bool opened = file.open(c.name, c.mode);
    EXPECT_EQ(capture.stop(), c.screen);
    ASSERT_EQ(opened, c.opened != nullptr);
    if (!opened) {
      EXPECT_FALSE(file.is_open());
      EXPECT_STREQ(file.path, "");
      continue;
    }
    EXPECT_STREQ(file.mode, c.mode);
    // A name found as given keeps its relative form; others show the full candidate.
    std::string opened_path = c.opened;
    std::string expected = opened_path.rfind("cwd/", 0) == 0 ? opened_path.substr(4) : root + opened_path;
    EXPECT_EQ(file.path, expected);
    if (c.mode[0] == 'r') {
      char content[64] = {};
      ASSERT_NE(std::fgets(content, sizeof content, file.stream), nullptr);
      EXPECT_STREQ(content, c.opened);
    } else {
      file.close();
      EXPECT_TRUE(fs::exists(root + c.opened));
      if (opened_path != "cwd/f.txt") {
        EXPECT_FALSE(fs::exists(tree.path() / "cwd" / "f.txt"));
      }
    }
  }
}

TEST_F(file_names, batch_runs_prefix_the_last_name_part_of_written_files) {
  temp_dir tree;
  const std::string proj = tree.path().string() + "/";
  fs::create_directories(tree.path() / "out");
  tree.write("out/q.txt", "plain");
  use_project(proj);
  run_prefix_flag = 1;
  run_prefix_number = 3;
  scoped_cwd in(tree.path() / "out");  // a working directory that holds no out/

  safe_file written;
  ASSERT_TRUE(written.open("out\\q.txt", "w"));
  EXPECT_EQ(std::string(written.path), proj + "out/0003_q.txt");
  safe_file appended;
  ASSERT_TRUE(appended.open("log.txt", "a"));
  EXPECT_EQ(std::string(appended.path), proj + "0003_log.txt");
  safe_file read;
  ASSERT_TRUE(read.open("out\\q.txt", "r"));
  EXPECT_EQ(std::string(read.path), proj + "out/q.txt");
}

TEST_F(file_names, output_directory_under_the_project_is_made_and_shortened) {
  temp_dir tree;
  const std::string proj = tree.path().string() + "/";
  use_project(proj);
  set_output_directory((proj + "results").c_str());
  EXPECT_EQ(std::string(output_directory), proj + "results/");
  EXPECT_EQ(output_directory_set, 1);
  const fs::path cwd = fs::current_path();

  safe_file first;
  ASSERT_TRUE(first.open("a.txt", "w"));
  EXPECT_EQ(std::string(first.path), proj + "results/a.txt");
  EXPECT_STREQ(output_directory, "results/");
  EXPECT_EQ(fs::current_path(), cwd);

  // Later files go to project directory + the relative part.
  safe_file second;
  ASSERT_TRUE(second.open("b.txt", "w"));
  EXPECT_EQ(std::string(second.path), proj + "results/b.txt");
  EXPECT_STREQ(output_directory, "results/");

  // An output directory that cannot be made is dropped: files go to the
  // project directory.
  set_output_directory((proj + "no/such/place").c_str());
  safe_file third;
  ASSERT_TRUE(third.open("c.txt", "w"));
  EXPECT_EQ(std::string(third.path), proj + "c.txt");
  EXPECT_STREQ(output_directory, "");
  EXPECT_FALSE(fs::exists(proj + "no"));

  // Outside the project directory nothing is made or changed.
  char result[path_capacity];
  make_output_subdirectory("/elsewhere/out/", result);
  EXPECT_STREQ(result, "/elsewhere/out/");
  EXPECT_STREQ(output_directory, "");
  EXPECT_EQ(fs::current_path(), cwd);
}

TEST_F(file_names, directory_settings_end_in_one_forward_slash) {
  char project[] = "C:\\data\\proj\\extra";
  set_project_directory(project, 12);  // only C:\data\proj
  EXPECT_STREQ(project_directory, "C:/data/proj/");
  EXPECT_STREQ(project, "C:\\data\\proj\\extra");  // the caller's text is left alone

  const struct {
    const char* given;
    const char* stored;
  } outputs[] = {{"out", "out/"}, {"out/", "out/"}, {"a\\b\\", "a/b/"}, {"", ""}};
  for (const auto& o : outputs) {
    set_output_directory(o.given);
    EXPECT_STREQ(output_directory, o.stored) << o.given;
  }

  // A directory with no room for its separator is refused, not cut.
  std::string huge(path_capacity - 1, 'd');
  stdout_capture capture;
  set_project_directory(huge.data(), static_cast<int>(huge.size()));
  EXPECT_EQ(capture.stop(), "Error.... name too long!!!\n\n\n");
  EXPECT_STREQ(project_directory, "C:/data/proj/");
}

TEST_F(file_names, absolute_names_are_opened_as_they_stand) {
  temp_dir tree;
  std::string file = tree.write("abs.txt", "x");
  use_project(tree.path().string() + "/proj");
  safe_file f;
  ASSERT_TRUE(f.open(file.c_str(), "r"));
  EXPECT_EQ(std::string(f.path), file);
}

TEST_F(file_names, refused_opens_print_nothing_and_create_nothing) {
  temp_dir tree;
  scoped_cwd in(tree.path());
  const char* modes[] = {"x", "", "+w", "W"};
  stdout_capture capture;
  safe_file f;
  EXPECT_FALSE(f.open("", "r"));
  EXPECT_FALSE(f.open(nullptr, "r"));
  EXPECT_FALSE(f.open("f.txt", nullptr));
  for (const char* m : modes) EXPECT_FALSE(f.open("f.txt", m)) << m;
  EXPECT_EQ(capture.stop(), "");
  EXPECT_TRUE(fs::is_empty(tree.path()));
}

TEST_F(file_names, over_long_names_are_refused_without_overrun) {
  temp_dir tree;
  use_project(tree.path().string() + "/");
  safe_file f;

  std::string long_name(1500, 'n');
  stdout_capture capture;
  EXPECT_FALSE(f.open(long_name.c_str(), "w"));
  EXPECT_EQ(capture.stop(), "Error.... name too long!!!\n\n\n");

  // The run prefix would push a fitting name past the limit.
  std::string near(path_capacity - 3, 'n');
  run_prefix_flag = 1;
  stdout_capture prefixed;
  EXPECT_FALSE(f.open(near.c_str(), "w"));
  EXPECT_EQ(prefixed.stop(), "Error.... name too long!!!\n\n\n");
  run_prefix_flag = 0;

  // The name fits, but not below the project directory.
  stdout_capture below;
  EXPECT_FALSE(f.open(near.c_str(), "r"));
  EXPECT_EQ(below.stop(), "Error.... name too long!!!\n\n\nError getting new filename from " + near + "\n");
  EXPECT_FALSE(f.is_open());
}

TEST_F(file_names, reopening_warns_and_closes_the_earlier_file) {
  temp_dir tree;
  const std::string a = tree.file("a.txt");
  const std::string b = tree.file("b.txt");
  safe_file f;
  ASSERT_TRUE(f.open(a.c_str(), "w"));
  std::fputs("still buffered", f.stream);

  stdout_capture capture;
  ASSERT_TRUE(f.open(b.c_str(), "w"));
  EXPECT_EQ(capture.stop(),
            "\n\nError!!!!!!! opening a file when the previous file was not closed.\nOriginal file: " +
                a + "\nNew file: " + b + "\n\n\n");
  EXPECT_EQ(read_file(a), "still buffered");  // flushed by its close
  EXPECT_EQ(std::string(f.path), b);

  // Reopening under the wrapper's own path works although closing clears it.
  tree.write("c.txt", "c");
  stdout_capture again;
  ASSERT_TRUE(f.open(tree.file("c.txt").c_str(), "r"));
  ASSERT_TRUE(f.open(f.path, "r"));
  again.stop();
  EXPECT_EQ(std::string(f.path), tree.file("c.txt"));
}

TEST_F(file_names, closing_twice_and_destroying_closed_wrappers_is_silent) {
  temp_dir tree;
  stdout_capture capture;
  {
    safe_file f;
    ASSERT_TRUE(f.open(tree.file("x.txt").c_str(), "a"));
    EXPECT_TRUE(fs::exists(tree.file("x.txt")));  // append creates the file empty
    EXPECT_EQ(f.close(), 0);
    EXPECT_EQ(f.close(), 0);
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.shadow, nullptr);
    EXPECT_STREQ(f.path, "");
    EXPECT_STREQ(f.mode, "");
    safe_file never_opened;
  }
  EXPECT_EQ(capture.stop(), "");
}

TEST_F(file_names, overwritten_stream_handle_is_reported_and_never_closed) {
  temp_dir tree;
  const std::string a = tree.file("a.txt");
  const std::string corrupt =
      "\n\n\nError with the file " + a + ". The file pointer is corrupt.\n\n\n\n";
  safe_file f;
  ASSERT_TRUE(f.open(a.c_str(), "w"));
  std::FILE* real = f.stream;
  f.shadow = nullptr;

  stdout_capture capture;
  EXPECT_EQ(f.close(), 0);
  EXPECT_EQ(capture.stop(), corrupt);
  EXPECT_FALSE(f.is_open());
  std::fclose(real);  // the wrapper could not trust it, so it is still open

  // An open on a damaged wrapper reports it and goes on.
  ASSERT_TRUE(f.open(a.c_str(), "w"));
  real = f.stream;
  f.shadow = nullptr;
  stdout_capture reopen;
  ASSERT_TRUE(f.open(tree.file("b.txt").c_str(), "w"));
  EXPECT_EQ(reopen.stop(),
            corrupt + "\n\nError!!!!!!! opening a file when the previous file was not closed.\n" +
                "Original file: " + a + "\nNew file: " + tree.file("b.txt") + "\n\n\n");
  std::fclose(real);
}

}  // namespace
