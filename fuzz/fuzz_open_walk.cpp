// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target over a whole file block. Input layout:
//   byte 0     flags: bit 0 = the data file holds variable records; bit 1 =
//              rebuild the block first (it must then pass the checker)
//   bytes 1-4  u32 LE: length of the data file's part (clamped)
//   then       the data file (.DAT), then the index file (.IX; none if empty)
#include "fuzz/fuzz_target.h"

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "isam/check.h"
#include "isam/engine.h"
#include "tests/isam/walk.h"

namespace qorvex::fuzz {
namespace {

using Bytes = std::vector<uint8_t>;

// One scratch folder and one engine for the whole process.
const std::string& Scratch() {
  static const std::string dir = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string t = std::string(base) + "/qorvex-fuzz-XXXXXX";
    if (mkdtemp(t.data()) == nullptr) std::abort();
    InitEngine(0, 160);
    if (!EngineOK) std::abort();
    return t;
  }();
  return dir;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t n) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Pack(bool variable, const Bytes& dat, const Bytes& ix) {
  Bytes in = {static_cast<uint8_t>(variable ? 1 : 0)};
  for (int i = 0; i < 4; ++i) in.push_back(static_cast<uint8_t>(dat.size() >> (8 * i)));
  in.insert(in.end(), dat.begin(), dat.end());
  in.insert(in.end(), ix.begin(), ix.end());
  return in;
}

std::string Key(int i) {
  std::string s = std::to_string(i);
  return std::string(4 - std::min<size_t>(4, s.size()), '0') + s;
}

// A block made through the engine: records, keys, some deleted.
Bytes Made(bool variable, int records, int keyCount) {
  const std::string name = Scratch() + "/make";
  std::vector<KeyDescriptor> keys;
  for (int k = 0; k < keyCount; ++k) keys.push_back({static_cast<uint8_t>(4 + 4 * k), k > 0});
  CreateFileBlock(name, variable ? 40 : 24, keyCount, keys);
  FileBlockHandle fb = nullptr;
  OpenFileBlock(fb, name, {});
  if (!EngineOK) std::abort();
  Bytes r(200, 0x33);
  std::memset(r.data(), 0, 4);
  for (int i = 1; i <= records; ++i) {
    int32_t ref = 0;
    if (variable)
      AddVariableRecord(fb, ref, r.data(), static_cast<uint32_t>(i * 13 % 200));
    else
      AddRecord(fb, ref, r.data());
    for (int k = 1; k <= keyCount; ++k) AddKey(fb, k, ref, Key(i * (k * 7 + 1) % 1000));
  }
  for (int i = 1; i <= records; i += 5) {
    if (variable)
      DeleteVariableRecord(fb, i);
    else
      DeleteRecord(fb, i);
    DeleteKey(fb, 1, i, Key(i % 1000));
  }
  CloseFileBlock(fb);
  Bytes in = Pack(variable, ReadFile(name + ".DAT"), ReadFile(name + ".IX"));
  DeleteFileBlock(name);
  return in;
}

}  // namespace

int MakeCorpus(const std::string& dir) {
  std::vector<Bytes> inputs = {Made(false, 5, 1), Made(false, 80, 2), Made(false, 150, 3),
                               Made(true, 10, 1), Made(true, 60, 2)};
  // Damaged copies: a flipped header byte of each file, a cut file.
  const size_t n = inputs.size();
  for (size_t i = 0; i < n; ++i) {
    Bytes a = inputs[i];
    a[5 + 8] ^= 0xFF;  // data: highest slot
    inputs.push_back(a);
    Bytes b = inputs[i];
    const uint32_t datLength = b[1] | (b[2] << 8) | (b[3] << 16) | (b[4] << 24);
    if (b.size() > 5 + datLength + 16) b[5 + datLength + 16] ^= 0x01;  // index: root
    inputs.push_back(b);
    Bytes c = inputs[i];
    c.resize(c.size() * 2 / 3);
    inputs.push_back(c);
  }
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < inputs.size(); ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "/seed-%02zu", i);
    WriteFile(dir + file, inputs[i].data(), inputs[i].size());
  }
  return static_cast<int>(inputs.size());
}

}  // namespace qorvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorvex;
  if (size < 5) return 0;
  const std::string name = fuzz::Scratch() + "/F";
  const bool variable = data[0] & 1;
  uint32_t datLength =
      data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<uint32_t>(data[4]) << 24);
  if (datLength > size - 5) datLength = static_cast<uint32_t>(size - 5);
  fuzz::WriteFile(name + ".DAT", data + 5, datLength);
  const size_t ixLength = size - 5 - datLength;
  std::filesystem::remove(name + ".IX");
  std::filesystem::remove(name + ".DIA");
  if (ixLength > 0) fuzz::WriteFile(name + ".IX", data + 5 + datLength, ixLength);
  std::filesystem::remove(name + ".SAV");
  std::filesystem::remove(name + ".MSG");
  if (data[0] & 2) {
    // Rebuilt from whatever the data file holds, the block must be sound.
    uint32_t length = 40;
    if (datLength >= 16) {
      const uint32_t stated = data[5 + 12] | (data[5 + 13] << 8) | (data[5 + 14] << 16) |
                              (static_cast<uint32_t>(data[5 + 15]) << 24);
      if (stated >= 21 && stated <= 4096) length = stated;
    }
    const KeyDescriptor keys[] = {{4, 0}};
    auto builder = [](std::span<const uint8_t> record, int) {
      return record.size() >= 8 ? std::string(record.begin() + 4, record.begin() + 8)
                                : std::string();
    };
    if (variable)
      RebuildVariableFileBlock(name, static_cast<int32_t>(length), 1, builder, keys);
    else
      RebuildFileBlock(name, static_cast<int32_t>(length), 1, builder, keys);
    if (EngineOK) {
      const isam::CheckReport report =
          isam::CheckFileBlock(name + ".DAT", name + ".IX", {variable, true});
      if (!report.ok()) {
        std::fprintf(stderr, "rebuilt block damaged: %s\n", report.faults.front().c_str());
        std::abort();
      }
    }
  }
  static std::vector<uint8_t> buffer;
  const isam::testing::WalkResult r = isam::testing::WalkBlock(name, variable, buffer);
  if (!r.faults.empty()) {
    for (const auto& f : r.faults)
      std::fprintf(stderr, "fault after %s: %s\n", f.call.c_str(), f.what.c_str());
    std::abort();
  }
  return 0;
}
