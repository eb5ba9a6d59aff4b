// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command button; see command_button.h.
#include "app/ui/command_button.h"

#include "app/ui/accessibility.h"

#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QPainter>
#include <QPolygon>
#include <QShortcutEvent>
#include <array>

#include "app/ui/pictures.h"

namespace qorvex {
namespace {

constexpr int kMenuPartWidth = 17;   // the arrow part beside the click part
constexpr int kMenuArrowWidth = 12;  // the arrow part of a menu-only button
constexpr int kCreationHeight = 35;
constexpr int kCreationWidth = 75;
const QColor kDisabledCaption(128, 128, 128);
const QColor kSilver(192, 192, 192);

// The kind's glyph, loaded once per kind and shared by all its buttons.
// Kinds whose own glyph is not drawn share the neutral glyph.
QPixmap KindGlyph(TvxBitBtnKind kind) {
  static std::array<QPixmap, kBitBtnKindCount> cache;
  static std::array<bool, kBitBtnKindCount> loaded{};
  const TvxBitBtnKindInfo& info = KindInfo(kind);
  if (info.glyph == nullptr) return {};
  if (!loaded[info.number]) {
    QPixmap glyph = LoadPicture(QStringLiteral("glyphs/") + QLatin1String(info.glyph));
    if (glyph.isNull()) glyph = LoadPicture(QStringLiteral("glyphs/VXBBNEUTRAL"));
    cache[info.number] = glyph;
    loaded[info.number] = true;
  }
  return cache[info.number];
}

// A raised or sunken edge, two pixels wide, on the rectangle's border.
void DrawEdge(QPainter& p, const QRect& r, bool raised, const QPalette& pal) {
  const QColor outerLight = raised ? pal.color(QPalette::Midlight) : pal.color(QPalette::Dark);
  const QColor outerDark = raised ? pal.color(QPalette::Shadow) : pal.color(QPalette::Light);
  const QColor innerLight = raised ? pal.color(QPalette::Light) : pal.color(QPalette::Shadow);
  const QColor innerDark = raised ? pal.color(QPalette::Dark) : pal.color(QPalette::Midlight);
  auto frame = [&p](const QRect& f, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(f.left(), f.bottom() - 1, f.left(), f.top());
    p.drawLine(f.left(), f.top(), f.right() - 1, f.top());
    p.setPen(bottomRight);
    p.drawLine(f.left(), f.bottom(), f.right(), f.bottom());
    p.drawLine(f.right(), f.bottom(), f.right(), f.top());
  };
  frame(r, outerLight, outerDark);
  frame(r.adjusted(1, 1, -1, -1), innerLight, innerDark);
}

void DrawMenuArrow(QPainter& p, const QRect& part, const QColor& color) {
  const int cx = part.left() + part.width() / 2;
  const int cy = part.top() + part.height() / 2;
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPolygon(QPolygon({{cx - 3, cy - 1}, {cx + 4, cy - 1}, {cx, cy + 3}}));
}

QImage Faded(const QImage& image) {
  if (image.isNull() || image.format() == QImage::Format_Indexed8 ||
      image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
    return {};  // no faded copy of palette pictures
  QImage faded = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < faded.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(faded.scanLine(y));
    for (int x = 0; x < faded.width(); ++x)
      line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), qAlpha(line[x]) / 3);
  }
  return faded;
}

bool IsEnter(const QKeyEvent* k) {
  return (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
         (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

TvxBitBtn::TvxBitBtn(QWidget* parent) : QPushButton(parent) {
  // Enter and the dialog's default are ours; the platform's own automatic
  // default button would click a second time.
  setAutoDefault(false);
  resize(kCreationWidth, kCreationHeight);
  InstallAccessibility();  // a reader hears the caption without its marks
}

TvxBitBtnKind TvxBitBtn::vxKind() const {
  return modifiedGlyph_ ? bkCustom : kind_;
}

void TvxBitBtn::SetVxKind(TvxBitBtnKind kind) {
  if (kind == kind_) return;
  if (kind != bkCustom) {
    const TvxBitBtnKindInfo& info = KindInfo(kind);
    default_ = kind == bkOK || kind == bkYes || kind == bkUebernahme;
    cancel_ = kind == bkCancel || kind == bkNo;
    if (info.caption != nullptr && !(loading_ && !text().isEmpty()))
      setText(QString::fromUtf8(info.caption));
    if (kindQD5_ == bkCustom) kindQD5_ = kind;
    modalResult_ = info.result;
    glyph_ = KindGlyph(kind);
    numGlyphs_ = 2;
    modifiedGlyph_ = false;
  }
  kind_ = kind;
  update();
}

void TvxBitBtn::Load(TvxBitBtnKind kind, const QString& storedCaption) {
  setText(storedCaption);
  loading_ = true;
  SetVxKind(kind);
  loading_ = false;
}

void TvxBitBtn::SetGlyph(const QPixmap& glyph) {
  glyph_ = glyph;
  modifiedGlyph_ = true;
  update();
}

void TvxBitBtn::SetNumGlyphs(int n) {
  numGlyphs_ = std::clamp(n, 1, 4);
  update();
}

void TvxBitBtn::SetLayout(TvxGlyphLayout layout) {
  layout_ = layout;
  update();
}

void TvxBitBtn::SetMargin(int margin) {
  margin_ = margin;
  update();
}

void TvxBitBtn::SetSpacing(int spacing) {
  spacing_ = spacing;
  update();
}

void TvxBitBtn::SetStyle(TvxButtonStyle style) {
  style_ = style;
  update();
}

void TvxBitBtn::SetDefault(bool on) {
  default_ = on;
  update();
}

void TvxBitBtn::SetVxautoWidth(int n) {
  if (n <= 0) return;
  if (captionRect_.width() > 1) {
    resize(captionRect_.width() + n, height());
    return;
  }
  QWidget* owner = parentWidget();
  if (owner != nullptr && !owner->isWindow()) owner = owner->parentWidget();
  if (owner != nullptr && owner->isWindow())
    resize(QFontMetrics(owner->font()).horizontalAdvance(text()) + n, height());
}

void TvxBitBtn::SetVxDeaktiviert(bool on) {
  deaktiviert_ = on;
  update();
}

void TvxBitBtn::SetVxnichtTransparent(bool on) {
  nichtTransparent_ = on;
  update();
}

void TvxBitBtn::SetVxnichtTransparentColor(const QColor& color) {
  faceColor_ = color;
  update();
}

void TvxBitBtn::SetVxnichtTransparentRahmenColor(const QColor& color) {
  borderColor_ = color;
  update();
}

void TvxBitBtn::SetVxnichtFlat(bool on) {
  nichtFlat_ = on;
  update();
}

void TvxBitBtn::SetVxFlatround(bool on) {
  flatround_ = on;
  update();
}

void TvxBitBtn::SetVxMenue(QMenu* menu) {
  menu_ = menu;
  update();
}

void TvxBitBtn::SetImageNormal(const QImage& image) {
  imageNormal_ = image;
  imageFaded_ = Faded(image);
  update();
}

void TvxBitBtn::SetImageDown(const QImage& image) {
  imageDown_ = image;
  update();
}

void TvxBitBtn::SetImageOver(const QImage& image) {
  imageOver_ = image;
  update();
}

bool TvxBitBtn::HasClickHandler() const {
  static const QMetaMethod clickedSignal = QMetaMethod::fromSignal(&QAbstractButton::clicked);
  return isSignalConnected(clickedSignal);
}

void TvxBitBtn::Click() {
  const bool menuHit = menuHit_;
  menuHit_ = false;
  if (kind_ == bkClose && window() != this) {
    window()->close();  // a message form then closes with "cancel"
    return;
  }
  if (menu_ && (menuHit || !HasClickHandler())) {
    menu_->popup(mapToGlobal(QPoint(0, height())));
    return;
  }
  QPointer<TvxBitBtn> self(this);
  emit clicked(false);
  if (!self || modalResult_ == 0) return;
  if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
}

void TvxBitBtn::WatchWindow() {
  QWidget* w = window();
  if (w == this || w == watched_) return;
  if (watched_) watched_->removeEventFilter(this);
  watched_ = w;
  w->installEventFilter(this);
}

void TvxBitBtn::showEvent(QShowEvent* e) {
  QPushButton::showEvent(e);
  WatchWindow();
}

// Enter and Escape that no control of the window took arrive here on their
// way up to the window.
bool TvxBitBtn::eventFilter(QObject* watched, QEvent* e) {
  if (watched == watched_ && e->type() == QEvent::KeyPress && isVisible() && isEnabled()) {
    auto* k = static_cast<QKeyEvent*>(e);
    const bool escape = k->key() == Qt::Key_Escape && k->modifiers() == Qt::NoModifier;
    if ((default_ && IsEnter(k)) || (cancel_ && escape)) {
      k->accept();
      Click();
      return true;
    }
  }
  return QPushButton::eventFilter(watched, e);
}

bool TvxBitBtn::event(QEvent* e) {
  if (e->type() == QEvent::Shortcut && isEnabled()) {
    auto* shortcut = static_cast<QShortcutEvent*>(e);
    if (!shortcut->isAmbiguous()) {
      if (focusPolicy() & Qt::TabFocus) setFocus(Qt::ShortcutFocusReason);
      Click();
      return true;
    }
  }
  return QPushButton::event(e);
}

void TvxBitBtn::enterEvent(QEnterEvent* e) {
  QPushButton::enterEvent(e);
  if (!isEnabled()) return;
  mouseInside_ = mouseOver_ = true;
  emit OnMouseEnter();
  update();
}

void TvxBitBtn::leaveEvent(QEvent* e) {
  QPushButton::leaveEvent(e);
  mouseInside_ = mouseOver_ = false;
  if (isEnabled()) emit OnMouseLeave();
  update();
}

void TvxBitBtn::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && menu_ &&
      (!HasClickHandler() || e->position().x() > width() - 13)) {
    menuHit_ = true;
    e->accept();
    Click();
    return;
  }
  QPushButton::mousePressEvent(e);
}

void TvxBitBtn::mouseReleaseEvent(QMouseEvent* e) {
  const bool click =
      e->button() == Qt::LeftButton && isDown() && hitButton(e->position().toPoint());
  if (click) setDown(false);  // the base then only ends the press
  QPushButton::mouseReleaseEvent(e);
  if (!click) return;
  e->accept();
  emit released();
  Click();
}

void TvxBitBtn::keyPressEvent(QKeyEvent* e) {
  if (IsEnter(e)) {  // the focused button takes Enter
    e->accept();
    Click();
    return;
  }
  QPushButton::keyPressEvent(e);
}

void TvxBitBtn::keyReleaseEvent(QKeyEvent* e) {
  const bool click =
      (e->key() == Qt::Key_Space || e->key() == Qt::Key_Select) && !e->isAutoRepeat() && isDown();
  if (click) setDown(false);
  QPushButton::keyReleaseEvent(e);
  if (!click) return;
  e->accept();
  emit released();
  Click();
}

void TvxBitBtn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const int w = width();
  const int h = height();

  // 1. State.
  enum class State { Up, Disabled, Down, DisabledLook };
  if (!isEnabled()) mouseInside_ = false;
  const State state = !isEnabled()   ? State::Disabled
                      : isDown()     ? State::Down
                      : deaktiviert_ ? State::DisabledLook
                                     : State::Up;
  const bool pressed = state == State::Down;
  const bool disabledLook = state == State::Disabled || state == State::DisabledLook;
  const bool hasHandler = HasClickHandler();

  // 2. Background: the parent's colour unless the button has its own face.
  QColor face = pal.color(QPalette::Button);
  if (!nichtTransparent_ && parentWidget() != nullptr)
    face = parentWidget()->palette().color(parentWidget()->backgroundRole());
  p.fillRect(rect(), nichtTransparent_ && faceColor_.isValid() ? faceColor_ : face);
  if (borderColor_.isValid()) {
    p.setPen(QPen(borderColor_, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    p.drawRect(QRectF(3, 3, w - 6, h - 6));
  }

  // 3. Edge: flat unless under the mouse, pressed, or always raised.
  auto edge = [&](bool raised) {
    if (menu_ && hasHandler) {
      DrawEdge(p, QRect(0, 0, w - kMenuPartWidth, h), raised, pal);
      DrawEdge(p, QRect(w - kMenuPartWidth, 0, kMenuPartWidth, h), raised, pal);
    } else {
      DrawEdge(p, rect(), raised, pal);
    }
  };
  if (pressed) {
    edge(false);
    lastDrawnPressed_ = true;
  } else if (mouseInside_ || nichtFlat_ || lastDrawnPressed_) {
    edge(true);
    lastDrawnPressed_ = false;
  }
  if (menu_) {
    const int part = hasHandler ? kMenuPartWidth : kMenuArrowWidth;
    DrawMenuArrow(p, QRect(w - part, 0, part, h),
                  disabledLook ? kDisabledCaption : pal.color(QPalette::ButtonText));
  }

  // 4. Rounded face.
  if (flatround_) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(kSilver);
    p.setBrush(highlight_);
    p.drawRoundedRect(QRectF(1.5, 1.5, w - 3, h - 3), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
  }

  // 5. Working rectangle.
  QRect work = rect();
  if (hasFocus()) work.adjust(1, 1, -1, -1);
  if (pressed) work.translate(1, 1);

  // 7 (measure first). Glyph and caption layout along the layout axis.
  QRect area = work;
  if (menu_) area.setRight(area.right() - (hasHandler ? kMenuPartWidth : kMenuArrowWidth));
  QSize glyphSize(0, 0);
  if (!glyph_.isNull()) {
    const QSizeF logical = glyph_.deviceIndependentSize();
    glyphSize =
        QSize(static_cast<int>(logical.width()) / numGlyphs_, static_cast<int>(logical.height()));
  }
  QString caption = text();
  caption.replace(QLatin1Char('|'), QLatin1Char('\n'));
  QFont captionFont = font();
  captionFont.setBold(default_);
  const QFontMetrics fm(captionFont);
  constexpr int kTextFlags =
      Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
  const QSize textSize =
      caption.isEmpty()
          ? QSize(0, 0)
          : fm.boundingRect(QRect(0, 0, std::max(area.width(), 1), 0), kTextFlags, caption).size();

  TvxGlyphLayout layout = layout_;
  if (layoutDirection() == Qt::RightToLeft) {
    if (layout == TvxGlyphLayout::Left)
      layout = TvxGlyphLayout::Right;
    else if (layout == TvxGlyphLayout::Right)
      layout = TvxGlyphLayout::Left;
  }
  const bool horizontal = layout == TvxGlyphLayout::Left || layout == TvxGlyphLayout::Right;
  const int along = horizontal ? area.width() : area.height();
  const int across = horizontal ? area.height() : area.width();
  const int glyphAlong = horizontal ? glyphSize.width() : glyphSize.height();
  const int glyphAcross = horizontal ? glyphSize.height() : glyphSize.width();
  const int textAlong = horizontal ? textSize.width() : textSize.height();
  const int textAcross = horizontal ? textSize.height() : textSize.width();
  int margin = margin_;
  int spacing = spacing_;
  if (caption.isEmpty() || glyphAlong == 0) spacing = 0;
  if (margin == -1 && spacing == -1) {
    margin = spacing = (along - glyphAlong - textAlong) / 3;
  } else if (margin == -1) {
    margin = (along - glyphAlong - spacing - textAlong + 1) / 2;
  } else if (spacing == -1) {
    spacing = (along - margin - glyphAlong - textAlong) / 2;
  }
  int glyphAt = 0, textAt = 0;
  if (layout == TvxGlyphLayout::Left || layout == TvxGlyphLayout::Top) {
    glyphAt = margin;
    textAt = glyphAt + glyphAlong + spacing;
  } else {
    glyphAt = along - margin - glyphAlong;
    textAt = glyphAt - spacing - textAlong;
  }
  const int glyphAcrossAt = (across - glyphAcross + 1) / 2;
  const int textAcrossAt = (across - textAcross + 1) / 2;
  const QPoint glyphPos = area.topLeft() + (horizontal ? QPoint(glyphAt, glyphAcrossAt)
                                                       : QPoint(glyphAcrossAt, glyphAt));
  const QPoint textPos =
      area.topLeft() + (horizontal ? QPoint(textAt, textAcrossAt) : QPoint(textAcrossAt, textAt));

  // 6. Picture or glyph.
  const bool overEnabled = mouseOver_ && isEnabled();
  const QImage* picture = &imageNormal_;
  if (pressed && !imageDown_.isNull())
    picture = &imageDown_;
  else if (overEnabled && !imageOver_.isNull())
    picture = &imageOver_;
  else if (!overEnabled && disabledLook && !imageFaded_.isNull())
    picture = &imageFaded_;
  if (!picture->isNull()) {
    const QSizeF size = picture->deviceIndependentSize();
    const QPointF at(glyphPos.x() + (glyphSize.width() - size.width()) / 2.0,
                     glyphPos.y() + (glyphSize.height() - size.height()) / 2.0);
    p.drawImage(QRectF(at, size), *picture);
  } else if (!glyph_.isNull()) {
    int index = pressed ? 2 : disabledLook ? 1 : 0;
    if (index >= numGlyphs_) index = 0;
    const qreal ratio = glyph_.devicePixelRatio();
    const QRectF source(index * glyphSize.width() * ratio, 0, glyphSize.width() * ratio,
                        glyphSize.height() * ratio);
    p.drawPixmap(QRectF(glyphPos, QSizeF(glyphSize)), glyph_, source);
  }

  // 7. Caption.
  captionRect_ = QRect(textPos, textSize);
  if (!caption.isEmpty()) {
    QColor color = pal.color(QPalette::ButtonText);
    if (flatround_ && state == State::Disabled)
      color = kSilver;
    else if (disabledLook)
      color = kDisabledCaption;
    p.setFont(captionFont);
    p.setPen(color);
    p.drawText(captionRect_, kTextFlags, caption);
  }

  // 8. Focus rectangle, when the keyboard moved the focus.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    QRect focus = rect().adjusted(4, 4, -5, -5);
    if (menu_ && hasHandler) focus.setRight(focus.right() - kMenuPartWidth);
    p.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(focus);
  }
}

}  // namespace qorvex
