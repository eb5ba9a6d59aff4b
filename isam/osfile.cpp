// SPDX-License-Identifier: GPL-3.0-or-later
// OS file layer; see osfile.h.
#include "isam/osfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "isam/status.h"

namespace qorvex::isam {

int OsLayer::Open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int OsLayer::Close(int fd) {
  return ::close(fd);
}
ssize_t OsLayer::PRead(int fd, void* buf, size_t n, off_t offset) {
  return ::pread(fd, buf, n, offset);
}
ssize_t OsLayer::PWrite(int fd, const void* buf, size_t n, off_t offset) {
  return ::pwrite(fd, buf, n, offset);
}
int OsLayer::FStat(int fd, struct stat* st) {
  return ::fstat(fd, st);
}
int OsLayer::FTruncate(int fd, off_t length) {
  return ::ftruncate(fd, length);
}
int OsLayer::FSync(int fd) {
  return ::fdatasync(fd);
}
int OsLayer::Unlink(const char* path) {
  return ::unlink(path);
}
int OsLayer::Rename(const char* from, const char* to) {
  return ::rename(from, to);
}
int OsLayer::Stat(const char* path, struct stat* st) {
  return ::stat(path, st);
}
int OsLayer::Flock(int fd, int operation) {
  return ::flock(fd, operation);
}
int OsLayer::RegionLock(int fd, short type, off_t offset, off_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = length;
  return ::fcntl(fd, F_OFD_SETLK, &fl);
}

void* OsLayer::Map(int fd, size_t length, bool writable) {
  return ::mmap(nullptr, length, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, fd, 0);
}
int OsLayer::Unmap(void* address, size_t length) {
  return ::munmap(address, length);
}
int OsLayer::Advise(void* address, size_t length, int advice) {
  return ::madvise(address, length, advice);
}

namespace {

// The real layer is never destroyed: the engine's exit routine may close
// blocks, and write through it, at program end.
OsLayer& RealLayer() {
  static OsLayer* const layer = new OsLayer;
  return *layer;
}
OsLayer* current = nullptr;

bool ParentMissing(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  struct stat st {};
  return ::stat(path.substr(0, slash).c_str(), &st) != 0;
}

void Record(uint16_t function, int err) {
  EngineIoFunction = function;
  EngineOsError = static_cast<uint32_t>(err);
  if (EngineFirstIoFunction == 0 && EngineFirstOsError == 0) {
    EngineFirstIoFunction = function;
    EngineFirstOsError = static_cast<uint32_t>(err);
  }
}

// Calls interrupted by a signal are repeated.
template <typename F>
auto Retry(F f) {
  decltype(f()) r;
  do r = f();
  while (r == -1 && errno == EINTR);
  return r;
}

}  // namespace

OsLayer& Os() {
  return current ? *current : RealLayer();
}
void SetOsLayer(OsLayer* layer) {
  current = layer;
}

OsErrorKind ClassifyOsError(uint32_t err, const std::string& path) {
  switch (err) {
    case ENOENT:
      return ParentMissing(path) ? OsErrorKind::kPathNotFound : OsErrorKind::kFileNotFound;
    case ENOTDIR:
      return OsErrorKind::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return OsErrorKind::kTooManyFiles;
    case EBADF:
      return OsErrorKind::kBadHandle;
    case EINVAL:
      return OsErrorKind::kBadAccess;
    default:
      return OsErrorKind::kOther;
  }
}

int32_t MapOsError(FileStep step, OsErrorKind kind) {
  using K = OsErrorKind;
  switch (step) {
    case FileStep::kOpen:
      switch (kind) {
        case K::kFileNotFound:
          return kErrFileNotFound;
        case K::kPathNotFound:
          return kErrPathNotFound;
        case K::kTooManyFiles:
          return kErrTooManyFiles;
        case K::kBadAccess:
          return kErrInvalidAccess;
        default:
          return kErrFile;
      }
    case FileStep::kCreate:
      switch (kind) {
        case K::kPathNotFound:
          return kErrPathNotFound;
        case K::kTooManyFiles:
          return kErrTooManyFiles;
        default:
          return kErrFile;
      }
    case FileStep::kDeleteRename:
      switch (kind) {
        case K::kFileNotFound:
          return kErrFileNotFound;
        case K::kPathNotFound:
          return kErrPathNotFound;
        default:
          return kErrFile;
      }
    case FileStep::kReadWrite:
      return kind == K::kBadHandle ? kErrInvalidHandle : kErrFile;
  }
  return kErrFile;
}

extern char failedFile[4096];

namespace {

// Notes the file a failure concerns, when none is noted yet.
void NoteFile(const std::string& path) {
  if (failedFile[0] != 0 || path.empty()) return;
  path.copy(failedFile, sizeof failedFile - 1);
  failedFile[std::min(path.size(), sizeof failedFile - 1)] = 0;
}

// The same for an open file: its name, read back from the system.
void NoteFile(int fd) {
  if (failedFile[0] != 0 || fd < 0) return;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, failedFile, sizeof failedFile - 1);
  failedFile[n > 0 ? n : 0] = 0;
}

}  // namespace

bool FailIo(uint16_t function, int err, FileStep step, const std::string& path) {
  NoteFile(path);
  Record(function, err);
  return Fail(MapOsError(step, ClassifyOsError(static_cast<uint32_t>(err), path)));
}

namespace {

// The files this process guards, by identity. One thread: no lock needed.
std::vector<std::pair<dev_t, ino_t>>& Guarded() {
  static auto* files = new std::vector<std::pair<dev_t, ino_t>>;
  return *files;
}

std::pair<dev_t, ino_t> IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino};
}

// flock without waiting; a conflict with this process's own guard passes.
int LockWhole(int fd, int operation) {
  if (Retry([&] { return Os().Flock(fd, operation | LOCK_NB); }) == 0) return 0;
  const int err = errno;
  if (err == EWOULDBLOCK && GuardedHere(fd)) return 0;
  errno = err;
  return -1;
}

}  // namespace

bool GuardedHere(int fd) {
  struct stat st {};
  if (Guarded().empty() || ::fstat(fd, &st) != 0) return false;
  return std::ranges::find(Guarded(), IdentityOf(st)) != Guarded().end();
}

bool FileGuard::Take(const std::string& path) {
  Release();
  int fd = Retry([&] { return Os().Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0); });
  if (fd < 0) return FailIo(kIoOpen, errno, FileStep::kOpen, path);
  struct stat st {};
  if (Os().FStat(fd, &st) != 0) {
    const int err = errno;
    Os().Close(fd);
    return FailIo(kIoOpen, err, FileStep::kOpen, path);
  }
  if (std::ranges::find(Guarded(), IdentityOf(st)) != Guarded().end()) {
    Os().Close(fd);
    return true;
  }
  if (Retry([&] { return Os().Flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    const int err = errno;
    Os().Close(fd);
    return FailIo(kIoOpen, err, FileStep::kOpen, path);
  }
  // Its holder may have renamed or deleted the file before letting go:
  // then the name is gone or names another file (9903, look again).
  struct stat now {};
  if (::stat(path.c_str(), &now) != 0 || IdentityOf(now) != IdentityOf(st)) {
    Os().Close(fd);
    return FailIo(kIoOpen, ENOENT, FileStep::kOpen, path);
  }
  Guarded().push_back(IdentityOf(st));
  fd_ = fd;
  return true;
}

void FileGuard::Release() {
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) == 0) std::erase(Guarded(), IdentityOf(st));
  ::close(fd_);  // drops the lock; nothing to report
  fd_ = -1;
}

bool HeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK && !GuardedHere(fd);
  ::close(fd);
  return held;
}

bool FolderFlush(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd =
      Retry([&] { return Os().Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0); });
  if (fd < 0) return FailIo(kIoOpen, errno, FileStep::kOpen, folder);
  int copy = fd;
  return FileFlush(copy) && FileClose(copy);
}

bool FileOpen(const std::string& path, bool readOnly, bool shared, int& fd) {
  fd =
      Retry([&] { return Os().Open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC, 0); });
  if (fd < 0) return FailIo(kIoOpen, errno, FileStep::kOpen, path);
  auto refuse = [&](int err) {
    Os().Close(fd);
    fd = -1;
    return FailIo(kIoOpen, err, FileStep::kOpen, path);
  };
  struct stat st {};
  if (Os().FStat(fd, &st) == 0 && S_ISDIR(st.st_mode)) return refuse(EISDIR);
  if (LockWhole(fd, shared ? LOCK_SH : LOCK_EX) != 0) return refuse(errno);
  // The lock is on the file opened; when another program renamed or
  // deleted that file before the lock was taken (a rebuild, a
  // replacement), the name now stands for live work: in use.
  struct stat now {};
  if (::stat(path.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)
    return refuse(EWOULDBLOCK);
  return true;
}

bool FileCreate(const std::string& path, int& fd) {
  fd = Retry([&] { return Os().Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); });
  if (fd < 0) return FailIo(kIoOpen, errno, FileStep::kCreate, path);
  if (LockWhole(fd, LOCK_EX) != 0 || Retry([&] { return Os().FTruncate(fd, 0); }) != 0) {
    const int err = errno;
    Os().Close(fd);
    fd = -1;
    return FailIo(kIoOpen, err, FileStep::kCreate, path);
  }
  return true;
}

bool FileOpenOrCreate(const std::string& path, int& fd) {
  fd = Retry([&] { return Os().Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); });
  if (fd < 0) return FailIo(kIoOpen, errno, FileStep::kCreate, path);
  if (LockWhole(fd, LOCK_SH) != 0) {
    const int err = errno;
    Os().Close(fd);
    fd = -1;
    return FailIo(kIoOpen, err, FileStep::kCreate, path);
  }
  return true;
}

bool FileReadSome(int fd, uint64_t offset, void* buf, size_t n, size_t& got) {
  got = 0;
  auto* p = static_cast<uint8_t*>(buf);
  while (got < n) {
    const ssize_t r =
        Retry([&] { return Os().PRead(fd, p + got, n - got, static_cast<off_t>(offset + got)); });
    if (r < 0) {
      const int err = errno;
      NoteFile(fd);
      return FailIo(kIoRead, err, FileStep::kReadWrite);
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return true;
}

bool FileRead(int fd, uint64_t offset, void* buf, size_t n) {
  size_t got = 0;
  if (!FileReadSome(fd, offset, buf, n, got)) return false;
  if (got == n) return true;
  NoteFile(fd);
  return Fail(kErrReadPastEnd);
}

bool FileWrite(int fd, uint64_t offset, const void* buf, size_t n) {
  const auto* p = static_cast<const uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = Retry(
        [&] { return Os().PWrite(fd, p + done, n - done, static_cast<off_t>(offset + done)); });
    if (r < 0) {
      // A full disk is an incomplete write, as a short write would be.
      const int err = errno;
      NoteFile(fd);
      if (err == ENOSPC || err == EFBIG) {
        Record(kIoWrite, err);
        return Fail(kErrWriteIncomplete);
      }
      return FailIo(kIoWrite, err, FileStep::kReadWrite);
    }
    if (r == 0) return NoteFile(fd), Fail(kErrWriteIncomplete);
    done += static_cast<size_t>(r);
  }
  return true;
}

bool FileSize(int fd, uint64_t& size) {
  struct stat st {};
  if (Os().FStat(fd, &st) != 0) return FailIo(kIoSeekEnd, errno, FileStep::kReadWrite);
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool FileTruncate(int fd, uint64_t length) {
  if (Retry([&] { return Os().FTruncate(fd, static_cast<off_t>(length)); }) != 0)
    return FailIo(kIoWrite, errno, FileStep::kReadWrite);
  return true;
}

bool FileFlush(int fd, OsErrorKind* kind) {
  if (Retry([&] { return Os().FSync(fd); }) == 0) return true;
  const int err = errno;
  NoteFile(fd);
  if (kind) *kind = ClassifyOsError(static_cast<uint32_t>(err));
  return FailIo(kIoFlush, err, FileStep::kReadWrite);
}

bool FileClose(int& fd) {
  if (fd < 0) return true;
  const int r = Os().Close(fd);  // never repeated: the descriptor is gone either way
  fd = -1;
  if (r != 0 && errno != EINTR) return FailIo(kIoClose, errno, FileStep::kReadWrite);
  return true;
}

bool FileDelete(const std::string& path) {
  if (Os().Unlink(path.c_str()) != 0)
    return FailIo(kIoDelete, errno, FileStep::kDeleteRename, path);
  return true;
}

bool FileRename(const std::string& from, const std::string& to) {
  if (Os().Rename(from.c_str(), to.c_str()) != 0)
    return FailIo(kIoRename, errno, FileStep::kDeleteRename, from);
  return true;
}

bool FileExistsAt(const std::string& path) {
  struct stat st {};
  if (Os().Stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
  const int err = errno;
  if (err != ENOENT && err != ENOTDIR && EngineFirstIoFunction == 0 && EngineFirstOsError == 0) {
    EngineFirstIoFunction = kIoAttributes;
    EngineFirstOsError = static_cast<uint32_t>(err);
  }
  return false;
}

}  // namespace qorvex::isam
