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
#include "tools/cli.h"

namespace qorvex::cli {
namespace {

// The file blocks of a program folder.
struct BlockInfo {
  std::string name;
  uint16_t recordLength = 0, sectionLength = 0;
  std::vector<KeyDescriptor> keys;
  DriverKeyBuilder builder;
  bool variable() const { return recordLength != sectionLength; }
};

std::vector<BlockInfo> Blocks() {
  std::vector<BlockInfo> b;
  b.push_back(
      {"QDLex", kLexRecordLength, kLexSectionLength, {{20, 1}, {30, 1}, {5, 0}}, LexKeyBuilder});
  for (int s = 0; s < kSetupSlots; ++s)
    b.push_back({kSetupBlockName[s],
                 kSetupRecordLength[s],
                 kSetupRecordLength[s],
                 {{5, 0}},
                 SetupKeyBuilder});
  return b;
}

std::optional<BlockInfo> FindBlock(const std::string& name) {
  for (const BlockInfo& b : Blocks())
    if (BlockNameKey(b.name) == BlockNameKey(name)) return b;
  return std::nullopt;
}

std::string EngineErrorText(int32_t e) {
  switch (e) {
    case 9903:
      return "a file of the block is missing (9903)";
    case 10010:
      return "the block was left in use or its index is damaged (10010); run rebuild";
    case 10140:
      return "the files are in use by another program or cannot be accessed (10140)";
    case 10410:
      return "the block has no data file (10410)";
    case 10465:
      return "a .SAV file lies next to the .DAT file: an earlier rebuild was interrupted; "
             "move the one that does not hold the records away (10465)";
    default:
      return "engine error " + std::to_string(e);
  }
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

bool Rebuild(const BlockInfo& b, const std::string& path) {
  if (b.variable())
    RebuildVariableFileBlock(path, b.sectionLength, static_cast<int32_t>(b.keys.size()),
                             EngineBuilder(b), b.keys);
  else
    RebuildFileBlock(path, b.sectionLength, static_cast<int32_t>(b.keys.size()), EngineBuilder(b),
                     b.keys);
  return EngineOK;
}

// Does to the block what the viewer's driver does when it opens it: a block
// left in use by a program that did not close it, or with an index file
// that is missing or cannot be used, is rebuilt. 0, or the exit code.
int PrepareBlock(const BlockInfo& b, const std::string& path) {
  if (!std::filesystem::exists(path + ".DAT") && !std::filesystem::exists(path + ".SAV"))
    return Fail(b.name + ": no data file in the folder");
  FileBlockHandle fb = nullptr;
  if (std::filesystem::exists(path + ".DAT")) {
    OpenFileBlock(fb, path, true, false, false, false);
    if (EngineOK) {
      CloseFileBlock(fb);
      return 0;
    }
    if (EngineError != 10010 && EngineError != 10120)
      return Fail(b.name + ": " + EngineErrorText(EngineError));
  }
  if (!Rebuild(b, path)) return Fail(b.name + ": " + EngineErrorText(EngineError));
  std::fprintf(stderr,
               "qorvex-db: %s was left in use or its index could not be used: rebuilt, as the "
               "viewer would on opening it\n",
               b.name.c_str());
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
  if (const int code = PrepareBlock(b, path)) return code;
  SharedHold hold(path + ".DAT");
  if (hold.busy()) return Fail(b.name + ": " + EngineErrorText(10140));
  const isam::CheckReport report =
      isam::CheckFileBlock(path + ".DAT", path + ".IX", {b.variable(), true});
  int faults = 0;
  for (const std::string& f : report.faults) std::printf("fault: %s\n", f.c_str()), ++faults;
  for (const std::string& n : report.notes) std::printf("note: %s\n", n.c_str());
  // Every record's keys must be in its indexes (the checker sees the other
  // direction: every key names a live record).
  if (report.ok()) {
    FileBlockHandle fb = nullptr;
    OpenFileBlock(fb, path, true, false, false, false);
    if (!EngineOK) {
      std::printf("fault: %s cannot be opened: %s\n", b.name.c_str(),
                  EngineErrorText(EngineError).c_str());
      ++faults;
    } else {
      std::vector<uint8_t> record(b.recordLength);
      const int32_t slots = FileLength(fb);
      for (int32_t ref = 1; ref < slots; ++ref) {
        int32_t marker = 0;
        ReadRecordMarker(fb, ref, marker);
        if (!EngineOK || marker != 0) continue;
        std::fill(record.begin(), record.end(), 0);
        uint32_t n = b.recordLength;
        if (b.variable())
          GetVariableRecord(fb, ref, record.data(), false, n);
        else
          GetRecord(fb, ref, record.data(), false);
        for (size_t k = 1; EngineOK && k <= b.keys.size(); ++k) {
          std::string key;
          b.builder(record.data(), static_cast<uint16_t>(k), key);
          if (!KeyExists(fb, static_cast<int>(k), ref, key.substr(0, 50))) {
            std::printf("fault: %s record %d: its key is missing in index %zu\n", b.name.c_str(),
                        ref, k);
            ++faults;
          }
        }
        if (!EngineOK) {
          std::printf("fault: %s record %d cannot be read: %s\n", b.name.c_str(), ref,
                      EngineErrorText(EngineError).c_str());
          ++faults;
        }
      }
      CloseFileBlock(fb);
    }
  }
  std::string entries;
  for (uint32_t n : report.indexEntries)
    entries += (entries.empty() ? "" : "/") + std::to_string(n);
  std::printf("%s: %u records, index entries %s: %s\n", b.name.c_str(), report.liveRecords,
              entries.empty() ? "-" : entries.c_str(),
              faults == 0 ? "ok" : (std::to_string(faults) + " faults").c_str());
  return faults == 0 ? 0 : 1;
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
  if (const int code = PrepareBlock(b, path)) return code;
  FileBlockHandle fb = nullptr;
  OpenFileBlock(fb, path, true, false, false, false);
  if (!EngineOK) return Fail(b.name + ": " + EngineErrorText(EngineError));
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
      std::printf("[%d] cannot be read: %s\n", ref, EngineErrorText(EngineError).c_str());
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
  CloseFileBlock(fb);
  return error == 0 ? 0 : Fail(b.name + ": " + EngineErrorText(error));
}

int RebuildCommand(const BlockInfo& b, const std::string& path) {
  if (!std::filesystem::exists(path + ".DAT") && !std::filesystem::exists(path + ".SAV"))
    return Fail(b.name + ": no data file in the folder");
  if (!Rebuild(b, path)) return Fail(b.name + ": " + EngineErrorText(EngineError));
  const isam::CheckReport report =
      isam::CheckFileBlock(path + ".DAT", path + ".IX", {b.variable(), true});
  std::printf("%s: rebuilt, %u records\n", b.name.c_str(), report.liveRecords);
  if (std::filesystem::exists(path + ".MSG"))
    std::printf("%s: records with a duplicate key were dropped: see %s.MSG\n", b.name.c_str(),
                path.c_str());
  return 0;
}

int Import(const std::string& file) {
  DatLex.Open(SlotBit(0));
  int code = 0;
  {
    TdbLex lex(0);
    const ImportResult r = ImportLexicon(file, lex);
    if (!r.read)
      code = Fail(r.error);
    else
      std::printf("%d entries imported\n", r.added);
  }
  DatLex.Close(SlotBit(0), true);
  return code;
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
        return
            [b = *block, run](const std::string& folder) { return run(b, folder + "/" + b.name); };
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
         return [file](const std::string&) { return Import(file); };
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
