// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the engine tests: a scratch folder, whole-file reads and
// writes, an engine started for the test's lifetime and a fault-injecting OS
// layer.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "isam/engine.h"
#include "isam/osfile.h"

namespace qorvex::isam::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadText(const std::string& path) {
  const Bytes b = ReadAll(path);
  return std::string(b.begin(), b.end());
}

inline void WriteAll(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t Le16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A data file's header: free head, free count, highest slot, record
// length, indexes, in-use byte.
using Header = std::array<int64_t, 6>;
inline Header DatHeader(const Bytes& d) {
  return {
      static_cast<int32_t>(Le32(d, 0)), Le32(d, 4), Le32(d, 8), Le32(d, 12), Le32(d, 16), d[20]};
}

// Runs an engine operation; true when it left EngineOK.
template <class... P, class... A>
bool Ok(void (*operation)(P...), A&&... args) {
  operation(std::forward<A>(args)...);
  return EngineOK;
}

// Runs an engine operation; the error it left (0 when it left EngineOK).
template <class... P, class... A>
int32_t ErrorOf(void (*operation)(P...), A&&... args) {
  operation(std::forward<A>(args)...);
  return EngineOK ? 0 : EngineError;
}

// The error an open leaves (0 when it opened).
inline int32_t OpenError(FileBlockHandle& fb, const std::string& path, OpenOptions options = {}) {
  OpenFileBlock(fb, path, options);
  return EngineOK ? 0 : EngineError;
}

// i in decimal, zero-padded to width digits.
inline std::string Digits(int i, int width = 4) {
  const std::string s = std::to_string(i);
  return std::string(width - std::min<size_t>(width, s.size()), '0') + s;
}

// A fixed record of n bytes: first word 0 (live), then the fill byte.
inline Bytes Record(size_t n, uint8_t fill) {
  Bytes r(n, fill);
  std::fill_n(r.begin(), std::min<size_t>(n, 4), 0);
  return r;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Variable record ref read back, cut to the bytes copied (room at most).
inline Bytes GetVar(FileBlockHandle fb, int32_t ref, uint32_t room = 70000) {
  Bytes back(room);
  GetVariableRecord(fb, ref, back.data(), false, room);
  back.resize(room);
  return back;
}

// Tests that write many small files use memory-backed storage when the
// machine has it: the engine forces files to disk on every close.
inline std::string FastStorage() {
  std::error_code ec;
  return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "";
}

class TempDir {
 public:
  // base: where to make the folder (default: the system's temporary folder).
  explicit TempDir(const std::string& base = {}) {
    const std::filesystem::path root =
        base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
    std::string t = (root / "qorvex-XXXXXX").string();
    if (mkdtemp(t.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = t;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Starts the engine for one test and stops it at the end.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(InitEngine(0, buffers_), buffers_) << EngineError; }
  void TearDown() override {
    SetOsLayer(nullptr);
    ExitEngine();
  }
  std::string Name(const std::string& base) const { return dir_ / base; }
  // Opens the block at path; the open must succeed.
  static FileBlockHandle Open(const std::string& path, bool readOnly = false, bool network = false,
                              bool saveMode = false) {
    FileBlockHandle fb = nullptr;
    OpenFileBlock(fb, path, {.readOnly = readOnly, .network = network, .saveMode = saveMode});
    EXPECT_TRUE(EngineOK) << path << ": " << EngineError;
    return fb;
  }
  static FileBlockHandle CreateOpen(const std::string& path, int32_t length,
                                    std::span<const KeyDescriptor> keys = {},
                                    bool saveMode = false) {
    CreateFileBlock(path, length, static_cast<int32_t>(keys.size()), keys);
    EXPECT_TRUE(EngineOK) << path << ": " << EngineError;
    return Open(path, false, false, saveMode);
  }

  int32_t buffers_ = 160;
  TempDir dir_{FastStorage()};
};

// Fails chosen calls. A call kind is counted from the moment of Arm; the
// n-th call (1-based) of that kind fails, once or from then on. kExit ends
// the process instead, before the call: the files a kill then leaves.
class FaultLayer : public OsLayer {
 public:
  enum Kind { kWrite, kSync, kRename, kUnlink, kTruncate, kAnyChange };
  enum Mode { kErrno, kShort, kTorn512, kExit };
  static constexpr int kExited = 70;  // the exit code of kExit

  // kErrno fails with EIO.
  void Arm(Kind kind, int nth, bool sticky = false, Mode mode = kErrno) {
    kind_ = kind;
    nth_ = nth;
    sticky_ = sticky;
    mode_ = mode;
    seen_ = 0;
    fired_ = 0;
    restFails_ = false;
  }
  int fired() const { return fired_; }

  // Short and torn writes model a disk that fills up in the middle of a
  // write: part of it lands, the rest of it fails with ENOSPC.
  ssize_t PWrite(int fd, const void* buf, size_t n, off_t offset) override {
    if (restFails_) {
      restFails_ = false;
      errno = ENOSPC;
      return -1;
    }
    if (Hit(kWrite)) {
      const size_t part = mode_ == kShort ? n / 2 : (mode_ == kTorn512 && n > 512 ? 512 : 0);
      if (part > 0) {
        restFails_ = true;
        return OsLayer::PWrite(fd, buf, part, offset);
      }
      errno = mode_ == kErrno ? EIO : ENOSPC;
      return -1;
    }
    return OsLayer::PWrite(fd, buf, n, offset);
  }
  int FSync(int fd) override {
    if (Hit(kSync)) return errno = EIO, -1;
    return OsLayer::FSync(fd);
  }
  int Rename(const char* from, const char* to) override {
    if (Hit(kRename)) return errno = EIO, -1;
    return OsLayer::Rename(from, to);
  }
  int Unlink(const char* path) override {
    if (Hit(kUnlink)) return errno = EIO, -1;
    return OsLayer::Unlink(path);
  }
  int FTruncate(int fd, off_t length) override {
    if (Hit(kTruncate)) return errno = EIO, -1;
    return OsLayer::FTruncate(fd, length);
  }

 private:
  bool Hit(Kind kind) {
    if (nth_ == 0 || (kind != kind_ && kind_ != kAnyChange)) return false;
    ++seen_;
    if (seen_ == nth_ || (sticky_ && seen_ > nth_)) {
      if (mode_ == kExit) _exit(kExited);
      ++fired_;
      return true;
    }
    return false;
  }

  Kind kind_ = kWrite;
  int nth_ = 0;
  bool sticky_ = false;
  Mode mode_ = kErrno;
  int seen_ = 0;
  int fired_ = 0;
  bool restFails_ = false;
};

// Fails the nth call of kind (in mode) during op, for nth = 1, 2, ...
// until op runs through untouched; restored(nth) checks what each failure
// left. A failure of only the forcing of the emptied log (10140) also ends
// it: the change is done. Returns the failures counted on the way.
template <class Op, class Restored>
int FailEachCall(FaultLayer& faults, FaultLayer::Kind kind, FaultLayer::Mode mode, Op op,
                 Restored restored) {
  int failures = 0;
  for (int nth = 1; nth < 200; ++nth) {
    SCOPED_TRACE(::testing::Message()
                 << "call kind " << kind << " mode " << mode << " nth " << nth);
    faults.Arm(kind, nth, false, mode);
    SetOsLayer(&faults);
    op(nth);
    SetOsLayer(nullptr);
    if (faults.fired() == 0) {
      EXPECT_TRUE(EngineOK) << EngineError;
      return failures;
    }
    if (EngineError == kErrFile) {
      EXPECT_EQ(kind, FaultLayer::kSync);
      return failures;
    }
    ++failures;
    restored(nth);
  }
  ADD_FAILURE() << "the operation never ran through";
  return failures;
}

}  // namespace qorvex::isam::testing

// The file and call helpers, for the tests of the layers above the engine too.
namespace qorvex::testing {
using isam::testing::Bytes;
using isam::testing::ErrorOf;
using isam::testing::FaultLayer;
using isam::testing::Le16;
using isam::testing::Le32;
using isam::testing::Ok;
using isam::testing::Put16;
using isam::testing::ReadAll;
using isam::testing::ReadText;
using isam::testing::TempDir;
using isam::testing::WriteAll;
}  // namespace qorvex::testing
