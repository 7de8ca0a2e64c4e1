/* The Windows floor that foldgraf.exe is measured against: the least a Windows program can do to
 * print the same bytes. It reads each folder once (FindFirstFileExW over the folder's \\?\ path,
 * the basic information and the large fetch, then FindNextFileW), keeps the folder's entries in
 * memory, takes a file's time stamp from the entry it was listed with, and writes every line with
 * one WriteFile call, CR LF included, as foldgraf.exe must. The header lines and the note for a
 * folder without subfolders are foldgraf.exe's own, code page 932 bytes and all, so that the two
 * outputs can be compared whole with cmp. Names are shown in the system's code page.
 *
 *   floor_walker.exe [/F] [/T] X:\FOLDER
 *
 * FOLDER is an absolute path with a drive letter, as the benchmark gives it.
 */
#define WIN32_LEAN_AND_MEAN
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "floor_lines.h"

#define LINE_MAX_BYTES 8192
#define PATH_MAX_UNITS 32768

/* Code page 932 bytes. */
static const char kTee[] = "\x84\xA5\x84\x9F";   /* ├─ */
static const char kEnd[] = "\x84\xA4\x84\x9F";   /* └─ */
static const char kBar[] = "\x84\xA0\x20\x20";   /* │ and two spaces */
static const char kBlank[] = "\x20\x20\x20\x20"; /* four spaces */
/* ボリューム シリアル番号は and a space */
static const char kSerialLead[] =
    "\x83\x7B\x83\x8A\x83\x85\x81\x5B\x83\x80\x20\x83\x56\x83\x8A\x83\x41\x83\x8B\x94\xD4\x8D\x86"
    "\x82\xCD\x20";
/* a space and です */
static const char kSerialTail[] = "\x20\x82\xC5\x82\xB7";
/* フォルダ パスの一覧 */
static const char kTitle[] =
    "\x83\x74\x83\x48\x83\x8B\x83\x5F\x20\x83\x70\x83\x58\x82\xCC\x88\xEA\x97\x97";
/* サブフォルダは存在しません */
static const char kNoSubfolders[] =
    "\x83\x54\x83\x75\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xCD\x91\xB6\x8D\xDD\x82\xB5\x82\xDC"
    "\x82\xB9\x82\xF1";

static HANDLE output;
static int listFiles;
static int showTimes;
static char line[LINE_MAX_BYTES]; /* one line at a time leaves; a static one spares deep stacks */
static WCHAR path[PATH_MAX_UNITS];

static void WriteLine(size_t length) {
  line[length++] = '\r';
  line[length++] = '\n';
  const char* at = line;
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(output, at, (DWORD)length, &written, NULL) || written == 0) ExitProcess(0);
    at += written;
    length -= written;
  }
}

static char* PutName(char* to, const WCHAR* name) {
  int const bytes = WideCharToMultiByte(CP_ACP, 0, name, (int)wcslen(name), to,
                                        (int)(line + LINE_MAX_BYTES - 2 - to), NULL, NULL);
  return to + (bytes > 0 ? bytes : 0);
}

static char* PutTimeStamp(char* to, const FILETIME* written) {
  SYSTEMTIME calendar;
  if (!FileTimeToSystemTime(written, &calendar)) return PutUnknownTime(to);
  return PutCalendar(to, calendar.wYear, calendar.wMonth, calendar.wDay, calendar.wHour,
                     calendar.wMinute, calendar.wSecond);
}

/* The folder's entries in the order the listing gives them; names are NUL-ended in one pool. */
struct Entry {
  int folder;
  FILETIME written;
  size_t name;
};
struct Entries {
  struct Entry* list;
  size_t count;
  size_t size;
  WCHAR* names;
  size_t used;
  size_t room;
  size_t folders;
  size_t files;
};

static void* Grow(void* block, size_t* size, size_t need, size_t unit) {
  if (need <= *size) return block;
  *size = *size * 2 + need + 256;
  block = realloc(block, *size * unit);
  if (block == NULL) ExitProcess(0);
  return block;
}

static void Add(struct Entries* entries, const WIN32_FIND_DATAW* found) {
  const WCHAR* const name = found->cFileName;
  if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) return;
  size_t const length = wcslen(name) + 1;
  entries->list = Grow(entries->list, &entries->size, entries->count + 1, sizeof *entries->list);
  entries->names = Grow(entries->names, &entries->room, entries->used + length, sizeof(WCHAR));
  struct Entry* const entry = &entries->list[entries->count++];
  entry->folder = (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->written = found->ftLastWriteTime;
  entry->name = entries->used;
  memcpy(entries->names + entries->used, name, length * sizeof(WCHAR));
  entries->used += length;
  if (entry->folder)
    ++entries->folders;
  else
    ++entries->files;
}

/* path holds pathLength units, the folder's \\?\ path without a closing backslash. */
static int ReadFolder(size_t pathLength, struct Entries* entries) {
  if (pathLength + 3 > PATH_MAX_UNITS) return 0;
  wcscpy(path + pathLength, L"\\*");
  WIN32_FIND_DATAW found;
  HANDLE const listing = FindFirstFileExW(path, FindExInfoBasic, &found, FindExSearchNameMatch,
                                          NULL, FIND_FIRST_EX_LARGE_FETCH);
  path[pathLength] = L'\0';
  if (listing == INVALID_HANDLE_VALUE) return 0;
  do Add(entries, &found);
  while (FindNextFileW(listing, &found));
  FindClose(listing);
  return 1;
}

/* prefix holds prefixLength bytes and has room for the deepest line. Returns whether the folder
 * was listed and has subfolders. */
static int Walk(size_t pathLength, char* prefix, size_t prefixLength) {
  struct Entries entries = {0};
  if (!ReadFolder(pathLength, &entries)) return 0;

  if (listFiles && entries.files > 0) {
    const char* const segment = entries.folders > 0 ? kBar : kBlank;
    for (size_t at = 0; at < entries.count; ++at) {
      if (entries.list[at].folder) continue;
      char* end = Put(line, prefix, prefixLength);
      end = Put(end, segment, 4);
      if (showTimes) end = PutTimeStamp(end, &entries.list[at].written);
      end = PutName(end, entries.names + entries.list[at].name);
      WriteLine((size_t)(end - line));
    }
    char* end = Put(line, prefix, prefixLength);
    end = Put(end, segment, 4);
    WriteLine((size_t)(end - line));
  }

  size_t left = entries.folders;
  for (size_t at = 0; at < entries.count && left > 0; ++at) {
    if (!entries.list[at].folder) continue;
    const WCHAR* const name = entries.names + entries.list[at].name;
    int const more = --left > 0;
    char* end = Put(line, prefix, prefixLength);
    end = Put(end, more ? kTee : kEnd, 4);
    end = PutName(end, name);
    WriteLine((size_t)(end - line));

    /* A name takes at most 510 bytes in code page 932, a time stamp 23. */
    size_t const nameLength = wcslen(name);
    if (prefixLength + 4 + 600 > LINE_MAX_BYTES || pathLength + 1 + nameLength >= PATH_MAX_UNITS)
      continue;
    memcpy(prefix + prefixLength, more ? kBar : kBlank, 4);
    path[pathLength] = L'\\';
    memcpy(path + pathLength + 1, name, (nameLength + 1) * sizeof(WCHAR));
    Walk(pathLength + 1 + nameLength, prefix, prefixLength + 4);
    path[pathLength] = L'\0';
  }
  free(entries.list);
  free(entries.names);
  return entries.folders > 0;
}

int wmain(int argc, wchar_t** argv) {
  const WCHAR* root = L"";
  for (int at = 1; at < argc; ++at) {
    if (_wcsicmp(argv[at], L"/F") == 0)
      listFiles = 1;
    else if (_wcsicmp(argv[at], L"/T") == 0)
      showTimes = 1;
    else
      root = argv[at];
  }
  output = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t const rootLength = wcslen(root);
  if (rootLength < 2 || rootLength > 4000 || root[1] != L':') return 1;

  WCHAR const drive = root[0] >= L'a' && root[0] <= L'z' ? root[0] - L'a' + L'A' : root[0];
  WCHAR const volume[] = {drive, L':', L'\\', L'\0'};
  DWORD serial = 0;
  if (!GetVolumeInformationW(volume, NULL, 0, &serial, NULL, NULL, NULL, 0)) serial = 0;
  char* end = Put(line, kSerialLead, sizeof kSerialLead - 1);
  for (int digit = 0; digit < 8; ++digit) {
    if (digit == 4) *end++ = '-';
    *end++ = "0123456789ABCDEF"[(serial >> (28 - 4 * digit)) & 0xF];
  }
  end = Put(end, kSerialTail, sizeof kSerialTail - 1);
  WriteLine((size_t)(end - line));
  WriteLine((size_t)(Put(line, kTitle, sizeof kTitle - 1) - line));

  /* The folder's \\?\ path, separators as Windows spells them, which is also how the root line
   * shows it; no closing backslash. */
  size_t pathLength = 4;
  wcscpy(path, L"\\\\?\\");
  for (size_t at = 0; at < rootLength; ++at)
    path[pathLength++] = at == 0 ? drive : root[at] == L'/' ? L'\\' : root[at];
  path[pathLength] = L'\0';
  WriteLine((size_t)(PutName(line, path + 4) - line));
  while (pathLength > 0 && path[pathLength - 1] == L'\\') --pathLength;
  path[pathLength] = L'\0';

  static char prefix[LINE_MAX_BYTES];
  if (Walk(pathLength, prefix, 0)) return 0;
  WriteLine((size_t)(Put(line, kNoSubfolders, sizeof kNoSubfolders - 1) - line));
  WriteLine(0);
  return 0;
}
