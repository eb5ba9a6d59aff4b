// SPDX-License-Identifier: GPL-3.0-or-later
// The block commands of qorvex-db (tool layer): import a delivery file, and
// check, dump and rebuild the file blocks of a program folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/core/lexicon_import.h"
#include "isam/check.h"
#include "storage/dblex.h"
#include "storage/dbsetup.h"
#include "storage/errortexts.h"
#include "storage/ifdriver.h"
#include "tools/cli.h"

namespace qorvex::cli {
namespace {

// The file blocks of a program folder.
struct BlockInfo {
  std::string name;
  uint16_t recordLength = 0, sectionLength = 0;
  std::vector<KeyDescriptor> keys;
  DriverKeyBuilder builder;
  isam::RecordRule rule;  // the block's own rules for a record, if it has any
  bool variable() const { return recordLength != sectionLength; }
};

std::vector<BlockInfo> Blocks() {
  std::vector<BlockInfo> b;
  b.push_back({"QDLex",
               kLexRecordLength,
               kLexSectionLength,
               {{20, 1}, {30, 1}, {5, 0}},
               LexKeyBuilder,
               CheckLexRecord});
  for (int s = 0; s < kSetupSlots; ++s)
    b.push_back({kSetupBlockName[s],
                 kSetupRecordLength[s],
                 kSetupRecordLength[s],
                 {{5, 0}},
                 SetupKeyBuilder,
                 nullptr});
  return b;
}

std::optional<BlockInfo> FindBlock(const std::string& name) {
  for (const BlockInfo& b : Blocks())
    if (BlockNameKey(b.name) == BlockNameKey(name)) return b;
  return std::nullopt;
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// The record image the key builders see: always the whole record length.
KeyBuilder EngineBuilder(const BlockInfo& b) {
  return [&b](std::span<const uint8_t> record, int k) {
    std::vector<uint8_t> image(b.recordLength, 0);
    std::copy_n(record.begin(), std::min(record.size(), image.size()), image.begin());
    std::string key;
    b.builder(image.data(), static_cast<uint16_t>(k), key);
    return key.substr(0, 50);
  };
}

// Everything the checker can verify of the block: its structure, each
// entry's key against its record, and the block's own record rules.
isam::CheckReport CheckBlock(const BlockInfo& b, const std::string& path) {
  isam::CheckOptions options(b.variable(), true);
  options.keyBuilder = EngineBuilder(b);
  options.recordRule = b.rule;
  return isam::CheckFileBlock(path + ".DAT", path + ".IX", options);
}

// Prints the faults and notes of a report; the number of faults.
size_t PrintReport(const isam::CheckReport& report) {
  for (const std::string& f : report.faults) std::printf("fault: %s\n", f.c_str());
  for (const std::string& n : report.notes) std::printf("note: %s\n", n.c_str());
  return report.faults.size();
}

bool Rebuild(const BlockInfo& b, const std::string& path) {
  if (b.variable())
    RebuildVariableFileBlock(path, b.sectionLength, static_cast<int32_t>(b.keys.size()),
                             EngineBuilder(b), b.keys);
  else
    RebuildFileBlock(path, b.sectionLength, static_cast<int32_t>(b.keys.size()), EngineBuilder(b),
                     b.keys);
  return EngineOK;
}

// Does to the block what the viewer's driver does when it opens it: an
// empty data file (a crash while it was written) gives way to its backup
// ".ALT"; what an interrupted import left is cleared; a block left in use
// by a program that did not close it, whose index file is missing or
// cannot be used, or whose indexes differ from the block's, is rebuilt,
// and a lone ".SAV" file of an interrupted rebuild is rebuilt from. What
// was done is said on standard error; dropped counts the records a rebuild
// moved to ".MSG". 0, or the exit code.
int PrepareBlock(const BlockInfo& b, const std::string& path, int32_t& dropped) {
  dropped = 0;
  RestoreEmptyDataFile(path);
  FinishReplacement(path);
  if (!EngineOK) return Fail(b.name + ": " + EngineCause(EngineError));
  FileBlockHandle fb = nullptr;
  OpenFileBlock(fb, path, {.readOnly = true});
  int32_t error = EngineOK ? 0 : EngineError;
  if (error == 0) {
    error = LayoutDifference(fb, b.sectionLength, b.keys);
    CloseFileBlock(fb);
    if (error == 0) return 0;
  }
  const bool missing = error == kErrFileNotFound;
  if (missing && !IsFile(path + ".SAV")) return Fail(b.name + ": no data file in the folder");
  if (!missing && !IsIndexUnusable(error)) return Fail(b.name + ": " + EngineCause(error));
  if (!Rebuild(b, path)) return Fail(b.name + ": " + EngineCause(EngineError));
  const RebuildOutcome outcome = LastRebuildOutcome();
  if (outcome.resumed)
    std::fprintf(stderr, "qorvex-db: %s: an interrupted rebuild was resumed from %s.SAV\n",
                 b.name.c_str(), b.name.c_str());
  else
    std::fprintf(stderr, "qorvex-db: %s: %s: rebuilt, as the viewer would on opening it\n",
                 b.name.c_str(), Cause(error).c_str());
  dropped = outcome.dropped;
  if (dropped > 0)
    std::fprintf(stderr, "qorvex-db: %s: %s\n", b.name.c_str(),
                 DroppedRecords(dropped, b.name + ".MSG").c_str());
  return 0;
}

// Holds the data file's shared lock while a command reads the block raw:
// no program may have it open unshared (and none can take it meanwhile).
class SharedHold {
 public:
  explicit SharedHold(const std::string& dat) {
    fd_ = ::open(dat.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_SH | LOCK_NB) != 0) {
      busy_ = true;
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SharedHold() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

int Check(const BlockInfo& b, const std::string& path) {
  int32_t dropped = 0;
  if (const int code = PrepareBlock(b, path, dropped)) return code;
  SharedHold hold(path + ".DAT");
  if (hold.busy()) return Fail(b.name + ": " + Cause(kErrFile));
  const isam::CheckReport report = CheckBlock(b, path);
  const size_t faults = PrintReport(report);
  if (IsFile(path + ".SAV"))
    std::printf(
        "note: %s.SAV lies beside %s.DAT: a rebuild stops (%d) until one of them is "
        "moved away\n",
        b.name.c_str(), b.name.c_str(), int{kErrRebuildInterrupted});
  std::string entries;
  for (uint32_t n : report.indexEntries) {
    if (!entries.empty()) entries += '/';
    entries += std::to_string(n);
  }
  std::printf("%s: %u records, index entries %s: %s\n", b.name.c_str(), report.liveRecords,
              entries.empty() ? "-" : entries.c_str(),
              faults == 0 ? "ok" : (std::to_string(faults) + " faults").c_str());
  // Records the rebuild on opening had to drop are damage found.
  return faults == 0 && dropped == 0 ? 0 : 1;
}

int32_t Int32At(const std::vector<uint8_t>& r, size_t at) {
  int32_t v = 0;
  if (at + 4 <= r.size()) std::memcpy(&v, r.data() + at, 4);
  return v;
}

std::string Short(const std::vector<uint8_t>& r, size_t at, size_t max) {
  const size_t n = std::min<size_t>(r[at], max);
  return Utf8(std::string(reinterpret_cast<const char*>(r.data() + at + 1), n));
}

int Dump(const BlockInfo& b, const std::string& path) {
  int32_t dropped = 0;
  if (const int code = PrepareBlock(b, path, dropped)) return code;
  FileBlockHandle fb = nullptr;
  OpenFileBlock(fb, path, {.readOnly = true});
  if (!EngineOK) return Fail(b.name + ": " + EngineCause(EngineError));
  std::vector<uint8_t> h(21, 0);
  if (const int fd = ::open((path + ".DAT").c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    if (::pread(fd, h.data(), h.size(), 0) != 21) std::fill(h.begin(), h.end(), 0);
    ::close(fd);
  }
  std::printf("%s.DAT: record length %u, highest slot %u, %u deleted (first %d), %d indexes\n",
              path.c_str(), RecordLength(fb), Int32At(h, 8), Int32At(h, 4), Int32At(h, 0),
              IndexCount(fb));
  for (int k = 1; k <= IndexCount(fb); ++k) {
    const KeyDescriptor d = IndexLayout(fb, k);
    std::printf("  index %d: key length %u, %s\n", k, d.keyLength,
                d.duplicates ? "duplicates allowed" : "unique");
  }
  std::vector<uint8_t> r(b.recordLength);
  const int32_t slots = FileLength(fb);
  for (int32_t ref = 1; ref < slots; ++ref) {
    int32_t marker = 0;
    ReadRecordMarker(fb, ref, marker);
    if (!EngineOK) break;
    if (marker != 0) continue;
    std::fill(r.begin(), r.end(), 0);
    uint32_t n = b.recordLength;
    if (b.variable())
      GetVariableRecord(fb, ref, r.data(), false, n);
    else
      GetRecord(fb, ref, r.data(), false);
    if (!EngineOK) {
      std::printf("[%d] cannot be read: %s\n", ref, EngineCause(EngineError).c_str());
      continue;
    }
    if (b.name == "QDLex") {
      const int32_t textLen = std::clamp(Int32At(r, 8), 0, kLexMaxText);
      std::printf("[%d] Id %d  Thema \"%s\"  Begriff \"%s\"  siehe auch \"%s\"  Text %d bytes\n",
                  ref, Int32At(r, 4), Short(r, 12, 30).c_str(), Short(r, 43, 50).c_str(),
                  Short(r, 94, 255).c_str(), textLen);
      std::printf("    %s\n", Utf8(std::string(reinterpret_cast<const char*>(r.data() + 360),
                                               static_cast<size_t>(textLen)))
                                  .c_str());
    } else if (b.name == "QDSETUP") {
      std::printf("[%d] Id %d  window left %d top %d height %d width %d maximized %u\n", ref,
                  Int32At(r, 4), Int32At(r, TSetupRec0::kWindowLeft),
                  Int32At(r, TSetupRec0::kWindowTop), Int32At(r, TSetupRec0::kWindowHeight),
                  Int32At(r, TSetupRec0::kWindowWidth), r[TSetupRec0::kWindowMaximized]);
    } else {
      std::printf("[%d] Id %d  %u bytes\n", ref, Int32At(r, 4), n);
    }
  }
  const int32_t error = EngineOK ? 0 : EngineError;
  const std::string cause = error == 0 ? "" : EngineCause(error);
  CloseFileBlock(fb);
  return error == 0 ? 0 : Fail(b.name + ": " + cause);
}

int RebuildCommand(const BlockInfo& b, const std::string& path) {
  if (!Rebuild(b, path)) {
    if (EngineError == kErrRebuildNoFile) return Fail(b.name + ": no data file in the folder");
    return Fail(b.name + ": " + EngineCause(EngineError));
  }
  const RebuildOutcome outcome = LastRebuildOutcome();
  if (outcome.resumed)
    std::printf("%s: an interrupted rebuild was resumed from %s.SAV\n", b.name.c_str(),
                b.name.c_str());
  const isam::CheckReport report = CheckBlock(b, path);
  std::printf("%s: rebuilt, %u records\n", b.name.c_str(), report.liveRecords);
  if (outcome.dropped > 0)
    std::printf("%s: %s\n", b.name.c_str(),
                DroppedRecords(outcome.dropped, b.name + ".MSG").c_str());
  // What the rebuild could not mend (records the block's rules refuse).
  const size_t faults = PrintReport(report);
  if (faults > 0) std::printf("%s: %zu faults remain after the rebuild\n", b.name.c_str(), faults);
  return faults == 0 && outcome.dropped == 0 ? 0 : 1;
}

int Import(const std::string& folder, const std::string& file) {
  ToolSession session(folder, true);
  if (session.state() == LexiconSession::State::kLexiconHeld)
    return Fail("import refused: QDLex: " + Cause(kErrFile) + "; the lexicon is unchanged");
  if (const int code = session.Failure()) return code;
  try {
    const ImportResult r = ImportLexicon(file, session.lexicon());
    if (!r.read)
      return Fail("cannot read " + file + ": " + ReadProblemEnglish(r.problem) +
                  "; the lexicon is unchanged");
    if (r.storageError != 0)
      return Fail("import refused: QDLex: " + Cause(r.storageError) + "; the lexicon is unchanged");
    std::printf("%d entries imported\n", r.added);
    return 0;
  } catch (const EDBError& e) {
    return Fail("QDLex: " + Cause(e.number()));
  }
}

constexpr const char* kBlockList = "QDLex, QDSETUP, QDSETUP2, ZELPSETP, QKSETUP";

// check, dump and rebuild: one optional BLOCK, default QDLex.
Command BlockCommand(const std::string& name, const std::string& usage,
                     int (*run)(const BlockInfo&, const std::string&)) {
  return {
      name, usage,
      [name, run](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
        if (args.size() > 1) {
          error = name + " takes at most one BLOCK" + kHint;
          return std::nullopt;
        }
        const std::optional<BlockInfo> block = FindBlock(args.empty() ? "QDLex" : args[0]);
        if (!block) {
          error = "unknown block: " + args[0] + " (blocks: " + kBlockList + ")";
          return std::nullopt;
        }
        return [b = *block, run](const std::string& folder) {
          ToolSession session(folder, false);  // the driver: the blocks are read raw
          if (const int code = session.Failure()) return code;
          return run(b, folder + "/" + b.name);
        };
      }};
}

}  // namespace

std::vector<Command> BlockCommands() {
  std::vector<Command> commands;
  commands.push_back(
      {"import",
       "  import FILE      import a delivery file (ZEL_LEX.CSV) into the lexicon of DIR\n",
       [](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
         if (args.size() != 1) {
           error = std::string("import needs one FILE") + kHint;
           return std::nullopt;
         }
         // Resolved now: the work runs in the program folder.
         const std::string file = std::filesystem::absolute(args[0]).string();
         return [file](const std::string& folder) { return Import(folder, file); };
       }});
  commands.push_back(BlockCommand(
      "check", "  check [BLOCK]    check a file block (default QDLex) for damage\n", Check));
  commands.push_back(
      BlockCommand("dump", "  dump [BLOCK]     print a file block's headers and records\n", Dump));
  commands.push_back(BlockCommand(
      "rebuild", "  rebuild [BLOCK]  rebuild a file block from its data file\n", RebuildCommand));
  return commands;
}

}  // namespace qorvex::cli
