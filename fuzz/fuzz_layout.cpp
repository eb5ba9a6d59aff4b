// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target over the entry layout: any bytes as an entry, laid out with
// the fixed text metrics; a broken invariant of the labels aborts. Input:
//   bytes 0-1  u16 LE: view width 100 + value % 1901 (100 to 2000)
//   byte 2     flags: bit 0 ShowTopic, bit 1 HintOnly
//   byte 3     term length (at most 50 count), byte 4 topic length (at most 30)
//   then       the term, the topic, and the rest as the text (cut at 64000)
// fuzz_layout_replay (replay_main.cpp over this target) runs fuzz/corpus-layout.
#include "fuzz/fuzz_target.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/entry_layout.h"

namespace qorvex::fuzz {
namespace {

// Reports the broken invariant and aborts, so that the fuzzer and the
// corpus replay both see it.
void Require(bool ok, const char* what, size_t label) {
  if (ok) return;
  std::fprintf(stderr, "layout invariant broken at label %zu: %s\n", label, what);
  std::abort();
}

void CheckLabels(const std::vector<EntryLabel>& labels, std::string_view text, int32_t width,
                 bool showTopic, bool hintOnly) {
  Require(!labels.empty() && labels[0].kind == LabelKind::Title, "the title comes first", 0);
  Require(labels[0].left == 10 && labels[0].top == 10 && labels[0].width == width - 20 &&
              labels[0].height == 22,
          "the title's place", 0);
  const size_t first = showTopic ? 2 : 1;
  Require(!showTopic ||
              (labels.size() > 1 && labels[1].kind == LabelKind::Topic && labels[1].top == 32),
          "the topic comes second", 1);
  Require(!hintOnly || labels.size() == first, "the hint shows no text", 0);
  size_t shown = 0;
  for (size_t i = 0; i < labels.size(); ++i) {
    const EntryLabel& l = labels[i];
    Require(l.width >= 0 && l.height >= 0, "no negative size", i);
    Require(i == 0 || l.top >= labels[i - 1].top, "tops never decrease", i);
    if (i < first) continue;
    const std::string& c = l.caption;
    Require(!c.empty(), "no empty text label", i);
    Require(l.width == 8 * static_cast<int32_t>(c.size()) && l.height == 16, "fixed metrics", i);
    Require(l.top >= 10 + 22 * static_cast<int32_t>(first), "text below the title", i);
    // A caption is text before a "<", or the rest of a piece from a "<"
    // that no ">" closes.
    Require(c[0] == '<' ? c.find('>') == std::string::npos : c.find('<') == std::string::npos,
            "a tag inside a caption", i);
    Require(l.kind != LabelKind::Title && l.kind != LabelKind::Topic, "one title, one topic", i);
    Require(l.kind != LabelKind::Link || c.find("http://") != std::string::npos, "link", i);
    Require(l.url.empty() || (l.kind == LabelKind::Link &&
                              (l.url.starts_with("http://") || l.url.starts_with("mailto:"))),
            "only links open addresses", i);
    Require(l.toneFile.size() <= 255 && (l.kind == LabelKind::Tone || l.toneFile.empty()),
            "tone file", i);
    shown += c.size();
  }
  Require(shown <= text.size(), "more shown than written", labels.size());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Input(uint16_t width, uint8_t flags, const std::string& term, const std::string& topic,
                  const std::string& text) {
  std::string in;
  in += static_cast<char>(width & 0xFF);
  in += static_cast<char>(width >> 8);
  in += static_cast<char>(flags);
  in += static_cast<char>(term.size());
  in += static_cast<char>(topic.size());
  return in + term + topic + text;
}

}  // namespace

int MakeCorpus(const std::string& dir) {
  const std::string texts[] = {
      "Eine <b>Antenne</b> wandelt Strom um.<br>Sie ist wichtig.",
      "a <b>b</b> c<br>x<y <i>text <B>z",
      "Der Notruf lautet <Morse>SOS</Morse>.<br><Ton=a.wav>Pfeif</Ton> <ton=b.wav>x</ton>",
      "<pos=10>Spalte zehn <pos=0>ohne Umbruch</pos> und weiter<br><pos=>null <pos=$7fffffff>fern",
      "aaaa <blockquote>bbbb cccc dddd<br></blockquote></blockquote></blockquote>negativ",
      "<fontsize=24>gross<br><fontcolor=blue>blau <fontbg=yellow>gelb</font> normal",
      "(http://x.de/\xD8) HTTP://X mail:http://dl1abc@darc.de",
      std::string(300, 'w') + " " + std::string(2000, ' ') + "<br><br><br>",
      "<Ton=a.wav <pos=12 <fontsize=-2147483648>x<fontsize=",
      "",
  };
  std::filesystem::create_directories(dir);
  int n = 0;
  for (const std::string& text : texts) {
    for (const auto& [width, flags] : {std::pair<uint16_t, uint8_t>{540, 1}, {0, 0}, {1900, 3}}) {
      char file[48];
      std::snprintf(file, sizeof file, "/seed-%02d", n++);
      WriteFile(dir + file, Input(width, flags, "Antenne", "Antennen", text));
    }
  }
  return n;
}

}  // namespace qorvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorvex;
  if (size < 5) return 0;
  const int32_t width = 100 + (data[0] | (data[1] << 8)) % 1901;
  const bool showTopic = data[2] & 1, hintOnly = data[2] & 2;
  std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
  const std::string_view term = rest.substr(0, std::min<size_t>(data[3], 50));
  rest.remove_prefix(std::min<size_t>(data[3], rest.size()));
  const std::string_view topic = rest.substr(0, std::min<size_t>(data[4], 30));
  rest.remove_prefix(std::min<size_t>(data[4], rest.size()));
  const std::string_view text = rest.substr(0, 64000);
  const std::vector<EntryLabel> labels =
      RenderEntry(term, topic, text, showTopic, hintOnly, width, FixedTextMetrics());
  fuzz::CheckLabels(labels, text, width, showTopic, hintOnly);
  return 0;
}
