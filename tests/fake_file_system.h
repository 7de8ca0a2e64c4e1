// An in-memory file system that stands in for the POSIX file layer at link time. Folders hold their
// entries in the order given, "." and ".." included only where a test puts them; faults are data.
// It logs every search pattern it is asked for and counts open listings, so a test can check that
// every listing opened was closed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeEntry {
  std::string name;
  bool folder = false;
  FILETIME lastWrite{};
};

FakeEntry Folder(const std::string& name);
FakeEntry File(const std::string& name, FILETIME lastWrite = {});

class FakeFileSystem {
 public:
  static FakeFileSystem& Get();

  void Reset();
  // path is a Windows path ("C:\w"); the folder is listed with exactly these entries.
  void AddFolder(const std::string& path, std::vector<FakeEntry> entries);
  // The folder exists (it is a folder to PathIsDirectoryA) but its listing cannot be opened.
  void MakeUnreadable(const std::string& path);
  // After this many more listings of the folder are opened, it is gone.
  void VanishAfter(const std::string& path, int listings);
  // Every path at or below link leads into target instead, as a folder link does.
  void AddLink(const std::string& link, const std::string& target);

  std::string currentFolder = "C:\\work";
  DWORD serialNumber = 0x1A2B3C4D;
  bool volumeReadable = true;
  std::vector<std::string> patterns;
  int openListings = 0;
  int nextCalls = 0;  // entries asked for after the first of a listing

  struct FolderData {
    std::vector<FakeEntry> entries;
    bool unreadable = false;
    int listingsLeft = -1;  // -1: never vanishes
  };
  // The folder a Windows path leads to, links followed, or nullptr.
  FolderData* Find(const std::string& path);
  std::string Resolve(const std::string& path) const;
  bool IsLink(const std::string& path) const;

 private:
  std::map<std::string, FolderData> folders_;
  std::map<std::string, std::string> links_;
};
