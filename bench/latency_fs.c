/* A read-only FUSE passthrough that answers like a slow server: every request that looks a name up
 * or reads a folder (lookup, getattr, opendir, readdir) is answered after a set delay, the rest
 * (open, read, readlink, statfs, closing) at once. Requests are served by many threads, so that
 * requests sent at the same time wait out their delays together, as a server's would; at most
 * CONCURRENCY of them are served at once (1: one at a time), the others wait their turn.
 *
 *   latency_fs [--delay MS] [--concurrency N] SOURCE MOUNTPOINT
 *
 * MS may be fractional (default 1); N defaults to 64. It stays in the foreground and unmounts on
 * SIGINT, SIGTERM or SIGHUP; at exit it writes to stderr how many requests it delayed.
 *
 * The kernel is told to cache nothing a listing or a look-up could be answered from, so that every
 * request a program's system call needs reaches the server and pays the delay; see Configure.
 */
#define FUSE_USE_VERSION 312
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <semaphore.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int source = -1; /* the source folder; every path is opened below it */
static struct timespec delay;
static sem_t servers;       /* one count per request the server may serve at once */
static atomic_ulong looked; /* getattr requests delayed, look-ups included */
static atomic_ulong opened; /* opendir requests delayed */
static atomic_ulong listed; /* readdir requests delayed */

/* The path FUSE gives ("/" or "/a/b") as a path relative to the source folder. */
static const char* Inside(const char* path) { return path[1] == '\0' ? "." : path + 1; }

/* One served request: waits for a free server, then for the delay; returns with the server held. */
static void Serve(atomic_ulong* count) {
  while (sem_wait(&servers) != 0 && errno == EINTR) {
  }
  struct timespec left = delay;
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
  atomic_fetch_add(count, 1);
}

static void Done(void) { sem_post(&servers); }

/* Each setting keeps a request from being answered by the kernel alone:
 * - entry_timeout 0: a name the kernel has looked up is stale at once, so every path through it
 *   (openat of a folder, stat of a file) sends a LOOKUP again;
 * - attr_timeout 0: attributes are stale at once, so every stat sends GETATTR, even right after
 *   the LOOKUP that found the name (a stat of a file by name costs two requests);
 * - negative_timeout 0: a name that is missing is asked for again each time;
 * - kernel_cache and auto_cache off, and keep_cache and cache_readdir off on every open: no file
 *   page and no folder listing outlives its open, so listing a folder twice reads it twice;
 * - no READDIRPLUS: a listing gives names and types only, and every stat of an entry costs its own
 *   LOOKUP. ReadFolder passes no attributes, so READDIRPLUS would change nothing today; it is off
 *   so that no change there can let listings answer look-ups in advance, or make the high-level
 *   library look up each entry inside one request, a delay each, where a server answers once;
 * - PARALLEL_DIROPS kept: without it the kernel holds a folder's lock through each look-up and
 *   listing in it, one at a time, which a server's concurrency would never show;
 * - use_ino: the source's inode numbers, so that programs that tell folders apart by them (a loop
 *   guard) see the same identities on every look-up. */
static void* Configure(struct fuse_conn_info* connection, struct fuse_config* config) {
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  config->kernel_cache = 0;
  config->auto_cache = 0;
  config->use_ino = 1;
  connection->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO | FUSE_CAP_CACHE_SYMLINKS);
  if (connection->capable & FUSE_CAP_PARALLEL_DIROPS) connection->want |= FUSE_CAP_PARALLEL_DIROPS;
  return NULL;
}

/* Serves look-ups too: the high-level library answers a LOOKUP with a getattr of the path. */
static int GetAttributes(const char* path, struct stat* status, struct fuse_file_info* file) {
  (void)file;
  Serve(&looked);
  int const result = fstatat(source, Inside(path), status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
  Done();
  return result;
}

static int ReadLink(const char* path, char* target, size_t size) {
  ssize_t const length = readlinkat(source, Inside(path), target, size - 1);
  if (length < 0) return -errno;
  target[length] = '\0';
  return 0;
}

static int Open(const char* path, struct fuse_file_info* file) {
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  int const descriptor = openat(source, Inside(path), file->flags & ~O_CREAT);
  if (descriptor < 0) return -errno;
  file->fh = (uint64_t)descriptor;
  file->keep_cache = 0;
  return 0;
}

static int Read(const char* path, char* bytes, size_t size, off_t offset,
                struct fuse_file_info* file) {
  (void)path;
  ssize_t const got = pread((int)file->fh, bytes, size, offset);
  return got < 0 ? -errno : (int)got;
}

static int Release(const char* path, struct fuse_file_info* file) {
  (void)path;
  close((int)file->fh);
  return 0;
}

static int StatFileSystem(const char* path, struct statvfs* status) {
  (void)path;
  return fstatvfs(source, status) == 0 ? 0 : -errno;
}

/* An open folder: its listing, and the entry a full reply buffer could not take, for the next
 * READDIR request, which continues at its offset. */
struct Folder {
  DIR* listing;
  struct dirent* pending;
  off_t offset;
};

static int OpenFolder(const char* path, struct fuse_file_info* file) {
  Serve(&opened);
  int result = 0;
  struct Folder* const folder = calloc(1, sizeof *folder);
  int const descriptor = openat(source, Inside(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder == NULL || descriptor < 0 || (folder->listing = fdopendir(descriptor)) == NULL) {
    result = folder == NULL ? -ENOMEM : -errno;
    if (descriptor >= 0) close(descriptor);
    free(folder);
  } else {
    file->fh = (uint64_t)(uintptr_t)folder;
    file->cache_readdir = 0;
    file->keep_cache = 0;
  }
  Done();
  return result;
}

/* One READDIR request: one delay, then as many entries as its reply buffer takes, each with the
 * offset of the one after it, so that the kernel's next request picks up there. */
static int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* file, enum fuse_readdir_flags flags) {
  (void)path;
  (void)flags;
  struct Folder* const folder = (struct Folder*)(uintptr_t)file->fh;
  Serve(&listed);
  if (offset != folder->offset) {
    seekdir(folder->listing, offset);
    folder->pending = NULL;
    folder->offset = offset;
  }
  for (;;) {
    if (folder->pending == NULL) {
      errno = 0;
      folder->pending = readdir(folder->listing);
      if (folder->pending == NULL) break;
    }
    struct stat status = {.st_ino = folder->pending->d_ino,
                          .st_mode = (mode_t)DTTOIF(folder->pending->d_type)};
    off_t const next = telldir(folder->listing);
    if (fill(buffer, folder->pending->d_name, &status, next, 0) != 0) break;
    folder->pending = NULL;
    folder->offset = next;
  }
  int const result = errno != 0 && folder->pending == NULL ? -errno : 0;
  Done();
  return result;
}

static int ReleaseFolder(const char* path, struct fuse_file_info* file) {
  (void)path;
  struct Folder* const folder = (struct Folder*)(uintptr_t)file->fh;
  closedir(folder->listing);
  free(folder);
  return 0;
}

static const struct fuse_operations kOperations = {
    .init = Configure,
    .getattr = GetAttributes,
    .readlink = ReadLink,
    .open = Open,
    .read = Read,
    .release = Release,
    .statfs = StatFileSystem,
    .opendir = OpenFolder,
    .readdir = ReadFolder,
    .releasedir = ReleaseFolder,
};

static int Usage(void) {
  fputs("usage: latency_fs [--delay MS] [--concurrency N] SOURCE MOUNTPOINT\n", stderr);
  return 2;
}

int main(int argc, char** argv) {
  double milliseconds = 1;
  long concurrency = 64;
  const char* folders[2];
  int given = 0;
  for (int at = 1; at < argc; ++at) {
    char* end = NULL;
    if (strcmp(argv[at], "--delay") == 0 && at + 1 < argc) {
      milliseconds = strtod(argv[++at], &end);
      if (*end != '\0' || !(milliseconds >= 0 && milliseconds < 1e6)) return Usage();
    } else if (strcmp(argv[at], "--concurrency") == 0 && at + 1 < argc) {
      concurrency = strtol(argv[++at], &end, 10);
      if (*end != '\0' || concurrency < 1 || concurrency > 1024) return Usage();
    } else if (argv[at][0] != '-' && given < 2) {
      folders[given++] = argv[at];
    } else {
      return Usage();
    }
  }
  if (given != 2) return Usage();
  long const nanoseconds = (long)(milliseconds * 1e6 + 0.5);
  delay.tv_sec = nanoseconds / 1000000000L;
  delay.tv_nsec = nanoseconds % 1000000000L;
  source = open(folders[0], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (source < 0) {
    perror(folders[0]);
    return 1;
  }
  sem_init(&servers, 0, (unsigned)concurrency);

  /* Read-only and, as FUSE mounts are, open to the mounting user alone; no default_permissions,
   * which would make the kernel ask for a folder's attributes again at every permission check. */
  char* options[] = {argv[0], "-o", "ro,fsname=latency_fs,subtype=latency", NULL};
  struct fuse_args arguments = FUSE_ARGS_INIT(3, options);
  struct fuse* const fuse = fuse_new(&arguments, &kOperations, sizeof kOperations, NULL);
  if (fuse == NULL) return 1;
  if (fuse_mount(fuse, folders[1]) != 0) {
    fuse_destroy(fuse);
    return 1;
  }
  /* The library takes over only signals left at their default, and a shell starts a background
   * job with SIGINT ignored: this server ends on each of them wherever it was started. */
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
  int result = 1;
  if (fuse_set_signal_handlers(fuse_get_session(fuse)) == 0) {
    /* Threads enough for every request the server may serve at once, and a few more so that the
     * undelayed ones (open, read, closing) never wait behind the delayed. */
    struct fuse_loop_config* const loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, (unsigned)concurrency + 8);
    fuse_loop_cfg_set_idle_threads(loop, (unsigned)concurrency + 8);
    result = fuse_loop_mt(fuse, loop) < 0; /* a signal that ended it is no failure */
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(fuse_get_session(fuse));
  }
  fuse_unmount(fuse);
  fuse_destroy(fuse);
  fprintf(stderr,
          "latency_fs: delayed %lu getattr (look-ups included), %lu opendir, %lu readdir "
          "requests by %g ms each, %ld at a time\n",
          atomic_load(&looked), atomic_load(&opened), atomic_load(&listed), milliseconds,
          concurrency);
  return result;
}
