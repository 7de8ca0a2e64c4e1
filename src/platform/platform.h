// The one seam between FOLDGRAF and the operating system. The command driver and the folder tree
// include this header and nothing else that is system specific; they call the operations by their
// Windows names, in the namespace platform, and use the Windows types. On Windows some of these
// are the real API and the rest ours over its wide half; elsewhere src/platform implements them all
// with the same names and results. Every contract line below is what callers may rely on.
#pragma once

#if defined(_WIN32)

// windows.h must come first: shlwapi.h relies on what it declares. (This comment keeps the two in
// separate blocks, which the formatter does not sort together.)
#include <windows.h>
// shlwapi.h after it.
#include <shlwapi.h>

// The console's narrow encoding: built-in texts are written as code page 932 bytes.
constexpr bool kBuiltInTextsAreCodePage932 = true;

// Path buffers hold the wide API's limit in its "\\?\" form, not the narrow interfaces' 260.
constexpr DWORD kPathLimit = 32767;

namespace platform {

// The system's own operations, called as they are.
using ::CharUpperA;
using ::CloseHandle;
using ::FileTimeToSystemTime;
using ::GetFileInformationByHandle;
using ::GetVolumeInformationA;
using ::lstrcmpA;
using ::PathSkipRootA;
using ::PathStripToRootA;

// The narrow interfaces reach neither a folder whose name the ANSI code page cannot show nor a path
// past 260 bytes. So these narrow operations are done here over the wide API, under the system's
// names, records and results: every name is delivered as WideCharToMultiByte(CP_ACP) shows it, and
// every narrow path handed back is taken to the entry it came from (see paths-win32.cc for how).
DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer);
DWORD GetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart);
BOOL PathIsDirectoryA(LPCSTR path);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);

}  // namespace platform

#else

#include <cstdint>

// File names are UTF-8 here, so built-in texts are written in UTF-8 as well.
constexpr bool kBuiltInTextsAreCodePage932 = false;

using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using HANDLE = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// On POSIX a path may be as long as the system's own limit.
constexpr DWORD MAX_PATH = 4096;
// The size of the program's path buffers, NUL included.
constexpr DWORD kPathLimit = MAX_PATH;
// File names on POSIX are at most 255 bytes, so the entry record keeps the Windows size and the
// walk's per-level stack use stays small even on the deepest trees.
constexpr DWORD kMaxFileName = 260;

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

enum FINDEX_INFO_LEVELS { FindExInfoStandard, FindExInfoBasic };
enum FINDEX_SEARCH_OPS { FindExSearchNameMatch, FindExSearchLimitToDirectories };
constexpr DWORD FIND_FIRST_EX_LARGE_FETCH = 0x2;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// 100-nanosecond ticks since 1601-01-01 00:00 UTC, split in two halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[kMaxFileName];
  char cAlternateFileName[14];
};

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};

namespace platform {

// Paths are Windows paths: drive C: is the POSIX root "/", and "\" and "/" both separate. Every
// other drive and every network path names nothing that exists.

// The current folder as "C:\..." in buffer; the length written without the NUL, the size needed
// with the NUL when the buffer is too small, 0 on failure.
DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer);
// The absolute form of path: "." and ".." resolved, repeated separators made one, "/" turned into
// "\", letter case and a trailing separator kept. Result as for GetCurrentDirectoryA.
DWORD GetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart);
// Cuts path in place to its root: "C:\", "\" or "\\server\share". FALSE when it has none; a drive
// without a separator ("C:x") is then cut to "C:", as on Windows.
BOOL PathStripToRootA(LPSTR path);
// The part of path behind its root and the separator after it, or nullptr: only "C:\..." and
// "\\server\share\..." have such a root.
LPCSTR PathSkipRootA(LPCSTR path);
// Upper-cases the ASCII letters of text in place; other bytes are left alone.
LPSTR CharUpperA(LPSTR text);
// Zero when the two texts are equal byte for byte.
int lstrcmpA(LPCSTR first, LPCSTR second);
// Non-zero when path names an existing folder (a link to a folder counts).
BOOL PathIsDirectoryA(LPCSTR path);
// Only the serial number is ever asked for; every other output may be null. FALSE for any root
// but drive C:.
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName, DWORD fileSystemNameSize);

// Only ever called to identify a folder; the returned handle is good for
// GetFileInformationByHandle.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
// Fills the volume serial number and file index that identify the file; the other fields are zero.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
BOOL CloseHandle(HANDLE file);
// The calendar fields of the instant in time, with no time-zone conversion. FALSE for 2^63 ticks or
// more.
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* calendar);

}  // namespace platform

#endif

namespace platform {

// Folder listings, the same engine in every build (listing.cc). FindFirstFileA opens the listing
// of the folder in pattern ("folder\*") and delivers its first entry, or gives
// INVALID_HANDLE_VALUE. Every entry comes, hidden ones and "." and ".." too, in the order the
// system lists the folder. A link to a folder is a folder entry; on POSIX a link that leads nowhere
// is a plain file entry; both carry FILE_ATTRIBUTE_REPARSE_POINT. However many entries a folder has
// and however many listings are open at once, they hold a bounded amount of memory, descriptors and
// handles. A folder listed again straight after, with no other folder read in between, delivers the
// entries read the time before. A path made of an open listing's folder, one separator and the name
// of a subfolder it has just delivered leads to that subfolder, whatever bytes the name holds. On
// POSIX the times and sizes are those of the entries that are not folders (and of links); a
// folder's own are left zero, since nothing reads them and each costs a stat there.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry);
// FindFirstFileA with two hints. FindExSearchLimitToDirectories: the listing may leave out entries
// that are not folders (callers still check). FindExInfoBasic: the caller reads names and
// attributes only, so the times and sizes, which cost a stat per entry on POSIX, may be left zero.
// The flags are ignored.
HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                        FINDEX_SEARCH_OPS search, void* searchFilter, DWORD flags);
// Delivers the next entry; FALSE when the listing is exhausted.
BOOL FindNextFileA(HANDLE listing, WIN32_FIND_DATAA* entry);
BOOL FindClose(HANDLE listing);

// The argument vector main works with, argv[0] included; argc is set to its length. It follows the
// start-up rules of a Windows program whatever the C runtime does: on Windows it is split anew from
// GetCommandLineW() and each argument given in its narrow form, made without best fit (a character
// that the code page lacks is "?", never a look-alike; a path typed with it still leads to its
// folder: see paths-win32.cc), elsewhere the shell has split it already and argv is handed back.
const char* const* ProgramArguments(int& argc, char** argv);

// Whether an argument that begins with "/" is a path and not a switch. On POSIX, where users type
// absolute paths that way, it is one when it has three bytes or more and names an existing entry
// ("/tmp" is C:\tmp); "/F", "/Tx" and "/tmpx" where no such entry exists stay switches. Never on
// Windows, where "/" starts a switch.
bool ArgumentIsPosixPath(const char* argument);

// Whether the byte after an argument's leading "/" stands for the character the user typed there.
// Not when it is the "?" that a character the narrow encoding lacks became on Windows ("/ä" into a
// file or a pipe): that is no usage request, and the switch is invalid. Always on POSIX.
bool SwitchLetterTyped(const char* argument);

// Whether this run's narrow text is UTF-8: names and paths, the built-in texts and the glyphs.
// Always on POSIX, where names are UTF-8 or any bytes. On Windows only when standard output is a
// console: each line is handed to it as wide text, so that it shows every name as it is. Into a
// file or a pipe Windows text stays code page 932 bytes, with names as the narrow interfaces show
// them. Decided by SetUpStandardOutput.
bool TextIsUtf8();

// Makes standard output behave as a Windows console program's text-mode output: every newline
// leaves as CR LF, each line leaves when std::cout is flushed at its end, and a closed pipe is a
// failed write, never a killed process. Call once, before anything is written.
void SetUpStandardOutput();

// True when standard output is a terminal (a console on Windows), false for a file or a pipe.
bool StandardOutputIsTerminal();

// The whole form of name, the cFileName of an entry a listing delivered. On a Windows console,
// whose text is UTF-8, a name too long for the entry's 260 bytes is delivered cut, and its whole
// form is kept for showing until the entry is filled again; name itself everywhere else.
const char* WholeName(const char* name);

}  // namespace platform
