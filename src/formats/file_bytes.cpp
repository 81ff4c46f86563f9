// Whole-file reads and safe whole-file writes, straight through the system's file calls: the
// name goes to the system as the bytes it is, and every call's failure keeps its own reason.
#include "formats/file_bytes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#include "formats/memory_budget.h"
#include "formats/prefault.h"
#include "scene/error.h"

namespace {

[[noreturn]] void Fail(const char* action, const std::string& fileName, const std::string& reason) {
  throw FileError(std::string("Cannot ") + action + " file \"" + fileName + "\": " + reason,
                  fileName, reason);
}

std::string SystemReason(int error) {
  return std::strerror(error);
}

// Closes a descriptor whatever way the function leaves; a close that matters is checked by
// calling Close() first.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // The close's own result: some file systems report a failed write only here. 0 or an errno.
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// A write that would take a file beyond the process's size limit, or into a pipe whose reader
// has gone, must fail with its reason like any other write. By default the system ends the
// process instead, with a half-written file and no word.
void FailWritesInsteadOfEndingTheProgram() {
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

// Writes all of `bytes`; 0 or the errno of the write that failed.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  // Linux writes at most this much in one call whatever is asked.
  constexpr size_t kMaxWrite = size_t{1} << 30;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, std::min(kMaxWrite, bytes.size() - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // Nothing written and no error: the device takes no more (as a full one would say).
    if (n == 0) return ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// The folder part of a path with its slash ("" for a name in the current folder).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of symbolic links ends at: a save writes through a link, as it always has,
// and the temporary file must go beside the file that is replaced, not beside the link. A chain
// that loops is left to the open, which says so.
std::string FollowLinks(const std::string& fileName) {
  std::string path = fileName;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<size_t>(std::max<off_t>(info.st_size, 255)) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return path;
    target.resize(static_cast<size_t>(n));
    path = target.front() == '/' ? target : FolderOf(path) + target;
  }
  return path;
}

// Creates a new file beside `target` for the replacement, with the permissions a new file gets
// (the process's umask applies). Returns its descriptor, or -1 with errno set.
int CreateTemporary(const std::string& target, std::string& name) {
  static std::mt19937_64 random{std::random_device{}()};
  const std::string folder = FolderOf(target);
  // Hidden while it is written; cut so that the suffix keeps it within a name's 255 bytes.
  const std::string base = target.substr(folder.size(), 200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    name = folder + "." + base + "." + suffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// A device, a FIFO or a socket already there: written as it is. There is nothing to flush to
// disk, and no temporary file could take its place.
void WriteInPlace(const std::string& fileName, const std::string& target,
                  std::span<const uint8_t> bytes) {
  Descriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) Fail("save", fileName, SystemReason(errno));
  if (const int error = WriteAll(fd.get(), bytes)) Fail("save", fileName, SystemReason(error));
  if (const int error = fd.Close()) Fail("save", fileName, SystemReason(error));
}

}  // namespace

std::string ShownFileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

void RequireRegularFile(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) Fail("open", fileName, SystemReason(errno));
  if (S_ISDIR(info.st_mode)) Fail("open", fileName, SystemReason(EISDIR));
  if (!S_ISREG(info.st_mode)) Fail("open", fileName, "it is not a regular file");
}

int OpenRegularFile(const std::string& fileName) {
  RequireRegularFile(fileName);
  // Without O_NONBLOCK, opening a FIFO that took the name since the check would wait for a
  // writer; on a regular file the flag changes nothing.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) Fail("open", fileName, SystemReason(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    Fail("open", fileName, "it is not a regular file");
  }
  return fd;
}

namespace {

// The open file's size, refused when it is more than `maxBytes`.
uint64_t CheckedSize(int fd, const std::string& fileName, uint64_t maxBytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) Fail("read", fileName, SystemReason(errno));
  const auto size = static_cast<uint64_t>(std::max<off_t>(info.st_size, 0));
  if (size > maxBytes)
    Fail("open", fileName, "it is larger than " + std::to_string(maxBytes) + " bytes");
  return size;
}

constexpr size_t kPiece = size_t{1} << 20;

// Reads `size` bytes of the open file a piece at a time, each into where `place(done, piece)`
// says (`piece` bytes of room), and shows each to `onPiece` when given.
template <class Place>
void ReadPieces(int fd, const std::string& fileName, uint64_t size, const Place& place,
                const FilePieceSink& onPiece) {
  for (uint64_t done = 0; done < size;) {
    const auto piece = static_cast<size_t>(std::min<uint64_t>(kPiece, size - done));
    char* at = place(done, piece);
    const ssize_t n = ::read(fd, at, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("read", fileName, SystemReason(errno));
    }
    // A file cut short while it is read would be read as a shorter one, which it never was.
    if (n == 0) Fail("read", fileName, "it became shorter while it was read");
    if (onPiece) onPiece(std::string_view(at, static_cast<size_t>(n)));
    done += static_cast<uint64_t>(n);
  }
}

}  // namespace

FileContents ReadFileBytes(const std::string& fileName, uint64_t maxBytes,
                           const FilePieceSink& onPiece) {
  const Descriptor fd(OpenRegularFile(fileName));
  const uint64_t size = CheckedSize(fd.get(), fileName, maxBytes);
  RequireMemory(fileName, size, size);
  FileContents contents;
  try {
    contents.data = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    throw NotEnoughMemory(fileName, size);
  }
  contents.size = static_cast<size_t>(size);
  ReadPieces(
      fd.get(), fileName, size,
      [&](uint64_t done, size_t piece) {
        char* at = reinterpret_cast<char*>(contents.data.get()) + done;
        Prefault(at, piece);
        return at;
      },
      onPiece);
  return contents;
}

uint64_t StreamFileBytes(const std::string& fileName, uint64_t maxBytes,
                         const FilePieceSink& onPiece) {
  const Descriptor fd(OpenRegularFile(fileName));
  const uint64_t size = CheckedSize(fd.get(), fileName, maxBytes);
  const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
  ReadPieces(
      fd.get(), fileName, size, [&](uint64_t, size_t) { return buffer.get(); }, onPiece);
  return size;
}

void ReplaceFileBytes(const std::string& fileName, std::span<const uint8_t> bytes) {
  FailWritesInsteadOfEndingTheProgram();
  const std::string target = FollowLinks(fileName);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) Fail("save", fileName, SystemReason(EISDIR));
  if (exists && !S_ISREG(old.st_mode)) {
    WriteInPlace(fileName, target, bytes);
    return;
  }
  // A file its owner made read-only is not replaced behind their back.
  if (exists && ::access(target.c_str(), W_OK) != 0) Fail("save", fileName, SystemReason(errno));

  std::string temporary;
  Descriptor fd(CreateTemporary(target, temporary));
  if (fd.get() < 0) Fail("save", fileName, SystemReason(errno));
  int error = 0;
  if (exists) {
    // The replacement keeps the old file's permissions and, where we may give it, its owner.
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) error = errno;
    // Only root may give a file away; anyone else's replacement is theirs, as a new file is.
    if (error == 0 && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && ::geteuid() == 0) {
      error = errno;
    }
  }
  if (error == 0) error = WriteAll(fd.get(), bytes);
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (const int closed = fd.Close(); error == 0) error = closed;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    Fail("save", fileName, SystemReason(error));
  }
  // The rename is on disk once the folder is; if that cannot be made sure of, the file is saved
  // all the same.
  const std::string folder = FolderOf(target);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void WriteAllBytes(int fd, std::span<const uint8_t> bytes, const std::string& what) {
  FailWritesInsteadOfEndingTheProgram();
  if (const int error = WriteAll(fd, bytes)) {
    throw KestrelError("Cannot write to " + what + ": " + SystemReason(error));
  }
}

void CheckReplaceable(const std::string& fileName) {
  const std::string target = FollowLinks(fileName);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) Fail("save", fileName, SystemReason(EISDIR));
  // A device or a FIFO is opened only when it is written (a FIFO's open waits for a reader); a
  // read-only file is not replaced.
  if (exists && ::access(target.c_str(), W_OK) != 0) Fail("save", fileName, SystemReason(errno));
  if (exists && !S_ISREG(old.st_mode)) return;
  // The same temporary file the replace would make, dropped at once.
  std::string temporary;
  const int fd = CreateTemporary(target, temporary);
  if (fd < 0) Fail("save", fileName, SystemReason(errno));
  ::close(fd);
  ::unlink(temporary.c_str());
}
