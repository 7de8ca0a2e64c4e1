#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/posix_internal.h"
#include "temporary_folder.h"

using namespace platform;

namespace {

std::string FullPath(const char* path) {
  char buffer[MAX_PATH];
  DWORD const length = GetFullPathNameA(path, MAX_PATH, buffer, nullptr);
  if (length == 0) return "(failed)";
  if (length >= MAX_PATH) return "(too long)";
  return std::string(buffer, length);
}

// Runs in a known current folder: /tmp/foldgraf-test-.../work, which is "C:\tmp\...\work".
class PathsPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work = folder.path() + "/work";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    char previous[MAX_PATH];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    previous_ = previous;
    ASSERT_EQ(chdir(work.c_str()), 0);
    current = folder.windowsPath() + "\\work";
  }
  void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

  TemporaryFolder folder;
  std::string work;
  std::string current;

 private:
  std::string previous_;
};

TEST_F(PathsPosixTest, FullPathFollowsWindowsRules) {
  std::string const parent = folder.windowsPath();
  struct Case {
    const char* input;
    std::string expected;
  };
  Case const cases[] = {
      {".", current},
      {"sub", current + "\\sub"},
      {"sub\\", current + "\\sub\\"},
      {"sub/", current + "\\sub\\"},
      {"sub\\.", current + "\\sub"},
      {"sub\\..", current},
      {"..", parent},
      {"a//b\\\\c", current + "\\a\\b\\c"},
      {"c:\\Work\\Data", "c:\\Work\\Data"},
      {"C:/x/y/", "C:\\x\\y\\"},
      {"c:\\", "c:\\"},
      {"c:\\..\\..", "c:\\"},
      {"c:", current},
      {"c:sub", current + "\\sub"},
      {"\\rooted", "C:\\rooted"},
      {"/", "C:\\"},
      {"z:\\", "z:\\"},
      {"z:", "z:\\"},
      {"Z:data", "Z:\\data"},
      {"\\\\server\\share\\dir\\..\\x", "\\\\server\\share\\x"},
      {"//server/share", "\\\\server\\share"},
      {"-F", current + "\\-F"},
      {"名前 with space", current + "\\名前 with space"},
  };
  for (Case const& c : cases) EXPECT_EQ(FullPath(c.input), c.expected) << "input: " << c.input;
}

TEST_F(PathsPosixTest, FullPathFailsForEmptyAndReportsTheSizeNeeded) {
  EXPECT_EQ(FullPath(""), "(failed)");
  char small[4];
  EXPECT_EQ(GetFullPathNameA("c:\\abcdef", sizeof small, small, nullptr), 10u);
  std::string const overlong = "c:\\" + std::string(MAX_PATH, 'x');
  EXPECT_EQ(FullPath(overlong.c_str()), "(too long)");
}

TEST_F(PathsPosixTest, CurrentFolderIsOnDriveC) {
  char buffer[MAX_PATH];
  DWORD const length = GetCurrentDirectoryA(MAX_PATH, buffer);
  EXPECT_EQ(std::string(buffer, length), current);
  EXPECT_EQ(GetCurrentDirectoryA(3, buffer), current.size() + 1);
}

TEST(PathRootTest, StripToRootAndSkipRoot) {
  struct Case {
    const char* path;
    bool hasRoot;
    const char* root;
    const char* behind;  // null: nothing to skip
  };
  Case const cases[] = {
      {"C:\\a\\b", true, "C:\\", "a\\b"},
      {"c:\\", true, "c:\\", ""},
      {"Z:\\", true, "Z:\\", ""},
      {"C:", false, "C:", nullptr},
      {"C:x", false, "C:", nullptr},
      {"\\\\server\\share\\x\\y", true, "\\\\server\\share", "x\\y"},
      {"\\\\server\\share\\", true, "\\\\server\\share", ""},
      {"\\\\server\\share", true, "\\\\server\\share", nullptr},
      {"\\rooted\\x", true, "\\", nullptr},
  };
  for (Case const& c : cases) {
    std::string root = c.path;
    EXPECT_EQ(PathStripToRootA(root.data()) != FALSE, c.hasRoot) << c.path;
    EXPECT_STREQ(root.c_str(), c.root) << c.path;
    EXPECT_STREQ(PathSkipRootA(c.path), c.behind) << c.path;
  }
  std::string relative = "relative\\x";
  EXPECT_FALSE(PathStripToRootA(relative.data()));
  EXPECT_EQ(PathSkipRootA("relative\\x"), nullptr);
}

TEST(PathRootTest, UpperCaseTouchesOnlyAsciiLetters) {
  std::string text = "c:\\straße-名前\xff";
  CharUpperA(text.data());
  EXPECT_EQ(text, "C:\\STRAßE-名前\xff");
  EXPECT_EQ(lstrcmpA(".", "."), 0);
  EXPECT_NE(lstrcmpA("..", "."), 0);
  EXPECT_NE(lstrcmpA("...", ".."), 0);
}

TEST(PosixPathTest, DriveCIsTheRootAndOtherDrivesNameNothing) {
  struct Case {
    const char* windows;
    const char* posix;
  };
  Case const cases[] = {
      {"C:\\", "/"},       {"c:\\\\tmp\\\\x\\*", "/tmp/x/*"},
      {"C:/a//b", "/a/b"}, {"C:", "."},
      {"\\a", "/a"},       {"rel\\x", "rel/x"},
  };
  for (Case const& c : cases) {
    std::string posix;
    EXPECT_TRUE(ToPosixPath(c.windows, posix)) << c.windows;
    EXPECT_EQ(posix, c.posix) << c.windows;
  }
  std::string posix;
  EXPECT_FALSE(ToPosixPath("D:\\", posix));
  EXPECT_FALSE(ToPosixPath("", posix));
  EXPECT_FALSE(ToPosixPath("\\\\server\\share", posix));
}

}  // namespace
