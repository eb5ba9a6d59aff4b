// SPDX-License-Identifier: GPL-3.0-or-later
// TvxBitBtn, the program's command button (window layer): a push button
// that draws itself with QPainter. A glyph or a PNG picture beside a caption
// that may break into lines ("|"), a flat look that shows the raised edge
// only under the mouse, optional coloured and rounded faces, a disabled look
// for a button that still reacts, a drop-down menu, and 147 predefined kinds
// that set caption, glyph and dialog result in one go (bitbtnkinds.h).
//
// Clicks: every click (mouse, Space, Enter on the focused button, access
// key, Enter or Escape in the window for a Default or Cancel button) goes
// through Click(), which runs the kind's own action, opens the menu, or
// emits clicked() and then closes a dialog with ModalResult. Call Click(),
// not QAbstractButton::click(), to click from code.
//
// Invariants:
//  1. vxautoWidth() is always 0; setting it only resizes the button.
//  2. While the glyph was set by hand after the kind, vxKind() is bkCustom.
#pragma once

#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRect>

#include "app/ui/bitbtnkinds.h"

namespace qorvex {

enum class TvxGlyphLayout { Left, Right, Top, Bottom };
enum class TvxButtonStyle { Auto, Old, New };

class TvxBitBtn : public QPushButton {
  Q_OBJECT

 public:
  explicit TvxBitBtn(QWidget* parent = nullptr);

  // The kind; bkCustom while the glyph was changed by hand after it.
  TvxBitBtnKind vxKind() const;
  // Only a change of kind has an effect: Default and Cancel follow the kind,
  // the caption becomes the kind's (see Load), ModalResult and glyph are
  // the kind's, NumGlyphs is 2, and vxKindQD5 takes the kind while it is
  // still bkCustom.
  void SetVxKind(TvxBitBtnKind kind);
  TvxBitBtnKind vxKindQD5() const { return kindQD5_; }
  void SetVxKindQD5(TvxBitBtnKind kind) { kindQD5_ = kind; }
  // Builds the button as a stored form does: the caption first, then the
  // kind. A caption that is not empty wins over the kind's caption.
  void Load(TvxBitBtnKind kind, const QString& storedCaption);

  // NumGlyphs images side by side: up, disabled, pressed, held down.
  const QPixmap& Glyph() const { return glyph_; }
  void SetGlyph(const QPixmap& glyph);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);  // clamped to 1..4
  TvxGlyphLayout Layout() const { return layout_; }
  void SetLayout(TvxGlyphLayout layout);
  // Pixels between edge and glyph; -1 centres glyph and caption together.
  int Margin() const { return margin_; }
  void SetMargin(int margin);
  // Pixels between glyph and caption; -1 spreads them evenly.
  int Spacing() const { return spacing_; }
  void SetSpacing(int spacing);
  // Kept and redrawn; the drawing does not depend on it.
  TvxButtonStyle Style() const { return style_; }
  void SetStyle(TvxButtonStyle style);

  // Enter in the window clicks the Default button (drawn with a bold
  // caption); Escape clicks the Cancel button. Both work in any window.
  bool Default() const { return default_; }
  void SetDefault(bool on);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool on) { cancel_ = on; }
  // After a click, a dialog holding the button closes with this result
  // (0: it stays open).
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }

  // n > 0 sets the width to the caption's width at the last drawing plus n
  // (or, before any drawing, its text width on the form plus n).
  int vxautoWidth() const { return 0; }
  void SetVxautoWidth(int n);
  // Drawn as disabled (grey caption, disabled glyph, faded picture) while
  // still enabled: a click still runs.
  bool vxDeaktiviert() const { return deaktiviert_; }
  void SetVxDeaktiviert(bool on);
  // false: face and border take the parent's background colour.
  bool vxnichtTransparent() const { return nichtTransparent_; }
  void SetVxnichtTransparent(bool on);
  // Face colour while vxnichtTransparent; invalid: none.
  QColor vxnichtTransparentColor() const { return faceColor_; }
  void SetVxnichtTransparentColor(const QColor& color);
  // Valid: a 2-pixel border in this colour.
  QColor vxnichtTransparentRahmenColor() const { return borderColor_; }
  void SetVxnichtTransparentRahmenColor(const QColor& color);
  // The raised edge always, not only under the mouse.
  bool vxnichtFlat() const { return nichtFlat_; }
  void SetVxnichtFlat(bool on);
  // A face with rounded corners in the highlight colour.
  bool vxFlatround() const { return flatround_; }
  void SetVxFlatround(bool on);
  // Drop-down menu (not owned). With a click handler connected, only the
  // rightmost 12 pixels open it.
  QMenu* vxMenue() const { return menu_; }
  void SetVxMenue(QMenu* menu);

  // Pictures drawn instead of the glyph: normal, pressed, under the mouse.
  const QImage& ImageNormal() const { return imageNormal_; }
  void SetImageNormal(const QImage& image);
  const QImage& ImageDown() const { return imageDown_; }
  void SetImageDown(const QImage& image);
  const QImage& ImageOver() const { return imageOver_; }
  void SetImageOver(const QImage& image);

  void Click();

  // Where the caption was drawn at the last drawing (empty before).
  QRect CaptionRect() const { return captionRect_; }

 signals:
  void OnMouseEnter();
  void OnMouseLeave();

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  bool HasClickHandler() const;
  void WatchWindow();

  TvxBitBtnKind kind_ = bkCustom;
  TvxBitBtnKind kindQD5_ = bkCustom;
  bool modifiedGlyph_ = false;
  bool loading_ = false;
  QPixmap glyph_;
  int numGlyphs_ = 1;
  TvxGlyphLayout layout_ = TvxGlyphLayout::Left;
  int margin_ = -1;
  int spacing_ = 4;
  TvxButtonStyle style_ = TvxButtonStyle::Auto;
  bool default_ = false;
  bool cancel_ = false;
  int modalResult_ = 0;
  bool deaktiviert_ = false;
  bool nichtTransparent_ = false;
  QColor faceColor_;
  QColor borderColor_;
  bool nichtFlat_ = false;
  bool flatround_ = false;
  QPointer<QMenu> menu_;
  QImage imageNormal_, imageDown_, imageOver_;
  QImage imageFaded_;  // imageNormal_ with every alpha divided by 3

  bool mouseInside_ = false;
  bool mouseOver_ = false;
  bool menuHit_ = false;
  bool lastDrawnPressed_ = false;
  QRect captionRect_;
  QColor highlight_{255, 223, 170};
  QPointer<QWidget> watched_;  // the window whose Enter and Escape we see
};

}  // namespace qorvex
