// Runs every platform operation the program uses over one table of inputs and prints one line per
// row: the row's name, a tab, and what the operation gave. Built twice, against our POSIX layer and
// against the Windows API (run under Wine), so that the two outputs can be compared row by row.
//
// On Windows it is built a second time with the system's own narrow functions
// (FOLDGRAF_SYSTEM_NARROW_API), so that our layer over the wide API can be compared with them too;
// "platform_conformance names" lists a folder of names outside the code page instead.
//
// Run it in the folder that platform_conformance_test.cc prepares. An input that starts with "C:"
// or "c:" names the drive of the current folder (C: on POSIX, Z: under Wine); the comparison maps
// Z: to C: in the results.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

// The operations compared: ours, or with FOLDGRAF_SYSTEM_NARROW_API the system's own narrow ones.
#if defined(FOLDGRAF_SYSTEM_NARROW_API)
namespace system_narrow_api {
using ::CharUpperA;
using ::CloseHandle;
using ::CreateFileA;
using ::FileTimeToSystemTime;
using ::FindClose;
using ::FindFirstFileA;
using ::FindFirstFileExA;
using ::FindNextFileA;
using ::GetCurrentDirectoryA;
using ::GetFileInformationByHandle;
using ::GetFullPathNameA;
using ::GetVolumeInformationA;
using ::lstrcmpA;
using ::PathIsDirectoryA;
using ::PathSkipRootA;
using ::PathStripToRootA;
}  // namespace system_narrow_api
namespace api = system_narrow_api;
#else
namespace api = platform;
#endif

namespace {

char currentDrive = 'C';

std::string OnCurrentDrive(const char* input) {
  std::string path = input;
  if (path.size() >= 2 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':') {
    path[0] = path[0] == 'C' ? currentDrive : static_cast<char>(currentDrive - 'A' + 'a');
  }
  return path;
}

// Bytes outside printable ASCII are shown in hexadecimal.
std::string Shown(const char* text) {
  if (text == nullptr) return "(null)";
  std::string shown = "\"";
  for (const char* at = text; *at != '\0'; ++at) {
    auto const byte = static_cast<unsigned char>(*at);
    if (byte >= 0x20 && byte < 0x7F) {
      shown.push_back(*at);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", byte);
      shown += hex;
    }
  }
  return shown + "\"";
}

void Row(const std::string& name, const std::string& result) {
  std::printf("%s\t%s\n", name.c_str(), result.c_str());
}

std::string Number(unsigned long long value) { return std::to_string(value); }

const std::string kLong(300, 'x');

// The program's path buffers hold MAX_PATH bytes, which differs between the builds; the rows ask
// with Windows' 260 on both, so that the same inputs overflow.
constexpr DWORD kBufferSize = 260;

void PathRows() {
  char buffer[kBufferSize];
  DWORD length = api::GetCurrentDirectoryA(kBufferSize, buffer);
  Row("GetCurrentDirectoryA(260)", Number(length) + " " + Shown(buffer));
  Row("GetCurrentDirectoryA(4) needs",
      length + 1 == api::GetCurrentDirectoryA(4, buffer) ? "its size" : "other");

  std::vector<std::string> const fullPathInputs = {".",
                                                   "..",
                                                   "sub",
                                                   "sub\\",
                                                   "sub/",
                                                   "sub\\\\inner",
                                                   "sub//inner\\\\",
                                                   ".\\sub\\..\\sub\\.",
                                                   "sub\\inner\\..\\..\\..",
                                                   "\\",
                                                   "\\sub",
                                                   "/sub",
                                                   "C:",
                                                   "c:sub",
                                                   "C:\\",
                                                   "c:\\tmp\\..\\..\\..",
                                                   "C:/a/b/",
                                                   "C:\\a\\\\b",
                                                   "q:\\x",
                                                   "Q:",
                                                   "q:x",
                                                   "\\\\server\\share\\x",
                                                   "\\\\server\\share",
                                                   "\\\\server\\share\\",
                                                   "\\\\server",
                                                   "//server/share/x/",
                                                   "sub\\" + kLong,
                                                   "file.txt",
                                                   "...",
                                                   "sub\\.\\",
                                                   "-x",
                                                   "sub\\*"};
  for (std::string const& input : fullPathInputs) {
    std::string const path = OnCurrentDrive(input.c_str());
    char* filePart = nullptr;
    length = api::GetFullPathNameA(path.c_str(), kBufferSize, buffer, &filePart);
    std::string result = Number(length);
    if (length > 0 && length < kBufferSize) {
      result.append(" ").append(Shown(buffer)).append(" part ");
      result.append(filePart == nullptr ? std::string("(null)") : Number(filePart - buffer));
    }
    Row("GetFullPathNameA(" + Shown(input.c_str()) + ")", result);
  }
  length = api::GetFullPathNameA("sub", 5, buffer, nullptr);
  Row("GetFullPathNameA(\"sub\", 5) needs",
      Number(length) + (length == api::GetFullPathNameA("sub", kBufferSize, buffer, nullptr) + 1
                            ? " its size"
                            : " other"));

  std::vector<std::string> const rootInputs = {"C:\\",
                                               "C:\\a\\b",
                                               "c:\\a\\",
                                               "C:",
                                               "C:a",
                                               "\\",
                                               "\\a",
                                               "a\\b",
                                               "",
                                               "\\\\server\\share",
                                               "\\\\server\\share\\a\\b",
                                               "\\\\server",
                                               "\\\\server\\",
                                               "q:\\x"};
  for (std::string const& input : rootInputs) {
    std::string path = OnCurrentDrive(input.c_str());
    char copy[MAX_PATH];
    std::strcpy(copy, path.c_str());
    BOOL const stripped = api::PathStripToRootA(copy);
    Row("PathStripToRootA(" + Shown(input.c_str()) + ")",
        Number(stripped != FALSE) + " " + Shown(copy));
    LPCSTR const rest = api::PathSkipRootA(path.c_str());
    Row("PathSkipRootA(" + Shown(input.c_str()) + ")", Shown(rest));
  }

  for (const char* input : {"c:\\abc\\def", "\\\\server\\share\\", "y:", "C:\\MiXeD 09_-", ""}) {
    char copy[MAX_PATH];
    std::strcpy(copy, input);
    api::CharUpperA(copy);
    Row("CharUpperA(" + Shown(input) + ")", Shown(copy));
  }
  // ヂ in code page 932: its second byte is a lower-case ASCII letter's.
  char katakana[] = "\x83\x61";
  api::CharUpperA(katakana);
  Row("CharUpperA(<83><61>)", Shown(katakana));

  std::vector<std::pair<const char*, const char*>> const comparisons = {
      {".", "."}, {"..", ".."}, {"..", "."}, {".", ".."},
      {"a", "A"}, {"", "."},    {". ", "."}, {"...", ".."}};
  for (auto const& [first, second] : comparisons) {
    // Callers only ask whether the two are equal.
    Row("lstrcmpA(" + Shown(first) + ", " + Shown(second) + ") == 0",
        api::lstrcmpA(first, second) == 0 ? "yes" : "no");
  }

  for (const char* input :
       {".", "sub", "sub\\", "sub\\\\inner", "sub/inner", "sub\\inner\\..", "file.txt", "missing",
        "link-to-sub", "dangling", "C:\\", "C:\\tmp", "q:\\", "\\\\server\\share", "", "..."}) {
    std::string const path = OnCurrentDrive(input);
    Row("PathIsDirectoryA(" + Shown(input) + ")",
        api::PathIsDirectoryA(path.c_str()) ? "yes" : "no");
  }

  for (const char* input : {"C:\\", "C:", "C:\\tmp\\", "q:\\", "\\\\server\\share\\"}) {
    std::string const path = OnCurrentDrive(input);
    DWORD serial = 0;
    BOOL const ok =
        api::GetVolumeInformationA(path.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    Row("GetVolumeInformationA(" + Shown(input) + ")", ok ? "ok" : "failed");
    if (ok) Row("GetVolumeInformationA(" + Shown(input) + ") serial", Number(serial));
  }
}

std::string Attributes(DWORD attributes) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(attributes));
  return hex;
}

// A listing's entries in the order delivered, each with its directory bit.
void ListingRows(const char* input, bool everyEntry) {
  std::string const pattern = OnCurrentDrive(input);
  WIN32_FIND_DATAA entry;
  HANDLE const listing = api::FindFirstFileA(pattern.c_str(), &entry);
  std::string const name = "FindFirstFileA(" + Shown(input) + ")";
  if (listing == INVALID_HANDLE_VALUE) {
    Row(name, "INVALID_HANDLE_VALUE");
    return;
  }
  std::vector<std::string> entries;
  do {
    if (!everyEntry && std::strcmp(entry.cFileName, ".") != 0 &&
        std::strcmp(entry.cFileName, "..") != 0 && std::strcmp(entry.cFileName, "tmp") != 0) {
      continue;
    }
    bool const folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries.push_back(Shown(entry.cFileName) + (folder ? " folder" : " file"));
    if (everyEntry) {
      Row(name + " " + Shown(entry.cFileName) + " attributes", Attributes(entry.dwFileAttributes));
      if (!folder) {
        Row(name + " " + Shown(entry.cFileName) + " size",
            Number((static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) |
                   entry.nFileSizeLow));
        Row(name + " " + Shown(entry.cFileName) + " ftLastWriteTime",
            Number((static_cast<unsigned long long>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                   entry.ftLastWriteTime.dwLowDateTime));
      }
    }
  } while (api::FindNextFileA(listing, &entry));
  Row(name + " closed", api::FindClose(listing) ? "yes" : "no");
  // The order is the platform's own; only what is delivered is compared.
  std::sort(entries.begin(), entries.end());
  std::string delivered;
  for (std::string const& text : entries) delivered += (delivered.empty() ? "" : ", ") + text;
  Row(name, delivered);
}

// The listings the walk opens with hints: names and attributes only, and possibly only folders.
// Leaving out other entries is a hint a platform may ignore, so only the folders are compared.
void HintedListingRows(const char* input) {
  std::string const pattern = OnCurrentDrive(input);
  for (FINDEX_SEARCH_OPS const search : {FindExSearchNameMatch, FindExSearchLimitToDirectories}) {
    bool const foldersOnly = search == FindExSearchLimitToDirectories;
    std::string const name = std::string("FindFirstFileExA(basic, ") +
                             (foldersOnly ? "folders, " : "names, ") + Shown(input) + ")";
    WIN32_FIND_DATAA entry;
    HANDLE const listing = api::FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &entry, search,
                                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (listing == INVALID_HANDLE_VALUE) {
      Row(name, "INVALID_HANDLE_VALUE");
      continue;
    }
    std::vector<std::string> entries;
    do {
      DWORD const kind =
          entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
      if (foldersOnly && (kind & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      entries.push_back(Shown(entry.cFileName) + " " + Attributes(kind));
    } while (api::FindNextFileA(listing, &entry));
    api::FindClose(listing);
    std::sort(entries.begin(), entries.end());
    std::string delivered;
    for (std::string const& text : entries) delivered += (delivered.empty() ? "" : ", ") + text;
    Row(name, delivered);
  }
}

void FindRows() {
  for (const char* input :
       {"sub\\*", "sub\\\\*", "hidden\\*", "link-to-sub\\*", "missing\\*", "file.txt\\*"}) {
    HintedListingRows(input);
  }
  for (const char* input :
       {"sub\\*", "sub\\\\*", "sub/*", "sub\\\\\\*", "hidden\\*", "sub\\inner\\*", "missing\\*",
        "file.txt\\*", "link-to-sub\\*", "q:\\*", "\\\\server\\share\\*"}) {
    ListingRows(input, true);
  }
  // Of the root only what does not depend on the machine: "." and "..", and a folder that is
  // there everywhere.
  ListingRows("C:\\*", false);
  ListingRows("C:\\\\*", false);
  std::string const longPattern = "sub\\" + kLong + "\\*";
  ListingRows(longPattern.c_str(), true);
}

// Which paths name the same folder, as the walk asks when it guards against links that lead back.
void IdentityRows() {
  auto identify = [](const char* input, BY_HANDLE_FILE_INFORMATION& information) {
    std::string const path = OnCurrentDrive(input);
    HANDLE const file =
        api::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool const known = api::GetFileInformationByHandle(file, &information) != FALSE;
    api::CloseHandle(file);
    return known;
  };
  std::vector<std::pair<const char*, const char*>> const pairs = {
      {"sub", "link-to-sub"},
      {"sub", "sub\\inner\\.."},
      {"sub", "."},
      {".", "sub\\up"},
      {"sub\\inner", "link-to-sub\\inner"},
      {"sub", "hidden"}};
  for (auto const& [first, second] : pairs) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    bool const knownA = identify(first, a);
    bool const knownB = identify(second, b);
    std::string result = "unknown";
    if (knownA && knownB) {
      bool const same = a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                        a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
      result = same ? "same" : "different";
    }
    Row("identity(" + Shown(first) + ", " + Shown(second) + ")", result);
  }
  BY_HANDLE_FILE_INFORMATION unused{};
  Row("identity(\"missing\")", identify("missing", unused) ? "known" : "unknown");
}

void TimeRows() {
  std::vector<unsigned long long> const ticks = {0ULL,
                                                 1ULL,
                                                 9'999'999ULL,
                                                 10'000'000ULL,
                                                 864'000'000'000ULL,
                                                 0x00000000FFFFFFFFULL,
                                                 116'444'736'000'000'000ULL,  // 1970-01-01
                                                 125'911'584'000'000'000ULL,  // 2000-01-01
                                                 125'962'560'000'000'000ULL,  // 2000-02-29
                                                 132'543'037'890'000'000ULL,  // 2021-01-05 07:03:09
                                                 0x7FFFFFFFFFFFFFFFULL,
                                                 0x8000000000000000ULL,
                                                 0xFFFFFFFFFFFFFFFFULL,
                                                 0x7FFFFFFF00000000ULL,
                                                 0x0000000100000000ULL};
  for (unsigned long long const value : ticks) {
    FILETIME const time{static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(value >> 32)};
    SYSTEMTIME calendar{};
    std::string result = "failed";
    if (api::FileTimeToSystemTime(&time, &calendar)) {
      char text[96];
      std::snprintf(text, sizeof text, "%u-%02u-%02u %02u:%02u:%02u.%03u weekday %u",
                    calendar.wYear, calendar.wMonth, calendar.wDay, calendar.wHour,
                    calendar.wMinute, calendar.wSecond, calendar.wMilliseconds,
                    calendar.wDayOfWeek);
      result = text;
    }
    Row("FileTimeToSystemTime(" + Number(value) + ")", result);
  }
}

// The folders below folder, walked as the program walks them: the listing stays open, the next
// subfolder fetched, while the current one is entered. One row per folder reached, numbered in
// walking order since shown names may coincide, with the names of its subfolders.
void WalkRows(const std::string& folder, int& number) {
  WIN32_FIND_DATAA current;
  WIN32_FIND_DATAA next;
  HANDLE const listing = api::FindFirstFileA((folder + "\\*").c_str(), &current);
  std::string const name = "walk " + std::to_string(number++) + " " + Shown(folder.c_str());
  if (listing == INVALID_HANDLE_VALUE) {
    Row(name, "INVALID_HANDLE_VALUE");
    return;
  }
  auto isSubfolder = [](const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0;
  };
  auto nextSubfolder = [&](WIN32_FIND_DATAA& entry) {
    while (api::FindNextFileA(listing, &entry)) {
      if (isSubfolder(entry)) return true;
    }
    return false;
  };
  std::string names;
  bool more = isSubfolder(current) || nextSubfolder(current);
  while (more) {
    more = nextSubfolder(next);
    names += Shown(current.cFileName) + " ";
    WalkRows(folder + "\\" + current.cFileName, number);
    current = next;
  }
  api::FindClose(listing);
  Row(name, names);
}

// typed is a path argument in its narrow form, as the program receives it.
void NameRows(const char* typed) {
  HintedListingRows("*");
  int number = 0;
  WalkRows(".", number);
  char full[MAX_PATH];
  DWORD const length = api::GetFullPathNameA(typed, MAX_PATH, full, nullptr);
  bool const resolved = length > 0 && length < MAX_PATH;
  Row("typed " + Shown(typed) + " is a folder",
      resolved && api::PathIsDirectoryA(full) ? "yes" : "no");
  if (resolved) WalkRows(full, number);
}

}  // namespace

int main(int argc, char** argv) {
  char current[MAX_PATH];
  if (api::GetCurrentDirectoryA(MAX_PATH, current) > 0) currentDrive = current[0];
  int count = argc;
  const char* const* arguments = platform::ProgramArguments(count, argv);
  if (count == 3 && std::strcmp(arguments[1], "names") == 0) {
    NameRows(arguments[2]);
    return 0;
  }
  PathRows();
  FindRows();
  IdentityRows();
  TimeRows();
  return 0;
}
