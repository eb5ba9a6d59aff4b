// The in-memory file block and the engine-internal steps shared by its units
// (isam layer). Not for use above the engine: see engine.h.
// The data file's bytes: isam/FORMAT.md section 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "isam/descriptor.h"
#include "isam/engine.h"
#include "isam/osfile.h"
#include "isam/page.h"

namespace qorvex {

using RecordHook = void (*)(void* buffer, uint32_t length, int direction, uint32_t data);

namespace isam {

inline constexpr uint32_t kFileBlockMagic = 0x11195851;
inline constexpr int kDataHeaderBytes = 21;
inline constexpr int kIndexHeaderBytes = 28;
inline constexpr uint16_t kLogHeaderEntry = 1000;
inline constexpr uint16_t kLogEnd = 2000;

// How the engine may reach one file of an open block (see blockio.cpp).
enum class FileAccess : uint8_t {
  kDirect,  // a system call for every read and write
  kOwn,     // opened read-write and unshared: only this process changes it
  kShared,  // a network block: mapped reads while this station holds a lock
};

struct FileEntry {
  int fd = -1;
  std::string path;
  // --- blockio.cpp ----------------------------------------------------------
  FileAccess access = FileAccess::kDirect;
  bool gatherAppends = false;    // data file of an own block out of save mode
  bool pagesThroughMap = false;  // index file of an own block out of save mode
  uint8_t* map = nullptr;        // shared mapping of [0, mapLength)
  uint64_t mapLength = 0;
  std::vector<bool> populated;  // per chunk of the mapping: page tables set up
  bool mapRefused = false;      // the OS gave no mapping: system calls only
  // Not above the file's real length while sizeEpoch is the current epoch
  // (0: not known).
  uint64_t size = 0;
  uint64_t sizeEpoch = 0;
  std::vector<uint8_t> pending;  // gathered appends, to land at pendingAt
  uint64_t pendingAt = 0;
};

struct NetState;

}  // namespace isam

struct TFileBlock {
  uint32_t magic = 0;  // kFileBlockMagic while open, set last in open
  isam::FileEntry data, index, dialog;
  uint8_t indexCount = 0;
  uint32_t rowSize = 0;                // sum of the page sizes of all indexes
  int32_t rowCount = 0;                // page rows the index file holds (row 0 excluded)
  std::vector<isam::Descriptor> desc;  // [0] data file, [k] index k
  bool inUse = false;                  // a change since the last flush
  bool readOnly = false;
  bool saveMode = false;
  isam::NetState* net = nullptr;
  RecordHook hook = nullptr;
  uint32_t hookData = 0;
  bool hookSkip = true;
  // Save mode: (index, page) of the pages logged in the current operation,
  // the files changed by it, and the end of the log.
  std::vector<std::pair<uint16_t, uint32_t>> loggedPages;
  std::vector<bool> headerLogged;  // per file number, in the current operation
  uint64_t logEnd = 1;
  // Continuations of the last variable record read: how many sections the
  // next read fetches at once.
  uint32_t chainHint = 0;
};

namespace isam {

// --- engine.cpp -------------------------------------------------------------
bool EngineStarted();
extern bool defaultImplicitPosition;

// Entry check and exit step around one operation (flags: 0x100 write lock,
// 0x200 automatic read lock, 0x400 key number, 0x800 not read-only; the
// low byte is the key number).
class Operation {
 public:
  Operation(TFileBlock* fb, uint16_t flags);
  ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  bool ok() const { return EngineOK; }

 private:
  TFileBlock* fb_;
  bool checked_ = false;  // passed the handle check: the exit step applies
  bool autoLock_ = false;
};
constexpr uint16_t kNeedWriteLock = 0x100, kAutoReadLock = 0x200, kCheckKey = 0x400,
                   kNotReadOnly = 0x800;
// The operation is engine-wide: it takes NoFileBlock().
constexpr uint16_t kEngineWide = 0x1000;

void RegisterOpen(TFileBlock* fb);
bool UnregisterOpen(TFileBlock* fb);  // false when not in the open list
bool IsNetwork(const TFileBlock* fb);
// Grows the variable-record work buffer to at least n bytes (10040).
bool GrowVariableBuffer(size_t n, uint8_t*& buffer);

// --- datafile.cpp -------------------------------------------------------------
std::string BuildFileName(std::string_view part, std::string_view extension);
void SplitName(std::string_view name, std::string& dataPart, std::string& indexPart);
// The files of the block a name names: ".DAT" and ".DIA" from the first part,
// ".IX" from the second; dataPart for further extensions (".SAV", ".MSG").
struct BlockFiles {
  std::string dataPart, dat, ix, dia;
};
BlockFiles FilesOf(std::string_view name);
void EncodeDataHeader(const Descriptor& d, uint8_t indexCount, bool inUse, uint8_t out[21]);
bool WriteDataHeader(TFileBlock* fb, bool inUse);
bool RereadDataHeader(TFileBlock* fb);
// A new, empty data file (slot 0 only) replacing any file of that path.
bool CreateDataFile(const std::string& path, uint32_t length, uint8_t indexCount,
                    bool inUse = false);
bool MarkInUse(TFileBlock* fb);
// Guards a block's data file, when there is one, before its files are
// replaced or deleted: false (10140) when another program holds it.
bool GuardIfPresent(const std::string& dat, FileGuard& guard);

// --- replace.cpp --------------------------------------------------------------
// FinishReplacement without the operation's entry and exit steps.
bool FinishReplacementFiles(std::string_view name);
// Slot allocation and release on descriptor k (0 data; pages of index k).
bool AllocateSlot(TFileBlock* fb, int k, uint32_t& slot);
bool ReleaseSlot(TFileBlock* fb, int k, uint32_t slot);
inline uint64_t SlotOffset(const TFileBlock* fb, uint32_t slot) {
  return static_cast<uint64_t>(slot) * fb->desc[0].length;
}
// Record bodies (no entry check, no hook): add a record of record-length
// bytes into a new slot, delete the slot ref (1..highest).
bool AddSlot(TFileBlock* fb, const void* buffer, uint32_t& slot);
// live: the slot holds a record start (first word 0), not a continuation.
bool DeleteSlot(TFileBlock* fb, int32_t ref, bool live);
// After an append that failed part-way (a full disk): the data file ends
// after the highest slot again, so no partly written record lies beyond it.
// The status stays as it was.
void CutAfterHighest(TFileBlock* fb);
bool ReadSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t& word);
bool WriteSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t word);
// Writes dirty pages and index headers, and the data header with in-use 0.
bool WriteBackAll(TFileBlock* fb, bool dropPages);
bool ForceToDisk(TFileBlock* fb, FileEntry& file);

// Opens a file block (OpenFileBlock without the entry check). acceptInUse
// opens a data file left in use, for the rebuild that repairs it.
bool OpenBlock(TFileBlock*& handle, std::string_view name, bool readOnly, bool network,
               bool saveMode, bool noLock, bool acceptInUse);

// --- blockio.cpp --------------------------------------------------------------
// The reads and writes of an open block's data and index files. They set the
// status as the osfile.h calls do.
// Chooses how the data and index files may be reached (at the end of open).
void SetUpFileAccess(TFileBlock* fb);
bool BlockRead(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n);
// Reads the n bytes at offset from the mapping; false (status untouched)
// when they must be read with BlockRead.
bool BlockReadMapped(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n);
bool BlockWrite(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n);
// A write at the end of the data, gathered in memory where allowed.
bool BlockAppend(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n);
// The write-back of the first count items of an unpacked page, packed
// straight into the mapping where allowed.
bool BlockWritePage(TFileBlock* fb, FileEntry& f, uint64_t offset, const uint8_t* unpacked,
                    int count, int keyLength);
// Writes the gathered appends.
bool BlockWritePending(TFileBlock* fb, FileEntry& f);
bool BlockSize(TFileBlock* fb, FileEntry& f, uint64_t& size);
bool BlockTruncate(TFileBlock* fb, FileEntry& f, uint64_t length);
// Cuts the file back to length when it is longer (gathered appends beyond
// it are dropped). The status is kept.
void BlockCutBack(FileEntry& f, uint64_t length);
bool BlockSync(TFileBlock* fb, FileEntry& f, OsErrorKind* kind);
// Drops the mapping and whatever is still gathered (the caller wrote what
// must be kept), and closes the file.
bool BlockClose(FileEntry& f);
// Drops the mapping (before the descriptor is closed and opened again).
void BlockForgetMapping(FileEntry& f);
// Mapped accesses that faulted and were made with a system call instead.
uint64_t MappedAccessFaults();

// --- varrec.cpp ----------------------------------------------------------------
// Sections of a variable record of n bytes in sections of L bytes.
uint32_t VariableSectionCount(uint32_t L, uint32_t n);
// Section i (0 = first) of a record of n bytes laid out in appended slots
// base + 1 (the tail) .. base + sections (the first), with its link.
void BuildVariableSection(uint32_t L, const uint8_t* bytes, uint32_t n, uint32_t sections,
                          uint32_t i, uint32_t base, uint8_t* out);

// --- indexfile.cpp ------------------------------------------------------------
bool CreateIndexFile(const std::string& path, std::span<const KeyDescriptor> keys);
bool ReadIndexHeaders(TFileBlock* fb);
// Another station changed the file: its header is read again.
bool RereadIndexHeader(TFileBlock* fb, int k);
void EncodeIndexHeader(const Descriptor& d, uint8_t out[28]);
bool WriteIndexHeader(TFileBlock* fb, int k);
uint64_t PageOffset(const TFileBlock* fb, int k, uint32_t page);
// Appends zero rows until page fits (raising rowCount).
bool EnsureRow(TFileBlock* fb, uint32_t page);

// --- pagecache.cpp ------------------------------------------------------------
bool InitPageCache(int32_t buffers, int32_t& obtained);
void FreePageCache();
uint8_t* GetPage(TFileBlock* fb, int k, uint32_t page);
uint8_t* NewPage(TFileBlock* fb, int k, uint32_t& page);
bool ReleasePage(TFileBlock* fb, int k, uint32_t page);
bool MarkPageDirty(TFileBlock* fb, int k, uint32_t page);
bool WriteBackPages(TFileBlock* fb, bool drop);
// Drops without writing: every page of fb (k == 0) or of index k.
void DropPages(TFileBlock* fb, int k);
bool AnyLoggedPage(TFileBlock* fb);
void ClearLoggedMarks(TFileBlock* fb);
// The PageStore of index k of fb for the B-tree operations.
class FilePageStore;

// --- savelog.cpp --------------------------------------------------------------
void LogBeginOperation(TFileBlock* fb);
// liveSlot: the change deletes a live record (first word 0); a replay that
// undoes it gives the slot its 0 word back.
bool LogHeader(TFileBlock* fb, int k, int32_t restoreLink, bool liveSlot = false);
bool LogPage(TFileBlock* fb, int k, uint32_t page, const uint8_t* unpacked);
bool LogForce(TFileBlock* fb);
// Ends a save-mode operation: changed files to disk, log emptied.
bool LogCommit(TFileBlock* fb);
// Restores the before-images in the log and empties it.
bool LogReplay(TFileBlock* fb);
// Ends a save-mode operation: commits on success, else replays and sets
// restoredError.
void LogFinish(TFileBlock* fb, int32_t restoredError);

}  // namespace isam
}  // namespace qorvex
