/* The floor that foldgraf is measured against: the least a program can do to print the same lines.
 * It opens and reads each folder once, looks at a file (stat) only for its time stamp, and writes
 * every line with its own write(2), CR LF included, as foldgraf must. Its lines have the shape of
 * foldgraf's: the same connectors and indentation, the file block with its spacer line, time stamps
 * in UTC. Folders and files come in the order the folder gives them.
 *
 *   floor_walker [/F] [/T] FOLDER
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "floor_lines.h"

#define LINE_MAX_BYTES 8192

static const char kTee[] = "\xe2\x94\x9c\xe2\x94\x80"; /* ├─ */
static const char kEnd[] = "\xe2\x94\x94\xe2\x94\x80"; /* └─ */
static const char kBar[] = "\xe2\x94\x82  ";           /* │ and two spaces */
static const char kBlank[] = "    ";

static int listFiles;
static int showTimes;

static void WriteLine(char* line, size_t length) {
  line[length++] = '\r';
  line[length++] = '\n';
  const char* at = line;
  while (length > 0) {
    ssize_t const written = write(STDOUT_FILENO, at, length);
    if (written <= 0) exit(0);
    at += written;
    length -= (size_t)written;
  }
}

static char* PutTimeStamp(char* to, int folder, const char* name) {
  struct stat status;
  struct tm calendar;
  if (fstatat(folder, name, &status, 0) != 0 ||
      gmtime_r(&status.st_mtim.tv_sec, &calendar) == NULL) {
    return PutUnknownTime(to);
  }
  return PutCalendar(to, calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday,
                     calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
}

/* The folder's entries, each a type byte ('d' folder, 'f' anything else) and a NUL-ended name. */
struct Entries {
  char* bytes;
  size_t used;
  size_t size;
  size_t folders;
  size_t files;
};

static void Add(struct Entries* entries, char type, const char* name) {
  size_t const length = strlen(name) + 2;
  if (entries->used + length > entries->size) {
    entries->size = entries->size * 2 + length + 4096;
    entries->bytes = realloc(entries->bytes, entries->size);
    if (entries->bytes == NULL) exit(0);
  }
  entries->bytes[entries->used] = type;
  memcpy(entries->bytes + entries->used + 1, name, length - 1);
  entries->used += length;
  if (type == 'd')
    ++entries->folders;
  else
    ++entries->files;
}

static void AddRecord(int folder, struct Entries* entries, const char* name, unsigned char type) {
  if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) return;
  int directory = type == DT_DIR;
  if (type == DT_UNKNOWN || type == DT_LNK) {
    struct stat status;
    directory = fstatat(folder, name, &status, 0) == 0 && S_ISDIR(status.st_mode);
  }
  Add(entries, directory ? 'd' : 'f', name);
}

#if defined(__linux__)
/* Linux: the kernel's records straight, 32 KiB at a time, as the C library's readdir reads them. */
static int ReadFolder(int folder, struct Entries* entries) {
  static char records[32 * 1024] __attribute__((aligned(8)));
  for (;;) {
    ssize_t const read = getdents64(folder, records, sizeof records);
    if (read < 0) return 0;
    if (read == 0) return 1;
    for (ssize_t at = 0; at < read;) {
      struct dirent64 const* const record = (struct dirent64 const*)(records + at);
      AddRecord(folder, entries, record->d_name, record->d_type);
      at += record->d_reclen;
    }
  }
}
#else
static int ReadFolder(int folder, struct Entries* entries) {
  DIR* const listing = fdopendir(dup(folder));
  if (listing == NULL) return 0;
  struct dirent* record;
  while ((record = readdir(listing)) != NULL)
    AddRecord(folder, entries, record->d_name, record->d_type);
  closedir(listing);
  return 1;
}
#endif

/* prefix holds prefixLength bytes and has room for the deepest line. */
static void Walk(int folder, char* prefix, size_t prefixLength) {
  struct Entries entries = {0};
  if (!ReadFolder(folder, &entries)) return;
  char line[LINE_MAX_BYTES];

  if (listFiles && entries.files > 0) {
    const char* const segment = entries.folders > 0 ? kBar : kBlank;
    size_t const segmentLength = strlen(segment);
    for (size_t at = 0; at < entries.used; at += strlen(entries.bytes + at + 1) + 2) {
      if (entries.bytes[at] != 'f') continue;
      const char* const name = entries.bytes + at + 1;
      char* end = Put(line, prefix, prefixLength);
      end = Put(end, segment, segmentLength);
      if (showTimes) end = PutTimeStamp(end, folder, name);
      end = Put(end, name, strlen(name));
      WriteLine(line, (size_t)(end - line));
    }
    char* end = Put(line, prefix, prefixLength);
    end = Put(end, segment, segmentLength);
    WriteLine(line, (size_t)(end - line));
  }

  size_t left = entries.folders;
  for (size_t at = 0; at < entries.used && left > 0; at += strlen(entries.bytes + at + 1) + 2) {
    if (entries.bytes[at] != 'd') continue;
    const char* const name = entries.bytes + at + 1;
    int const more = --left > 0;
    char* end = Put(line, prefix, prefixLength);
    end = Put(end, more ? kTee : kEnd, sizeof kTee - 1);
    end = Put(end, name, strlen(name));
    WriteLine(line, (size_t)(end - line));

    const char* const segment = more ? kBar : kBlank;
    size_t const childLength = prefixLength + strlen(segment);
    if (childLength + 300 > LINE_MAX_BYTES) continue;
    memcpy(prefix + prefixLength, segment, strlen(segment));
    int const child = openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (child >= 0) {
      Walk(child, prefix, childLength);
      close(child);
    }
  }
  free(entries.bytes);
}

int main(int argc, char** argv) {
  const char* root = ".";
  for (int at = 1; at < argc; ++at) {
    if (strcmp(argv[at], "/F") == 0 || strcmp(argv[at], "/f") == 0)
      listFiles = 1;
    else if (strcmp(argv[at], "/T") == 0 || strcmp(argv[at], "/t") == 0)
      showTimes = 1;
    else
      root = argv[at];
  }
  char line[LINE_MAX_BYTES];
  size_t const rootLength = strlen(root) < 4000 ? strlen(root) : 4000;
  WriteLine(strcpy(line, "Floor walker"), 12);
  WriteLine(memcpy(line, root, rootLength), rootLength);
  int const folder = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return 0;
  char prefix[LINE_MAX_BYTES];
  Walk(folder, prefix, 0);
  return 0;
}
