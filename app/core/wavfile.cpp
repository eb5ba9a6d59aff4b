// SPDX-License-Identifier: GPL-3.0-or-later
// WAV encoding and header reading; see wavfile.h.
#include "app/core/wavfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace qorvex {
namespace {

constexpr size_t kHeaderBytes = 44;

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const unsigned char* p) {
  return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}

bool ReadAt(std::ifstream& in, uint64_t at, unsigned char* to, size_t n) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(at));
  in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
  return in.gcount() == static_cast<std::streamsize>(n);
}

}  // namespace

int64_t WavInfo::DurationMs() const {
  if (sampleRate == 0) return 0;
  return static_cast<int64_t>((Frames() * 1000 + sampleRate / 2) / sampleRate);
}

std::string EncodeWav16Mono(uint32_t sampleRate, std::span<const int16_t> samples) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::string out;
  out.reserve(kHeaderBytes + dataBytes);
  out += "RIFF";
  Put32(out, static_cast<uint32_t>(kHeaderBytes - 8) + dataBytes);
  out += "WAVEfmt ";
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, sampleRate);
  Put32(out, sampleRate * 2);
  Put16(out, 2);
  Put16(out, 16);
  out += "data";
  Put32(out, dataBytes);
  for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
  return out;
}

bool WriteWav16Mono(const std::string& path, uint32_t sampleRate, std::span<const int16_t> samples,
                    std::string& why) {
  const std::string bytes = EncodeWav16Mono(sampleRate, samples);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (out) out.close();
  if (!out) why = std::strerror(errno != 0 ? errno : EIO);
  return static_cast<bool>(out);
}

bool ReadWavInfo(const std::string& path, WavInfo& info, std::string& why) {
  info = WavInfo{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = std::strerror(errno != 0 ? errno : ENOENT);
    return false;
  }
  in.seekg(0, std::ios::end);
  const uint64_t size = static_cast<uint64_t>(in.tellg());
  unsigned char head[12];
  if (!ReadAt(in, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    why = "keine WAV-Datei";
    return false;
  }
  // Walk the chunks; every step moves forward, so a damaged size ends the
  // walk at the end of the file.
  bool haveFormat = false, haveData = false;
  for (uint64_t at = 12; at + 8 <= size && !(haveFormat && haveData);) {
    unsigned char chunk[8];
    if (!ReadAt(in, at, chunk, sizeof chunk)) break;
    const uint32_t length = Get32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16) {
      unsigned char f[16];
      if (!ReadAt(in, at + 8, f, sizeof f)) break;
      info.formatTag = Get16(f);
      info.channels = Get16(f + 2);
      info.sampleRate = Get32(f + 4);
      info.blockAlign = Get16(f + 12);
      info.bitsPerSample = Get16(f + 14);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      info.dataOffset = at + 8;
      info.dataBytes = std::min<uint64_t>(length, size - info.dataOffset);
      haveData = true;
    }
    at += 8 + static_cast<uint64_t>(length) + (length & 1);
  }
  if (!haveFormat || info.channels == 0 || info.sampleRate == 0 || info.blockAlign == 0) {
    why = "WAV-Datei ohne g\xFCltiges Format";
    return false;
  }
  if (!haveData) {
    why = "WAV-Datei ohne Daten";
    return false;
  }
  return true;
}

bool ReadWav16Mono(const std::string& path, WavInfo& info, std::vector<int16_t>& samples,
                   std::string& why) {
  if (!ReadWavInfo(path, info, why)) return false;
  if (info.formatTag != 1 || info.channels != 1 || info.bitsPerSample != 16) {
    why = "kein 16-Bit-Mono-PCM";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes(info.Frames() * 2, '\0');
  if (!ReadAt(in, info.dataOffset, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size())) {
    why = "Daten unvollst\xE4ndig";
    return false;
  }
  samples.resize(info.Frames());
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(Get16(reinterpret_cast<const unsigned char*>(&bytes[2 * i])));
  return true;
}

}  // namespace qorvex
