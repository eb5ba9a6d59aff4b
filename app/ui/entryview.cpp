// The entry view; see entryview.h.
#include "app/ui/entryview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "app/ui/cp1252text.h"

namespace qorvex {
namespace {

constexpr int64_t kMaxPoints = 400;
constexpr int kMaxWidgetSize = QWIDGETSIZE_MAX;

int PixelsOf(const LabelFont& f) {
  if (f.base) return kBaseFontPixels;
  int64_t points = f.points == 0 ? kDefaultFontPoints : std::abs(int64_t{f.points});
  points = std::min(points, kMaxPoints);
  return static_cast<int>((points * 96 + 36) / 72);  // rounded, as at 96 dots per inch
}

uint64_t FaceKey(const LabelFont& f) {
  return uint64_t(PixelsOf(f)) << 2 | uint64_t(f.bold) << 1 | uint64_t(f.underline);
}

int ClampSize(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, kMaxWidgetSize));
}

}  // namespace

QColor LabelColor(int32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont LabelQFont(const LabelFont& f) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(PixelsOf(f));
  font.setBold(f.bold);
  font.setUnderline(f.underline);
  font.setKerning(false);
  return font;
}

TLabelMeasurer::Face::Face(const QFont& f) : font(f), metrics(f) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    advance[b] = metrics.horizontalAdvance(FromCp1252(one).at(0));
  }
}

const TLabelMeasurer::Face& TLabelMeasurer::FaceOf(const LabelFont& font) const {
  std::unique_ptr<Face>& face = faces_[FaceKey(font)];
  if (!face) face = std::make_unique<Face>(LabelQFont(font));
  return *face;
}

LabelSize TLabelMeasurer::Measure(std::string_view caption, const LabelFont& font) const {
  const Face& face = FaceOf(font);
  int64_t width = 0;
  for (const char c : caption) width += face.advance[static_cast<uint8_t>(c)];
  return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), face.metrics.height()};
}

TEntryView::TEntryView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, LabelColor(kViewColor));
  setPalette(p);
  resize(1, 1);
}

void TEntryView::AttachTo(QScrollArea* area) {
  area->setWidgetResizable(false);
  area->setWidget(this);
  viewport_ = area->viewport();
  viewport_->installEventFilter(this);
  floor_ = area->viewport()->size();
  FitSize();
}

bool TEntryView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == viewport_) {
    floor_ = static_cast<QResizeEvent*>(event)->size();
    FitSize();
  }
  return QWidget::eventFilter(watched, event);
}

void TEntryView::FitSize() {
  resize(std::max(extent_.width(), floor_.width()), std::max(extent_.height(), floor_.height()));
}

bool TEntryView::Clickable(const EntryLabel& l) {
  return l.kind == LabelKind::Link || l.kind == LabelKind::Morse || l.kind == LabelKind::Tone;
}

void TEntryView::SetLabels(std::vector<EntryLabel> labels) {
  labels_ = std::move(labels);
  texts_.clear();
  faces_.clear();
  texts_.reserve(labels_.size());
  faces_.reserve(labels_.size());
  tallest_ = 0;
  int64_t right = 0, bottom = 0;
  for (const EntryLabel& l : labels_) {
    texts_.push_back(FromCp1252(l.caption));
    faces_.push_back(&measurer_.FaceOf(l.font));
    tallest_ = std::max(tallest_, l.height);
    if (l.kind != LabelKind::Title && l.kind != LabelKind::Topic)
      right = std::max(right, int64_t{l.left} + l.width);
    bottom = std::max(bottom, int64_t{l.top} + l.height);
  }
  extent_ = QSize(ClampSize(right), ClampSize(bottom));
  pressed_ = -1;
  if (handCursor_) {
    handCursor_ = false;
    unsetCursor();
  }
  FitSize();
  update();
}

int TEntryView::LabelAt(QPoint p) const {
  // Tops never decrease: look back from the last label that starts at or
  // above the point, as far as the highest label reaches.
  auto it = std::upper_bound(labels_.begin(), labels_.end(), p.y(),
                             [](int y, const EntryLabel& l) { return y < l.top; });
  while (it != labels_.begin()) {
    --it;
    if (int64_t{it->top} + tallest_ <= p.y()) break;
    if (p.x() >= it->left && int64_t{p.x()} < int64_t{it->left} + it->width &&
        int64_t{p.y()} < int64_t{it->top} + it->height)
      return static_cast<int>(it - labels_.begin());
  }
  return -1;
}

void TEntryView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  // Labels that start a full label height above the area cannot reach it.
  const auto first =
      std::lower_bound(labels_.begin(), labels_.end(), int64_t{area.top()} - tallest_,
                       [](const EntryLabel& l, int64_t y) { return l.top <= y; });
  for (auto it = first; it != labels_.end() && it->top <= area.bottom(); ++it) {
    const EntryLabel& l = *it;
    const QRect box(l.left, l.top, l.width, l.height);
    if (!box.intersects(area)) continue;
    const size_t i = static_cast<size_t>(it - labels_.begin());
    if (l.backColor != kNoColor) painter.fillRect(box, LabelColor(l.backColor));
    const bool fixedWidth = l.kind == LabelKind::Title || l.kind == LabelKind::Topic;
    if (fixedWidth) painter.setClipRect(box);
    painter.setFont(faces_[i]->font);
    painter.setPen(LabelColor(l.fontColor));
    painter.drawText(QPoint(l.left, l.top + faces_[i]->metrics.ascent()), texts_[i]);
    if (fixedWidth) painter.setClipping(false);
  }
}

void TEntryView::mouseMoveEvent(QMouseEvent* event) {
  const int i = LabelAt(event->position().toPoint());
  const bool hand = i >= 0 && Clickable(labels_[static_cast<size_t>(i)]);
  if (hand != handCursor_) {
    handCursor_ = hand;
    if (hand)
      setCursor(Qt::PointingHandCursor);
    else
      unsetCursor();
  }
  QWidget::mouseMoveEvent(event);
}

void TEntryView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = LabelAt(event->position().toPoint());
  QWidget::mousePressEvent(event);
}

void TEntryView::mouseReleaseEvent(QMouseEvent* event) {
  const int pressed = pressed_;
  pressed_ = -1;
  if (event->button() == Qt::LeftButton && pressed >= 0 &&
      LabelAt(event->position().toPoint()) == pressed &&
      Clickable(labels_[static_cast<size_t>(pressed)]))
    emit LabelClicked(pressed);
  QWidget::mouseReleaseEvent(event);
}

}  // namespace qorvex
