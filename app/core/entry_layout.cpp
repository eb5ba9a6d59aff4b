// SPDX-License-Identifier: GPL-3.0-or-later
// The entry view's layout: tags, words and lines to labels.
#include "app/core/entry_layout.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "support/text_utils.h"

namespace qorvex {
namespace {

// Positions are 32-bit as in the window; sums that would leave that range
// stick at its ends.
int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

constexpr int32_t kMargin = 10;      // left and top of the title, left of every line
constexpr int32_t kIndentStep = 20;  // per block-quote level
constexpr int32_t kTitleInset = 20;  // title and topic: view width − 20
constexpr int32_t kWrapInset = 30;   // a label wraps past view width − 30
constexpr int32_t kTopicPoints = 8;
constexpr size_t kMaxToneFile = 255;  // a short string

// The render state of one RenderEntry: the markup's state, and where the
// next label goes.
class EntryRenderer final : public MarkupSink {
 public:
  EntryRenderer(int32_t viewWidth, const TextMeasurer& measurer)
      : viewWidth_(viewWidth), measurer_(measurer) {}

  std::vector<EntryLabel> Run(std::string_view term, std::string_view topic, std::string_view text,
                              bool showTopic, bool hintOnly);

  void Piece(std::string_view piece) override;
  void LineEnd() override;

 private:
  const int32_t viewWidth_;
  const TextMeasurer& measurer_;
  std::vector<EntryLabel> labels_;

  MarkupState state_;
  int32_t CurrentY = 0;
  int32_t X = kMargin;
  int32_t LineHeight = 0;
  int32_t SpaceWidth = 0;
};

std::vector<EntryLabel> EntryRenderer::Run(std::string_view term, std::string_view topic,
                                           std::string_view text, bool showTopic, bool hintOnly) {
  const int32_t wide = std::max<int32_t>(0, Clamp32(int64_t{viewWidth_} - kTitleInset));

  EntryLabel title;
  title.font = {.base = true, .points = kBaseFontPoints};
  SpaceWidth = measurer_.Measure(" ", title.font).width;
  title.font.bold = true;
  title.caption = hintOnly ? kSearchHint : term;
  title.left = kMargin;
  title.top = kMargin;
  title.backColor = hintOnly ? kNoColor : kTitleBackColor;
  title.fontColor = hintOnly ? 0 : kTitleFontColor;
  title.kind = LabelKind::Title;
  title.width = wide;
  // Height × 1.4 truncated, in whole numbers so that 15 gives 21.
  title.height = Clamp32(int64_t{measurer_.Measure(title.caption, title.font).height} * 14 / 10);
  LineHeight = title.height;
  CurrentY = Clamp32(int64_t{title.top} + LineHeight);
  labels_.push_back(std::move(title));

  if (showTopic) {
    EntryLabel t;
    t.font = {.points = kTopicPoints};
    t.caption = "[Thema: " + std::string(topic) + "]";
    t.left = kMargin;
    t.top = CurrentY;
    t.fontColor = kTopicFontColor;
    t.kind = LabelKind::Topic;
    t.width = wide;
    t.height = measurer_.Measure(t.caption, t.font).height;
    CurrentY = Clamp32(int64_t{t.top} + LineHeight);
    labels_.push_back(std::move(t));
  }

  if (!hintOnly) {
    // Every text label ends at a blank, a "<" or the end of a line, so
    // this bounds their number and the vector never moves its labels.
    labels_.reserve(labels_.size() + 1 + std::count(text.begin(), text.end(), ' ') +
                    std::count(text.begin(), text.end(), '<'));
    ReadMarkup(text, state_, *this);
  }
  return std::move(labels_);
}

void EntryRenderer::LineEnd() {
  X = Clamp32(int64_t{state_.indent} * kIndentStep + kMargin);
  CurrentY = Clamp32(int64_t{CurrentY} + LineHeight);
}

void EntryRenderer::Piece(std::string_view text) {
  EntryLabel l = StyledLabel(text, state_);
  const LabelSize size = measurer_.Measure(l.caption, l.font);
  l.width = size.width;
  l.height = size.height;

  if (state_.posColumn == -1) {
    if (int64_t{X} + l.width > int64_t{viewWidth_} - kWrapInset) {
      CurrentY = Clamp32(int64_t{CurrentY} + LineHeight);
      l.left = Clamp32(int64_t{state_.indent} * kIndentStep + kMargin);
    } else {
      l.left = X;
    }
  } else if (state_.posColumn == 0) {
    l.left = X;
  } else {
    // An explicit column; the rest of the line follows it unwrapped.
    l.left = Clamp32(int64_t{state_.posColumn} * SpaceWidth);
    state_.posColumn = 0;
  }
  l.top = CurrentY;
  X = Clamp32(int64_t{l.left} + l.width);
  labels_.push_back(std::move(l));
}

// Words keep the blanks that follow them; blanks that open the line are a
// word of their own. A piece left with "<" and no ">" after it shows as
// text, "<" and all.
void ReadWord(std::string_view piece, MarkupState& state, MarkupSink& sink) {
  for (size_t lt; (lt = piece.find('<')) != std::string_view::npos;) {
    if (lt > 0) sink.Piece(piece.substr(0, lt));
    piece.remove_prefix(lt);
    ApplyTag(piece, state);
    const size_t gt = piece.find('>');
    if (gt == std::string_view::npos) break;
    piece.remove_prefix(gt + 1);
  }
  if (!piece.empty()) sink.Piece(piece);
}

void ReadLine(std::string_view line, MarkupState& state, MarkupSink& sink) {
  for (size_t p; (p = line.find(' ')) != std::string_view::npos;) {
    while (p + 1 < line.size() && line[p + 1] == ' ') ++p;
    ReadWord(line.substr(0, p + 1), state, sink);
    line.remove_prefix(p + 1);
  }
  ReadWord(line, state, sink);
  state.posColumn = -1;
  sink.LineEnd();
}

// PlainTextInto's pass: the renderer's lines, words and tags in one scan,
// keeping only what places a label (lines, wraps, block-quote indents,
// <pos=n> columns). Fonts, colours, links, Morse and tones only style
// labels, and the fixed metrics measure a caption by its length alone.
// Positions follow the renderer's arithmetic step by step, clamping
// included. Captions that follow each other in the text and on the line are
// copied as one piece.
class PlainTextWriter {
 public:
  // Room for the worst case: every caption after one blank.
  explicit PlainTextWriter(std::string& out, size_t textSize) : out_(out) {
    out_.resize(2 * textSize);
    w_ = out_.data();
  }

  void Run(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    for (const char* lt = p;
         lt != end && (lt = static_cast<const char*>(std::memchr(lt, '<', end - lt)));) {
      if (end - lt >= 4 && lt[1] == 'b' && lt[2] == 'r' && lt[3] == '>') {
        Line(p, lt);
        p = lt += 4;
      } else {
        ++lt;
      }
    }
    Line(p, end);
    Flush();
    out_.resize(static_cast<size_t>(w_ - out_.data()));
  }

 private:
  static constexpr int32_t kSpaceWidth = FixedTextMetrics::kCharWidth;
  static constexpr int32_t kLineHeight = FixedTextMetrics::kLabelHeight * 14 / 10;

  // A word ends after the blanks that follow it; a tag is "<" to the first
  // ">" in its word. A "<" with no ">" after it in its word is applied as a
  // tag all the same and shows as text to the word's end.
  void Line(const char* p, const char* const end) {
    for (;;) {
      const char* lt = p == end ? end : static_cast<const char*>(std::memchr(p, '<', end - p));
      if (lt == nullptr) lt = end;
      Words(p, lt);
      if (lt == end) break;
      const char* q = lt + 1;
      while (q < end && *q != '>' && *q != ' ') ++q;
      if (q < end && *q == '>') {
        Tag(std::string_view(lt, static_cast<size_t>(q + 1 - lt)));
        p = q + 1;
      } else {
        while (q < end && *q == ' ') ++q;
        Tag(std::string_view(lt, static_cast<size_t>(q - lt)));
        Label(lt, q);
        p = q;
      }
    }
    x_ = Clamp32(int64_t{indent_} * kIndentStep + kMargin);
    pos_ = -1;
    y_ = Clamp32(int64_t{y_} + kLineHeight);
  }

  // Text without tags, a label a word. When no word can wrap or take a
  // column, each continues the one before it, and the piece is one label.
  void Words(const char* p, const char* const end) {
    const int64_t length = end - p;
    if ((pos_ == -1 || pos_ == 0) && length < (int64_t{1} << 28) &&
        int64_t{x_} + length * FixedTextMetrics::kCharWidth <=
            int64_t{kPlainTextWidth} - kWrapInset) {
      Label(p, end);
      return;
    }
    const char* label = p;
    while (p < end) {
      if (*p == ' ') {
        do ++p;
        while (p < end && *p == ' ');
        Label(label, p);
        label = p;
      } else {
        ++p;
      }
    }
    Label(label, end);
  }

  // At most one of the renderer's tags matches a piece; these are the ones
  // that move labels. A value runs to the ">" (to the word's end without).
  void Tag(std::string_view tag) {
    if (tag.starts_with("<blockquote>")) {
      indent_ = Clamp32(int64_t{indent_} + 1);
    } else if (tag.starts_with("</blockquote>")) {
      indent_ = Clamp32(int64_t{indent_} - 1);
    } else if (tag.starts_with("<pos=")) {
      tag.remove_prefix(5);
      if (tag.ends_with('>')) tag.remove_suffix(1);
      pos_ = ParseTagNumber(tag);
    } else if (tag.starts_with("</pos>")) {
      pos_ = -1;
    }
  }

  void Label(const char* begin, const char* end) {
    if (begin == end) return;
    const int32_t width = Clamp32(static_cast<int64_t>(end - begin) * FixedTextMetrics::kCharWidth);
    int32_t left = x_;
    if (pos_ == -1) {
      if (int64_t{x_} + width > int64_t{kPlainTextWidth} - kWrapInset) {
        y_ = Clamp32(int64_t{y_} + kLineHeight);
        left = Clamp32(int64_t{indent_} * kIndentStep + kMargin);
      }
    } else if (pos_ != 0) {
      left = Clamp32(int64_t{pos_} * kSpaceWidth);
      pos_ = 0;
    }
    // Where the previous label ends, unclamped.
    const bool continues = y_ == top_ && int64_t{left} == int64_t{left_} + width_;
    const bool blank = !continues && pieceEnd_ != nullptr && !endsInBlank_;
    if (blank || begin != pieceEnd_) {
      Flush();
      if (blank) *w_++ = ' ';
      piece_ = begin;
    }
    pieceEnd_ = end;
    endsInBlank_ = end[-1] == ' ';
    top_ = y_;
    left_ = left;
    width_ = width;
    x_ = Clamp32(int64_t{left} + width);
  }

  void Flush() {
    if (piece_ == pieceEnd_) return;
    std::memcpy(w_, piece_, static_cast<size_t>(pieceEnd_ - piece_));
    w_ += pieceEnd_ - piece_;
    piece_ = pieceEnd_;
  }

  std::string& out_;
  char* w_ = nullptr;
  // The text not yet copied: captions that follow each other in the text.
  const char* piece_ = nullptr;
  const char* pieceEnd_ = nullptr;  // the previous label's end; nullptr before the first
  bool endsInBlank_ = false;
  int32_t y_ = kMargin + kLineHeight;  // below the title
  int32_t x_ = kMargin;
  int32_t indent_ = 0;
  int32_t pos_ = -1;
  int32_t top_ = 0, left_ = 0, width_ = 0;  // the previous label
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void ApplyTag(std::string_view piece, MarkupState& s) {
  const auto value = [piece](size_t from) {
    return piece.substr(from, std::min(piece.find('>'), piece.size()) - from);
  };
  const auto is = [piece](std::string_view tag) { return piece.starts_with(tag); };
  if (is("<b>")) {
    s.bold = true;
  } else if (is("</b>")) {
    s.bold = false;
  } else if (is("<u>")) {
    s.underline = true;
  } else if (is("</u>")) {
    s.underline = false;
  } else if (is("<Morse>")) {
    s.morse = true;
  } else if (is("</Morse>")) {
    s.morse = false;
  } else if (is("<Ton=") || is("<ton=")) {
    s.tone = true;
    s.toneFile = value(5).substr(0, kMaxToneFile);
  } else if (is("</Ton>") || is("</ton>")) {
    s.tone = false;
  } else if (is("<blockquote>")) {
    s.indent = Clamp32(int64_t{s.indent} + 1);
  } else if (is("</blockquote>")) {
    s.indent = Clamp32(int64_t{s.indent} - 1);
  } else if (is("<pos=")) {
    s.posColumn = ParseTagNumber(value(5));
  } else if (is("</pos>")) {
    s.posColumn = -1;
  } else if (is("<fontsize=")) {
    s.fontSize = ParseTagNumber(value(10));
  } else if (is("<fontcolor=")) {
    if (const auto c = TagColor(value(11))) s.fontColor = *c;
  } else if (is("<fontbg=")) {
    if (const auto c = TagColor(value(8))) s.backColor = *c;
  } else if (is("</font>")) {
    s.fontSize = kDefaultFontPoints;
    s.fontColor = 0;
    s.backColor = kNoColor;
  }
}

EntryLabel StyledLabel(std::string_view piece, const MarkupState& s) {
  EntryLabel l;
  l.caption = piece;
  l.backColor = s.backColor;
  l.fontColor = s.fontColor;
  l.font = {.points = s.fontSize, .bold = s.bold, .underline = s.underline};
  if (piece.find("http://") != std::string_view::npos) {
    l.kind = LabelKind::Link;
    l.fontColor = kLinkFontColor;
    l.font.underline = true;
    if (auto url = LinkAddress(piece)) l.url = std::move(*url);
  }
  if (s.morse) {
    l.kind = LabelKind::Morse;
    l.url.clear();
    l.fontColor = kPlayableFontColor;
    l.font.bold = l.font.underline = true;
  }
  if (s.tone) {
    l.kind = LabelKind::Tone;
    l.url.clear();
    l.toneFile = s.toneFile;
    l.fontColor = kPlayableFontColor;
    l.font.bold = l.font.underline = true;
  }
  return l;
}

void ReadMarkup(std::string_view text, MarkupState& state, MarkupSink& sink) {
  for (size_t br; (br = text.find("<br>")) != std::string_view::npos;) {
    ReadLine(text.substr(0, br), state, sink);
    text.remove_prefix(br + 4);
  }
  ReadLine(text, state, sink);
}

LabelSize FixedTextMetrics::Measure(std::string_view caption, const LabelFont&) const {
  return {Clamp32(static_cast<int64_t>(caption.size()) * kCharWidth), kLabelHeight};
}

int32_t ParseTagNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  // The magnitude stops growing at 2^31, which is enough for either end.
  constexpr int64_t kCap = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int d = HexDigit(text[i]);
    if (d < 0 || d >= base) break;
    magnitude = std::min(magnitude * base + d, kCap);
  }
  return Clamp32(negative ? -magnitude : magnitude);
}

std::optional<int32_t> TagColor(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 10> kColors = {{
      {"black", 0x000000},
      {"white", 0xFFFFFF},
      {"red", 0x000080},
      {"blue", 0xFFFF00},  // cyan on screen, as the lexicon's texts expect
      {"green", 0x008000},
      {"lightred", 0x0000FF},
      {"lightblue", 0xFF0000},
      {"lightgreen", 0x00FF00},
      {"silver", 0xC0C0C0},
      {"yellow", 0x00FFFF},
  }};
  for (const auto& [n, value] : kColors)
    if (n == name) return value;
  return std::nullopt;
}

std::optional<std::string> LinkAddress(std::string_view caption) {
  const size_t at = caption.find("http://");
  if (at == std::string_view::npos) return std::nullopt;
  std::string a(caption.substr(at));
  while (!a.empty() && a.back() == ' ') a.pop_back();
  std::replace(a.begin(), a.end(), '\xD8', '0');
  if (a.find('@') != std::string::npos &&
      ToStrings.UpperCase(a).find("MAILTO") == std::string::npos)
    a.insert(0, "mailto:");
  for (std::string_view scheme : {"http://", "https://", "mailto:"})
    if (a.starts_with(scheme)) return a;
  return std::nullopt;
}

std::vector<EntryLabel> RenderEntry(std::string_view term, std::string_view topic,
                                    std::string_view text, bool showTopic, bool hintOnly,
                                    int32_t viewWidth, const TextMeasurer& measurer) {
  return EntryRenderer(viewWidth, measurer).Run(term, topic, text, showTopic, hintOnly);
}

void PlainTextInto(std::string_view text, std::string& out) {
  PlainTextWriter(out, text.size()).Run(text);
}

}  // namespace qorvex
