// What a user gets: the manual pages, `cmake --install` under a prefix, the Debian package and the
// Windows .zip.
//
// The tools these need (groff, dpkg-deb, MinGW-w64) are optional on a developer's machine:
// configure leaves out a group whose tools are missing, and a test run on its own skips. With
// FOLDGRAF_TEST_PACKAGES=1, as CI sets it, a missing tool fails the test instead, and the Debian
// package is also installed on this system and removed again (which needs root).

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "end_to_end_support.h"

namespace foldgraf_e2e {
namespace {

const std::string kSource = FOLDGRAF_SOURCE_DIR;
const std::string kBuild = FOLDGRAF_BUILD_DIR;
// The Windows build, made when the MinGW-w64 cross compiler is there.
#ifndef FOLDGRAF_WINDOWS_BUILD_DIR
#define FOLDGRAF_WINDOWS_BUILD_DIR ""
#endif

// Building the Windows program, or waiting for a dpkg lock held by someone else, takes minutes.
constexpr std::chrono::seconds kLongRun{900};

bool PackageTestsRequired() {
  const char* value = getenv("FOLDGRAF_TEST_PACKAGES");
  return value != nullptr && std::string(value) == "1";
}

// The absolute path of a program found on PATH, or "" when there is none.
std::string Which(const std::string& name) {
  const char* path = getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Skips the test (or, where CI requires package tests, fails it) when a tool is missing.
#define REQUIRE_TOOL(variable, name)                                   \
  const std::string variable = Which(name);                            \
  if (variable.empty()) {                                              \
    if (PackageTestsRequired()) FAIL() << name << " is not installed"; \
    GTEST_SKIP() << name << " is not installed";                       \
  }

Outcome RunTool(const std::string& program, Names args, const std::string& cwd = "/",
                Names env = {}) {
  Invocation invocation(std::move(args), cwd, std::move(env));
  invocation.time_limit = kLongRun;
  return RunCommand({program}, invocation);
}

// A run that must succeed; its standard error is shown when it does not.
::testing::AssertionResult Succeeded(const Outcome& run) {
  if (run.exited && run.status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "status " << run.status << ", signal " << run.signal
         << (run.killed_by_timer ? " (killed by the hang guard)" : "") << "\nstandard output:\n"
         << Shown(run.out) << "\nstandard error:\n"
         << run.err;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Every file (not folder) below a folder, as paths relative to it, in sorted order.
Names FilesBelow(const std::string& folder, const std::string& relative = "") {
  Names found;
  for (const Entry& entry : Listing(relative.empty() ? folder : folder + "/" + relative)) {
    const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
    if (entry.folder) {
      const Names inner = FilesBelow(folder, path);
      found.insert(found.end(), inner.begin(), inner.end());
    } else {
      found.push_back(path);
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

Names Split(const std::string& text, const std::string& separator) {
  Names parts;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(separator, at)) != std::string::npos;
       at = end + separator.size()) {
    parts.push_back(text.substr(at, end - at));
  }
  if (at < text.size()) parts.push_back(text.substr(at));
  return parts;
}

Names Words(const std::string& line) {
  std::istringstream in(line);
  Names words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// ---------------------------------------------------------------------------------------------
// The manual pages

struct ManPage {
  std::string path;
  std::string synopsis, options;  // the headings of those sections
  // The Japanese page needs a device that has its characters, a UTF-8 locale for man to choose one,
  // and opens each switch's entry with the usage text's own words.
  bool japanese;
};

const ManPage kManPages[] = {
    {kSource + "/foldgraf.1", "SYNOPSIS", "OPTIONS", false},
    {kSource + "/foldgraf.ja.1", "書式", "オプション", true},
};

TEST(ManPageTest, GroffRendersItWithoutWarnings) {
  REQUIRE_TOOL(groff, "groff");
  for (const ManPage& page : kManPages) {
    // The PostScript fonts of the default device have no Japanese characters.
    const std::vector<Names> devices =
        page.japanese ? std::vector<Names>{{"-Tutf8"}} : std::vector<Names>{{}, {"-Tutf8"}};
    for (const Names& device : devices) {
      Names args{"-man", "-ww", "-z", "-Kutf8"};
      args.insert(args.end(), device.begin(), device.end());
      args.push_back(page.path);
      const Outcome run = RunTool(groff, args);
      EXPECT_TRUE(Succeeded(run));
      EXPECT_EQ(run.err, "") << page.path << ": groff " << (device.empty() ? "" : device[0]);
    }
  }
}

TEST(ManPageTest, ManRendersItWithoutWarnings) {
  REQUIRE_TOOL(man, "man");
  for (const ManPage& page : kManPages) {
    Names env{"MANPAGER=cat", "PAGER=cat", "MANWIDTH=80"};
    if (page.japanese) env.push_back("LC_ALL=C.UTF-8");
    const Outcome run = RunTool(man, {"--warnings=all", "-l", page.path}, "/", env);
    EXPECT_TRUE(Succeeded(run));
    EXPECT_EQ(run.err, "") << page.path;
    EXPECT_NE(run.out.find(page.synopsis), std::string::npos) << page.path;
  }
}

// The page as a reader sees it, split into sections: heading -> its lines.
std::map<std::string, Names> RenderedSections(const std::string& groff, const std::string& page) {
  const Outcome run =
      RunTool(groff, {"-man", "-Kutf8", "-Tutf8", "-P-cbou", page}, "/", {"MANWIDTH=80"});
  EXPECT_TRUE(Succeeded(run));
  std::map<std::string, Names> sections;
  std::string heading;
  for (const std::string& line : Split(run.out, "\n")) {
    if (!line.empty() && line[0] != ' ') {
      heading = line;
    } else if (!heading.empty()) {
      sections[heading].push_back(line);
    }
  }
  return sections;
}

// A line's words with one space between them, as a reader compares them.
std::string SingleSpaced(const std::string& line) {
  std::string spaced;
  for (const std::string& word : Words(line)) spaced += (spaced.empty() ? "" : " ") + word;
  return spaced;
}

TEST(ManPageTest, SynopsisAndSwitchesAgreeWithTheUsageText) {
  REQUIRE_TOOL(groff, "groff");
  const Outcome usage = RunProgram({{"/?"}});
  ASSERT_TRUE(Printed(usage, ExpectedUsage()));
  const Names usage_lines = Split(usage.out, kCrLf);
  ASSERT_GE(usage_lines.size(), 7u);
  const Names usage_form = Words(usage_lines[2]);
  std::string name = usage_form[0];
  std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c | 0x20; });
  // The switches the usage text explains, and its lines that explain them ("/F 各フォルダの...").
  Names usage_switches, usage_entries;
  for (const std::string& line : usage_lines) {
    if (!line.starts_with("   /")) continue;
    usage_switches.push_back(Words(line)[0]);
    usage_entries.push_back(SingleSpaced(line));
  }
  usage_switches.push_back("/?");

  for (const ManPage& page : kManPages) {
    SCOPED_TRACE(page.path);
    std::map<std::string, Names> sections = RenderedSections(groff, page.path);
    Names synopsis;
    for (const std::string& line : sections[page.synopsis]) {
      if (!Words(line).empty()) synopsis.push_back(line);
    }
    ASSERT_EQ(synopsis.size(), 2u) << "a synopsis line for listing and one for /?";

    // "FOLDGRAF [ドライブ:][パス] [/F] [/A] [/T]" against "foldgraf [drive:][path] [/F] [/A] [/T]":
    // the same program, a drive-and-path operand of the same shape, the same switches in order.
    const Names page_form = Words(synopsis[0]);
    ASSERT_EQ(page_form.size(), usage_form.size()) << synopsis[0];
    EXPECT_EQ(page_form[0], name);
    for (const std::string& operand : {usage_form[1], page_form[1]}) {
      EXPECT_TRUE(operand.starts_with('[') && operand.find(":][") != std::string::npos &&
                  operand.ends_with(']'))
          << operand;
    }
    EXPECT_EQ(Names(page_form.begin() + 2, page_form.end()),
              Names(usage_form.begin() + 2, usage_form.end()));
    EXPECT_EQ(Words(synopsis[1]), (Names{name, "/?"}));

    // Every switch the usage text explains has an entry under the options, in the same order, and
    // /? comes last; the Japanese page's entries open with the usage text's words, byte for byte.
    Names page_switches, page_entries;
    for (const std::string& line : sections[page.options]) {
      const Names words = Words(line);
      if (!line.starts_with("       /") || words.empty()) continue;
      page_switches.push_back(words[0]);
      page_entries.push_back(SingleSpaced(line));
    }
    EXPECT_EQ(page_switches, usage_switches);
    if (!page.japanese) continue;
    for (std::size_t i = 0; i < usage_entries.size() && i < page_entries.size(); ++i) {
      EXPECT_TRUE(page_entries[i].starts_with(usage_entries[i]))
          << page_entries[i] << "\nshould open with\n"
          << usage_entries[i];
    }
  }
}

// ---------------------------------------------------------------------------------------------
// cmake --install

class InstallTest : public FolderTest {};

TEST_F(InstallTest, PutsTheProgramAndTheManPageUnderThePrefix) {
  ASSERT_TRUE(Succeeded(RunTool(FOLDGRAF_CMAKE, {"--install", kBuild, "--prefix", base_})));
  EXPECT_EQ(FilesBelow(base_),
            (Names{"bin/foldgraf", "share/man/ja/man1/foldgraf.1", "share/man/man1/foldgraf.1"}));
  EXPECT_EQ(ReadWhole(base_ + "/share/man/man1/foldgraf.1"), ReadWhole(kSource + "/foldgraf.1"));
  EXPECT_EQ(ReadWhole(base_ + "/share/man/ja/man1/foldgraf.1"),
            ReadWhole(kSource + "/foldgraf.ja.1"));
  EXPECT_TRUE(Printed(RunTool(base_ + "/bin/foldgraf", {"/?"}), ExpectedUsage()));
}

// ---------------------------------------------------------------------------------------------
// The Debian package

class DebPackageTest : public FolderTest {
 protected:
  // Makes the package from the build and returns its path ("" after a failure).
  std::string MakePackage() {
    const Outcome run = RunTool(
        FOLDGRAF_CPACK, {"-G", "DEB", "--config", kBuild + "/CPackConfig.cmake", "-B", base_});
    EXPECT_TRUE(Succeeded(run));
    for (const std::string& name : FilesBelow(base_)) {
      if (name.ends_with(".deb") && name.find('/') == std::string::npos) return base_ + "/" + name;
    }
    ADD_FAILURE() << "cpack made no .deb in " << base_;
    return "";
  }
};

// The paths of the files (not folders) a package holds, as installed: "/usr/bin/foldgraf".
Names PackagedFiles(const std::string& dpkg_deb, const std::string& package) {
  Names files;
  const Outcome listing = RunTool(dpkg_deb, {"-c", package});
  EXPECT_TRUE(Succeeded(listing));
  for (const std::string& line : Split(listing.out, "\n")) {
    const Names words = Words(line);
    if (words.empty() || words[0].starts_with('d')) continue;
    files.push_back(words.back().substr(1));  // "./usr/bin/foldgraf"
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(DebPackageTest, HoldsTheProgramAndTheManPageAndNamesItsLibraries) {
  REQUIRE_TOOL(dpkg_deb, "dpkg-deb");
  const std::string package = MakePackage();
  ASSERT_NE(package, "");
  EXPECT_EQ(PackagedFiles(dpkg_deb, package),
            (Names{"/usr/bin/foldgraf", "/usr/share/man/ja/man1/foldgraf.1",
                   "/usr/share/man/man1/foldgraf.1"}));
  const Outcome fields = RunTool(dpkg_deb, {"-f", package, "Package", "Depends"});
  EXPECT_TRUE(Succeeded(fields));
  EXPECT_TRUE(fields.out.starts_with("Package: foldgraf\n")) << fields.out;
  // The C++ runtime is linked in; the C library is the one shared library the program needs.
  EXPECT_NE(fields.out.find("libc6"), std::string::npos) << fields.out;
  EXPECT_EQ(fields.out.find("libstdc++"), std::string::npos) << fields.out;
}

// dpkg refuses to work while another dpkg or apt holds its lock: wait for it, within limits.
Outcome Dpkg(const std::string& dpkg, const Names& args) {
  Outcome run;
  for (int attempt = 0; attempt < 60; ++attempt) {
    run = RunTool(dpkg, args);
    const bool locked = run.status == 2 && (run.err.find("lock") != std::string::npos);
    if (!locked) break;
    sleep(5);
  }
  return run;
}

bool PackageInstalled(const std::string& dpkg_query) {
  const Outcome run = RunTool(dpkg_query, {"-W", "-f=${Status}", "foldgraf"});
  return run.status == 0 && run.out.find("not-installed") == std::string::npos &&
         run.out.find("config-files") == std::string::npos;
}

TEST_F(DebPackageTest, InstallsRunsFromPathAndRemovesCleanly) {
  if (!PackageTestsRequired() || getuid() != 0) {
    GTEST_SKIP() << "installs on this system: runs as root with FOLDGRAF_TEST_PACKAGES=1";
  }
  REQUIRE_TOOL(dpkg, "dpkg");
  REQUIRE_TOOL(dpkg_deb, "dpkg-deb");
  REQUIRE_TOOL(dpkg_query, "dpkg-query");
  ASSERT_FALSE(PackageInstalled(dpkg_query)) << "foldgraf is installed already; remove it first";
  const std::string package = MakePackage();
  ASSERT_NE(package, "");
  const Names files = PackagedFiles(dpkg_deb, package);
  for (const std::string& file : files) ASSERT_FALSE(Exists(file)) << file << " is there already";

  EXPECT_TRUE(Succeeded(Dpkg(dpkg, {"-i", package})));
  EXPECT_TRUE(PackageInstalled(dpkg_query));
  for (const std::string& file : files) EXPECT_TRUE(Exists(file)) << file;
  // Found on the ordinary PATH, by name, as a user would type it.
  const Names login_path{"PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"};
  const Outcome found = RunTool("/bin/sh", {"-c", "command -v foldgraf"}, "/", login_path);
  EXPECT_EQ(found.out, "/usr/bin/foldgraf\n");
  EXPECT_TRUE(Printed(RunTool("/bin/sh", {"-c", "foldgraf /?"}, "/", login_path), ExpectedUsage()));

  // Removed again whatever the checks above found (a failed install included), so that no run
  // leaves it behind.
  EXPECT_TRUE(Succeeded(Dpkg(dpkg, {"-r", "foldgraf"})));
  EXPECT_FALSE(PackageInstalled(dpkg_query));
  for (const std::string& file : files) EXPECT_FALSE(Exists(file)) << file << " was left behind";
}

// ---------------------------------------------------------------------------------------------
// The Windows .zip

class WindowsZipTest : public FolderTest {};

TEST_F(WindowsZipTest, HoldsTheProgramAndItsReadmeInCodePage932AndUtf8) {
  REQUIRE_TOOL(iconv, "iconv");
  // The Windows program as the build made it, by its one preset.
  const std::string build = FOLDGRAF_WINDOWS_BUILD_DIR;
  if (build.empty()) GTEST_SKIP() << "configured without the MinGW-w64 cross compiler";
  ASSERT_TRUE(Succeeded(RunTool(
      FOLDGRAF_CPACK, {"--config", build + "/CPackConfig.cmake", "-B", base_ + "/out"}, build)));

  Names zips;
  for (const std::string& name : FilesBelow(base_ + "/out")) {
    if (name.ends_with(".zip") && name.find('/') == std::string::npos) zips.push_back(name);
  }
  ASSERT_EQ(zips.size(), 1u);
  const std::string unpacked = base_ + "/unpacked";
  MakeFolder(unpacked);
  ASSERT_TRUE(
      Succeeded(RunTool(FOLDGRAF_CMAKE, {"-E", "tar", "xf", base_ + "/out/" + zips[0]}, unpacked)));

  // One folder named like the archive, holding the program and the two readme files.
  const std::string top = zips[0].substr(0, zips[0].size() - 4);
  EXPECT_EQ(FilesBelow(unpacked),
            (Names{top + "/foldgraf.exe", top + "/readme-utf8.txt", top + "/readme.txt"}));
  EXPECT_TRUE(ReadWhole(unpacked + "/" + top + "/foldgraf.exe").starts_with("MZ"));

  const std::string utf8 = ReadWhole(unpacked + "/" + top + "/readme-utf8.txt");
  const std::string byte_order_mark = "\xEF\xBB\xBF";
  ASSERT_TRUE(utf8.starts_with(byte_order_mark));
  const std::string text = utf8.substr(byte_order_mark.size());
  // Every line ends in CR LF, and nothing of the source is lost on the way.
  bool closed = false;
  const Names lines = SplitAtLineEnds(text, &closed);
  EXPECT_TRUE(closed);
  std::string as_source;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find('\n'), std::string::npos) << "a line end without CR: " << Shown(line);
    as_source += line + "\n";
  }
  EXPECT_EQ(as_source, ReadWhole(kSource + "/packaging/readme.txt"));

  // The code page 932 copy holds the same text: converted back, it is the UTF-8 copy.
  const Outcome back =
      RunTool(iconv, {"-f", "CP932", "-t", "UTF-8", top + "/readme.txt"}, unpacked);
  EXPECT_TRUE(Succeeded(back));
  EXPECT_TRUE(SameBytes(text, back.out));
  EXPECT_NE(ReadWhole(unpacked + "/" + top + "/readme.txt"), text);
}

}  // namespace
}  // namespace foldgraf_e2e
