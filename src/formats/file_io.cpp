#include "formats/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace skylode {

namespace {

std::atomic<bool> namedTemporariesOnly{false};

Error MakeError(ErrorKind kind, int osError, const std::string& path) {
  return Error::System(kind, osError, path);
}

struct PathParts {
  std::string folder;  // "." when the path has none
  std::string base;
};

PathParts SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  if (slash == 0) return {"/", path.substr(1)};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// A hidden name beside the target that no other save picks: the process id,
// a per-process counter and the clock, retried on a clash. The target's own
// name is shortened so the temporary name stays within the folder's limit.
// The prefix up to the process id is what a later save looks for when it
// clears what a killed one left.
std::string TemporaryPrefix(const PathParts& parts) { return "." + parts.base.substr(0, 150) + "."; }

std::string TemporaryName(const PathParts& parts, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  char tag[64];
  std::snprintf(tag, sizeof tag, "%ld.%u.%llx.%u.tmp", static_cast<long>(getpid()), counter.fetch_add(1),
                ticks & 0xFFFFFFFFull, attempt);
  return parts.folder + "/" + TemporaryPrefix(parts) + tag;
}

// A save killed between naming its temporary file and renaming it leaves
// that file behind. Removes those of this target whose process is gone; a
// running save's file (its process alive) is never touched.
void RemoveAbandonedTemporaries(const PathParts& parts) {
  DIR* dir = opendir(parts.folder.c_str());
  if (dir == nullptr) return;
  const std::string prefix = TemporaryPrefix(parts);
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() <= prefix.size() + 4 || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - 4) != ".tmp")
      continue;
    const std::string_view tag = name.substr(prefix.size());
    char* end = nullptr;
    const std::string digits(tag.substr(0, tag.find('.')));
    const long pid = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || pid <= 0 || pid == static_cast<long>(getpid())) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

// Writing past the file size limit raises SIGXFSZ, whose default ends the
// process: for the length of a save it is held back in this thread, so the
// write fails with EFBIG instead, and a signal raised meanwhile is taken.
class FileSizeSignalHold {
 public:
  FileSizeSignalHold() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~FileSizeSignalHold() {
    if (!sigismember(&old_, SIGXFSZ)) {
      const timespec now{0, 0};
      while (sigtimedwait(&set_, nullptr, &now) == SIGXFSZ) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  FileSizeSignalHold(const FileSizeSignalHold&) = delete;
  FileSizeSignalHold& operator=(const FileSizeSignalHold&) = delete;

 private:
  sigset_t set_{};
  sigset_t old_{};
};

// If `path` is a symbolic link, the file it points to: saving replaces the
// file, not the link.
std::string ResolveLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;  // a dangling link is replaced like a file
  std::string resolved(real);
  std::free(real);
  return resolved;
}

bool WriteAll(int fd, const char* data, size_t size, int& error) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (n == 0) {  // no progress and no reason given: treat as a full disk
      error = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The new name must appear only if nothing stands there yet. Some file
// systems lack the no-replace rename; a hard link fails the same way on an
// existing name.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  unlink(from.c_str());
  return 0;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // best effort: the file itself is already on disk
  close(fd);
}

// An unnamed file in `folder` that gets a name only once it is complete, so
// a save killed at any moment leaves nothing behind; -1 where the folder's
// file system has no such files (or the caller asked for named ones).
int OpenUnnamed(const std::string& folder) {
  if (namedTemporariesOnly) return -1;
  int fd;
  do {
    fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Gives the unnamed file `fd` the name `to`; an existing name is never
// replaced (EEXIST). 0 or the errno.
int NameUnnamed(int fd, const std::string& to) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, self, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int viaProc = errno;
  if (viaProc == EEXIST || viaProc == ENOSPC || viaProc == EROFS || viaProc == EDQUOT) return viaProc;
  // Without /proc, the descriptor itself can be linked by a process allowed to.
  if (linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno == EPERM ? viaProc : errno;
}

// Writes, flushes and names the file. On failure nothing new remains.
Status SaveThroughTemporary(const std::string& path, const PathParts& parts, std::string_view bytes, WriteMode mode,
                            const struct stat* existing) {
  int fd = OpenUnnamed(parts.folder);
  const bool unnamed = fd >= 0;
  std::string temp;  // the named temporary file, while there is one
  if (!unnamed) {
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temp = TemporaryName(parts, attempt);
      fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST && errno != EINTR) break;
    }
    if (fd < 0) return MakeError(ErrorKind::kCannotCreate, errno, path);
  }

  auto fail = [&](ErrorKind kind, int error) {
    if (fd >= 0) close(fd);
    if (!temp.empty()) unlink(temp.c_str());
    return MakeError(kind, error, path);
  };

  // A replaced file keeps who may read it; failing to copy the bits is no
  // reason to lose the save.
  if (existing != nullptr && S_ISREG(existing->st_mode)) fchmod(fd, existing->st_mode & 07777);

  int error = 0;
  if (!WriteAll(fd, bytes.data(), bytes.size(), error)) return fail(ErrorKind::kWriteError, error);
  if (fsync(fd) != 0) return fail(ErrorKind::kSyncError, errno);

  if (unnamed) {
    if (mode == WriteMode::kCreateNew) {
      // The name appears only if nothing stands there yet, with the complete file.
      if (const int e = NameUnnamed(fd, path); e != 0)
        return fail(e == EEXIST ? ErrorKind::kExists : ErrorKind::kCannotReplace, e);
      close(fd);  // the bytes are on disk; the file is in place
      SyncFolder(parts.folder);
      return {};
    }
    // Replacing needs a name to rename from: the named moment lasts from here
    // to the rename, and a save killed in it is cleared by the next one.
    int e = EEXIST;
    for (unsigned attempt = 0; attempt < 100 && e == EEXIST; ++attempt) {
      temp = TemporaryName(parts, attempt);
      e = NameUnnamed(fd, temp);
    }
    if (e != 0) {
      temp.clear();
      return fail(ErrorKind::kCannotReplace, e);
    }
  }
  const int closed = close(fd);
  fd = -1;
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried; the error itself (e.g. from network storage) still counts.
  if (closed != 0) return fail(ErrorKind::kCloseError, errno);

  if (mode == WriteMode::kCreateNew) {
    if (const int e = RenameNoReplace(temp, path); e != 0) {
      return fail(e == EEXIST ? ErrorKind::kExists : ErrorKind::kCannotReplace, e);
    }
  } else if (rename(temp.c_str(), path.c_str()) != 0) {
    return fail(ErrorKind::kCannotReplace, errno);
  }
  SyncFolder(parts.folder);
  return {};
}

}  // namespace

Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, WriteMode mode) {
  return WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                             mode);
}

Status WriteFileAtomically(const std::string& requested, std::string_view bytes, WriteMode mode) {
  if (requested.empty()) return MakeError(ErrorKind::kCannotCreate, ENOENT, requested);
  const std::string path = ResolveLink(requested);
  const PathParts parts = SplitPath(path);
  if (parts.base.empty()) return MakeError(ErrorKind::kCannotCreate, EISDIR, requested);

  struct stat existing {};
  const bool exists = lstat(path.c_str(), &existing) == 0;
  // Refuse early and spare the writing; the final step checks again.
  if (mode == WriteMode::kCreateNew && exists) return MakeError(ErrorKind::kExists, EEXIST, requested);

  const FileSizeSignalHold hold;
  Status saved = SaveThroughTemporary(path, parts, bytes, mode, exists ? &existing : nullptr);
  RemoveAbandonedTemporaries(parts);
  if (!saved.ok()) saved.error().path = requested;
  return saved;
}

void UseNamedTemporaryFilesOnly(bool on) { namedTemporariesOnly = on; }

Result<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return MakeError(ErrorKind::kCannotOpen, errno, path);
  std::string bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      close(fd);
      return MakeError(ErrorKind::kCannotOpen, EISDIR, path);
    }
    if (S_ISREG(st.st_mode)) {
      if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        close(fd);
        return MakeError(ErrorKind::kTooLarge, 0, path);
      }
      bytes.reserve(static_cast<size_t>(st.st_size));
    }
  }
  // Read to the end rather than trusting the size: the file may be growing,
  // or be a device or pipe with no size at all.
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int e = errno;
      close(fd);
      return MakeError(ErrorKind::kReadError, e, path);
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      close(fd);
      return MakeError(ErrorKind::kTooLarge, 0, path);
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  if (bytes.empty()) return MakeError(ErrorKind::kEmpty, 0, path);
  return bytes;
}

std::string_view FileExtension(std::string_view path) {
  const size_t sep = path.find_last_of("/\\");
  const std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot);
}

bool HasExtension(std::string_view path, std::string_view ext) {
  if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
  std::string_view own = FileExtension(path);
  if (own.empty()) return false;
  own.remove_prefix(1);
  if (own.size() != ext.size()) return false;
  for (size_t i = 0; i < own.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(own[i]) != lower(ext[i])) return false;
  }
  return true;
}

std::string WithDefaultExtension(std::string_view name, std::string_view ext) {
  const std::string_view own = FileExtension(name);
  if (own.size() > 1) return std::string(name);
  std::string result(name);
  if (ext.empty()) return result;
  const bool endsWithDot = own == ".";
  if (ext.front() == '.') {
    result += endsWithDot ? ext.substr(1) : ext;
  } else {
    if (!endsWithDot) result += '.';
    result += ext;
  }
  return result;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string result(folder);
  if (result.back() != '/' && result.back() != '\\') result += '/';
  result += name;
  return result;
}

}  // namespace skylode
