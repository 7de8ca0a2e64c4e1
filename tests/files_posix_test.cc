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

void MakeFolders(const std::string& path, int count, const std::string& filler) {
  for (int i = 0; i < count; ++i)
    ASSERT_EQ(mkdir((path + "/" + std::to_string(i) + filler).c_str(), 0755), 0);
}

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

// Listings of the subfolders of many large folders left open at once, as a walk down through large
// folders leaves them, with subfolders they delivered removed behind them: each goes on where it
// stood, so every subfolder comes exactly once, whichever reader.
TEST_F(FilesPosixTest, ListingsLeftOpenInLargeFoldersGoOnWhereTheyStood) {
  std::string const filler(200, 'g');
  std::vector<HANDLE> open;
  std::vector<std::vector<std::string>> delivered;
  std::vector<std::vector<std::string>> before;
  WIN32_FIND_DATAA entry;
  for (int at = 0; at < 12; ++at) {
    std::string const path = root + "/d" + std::to_string(at);
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    MakeFolders(path, 300, filler);
    before.push_back(ReaddirOrder(path));
    open.push_back(FindFirstFileExA((windows + "\\d" + std::to_string(at) + "\\*").c_str(),
                                    FindExInfoBasic, &entry, FindExSearchLimitToDirectories,
                                    nullptr, 0));
    delivered.push_back(Names(open.back(), entry, 200));
    // Ten subfolders it has delivered go.
    for (std::size_t i = 20; i < 30; ++i) {
      std::string const& name = delivered.back()[i];
      if (name[0] != '.') {
        ASSERT_EQ(rmdir((path + "/" + name).c_str()), 0);
      }
    }
  }
  for (std::size_t i = 0; i < open.size(); ++i) {
    while (FindNextFileA(open[i], &entry)) delivered[i].push_back(entry.cFileName);
    FindClose(open[i]);
    std::multiset<std::string> const got(delivered[i].begin(), delivered[i].end());
    for (std::string const& name : before[i]) EXPECT_EQ(got.count(name), 1u) << i << " " << name;
  }
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
