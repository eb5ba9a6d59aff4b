// SPDX-License-Identifier: GPL-3.0-or-later
// The entry view (window layer): the labels that the core's layout computes
// for an entry, kept as one vector and painted as lightweight items by one
// widget inside the scrolling area. Each item behaves as a label of its
// own: its font, colours, background and place, its hit area, the hand
// cursor over links, Morse and tone words, and a click. Highlighted pieces
// of captions get a background of their own; a zoom paints the labels
// scaled (they are laid out for the zoomed width by the window).
//
// Keyboard: Tab and Shift+Tab step through the clickable labels in reading
// order (a frame marks the one with the focus) and leave the view after the
// last and before the first; Return or Space clicks it; Page Up/Down, Home,
// End and the arrows scroll; Escape is told (EscapePressed). A screen reader
// reads the view as a document (accessibility.h).
//
// Invariants:
//  1. labels_ is in creation order with tops never decreasing (as the
//     layout makes them); texts_[i] and faces_[i] belong to labels_[i].
//  2. The widget covers every label's right edge but the title's and the
//     topic's (they are as wide as the view), every label's bottom (all
//     scaled by the zoom), and at least the scrolling area's viewport.
//  3. marks_ are in label order and lie inside their labels' captions.
//  4. focused_ is -1 or the index of a clickable label.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/core/entry_layout.h"
#include "app/core/entry_text.h"

namespace qorvex {

// The entry view's background, light yellow (0x00BBGGRR 0xE0FFFF).
inline constexpr int32_t kViewColor = 0xE0FFFF;
// Behind a highlighted search text: orange (0x00BBGGRR).
inline constexpr int32_t kMarkColor = 0x40B0FF;
QColor LabelColor(int32_t bbggrr);

// A label font: "Arial" at 12 pixels (the base font) or at its points as
// pixels at 96 dots per inch (10 points: 13 pixels). A size of 0 means the
// default 10 points, a negative one its magnitude; sizes are capped at 400
// points. Kerning is off, so drawn text is as wide as measured.
QFont LabelQFont(const LabelFont& font);

// Measures captions as a label shows them: the sum of the characters'
// advance widths (no kerning, "&" as itself) and the font's line height.
class TLabelMeasurer final : public TextMeasurer {
 public:
  struct Face {
    explicit Face(const QFont& f);
    QFont font;
    QFontMetrics metrics;
    std::array<int, 256> advance;  // per Windows-1252 byte
  };

  LabelSize Measure(std::string_view caption, const LabelFont& font) const override;
  const Face& FaceOf(const LabelFont& font) const;

 private:
  mutable std::unordered_map<uint64_t, std::unique_ptr<Face>> faces_;
};

class TEntryView : public QWidget {
  Q_OBJECT

 public:
  explicit TEntryView(QWidget* parent = nullptr);

  // Becomes the area's widget and follows its viewport's size.
  void AttachTo(QScrollArea* area);

  // Shows these labels (the core's RenderEntry result) instead of the
  // current ones, without highlights.
  void SetLabels(std::vector<EntryLabel> labels);
  // Highlights these pieces of the labels' captions (invariant 3).
  void SetMarks(std::vector<TextMark> marks);
  const std::vector<TextMark>& Marks() const { return marks_; }
  // Where a highlighted piece lies in this widget.
  QRect MarkRect(size_t mark) const;
  // Paints the labels at percent of their size.
  void SetZoom(int percent);
  int ZoomPercent() const { return zoom_; }

  // Where a label, or a piece of its caption, lies in this widget.
  QRect LabelRect(size_t label) const;
  QRect PieceRect(const TextMark& piece) const;
  // The clickable label with the keyboard focus (-1: none), and moving it
  // there (the view scrolled to it).
  int FocusedLabel() const { return focused_; }
  void FocusLabel(int label);
  // Scrolls the area so that this rectangle of the view is visible.
  void EnsureVisible(const QRect& r);
  // Does what a click on a clickable label does.
  void ActivateLabel(int label);
  // The entry as shown, as text (ShownText), and where each character came
  // from; made anew with the labels.
  const QString& Text() const { return text_; }
  const std::vector<TextOrigin>& TextOrigins() const { return origins_; }
  // Counts the label sets shown: a screen reader's children of an older
  // set are gone.
  uint64_t Generation() const { return generation_; }
  void Clear() { SetLabels({}); }
  const std::vector<EntryLabel>& Labels() const { return labels_; }
  const TLabelMeasurer& Measurer() const { return measurer_; }

  // The label under a point of this widget (the one made last where labels
  // overlap, the zoom undone), or -1.
  int LabelAt(QPoint point) const;
  static bool Clickable(const EntryLabel& label);

 signals:
  // A link, Morse or tone label was clicked (pressed and released on it).
  void LabelClicked(int index);
  // Ctrl and the mouse wheel: zoom in (steps > 0) or out.
  void ZoomRequested(int steps);
  void EscapePressed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void FitSize();
  // A piece of a caption in the labels' coordinates (before the zoom).
  QRect PieceBox(const TextMark& piece) const;
  QRect Zoomed(const QRect& box) const;
  // The next clickable label after (forward) or before from, or -1.
  int NextClickable(int from, bool forward) const;

  TLabelMeasurer measurer_;
  std::vector<EntryLabel> labels_;
  std::vector<QString> texts_;
  std::vector<const TLabelMeasurer::Face*> faces_;
  std::vector<TextMark> marks_;
  int zoom_ = 100;
  int focused_ = -1;
  bool keyboardFocus_ = false;  // the focus came by key: frames are drawn
  QString text_;
  std::vector<TextOrigin> origins_;
  uint64_t generation_ = 0;
  QPointer<QScrollArea> area_;
  int32_t tallest_ = 0;  // the highest label: how far up a hit test looks
  QSize extent_;         // what the labels cover (invariant 2)
  QSize floor_;          // the viewport's size
  QPointer<QWidget> viewport_;
  int pressed_ = -1;
  bool handCursor_ = false;
};

}  // namespace qorvex
