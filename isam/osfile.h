// SPDX-License-Identifier: GPL-3.0-or-later
// OS file layer of the engine (isam layer). Every file call of the engine
// passes through here: the call goes to the current OsLayer (the real one,
// or a fault-injecting one in tests), and a failure records EngineIoFunction
// / EngineOsError (plus the first-error copies) and sets the engine error by
// the mapping of its step.
//
// Sharing: every open takes a whole-file flock on its file, LOCK_SH when the
// open is shared (network or read-only), LOCK_EX otherwise, and create takes
// LOCK_EX before it truncates; so a program never writes or replaces a file
// that another one holds unshared, and never takes unshared a file that
// others have open. A conflict is an "other" error (10140).
//
// A FileGuard holds a file unshared for work that outlives any one open of
// it and follows it across renames (a rebuild, a replacement): the lock is
// on the file itself, so the kernel drops it with its holder, and a file
// found guarded is live work, never a crash leftover. The engine's own
// opens of a guarded file in the guarding process pass its lock.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace qorvex::isam {

// Function codes recorded in EngineIoFunction.
enum IoFunction : uint16_t {
  kIoClose = 0x3E00,
  kIoRead = 0x3F00,
  kIoWrite = 0x4000,  // also truncate
  kIoDelete = 0x4100,
  kIoSeekEnd = 0x4202,
  kIoAttributes = 0x4300,
  kIoRename = 0x5600,
  kIoLock = 0x5C00,
  kIoUnlock = 0x5C01,
  kIoFlush = 0x6800,
  kIoOpen = 0x6C00,
};

// The system calls behind the engine. Each behaves like the POSIX call of
// its name: a result or -1 with errno set.
class OsLayer {
 public:
  virtual ~OsLayer() = default;
  virtual int Open(const char* path, int flags, mode_t mode);
  virtual int Close(int fd);
  virtual ssize_t PRead(int fd, void* buf, size_t n, off_t offset);
  virtual ssize_t PWrite(int fd, const void* buf, size_t n, off_t offset);
  virtual int FStat(int fd, struct stat* st);
  virtual int FTruncate(int fd, off_t length);
  virtual int FSync(int fd);
  virtual int Unlink(const char* path);
  virtual int Rename(const char* from, const char* to);
  virtual int Stat(const char* path, struct stat* st);
  virtual int Flock(int fd, int operation);
  // Open-file-description region lock without waiting (F_OFD_SETLK);
  // type F_RDLCK, F_WRLCK or F_UNLCK.
  virtual int RegionLock(int fd, short type, off_t offset, off_t length);
  // A shared mapping of the first length bytes of fd, readable, and
  // writable when asked (MAP_FAILED on failure); and its removal.
  virtual void* Map(int fd, size_t length, bool writable);
  virtual int Unmap(void* address, size_t length);
  // madvise: with MADV_POPULATE_READ, sets up the page tables of a mapped
  // range at once (cheaper than a fault per page).
  virtual int Advise(void* address, size_t length, int advice);
};

// The layer in use; SetOsLayer(nullptr) restores the real one.
OsLayer& Os();
void SetOsLayer(OsLayer* layer);

// OS error classes of the error mapping (the platform-neutral numbers).
enum class OsErrorKind {
  kFileNotFound,
  kPathNotFound,
  kTooManyFiles,
  kBadHandle,
  kBadAccess,
  kOther
};
OsErrorKind ClassifyOsError(uint32_t err, const std::string& path = {});

// Steps of the error mapping: which engine error an OS failure becomes.
enum class FileStep { kOpen, kCreate, kDeleteRename, kReadWrite };
int32_t MapOsError(FileStep step, OsErrorKind kind);

// Records a failed call (function, errno) and sets the engine error for it.
bool FailIo(uint16_t function, int err, FileStep step, const std::string& path = {});

// Wrappers: true on success; on failure the status is set and fd left -1.
bool FileOpen(const std::string& path, bool readOnly, bool shared, int& fd);
bool FileCreate(const std::string& path, int& fd);
// Opens the file shared, creating it empty when missing (never truncates).
bool FileOpenOrCreate(const std::string& path, int& fd);
// Exactly n bytes; a short read is 10070.
bool FileRead(int fd, uint64_t offset, void* buf, size_t n);
// Up to n bytes; got tells how many (0 at the end of the file).
bool FileReadSome(int fd, uint64_t offset, void* buf, size_t n, size_t& got);
// Exactly n bytes; a short write is 10075.
bool FileWrite(int fd, uint64_t offset, const void* buf, size_t n);
bool FileSize(int fd, uint64_t& size);
bool FileTruncate(int fd, uint64_t length);
// Forces the file to disk. kind receives the OS error class on failure.
bool FileFlush(int fd, OsErrorKind* kind = nullptr);
// Closes fd (when not -1) and sets it to -1.
bool FileClose(int& fd);
bool FileDelete(const std::string& path);
bool FileRename(const std::string& from, const std::string& to);
// A regular file of that name exists. A failed query other than "not
// found" records 0x4300 and the OS error in the first-error copies only,
// and only while no first error is recorded.
bool FileExistsAt(const std::string& path);
// Forces the folder that holds path to disk (its renames and deletions).
bool FolderFlush(const std::string& path);

class FileGuard {
 public:
  FileGuard() = default;
  ~FileGuard() { Release(); }
  FileGuard(const FileGuard&) = delete;
  FileGuard& operator=(const FileGuard&) = delete;

  // Holds path unshared (a file this process guards already counts as
  // taken). False with the status set: 10140 when another program has the
  // file open, 9903 when it is missing or went while the lock was taken.
  bool Take(const std::string& path);
  void Release();

 private:
  int fd_ = -1;  // -1 also when this process guarded the file already
};

// Whether this process guards the file open as fd.
bool GuardedHere(int fd);
// Whether another program holds path unshared; false when it is missing.
bool HeldElsewhere(const std::string& path);

}  // namespace qorvex::isam
