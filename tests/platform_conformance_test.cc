// The POSIX layer against the Windows API under Wine: platform_conformance runs every platform
// operation the program uses over one table of inputs, once built against each, in the same
// prepared folder. After drive Z: (Wine's "/") is mapped to C: (ours), every row must agree but
// those listed below, each with the reason the difference is accepted.

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "end_to_end_support.h"

namespace foldgraf_e2e {
namespace {

using Rows = std::map<std::string, std::string>;

Rows ReadRows(const Outcome& run, bool wine) {
  Rows rows;
  std::string out = run.out;
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  if (wine) {
    for (std::size_t at = 0; (at = out.find(':', at)) != std::string::npos; ++at) {
      if (at > 0 && (out[at - 1] == 'Z' || out[at - 1] == 'z'))
        out[at - 1] = out[at - 1] == 'Z' ? 'C' : 'c';
    }
  }
  std::size_t at = 0;
  while (at < out.size()) {
    std::size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      ADD_FAILURE() << "row without a result: " << line;
    } else if (!rows.emplace(line.substr(0, tab), line.substr(tab + 1)).second) {
      ADD_FAILURE() << "row printed twice: " << line;
    }
    at = end + 1;
  }
  return rows;
}

const std::string kLong(300, 'x');

// Rows where our layer and Windows may differ, and why that is sound.
std::map<std::string, std::string> AcceptedDifferences() {
  const std::string posix_attributes =
      "Wine calls dot-names hidden and files archived; POSIX has neither attribute, and the "
      "program reads only the directory and reparse-point bits";
  const std::string trailing_dots =
      "Windows drops trailing dots from a path's last part; on POSIX \"...\" is an ordinary name "
      "that must stay reachable";
  std::map<std::string, std::string> accepted = {
      {"GetFullPathNameA(\"C:\")",
       "Wine ends the current folder of a bare drive with a backslash; Windows and ours do not"},
      {"GetFullPathNameA(\"\\\\server\\share\")",
       "the file-part pointer of a bare share: the program never asks for a file part"},
      {"GetFullPathNameA(\"sub\\" + kLong + "\")",
       "an absolute form past 260 bytes: Wine gives 0, ours the size needed; the program treats "
       "both as a path that does not fit"},
      {"GetFullPathNameA(\"...\")", trailing_dots},
      {"PathIsDirectoryA(\"...\")", trailing_dots},
      {"CharUpperA(<83><61>)",
       "our narrow encoding is UTF-8, in which no byte of a longer character is an ASCII letter; "
       "code page 932 text is not what the POSIX build upper-cases"},
      {"GetVolumeInformationA(\"C:\\\") serial",
       "drive C:'s serial comes from the file system id of \"/\"; Wine reports a fixed number"},
      {"FindFirstFileA(\"C:\\*\")",
       "a root listing: Windows delivers no \".\" and \"..\" there, readdir does; the filters skip "
       "them wherever they come"},
      {"FindFirstFileA(\"hidden\\*\") \".secret\" attributes", posix_attributes},
      {"FindFirstFileA(\"hidden\\*\") \".secret-folder\" attributes", posix_attributes},
      {"FindFirstFileA(\"hidden\\*\") \"visible\" attributes", posix_attributes},
  };
  accepted["FindFirstFileA(\"C:\\\\*\")"] = accepted["FindFirstFileA(\"C:\\*\")"];
  return accepted;
}

// The folder the table of inputs is run in.
std::string MakeTableFolder() {
  const std::string folder = MakeTempFolder("/tmp");
  MakeFolder(folder + "/sub");
  MakeFolder(folder + "/sub/inner");
  MakeLink("..", folder + "/sub/up");
  MakeFolder(folder + "/hidden");
  MakeFolder(folder + "/hidden/.secret-folder");
  MakeFile(folder + "/hidden/.secret");
  MakeFile(folder + "/hidden/visible");
  MakeLink("sub", folder + "/link-to-sub");
  MakeLink("nowhere", folder + "/dangling");
  {
    const int fd = open((folder + "/file.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, "hello", 5), 5);
    close(fd);
  }
  EXPECT_TRUE(SetMtime(folder + "/file.txt", 1609830189, 123456700));
  return folder;
}

TEST(PlatformConformanceTest, PosixLayerAgreesWithWindowsButForListedDifferences) {
  if (!UnderWine()) GTEST_SKIP() << "runs with the Wine session only";
  const std::string folder = MakeTableFolder();
  const Outcome native = RunCommand({PLATFORM_CONFORMANCE_PATH}, Invocation({}, folder));
  const Outcome wine =
      RunCommand(Command("platform_conformance_narrow.exe"), Invocation({}, folder));
  RemoveTree(folder);
  ASSERT_TRUE(EndedCleanly(native));
  ASSERT_TRUE(EndedCleanly(wine));
  const Rows ours = ReadRows(native, false);
  const Rows windows = ReadRows(wine, true);
  ASSERT_GT(ours.size(), 100u);

  const std::map<std::string, std::string> accepted = AcceptedDifferences();
  std::set<std::string> names;
  for (const auto& [name, result] : ours) names.insert(name);
  for (const auto& [name, result] : windows) names.insert(name);
  for (const std::string& name : names) {
    const auto mine = ours.find(name);
    const auto theirs = windows.find(name);
    const std::string our_result = mine == ours.end() ? "(no row)" : mine->second;
    const std::string their_result = theirs == windows.end() ? "(no row)" : theirs->second;
    const bool listed = accepted.count(name) > 0;
    if (our_result != their_result && !listed) {
      ADD_FAILURE() << name << "\n  ours:    " << our_result << "\n  Windows: " << their_result;
    } else if (our_result == their_result && listed) {
      ADD_FAILURE() << name << " is listed as a difference but now agrees: " << our_result;
    }
  }
  for (const auto& [name, reason] : accepted) {
    if (names.count(name) == 0) ADD_FAILURE() << "listed difference without a row: " << name;
  }
}

// Our wide-backed layer against the system's narrow functions, both under Wine: on the whole table
// they agree but where the narrow functions stop at 260 bytes.
TEST(PlatformConformanceTest, WideBackedLayerAgreesWithTheNarrowFunctions) {
  if (!UnderWine()) GTEST_SKIP() << "runs with the Wine session only";
  const std::string folder = MakeTableFolder();
  const Outcome narrow =
      RunCommand(Command("platform_conformance_narrow.exe"), Invocation({}, folder));
  const Outcome wide = RunCommand(Command("platform_conformance.exe"), Invocation({}, folder));
  RemoveTree(folder);
  const Rows system = ReadRows(narrow, true);
  Rows ours = ReadRows(wide, true);
  ASSERT_GT(system.size(), 100u);
  const std::string past_260 = "GetFullPathNameA(\"sub\\" + kLong + "\")";
  EXPECT_EQ(system.at(past_260), "0");
  EXPECT_EQ(ours.at(past_260), std::to_string(WinPath(folder).size() + 5 + kLong.size() + 1));
  ours[past_260] = "0";
  for (const auto& [name, result] : system) {
    EXPECT_EQ(ours.count(name) ? ours.at(name) : "(no row)", result) << name;
  }
  EXPECT_EQ(ours.size(), system.size());
}

// Names outside the code page: delivered as the narrow functions deliver them, and reached, where
// the narrow functions fail, by walking as the program walks and by a typed argument.
TEST(PlatformConformanceTest, WideBackedLayerReachesNamesOutsideTheCodePage) {
  if (!UnderWine()) GTEST_SKIP() << "runs with the Wine session only";
  const std::string folder = MakeTempFolder("/tmp");
  for (const char* name :
       {"/Müller", "/Müller/inner", "/중국", "/중국/beijing", "/한국", "/한국/seoul"}) {
    MakeFolder(folder + name);
  }
  MakeFile(folder + "/café.txt");
  const Outcome narrow = RunCommand(Command("platform_conformance_narrow.exe"),
                                    Invocation({"names", "Müller"}, folder));
  const Outcome wide =
      RunCommand(Command("platform_conformance.exe"), Invocation({"names", "Müller"}, folder));
  // Typed, a character that the code page lacks is "?", never a look-alike.
  const std::string full = "\"C" + WinPath(folder).substr(1) + "\\M?ller\"";
  RemoveTree(folder);
  Rows system = ReadRows(narrow, true);
  Rows ours = ReadRows(wide, true);
  // What the narrow functions can carry: the listing, name for name.
  for (Rows* rows : {&system, &ours}) {
    for (auto at = rows->begin(); at != rows->end();) {
      at = at->first.rfind("FindFirstFileExA", 0) == 0 ? std::next(at) : rows->erase(at);
    }
  }
  EXPECT_EQ(ours, system);
  EXPECT_EQ(ours.at("FindFirstFileExA(basic, names, \"*\")"),
            "\".\" 00000010, \"..\" 00000010, \"??\" 00000010, \"??\" 00000010, "
            "\"Muller\" 00000010, \"cafe.txt\" 00000000");
  // What they cannot: every folder reached, each "??" with its own subfolder.
  const Rows reached = ReadRows(wide, true);
  const Rows expected_walk = {
      {"walk 0 \".\"", "\"Muller\" \"??\" \"??\" "},
      {"walk 1 \".\\Muller\"", "\"inner\" "},
      {"walk 2 \".\\Muller\\inner\"", ""},
      {"walk 3 \".\\??\"", "\"beijing\" "},
      {"walk 4 \".\\??\\beijing\"", ""},
      {"walk 5 \".\\??\"", "\"seoul\" "},
      {"walk 6 \".\\??\\seoul\"", ""},
      {"typed \"M?ller\" is a folder", "yes"},
      {"walk 7 " + full, "\"inner\" "},
      {"walk 8 " + full.substr(0, full.size() - 1) + "\\inner\"", ""},
  };
  for (const auto& [name, result] : expected_walk) {
    EXPECT_EQ(reached.count(name) ? reached.at(name) : "(no row)", result) << name;
  }
}

}  // namespace
}  // namespace foldgraf_e2e
