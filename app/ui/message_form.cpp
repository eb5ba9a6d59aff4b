// SPDX-License-Identifier: GPL-3.0-or-later
// The common design of the message dialogs; see message_form.h.
#include "app/ui/message_form.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <limits>

#include "app/ui/dialoglayout.h"
#include "app/ui/pictures.h"

namespace qorvex {
namespace {

constexpr int kDesignWidth = 446;
constexpr int kDesignHeight = 198;
constexpr int kCancelResult = 2;

// Bevel1: a 2-pixel line, shadow above light, across Panel2.
class TBevelLine : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, 1, width() - 1, 1);
  }
};

QFont DialogFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

constexpr int kMessageFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs;

}  // namespace

TvxMessageForm::TvxMessageForm(const QString& caption, const QString& heading,
                               const QString& picture)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(caption);
  setFont(DialogFont(12, false));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setAutoFillBackground(true);

  Panel1 = new QWidget(this);
  Image1 = new QLabel(Panel1);
  const QPixmap pixmap = LoadPicture(picture);
  Image1->setPixmap(pixmap);
  Image1->setGeometry(
      QRect(QPoint(kImageLeft, kImageTop), pixmap.deviceIndependentSize().toSize()));
  Label1 = new QLabel(heading, Panel1);
  Label1->setFont(DialogFont(13, true));
  Label1->setTextFormat(Qt::PlainText);
  Label1->move(kHeadingLeft, kHeadingTop);
  Label2 = new QLabel(Panel1);
  Label2->setTextFormat(Qt::PlainText);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label2->move(kLabel2Left, kLabel2Top);
  Panel2 = new QWidget(Panel1);
  Bevel1 = new TBevelLine(Panel2);
  setFixedSize(kDesignWidth, kDesignHeight);
}

void TvxMessageForm::SetCaption(const QString& caption) {
  if (!caption.isEmpty()) setWindowTitle(caption);
}

void TvxMessageForm::SetHeading(const QString& heading) {
  if (!heading.isEmpty()) Label1->setText(heading);
}

void TvxMessageForm::SetMessage(const QString& text) {
  QString lines;
  lines.reserve(text.size());
  lineBreaks_ = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
      lines += QLatin1Char('\n');
      ++lineBreaks_;
    } else {
      lines += c;
    }
  }
  Label2->setText(lines);
}

void TvxMessageForm::ApplyLayout() {
  const QFontMetrics fm(Label2->font());
  const QString text = Label2->text();
  const QRect natural = text.isEmpty() ? QRect(0, 0, 0, fm.height())
                                       : fm.boundingRect(QRect(0, 0, 0, 0), kMessageFlags, text);
  TMessageText message;
  message.widestLine = natural.width();
  message.naturalHeight = natural.height();
  message.lineBreaks = lineBreaks_;
  message.wrappedHeight = [&fm, &text](int width) {
    return fm
        .boundingRect(QRect(0, 0, width, std::numeric_limits<int>::max() / 2),
                      kMessageFlags | Qt::TextWordWrap, text)
        .height();
  };
  const double scale = DialogScale(QFontInfo(font()).pointSize());
  const TMessageGeometry g = LayoutMessage(message, scale, Image1->height(), MinClientWidth());

  Label2->setWordWrap(g.wordWrap);
  Label2->resize(g.labelWidth, g.labelHeight);
  Label1->adjustSize();
  Panel1->setGeometry(0, 0, g.clientWidth, g.clientHeight);
  Panel2->setGeometry(0, g.clientHeight - kPanel2Height, g.clientWidth, kPanel2Height);
  Bevel1->setGeometry(0, kBevelTop, Panel2->width(), kBevelHeight);
  PlaceButtons(Panel2->width());
  setFixedSize(g.clientWidth, g.clientHeight);
}

int TvxMessageForm::Execute() {
  ApplyLayout();
  return exec();
}

void TvxMessageForm::reject() {
  done(kCancelResult);
}

void TvxMessageForm::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
    e->accept();  // no Default or Cancel button took it: nothing happens
    return;
  }
  QDialog::keyPressEvent(e);
}

}  // namespace qorvex
