// What the POSIX platform files share among themselves (and with the tests' stand-in for the file
// system); nothing outside src/platform and tests includes this.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <ctime>
#include <string>

#include "platform/listing.h"
#include "platform/platform.h"

namespace platform {

// Where a POSIX reader stands in a folder it reads, beyond what the descriptor itself keeps: each
// reader's own.
struct FolderStream;

// A folder as both POSIX readers hold it: its descriptor while it is held, and what finds it again
// once the descriptor was given back: its parent and its name in it (a folder the user typed: its
// whole path) and, taken when it is given back, its identity.
struct Folder {
  int descriptor = -1;
  Folder* parent = nullptr;
  std::string name;
  dev_t device = 0;
  ino_t inode = 0;
  FolderStream* stream = nullptr;
};

// The parts of the reader contract both POSIX readers share (file_system-posix.cc).
OpenResult OpenInside(Folder& parent, const char* name, Folder*& child);
// Takes folder's identity from its descriptor, for ReopenFolder to check, before it is given back.
void KeepIdentity(Folder& folder);
// Whether an entry of listed type type (a DT_ value) is described from its status, which asks the
// system: links, unknown types and, withDetails, the times and size of what is not a folder.
inline bool StatusNeeded(unsigned char type, bool withDetails) {
  return type == DT_LNK || type == DT_UNKNOWN || (withDetails && type != DT_DIR);
}
// Fills in entry for the entry name of folder whose listed type is type: what the type tells, and
// what only its status tells. False when the entry has vanished since the folder was read.
bool DescribeEntry(const Folder& folder, const char* name, unsigned char type, bool withDetails,
                   WIN32_FIND_DATAA& entry);

// Both separate the parts of a Windows path.
inline bool IsWindowsSeparator(char c) { return c == '\\' || c == '/'; }

// The POSIX path that a Windows path names: drive C: is the root "/", "\" and "/" both separate,
// repeated separators count as one. False for other drives and for network paths, which name
// nothing that exists here. A path without a root stays relative. The last full path that
// GetFullPathNameA made, and what lies below it, names the POSIX path it was made of, whatever
// backslashes its names hold.
bool ToPosixPath(const char* windowsPath, std::string& posixPath);
// The same for the first length bytes of windowsPath.
bool ToPosixPath(const char* windowsPath, std::size_t length, std::string& posixPath);

// The Windows form of the current folder's POSIX path, for GetCurrentDirectoryA: "C:", then the
// path with "\" for "/". A backslash inside a name reads there as a separator, so the form is
// remembered: handed back, it names the current folder, split where POSIX splits it.
std::string CurrentFolderForm(const std::string& posixPath);
// An argument that begins with "/" and names an existing entry is a POSIX path: GetFullPathNameA
// reads it as one (only "/" separates, "//x" is "/x"), and the full path made of it names that
// entry.
void RememberPosixPathArgument(const char* argument);

// Copies a path result into a caller's buffer as the Windows path operations do: the length without
// the NUL, or, when it does not fit, the size needed with the NUL and the buffer left alone.
DWORD CopyPathResult(const std::string& result, DWORD length, LPSTR buffer);

// A time that FileTimeToSystemTime rejects, so that it is shown as unknown.
constexpr FILETIME kUnreadableTime{0xFFFFFFFF, 0xFFFFFFFF};

// A time as 100-nanosecond ticks since 1601-01-01 UTC. A time before 1601 cannot be one, and comes
// out as kUnreadableTime.
FILETIME FileTimeFromPosix(const timespec& time);

// A file's last-write and last-access times; macOS names these fields of struct stat its own way.
#if defined(__APPLE__)
inline const timespec& LastWriteTime(const struct stat& status) { return status.st_mtimespec; }
inline const timespec& LastAccessTime(const struct stat& status) { return status.st_atimespec; }
#else
inline const timespec& LastWriteTime(const struct stat& status) { return status.st_mtim; }
inline const timespec& LastAccessTime(const struct stat& status) { return status.st_atim; }
#endif

// The serial number of the volume at "/" (a stable 32-bit value derived from its file system id)
// and the longest name it allows; false when they cannot be read.
bool ReadRootVolume(DWORD& serial, DWORD& longestName);

}  // namespace platform
