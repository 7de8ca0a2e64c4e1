#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/listing.h"
#include "platform/posix_internal.h"
#include "temporary_folder.h"

using namespace platform;

namespace {

struct Listed {
  DWORD attributes;
  FILETIME lastWrite;
};

// Every entry of the listing, by name; "(failed)" alone when it cannot be opened.
std::map<std::string, Listed> ListAll(const std::string& pattern,
                                      std::vector<std::string>* order = nullptr) {
  std::map<std::string, Listed> listed;
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FindFirstFileA(pattern.c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return {{"(failed)", {}}};
  do {
    listed[entry.cFileName] = {entry.dwFileAttributes, entry.ftLastWriteTime};
    if (order != nullptr) order->push_back(entry.cFileName);
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  return listed;
}

// The names in path, or its folders only, in the order readdir gives them.
std::vector<std::string> ReaddirOrder(const std::string& path, bool foldersOnly = false) {
  std::vector<std::string> names;
  DIR* const directory = opendir(path.c_str());
  while (dirent const* found = readdir(directory)) {
    if (!foldersOnly || found->d_type == DT_DIR) names.push_back(found->d_name);
  }
  closedir(directory);
  return names;
}

void Touch(const std::string& path) { std::ofstream{path}; }

class FilesPosixTest : public ::testing::Test {
 protected:
  TemporaryFolder folder;
  std::string const root = folder.path();
  std::string const windows = folder.windowsPath();
};

TEST_F(FilesPosixTest, ListingDeliversEveryEntryInDirectoryOrder) {
  ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
  Touch(root + "/.hidden");
  Touch(root + "/plain file");
  Touch(root + "/名前");
  Touch(root + "/bad\xff\xfe");
  ASSERT_EQ(mkfifo((root + "/fifo").c_str(), 0644), 0);

  std::vector<std::string> order;
  auto const listed = ListAll(windows + "\\*", &order);
  EXPECT_EQ(order, ReaddirOrder(root));
  EXPECT_EQ(listed.size(), 8u);
  EXPECT_EQ(listed.at(".").attributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(listed.at("..").attributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(listed.at("sub").attributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  for (const char* file : {".hidden", "plain file", "名前", "bad\xff\xfe", "fifo"}) {
    EXPECT_EQ(listed.at(file).attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << file;
  }
}

TEST_F(FilesPosixTest, LinksToFoldersAreFoldersAndDanglingLinksArePlainFiles) {
  ASSERT_EQ(mkdir((root + "/target").c_str(), 0755), 0);
  ASSERT_EQ(symlink("target", (root + "/to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (root + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink("to-self", (root + "/to-self").c_str()), 0);
  auto const listed = ListAll(windows + "\\*");
  EXPECT_EQ(listed.at("to-folder").attributes,
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(listed.at("dangling").attributes, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(listed.at("to-self").attributes, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(listed.at("target").attributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(ListAll(windows + "\\to-folder\\*").size(), 2u);
}

TEST_F(FilesPosixTest, DoubledAndForwardSeparatorsCountAsOne) {
  ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
  Touch(root + "/sub/f");
  std::string doubled = windows + "\\\\sub\\\\*";
  EXPECT_EQ(ListAll(doubled).count("f"), 1u);
  std::string forward = "c:" + root + "//sub/*";
  EXPECT_EQ(ListAll(forward).count("f"), 1u);
}

TEST_F(FilesPosixTest, ListingThatCannotBeOpenedFails) {
  Touch(root + "/file");
  EXPECT_EQ(ListAll(windows + "\\missing\\*").count("(failed)"), 1u);
  EXPECT_EQ(ListAll(windows + "\\file\\*").count("(failed)"), 1u);
  EXPECT_EQ(ListAll("D:\\*").count("(failed)"), 1u);
  EXPECT_EQ(ListAll("\\\\server\\share\\*").count("(failed)"), 1u);
  if (geteuid() != 0) {
    ASSERT_EQ(mkdir((root + "/locked").c_str(), 0), 0);
    EXPECT_EQ(ListAll(windows + "\\locked\\*").count("(failed)"), 1u);
    chmod((root + "/locked").c_str(), 0755);
  }
}

TEST_F(FilesPosixTest, LastWriteTimeIsTheModificationTimeInUtc) {
  Touch(root + "/dated");
  timespec const times[2] = {{0, UTIME_OMIT}, {1'609'830'189, 123'456'789}};  // 2021-01-05 07:03:09
  ASSERT_EQ(utimensat(AT_FDCWD, (root + "/dated").c_str(), times, 0), 0);
  FILETIME const lastWrite = ListAll(windows + "\\*").at("dated").lastWrite;
  std::uint64_t const ticks =
      (std::uint64_t{lastWrite.dwHighDateTime} << 32) | lastWrite.dwLowDateTime;
  EXPECT_EQ(ticks, (1'609'830'189ULL + 11'644'473'600ULL) * 10'000'000 + 1'234'567);
}

TEST_F(FilesPosixTest, FolderQueriesFollowLinks) {
  ASSERT_EQ(mkdir((root + "/target").c_str(), 0755), 0);
  ASSERT_EQ(symlink("target", (root + "/link").c_str()), 0);
  Touch(root + "/file");
  EXPECT_TRUE(PathIsDirectoryA(windows.c_str()));
  EXPECT_TRUE(PathIsDirectoryA((windows + "\\link\\").c_str()));
  EXPECT_FALSE(PathIsDirectoryA((windows + "\\file").c_str()));
  EXPECT_FALSE(PathIsDirectoryA((windows + "\\missing").c_str()));
  EXPECT_FALSE(PathIsDirectoryA("Z:\\"));

  auto identify = [](const std::string& path) {
    BY_HANDLE_FILE_INFORMATION information{};
    HANDLE const file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string("(failed)");
    GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return std::to_string(information.dwVolumeSerialNumber) + ":" +
           std::to_string(information.nFileIndexHigh) + ":" +
           std::to_string(information.nFileIndexLow);
  };
  EXPECT_EQ(identify(windows + "\\link"), identify(windows + "\\target"));
  EXPECT_NE(identify(windows + "\\file"), identify(windows + "\\target"));
  EXPECT_EQ(identify(windows + "\\missing"), "(failed)");
}

std::size_t OpenDescriptors() { return ReaddirOrder("/proc/self/fd").size(); }

// The names a listing delivers, in order.
std::vector<std::string> Names(HANDLE listing, WIN32_FIND_DATAA& entry,
                               std::size_t count = SIZE_MAX) {
  std::vector<std::string> names;
  if (listing == INVALID_HANDLE_VALUE) return {"(failed)"};
  do {
    names.push_back(entry.cFileName);
  } while (names.size() < count && FindNextFileA(listing, &entry));
  return names;
}

TEST_F(FilesPosixTest, BasicListingsOfFoldersGiveNamesAndTypesOnly) {
  ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub", (root + "/to-sub").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (root + "/dangling").c_str()), 0);
  Touch(root + "/file");
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                                          FindExSearchLimitToDirectories, nullptr, 0);
  std::map<std::string, DWORD> listed;
  do {
    listed[entry.cFileName] = entry.dwFileAttributes;
    EXPECT_EQ(entry.ftLastWriteTime.dwHighDateTime, 0u) << entry.cFileName;
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  EXPECT_EQ(listed, (std::map<std::string, DWORD>{
                        {".", FILE_ATTRIBUTE_DIRECTORY},
                        {"..", FILE_ATTRIBUTE_DIRECTORY},
                        {"sub", FILE_ATTRIBUTE_DIRECTORY},
                        {"to-sub", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT}}));
}

TEST_F(FilesPosixTest, LargeFoldersAreReadInChunksWithoutHoldingDescriptors) {
  // Long names, so that the folder spans many chunks of records.
  std::string const filler(200, 'n');
  for (int i = 0; i < 1500; ++i) Touch(root + "/" + std::to_string(i) + filler);
  ASSERT_EQ(mkdir((root + "/small").c_str(), 0755), 0);
  Touch(root + "/small/only");
  // A pass over the subfolders of a folder too large for one chunk leaves nothing held, and it
  // releases whatever an earlier listing in this process left held.
  WIN32_FIND_DATAA entry;
  FindClose(FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                             FindExSearchLimitToDirectories, nullptr, 0));
  std::size_t const before = OpenDescriptors();

  // The walk keeps one listing open per level, and lists other folders while it does.
  HANDLE const outer = FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, 0);
  std::vector<std::string> order = Names(outer, entry, 700);
  // Only the portable reader keeps the folder open between chunks.
  std::size_t const kept = std::min<std::size_t>(kKeptStreams, 1);
  EXPECT_EQ(OpenDescriptors(), before + kept);
  WIN32_FIND_DATAA inner;
  for (int round = 0; round < 2; ++round) {
    HANDLE const listing = FindFirstFileA((windows + "\\small\\*").c_str(), &inner);
    EXPECT_EQ(Names(listing, inner).size(), 3u);
    FindClose(listing);
  }
  while (FindNextFileA(outer, &entry)) order.push_back(entry.cFileName);
  // Read to its end by the pass that kept its subfolders, the folder is held for the pass over
  // them, which opens each inside it.
  EXPECT_EQ(OpenDescriptors(), before + 1);
  FindClose(outer);
  EXPECT_EQ(order, ReaddirOrder(root));

  // Listed for its subfolders straight after being read whole, the folder gives them in the same
  // order, whether or not they were kept from the read before.
  for (int i = 0; i < 40; ++i) ASSERT_EQ(mkdir((root + "/d" + std::to_string(i)).c_str(), 0755), 0);
  std::vector<std::string> folders;
  for (std::string const& name : ReaddirOrder(root)) {
    if (name.size() < 200 && name != "small" && name.find('.') != 0) folders.push_back(name);
  }
  for (bool afterWholeRead : {true, false}) {
    if (afterWholeRead) {
      EXPECT_EQ(ListAll(windows + "\\*").size(), 1500u + 43u);
    }
    HANDLE const subfolders = FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                                               FindExSearchLimitToDirectories, nullptr, 0);
    std::vector<std::string> delivered;
    for (std::string const& name : Names(subfolders, entry)) {
      if (name != "small" && name != "." && name != "..") delivered.push_back(name);
    }
    FindClose(subfolders);
    EXPECT_EQ(delivered, folders);
  }

  // A listing that fills in details examines its entries through its own descriptor, until closed.
  HANDLE const detailed = FindFirstFileA((windows + "\\*").c_str(), &entry);
  EXPECT_EQ(OpenDescriptors(), before + 1 + kept);
  FindClose(detailed);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(FilesPosixTest, ListingsNestedAsDeepAsTheWalkGoesHoldFewDescriptors) {
  std::string path = root;
  for (int level = 0; level < 150; ++level) {
    path += "/d";
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  }
  Touch(path + "/f");
  std::size_t const before = OpenDescriptors();
  // As the walk does: each folder is probed, then its subfolders are listed while the walk goes
  // down into the first of them.
  std::vector<HANDLE> open;
  std::string pattern = windows;
  WIN32_FIND_DATAA entry;
  for (int level = 0; level <= 150; ++level) {
    pattern += level == 0 ? "\\*" : "";
    HANDLE const probe = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &entry,
                                          FindExSearchLimitToDirectories, nullptr, 0);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << level;
    FindClose(probe);
    HANDLE const subfolders = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &entry,
                                               FindExSearchNameMatch, nullptr, 0);
    ASSERT_NE(subfolders, INVALID_HANDLE_VALUE) << level;
    open.push_back(subfolders);
    std::set<std::string> names;
    do {
      names.insert(entry.cFileName);
    } while (FindNextFileA(subfolders, &entry));
    EXPECT_EQ(names, (std::set<std::string>{".", "..", level < 150 ? "d" : "f"})) << level;
    pattern.insert(pattern.size() - 1, "d\\");
  }
  EXPECT_LE(OpenDescriptors(), before + kHeldFolders + 1);
  for (HANDLE listing : open) FindClose(listing);
  EXPECT_LE(OpenDescriptors(), before + 1);
}

TEST_F(FilesPosixTest, ListingAFolderAgainAfterAnotherSeesItsChanges) {
  ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root + "/b").c_str(), 0755), 0);
  EXPECT_EQ(ListAll(windows + "\\a\\*").size(), 2u);
  Touch(root + "/a/new");
  EXPECT_EQ(ListAll(windows + "\\b\\*").size(), 2u);
  EXPECT_EQ(ListAll(windows + "\\a\\*").count("new"), 1u);
  ASSERT_EQ(rmdir((root + "/b").c_str()), 0);
  EXPECT_EQ(ListAll(windows + "\\b\\*").count("(failed)"), 1u);
}

// The walk opens three listings per folder and, on its way back up and down again, closes and
// opens one per level: the listings closed are kept for the next ones, none made anew.
TEST_F(FilesPosixTest, ListingsOpenedAgainAreTheOnesClosedBefore) {
  ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
  Touch(root + "/a/f");
  auto list = [](const std::string& pattern) {
    WIN32_FIND_DATAA entry;
    HANDLE const listing = FindFirstFileA(pattern.c_str(), &entry);
    ASSERT_NE(listing, INVALID_HANDLE_VALUE);
    while (FindNextFileA(listing, &entry)) {
    }
    FindClose(listing);
  };
  std::string const top = windows + "\\*";
  std::string const inner = windows + "\\a\\*";
  list(top);
  list(inner);
  std::size_t const before = ListingsMade();
  for (int round = 0; round < 3; ++round) {
    list(top);
    list(inner);
  }
  EXPECT_EQ(ListingsMade(), before);
}

// Ten folders named k\N beside k, which holds folders named N: a path C:\...\k\N names the first
// while a listing accounts for it (the name is one of the last two subfolders it delivered), and
// the second once none does, whether it moved on or was closed; however often it was named before.
TEST_F(FilesPosixTest, NameReadFromAListingLeadsToItsFolderOnlyWhileTheListingAccountsForIt) {
  ASSERT_EQ(mkdir((root + "/k").c_str(), 0755), 0);
  for (char n = '0'; n <= '9'; ++n) {
    for (std::string const& at : {root + "/k\\" + n, root + "/k/" + n})
      ASSERT_EQ(mkdir(at.c_str(), 0755), 0);
    Touch(root + "/k\\" + n + "/literal");
    Touch(root + "/k/" + n + "/nested");
  }
  std::vector<std::string> order = ReaddirOrder(root, true);
  std::erase_if(order, [](const std::string& name) { return name == "." || name == ".."; });
  std::size_t first = 0;  // a k\N with two subfolders after it
  while (order[first].find('\\') == std::string::npos || first + 2 >= order.size()) ++first;

  WIN32_FIND_DATAA entry;
  auto open = [&] {
    return FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                            FindExSearchLimitToDirectories, nullptr, 0);
  };
  auto deliver = [&](HANDLE listing, const std::string& name) {
    while (entry.cFileName != name) ASSERT_TRUE(FindNextFileA(listing, &entry));
  };
  std::string const named = windows + "\\" + order[first] + "\\*";
  auto shows = [&] {
    std::map<std::string, Listed> const listed = ListAll(named);
    return listed.count("literal") == 1 ? "literal" : listed.count("nested") == 1 ? "nested" : "";
  };

  HANDLE const moving = open();
  deliver(moving, order[first]);
  EXPECT_STREQ(shows(), "literal");
  EXPECT_STREQ(shows(), "literal");
  deliver(moving, order[first + 1]);
  EXPECT_STREQ(shows(), "literal");
  deliver(moving, order[first + 2]);
  EXPECT_STREQ(shows(), "nested");
  FindClose(moving);

  HANDLE const closing = open();
  deliver(closing, order[first]);
  EXPECT_STREQ(shows(), "literal");
  FindClose(closing);
  EXPECT_STREQ(shows(), "nested");
}

void MakeFolders(const std::string& path, int count, const std::string& filler) {
  for (int i = 0; i < count; ++i)
    ASSERT_EQ(mkdir((path + "/" + std::to_string(i) + filler).c_str(), 0755), 0);
}

// What a subfolder pass delivers, and how many chunks it read to do so.
std::vector<std::string> SubfolderPass(const std::string& pattern, std::size_t& chunkReads) {
  std::size_t const before = ChunksRead();
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &entry,
                                          FindExSearchLimitToDirectories, nullptr, 0);
  std::vector<std::string> names = Names(listing, entry);
  FindClose(listing);
  chunkReads = ChunksRead() - before;
  return names;
}

TEST_F(FilesPosixTest, ListingAFolderAgainStraightAfterReadsNothing) {
  ASSERT_EQ(mkdir((root + "/small").c_str(), 0755), 0);
  Touch(root + "/small/file");
  std::size_t reads = 0;
  EXPECT_EQ(SubfolderPass(windows + "\\small\\*", reads).size(), 2u);
  EXPECT_EQ(reads, 1u);
  EXPECT_EQ(ListAll(windows + "\\small\\*").size(), 3u);
  EXPECT_EQ(SubfolderPass(windows + "\\small\\*", reads).size(), 2u);
  EXPECT_EQ(reads, 0u);

  // A folder of many chunks: its subfolders are kept by the pass over all of it.
  for (int i = 0; i < 300; ++i) Touch(root + "/" + std::to_string(i) + std::string(200, 'n'));
  EXPECT_EQ(ListAll(windows + "\\*").size(), 300u + 3u);
  EXPECT_EQ(SubfolderPass(windows + "\\*", reads), ReaddirOrder(root, true));
  EXPECT_EQ(reads, 0u);
}

// Two passes over all of two large folders, one inside the other, as no walk makes them: only the
// first keeps subfolders, so the kept records stay within their bound; both deliver all.
TEST_F(FilesPosixTest, KeptSubfoldersStayWithinTheirBoundWhenPassesNest) {
  std::string const filler(200, 'f');
  for (const char* name : {"/a", "/b"}) {
    ASSERT_EQ(mkdir((root + name).c_str(), 0755), 0);
    MakeFolders(root + name, 400, filler);  // three chunks
  }
  WIN32_FIND_DATAA entry;
  HANDLE const outer = FindFirstFileA((windows + "\\a\\*").c_str(), &entry);
  std::vector<std::string> order = Names(outer, entry, 100);
  EXPECT_EQ(ListAll(windows + "\\b\\*").size(), 402u);
  std::size_t reads = 0;
  EXPECT_EQ(SubfolderPass(windows + "\\b\\*", reads), ReaddirOrder(root + "/b"));
  EXPECT_GT(reads, 0u);
  while (FindNextFileA(outer, &entry)) order.push_back(entry.cFileName);
  FindClose(outer);
  EXPECT_EQ(order, ReaddirOrder(root + "/a"));
  EXPECT_EQ(SubfolderPass(windows + "\\a\\*", reads), order);
  EXPECT_EQ(reads, 0u);
}

// Listings of a large folder, each read past its first chunk and left open, as a walk down through
// large folders leaves them: few descriptors stay open, and each listing still delivers every
// entry.
TEST_F(FilesPosixTest, ListingsLeftOpenInLargeFoldersHoldFewDescriptors) {
  MakeFolders(root, 300, std::string(200, 'g'));
  std::size_t const before = OpenDescriptors();
  WIN32_FIND_DATAA entry;
  std::vector<HANDLE> open;
  std::vector<std::vector<std::string>> delivered;
  for (std::size_t i = 0; i < kKeptStreams + 4; ++i) {
    open.push_back(FindFirstFileExA((windows + "\\*").c_str(), FindExInfoBasic, &entry,
                                    FindExSearchLimitToDirectories, nullptr, 0));
    delivered.push_back(Names(open.back(), entry, 200));
  }
  EXPECT_LE(OpenDescriptors(), before + kKeptStreams);
  for (std::size_t i = 0; i < open.size(); ++i) {
    while (FindNextFileA(open[i], &entry)) delivered[i].push_back(entry.cFileName);
    FindClose(open[i]);
    EXPECT_EQ(delivered[i], ReaddirOrder(root)) << i;
  }
  EXPECT_LE(OpenDescriptors(), before);
}

TEST(VolumeTest, OnlyDriveCHasASerialNumber) {
  DWORD serial = 0;
  EXPECT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  DWORD lower = 1;
  EXPECT_TRUE(GetVolumeInformationA("c:\\", nullptr, 0, &lower, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(serial, lower);
  EXPECT_FALSE(GetVolumeInformationA("Z:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(GetVolumeInformationA("\\\\server\\share", nullptr, 0, &serial, nullptr, nullptr,
                                     nullptr, 0));
}

}  // namespace
