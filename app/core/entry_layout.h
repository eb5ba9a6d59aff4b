// SPDX-License-Identifier: GPL-3.0-or-later
// The entry view's layout (core layer, no Qt): an entry's term, topic and
// marked-up text become the labels the window draws, each with its caption,
// place, font, colours and what a click on it does. Text is Windows-1252.
//
// Invariants of RenderEntry's result, in creation order:
//  1. The title comes first; with ShowTopic the topic label second.
//  2. Tops never decrease; widths and heights are never negative.
//  3. Every other label holds a non-empty piece of the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

// Colours are 0x00BBGGRR (red in the low byte); kNoColor is transparent.
inline constexpr int32_t kNoColor = -1;
inline constexpr int32_t kTitleBackColor = 0x0000FF;     // red
inline constexpr int32_t kTitleFontColor = 0xFFFFFF;     // white
inline constexpr int32_t kTopicFontColor = 0x808080;     // grey
inline constexpr int32_t kLinkFontColor = 0xFF0000;      // blue
inline constexpr int32_t kPlayableFontColor = 0x008000;  // green: Morse and tone labels

// Shown as the title, with no text, after a search.
inline constexpr std::string_view kSearchHint =
    "Klicken Sie in der linken Liste oben auf einen rot markierten Sucheintrag.";

// The view's base font, "Arial" 12 pixels high: the title's font. 12 pixels
// are 9 points at 96 dots per inch.
inline constexpr int32_t kBaseFontPixels = 12;
inline constexpr int32_t kBaseFontPoints = 9;
inline constexpr int32_t kDefaultFontPoints = 10;

struct LabelFont {
  bool base = false;  // the base font (its size is kBaseFontPixels, not points)
  // Points otherwise: whatever "<fontsize=" gave, any 32-bit value; what a
  // size of 0 or below means is the measurer's (and the window's) business.
  int32_t points = kDefaultFontPoints;
  bool bold = false;
  bool underline = false;
};

struct LabelSize {
  int32_t width = 0, height = 0;
};

// Measures labels for the layout. The window measures with its fonts; the
// command-line tool and tests use FixedTextMetrics.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The natural size of a label that shows caption (Windows-1252) in font and
  // sizes itself to it: the caption's advance width on one line, without
  // margins, "&" drawn as itself; the height of one line of the font (also
  // for an empty caption). Never negative.
  //
  // The layout also measures the blank's width through this: SpaceWidth is
  // Measure(" ", base font, regular).width, taken before the title turns bold.
  virtual LabelSize Measure(std::string_view caption, const LabelFont& font) const = 0;
};

// Every character 8 pixels wide, every label 16 pixels high, whatever the
// font: the blank is 8 wide, the title 16 × 1.4 → 22 high, a line 22 high.
class FixedTextMetrics final : public TextMeasurer {
 public:
  static constexpr int32_t kCharWidth = 8;
  static constexpr int32_t kLabelHeight = 16;
  LabelSize Measure(std::string_view caption, const LabelFont& font) const override;
};

enum class LabelKind : uint8_t { Title, Topic, Text, Link, Morse, Tone };

struct EntryLabel {
  std::string caption;  // Windows-1252, with the blanks that followed the word
  int32_t left = 0, top = 0, width = 0, height = 0;
  LabelFont font;
  int32_t fontColor = 0;
  int32_t backColor = kNoColor;
  LabelKind kind = LabelKind::Text;
  std::string toneFile;  // Tone: the WAV file a click plays
  std::string url;       // Link: the address a click opens; empty when none
};

// A number in a tag: leading blanks, a sign, "$" or "0x" for hexadecimal
// digits, then the digits up to the first character that is none; 0 when
// there are no digits. Values beyond 32 bits saturate.
int32_t ParseTagNumber(std::string_view text);

// The ten colour names of "<fontcolor=" and "<fontbg=" (exact spelling).
std::optional<int32_t> TagColor(std::string_view name);

// What a click on a link label opens: the caption from its first "http://"
// on, trailing blanks removed, every "Ø" made "0", and "mailto:" put in
// front when it holds "@" and no "MAILTO" in upper case; only an address
// that then begins with "http://", "https://" or "mailto:". Nothing when the
// caption holds no "http://".
std::optional<std::string> LinkAddress(std::string_view caption);

// The markup's state between its pieces, as the layout reads it: the style
// text takes, where the next piece goes (a column) and the block-quote level.
struct MarkupState {
  int32_t fontColor = 0;
  int32_t backColor = kNoColor;
  int32_t fontSize = kDefaultFontPoints;
  bool bold = false, underline = false;
  bool morse = false, tone = false;
  std::string toneFile;  // the last "<Ton=" value, at most 255 bytes
  // -1: the next piece wraps as usual; 0: it follows on the line unwrapped;
  // else it goes to that many blanks from the view's left edge.
  int32_t posColumn = -1;
  int32_t indent = 0;  // block-quote level, also below 0
};

// The tag the piece starts with, if any, applied to state; unknown tags
// change nothing. A tag's value runs to the first ">" (to the end of the
// piece when it has none).
void ApplyTag(std::string_view piece, MarkupState& state);

// A text piece's label without place or size: caption, font, colours, kind,
// address and tone file as state and the piece give them. A piece holding
// "http://" is a link, then Morse, then tone: a later one wins the click,
// colour and style.
EntryLabel StyledLabel(std::string_view piece, const MarkupState& state);

// What ReadMarkup hands on, in text order.
class MarkupSink {
 public:
  virtual ~MarkupSink() = default;
  virtual void Piece(std::string_view piece) = 0;  // a non-empty text piece: one label
  virtual void LineEnd() = 0;                      // after every line, the last included
};

// The entry text as the layout reads it: lines end at every "<br>"; a word
// keeps the blanks that follow it, blanks that open a line are a word of
// their own; in a word, each "<" to the first ">" is a tag, applied to state
// before the next piece. A "<" with no ">" after it in its word is applied
// all the same and shows as text, "<" and all, to the word's end. After
// each line, posColumn is -1 again.
void ReadMarkup(std::string_view text, MarkupState& state, MarkupSink& sink);

// The labels of one entry in creation order. viewWidth is the width of the
// view (the scrolling area); the title and topic labels are viewWidth − 20
// wide, and a label wraps when it would reach past viewWidth − 30. With
// hintOnly the title shows kSearchHint and the text is not laid out.
std::vector<EntryLabel> RenderEntry(std::string_view term, std::string_view topic,
                                    std::string_view text, bool showTopic, bool hintOnly,
                                    int32_t viewWidth, const TextMeasurer& measurer);

// The plain text of an entry's text: the captions of the labels RenderEntry
// gives it with FixedTextMetrics at a width of 100,000 (the term and topic
// change none of them), joined: a label whose top is the previous one's and
// whose left is where that one ends is appended as it is, any other after
// one blank (none after a blank). Computed without labels; replaces out.
inline constexpr int32_t kPlainTextWidth = 100000;
void PlainTextInto(std::string_view text, std::string& out);

}  // namespace qorvex
