// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-gallery DIR: grabs the client area of each message dialog, with a
// short and a long message, and each command-button kind the program uses
// in its normal, mouse-over, default and deactivated states, as PNG files in
// DIR. Runs on the offscreen platform; for looking at the window layer.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/ui/command_button.h"
#include "app/ui/error_dialog.h"
#include "app/ui/notice_dialog.h"
#include "app/ui/question_dialog.h"
#include "app/ui/screen_fonts.h"
#include "app/ui/warning_dialog.h"

namespace qorvex {
namespace {

// About 1,500 pixels on its first line at the dialog font, then two more
// lines after carriage returns.
QString LongMessage() {
  return QString::fromUtf8(
             "Die Datei QDLex konnte nicht geöffnet werden, weil ein anderes Programm sie "
             "gerade exklusiv benutzt; bitte schließen Sie das andere Programm oder warten "
             "Sie einen Moment, bis es seine Arbeit beendet hat, und versuchen Sie es dann "
             "noch einmal über die Schaltfläche unten.") +
         QLatin1Char('\r') + QString::fromUtf8("Zweite Zeile: Äpfel, Öl und Übermut.") +
         QLatin1Char('\r') + QString::fromUtf8("Dritte Zeile.");
}

bool Save(const QPixmap& pixmap, const QDir& dir, const QString& name) {
  const QString file = dir.filePath(name + ".png");
  if (!pixmap.save(file, "PNG")) {
    std::fprintf(stderr, "qorvex-gallery: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

bool GrabForms(const QDir& dir) {
  using Make = std::function<std::unique_ptr<TvxMessageForm>()>;
  const std::pair<const char*, Make> forms[] = {
      {"Tjaneinfrage", [] { return std::make_unique<Tjaneinfrage>(); }},
      {"Thinweis", [] { return std::make_unique<Thinweis>(); }},
      {"Tfehler", [] { return std::make_unique<Tfehler>(); }},
      {"Tachtung", [] { return std::make_unique<Tachtung>(); }},
  };
  const std::pair<const char*, QString> texts[] = {
      {"short", QString::fromUtf8("Kein Thema ausgewählt.")},
      {"long", LongMessage()},
  };
  for (const auto& [formName, make] : forms)
    for (const auto& [textName, text] : texts) {
      std::unique_ptr<TvxMessageForm> form = make();
      form->SetMessage(text);
      form->ApplyLayout();
      form->show();
      const bool saved = Save(form->grab(), dir, QString("%1-%2").arg(formName, textName));
      form->hide();
      if (!saved) return false;
    }
  return true;
}

bool GrabButtons(const QDir& dir) {
  struct Button {
    TvxBitBtnKind kind;
    const char* caption;  // "": the kind's own
    int width, height;
  };
  const Button buttons[] = {
      {bkYes, "", 81, 35},     {bkNo, "", 81, 35},
      {bkClose, "", 105, 35},  {bkCancel, "&Abbrechen", 113, 35},
      {bkWeiter, "", 105, 35}, {bkGStart, "Suche starten", 125, 45},
  };
  const char* states[] = {"normal", "over", "default", "deaktiviert"};
  for (const Button& b : buttons)
    for (const char* state : states) {
      QWidget host;
      QFont font(QStringLiteral("Arial"));
      font.setPixelSize(12);
      host.setFont(font);
      host.setAutoFillBackground(true);
      host.resize(b.width, b.height);
      auto* button = new TvxBitBtn(&host);
      button->Load(b.kind, QString::fromUtf8(b.caption));
      button->setGeometry(0, 0, b.width, b.height);
      button->SetDefault(QByteArray(state) == "default");
      button->SetVxDeaktiviert(QByteArray(state) == "deaktiviert");
      host.show();
      if (QByteArray(state) == "over") {
        QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
        QApplication::sendEvent(button, &enter);
      }
      const QString name =
          QString("button-%1-%2").arg(QLatin1String(KindInfo(b.kind).name), QLatin1String(state));
      if (!Save(button->grab(), dir, name)) return false;
    }
  return true;
}

}  // namespace
}  // namespace qorvex

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qorvex-gallery DIR\n");
    return 2;
  }
  qorvex::InstallFontSubstitutions();
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "qorvex-gallery: cannot make %s\n", argv[1]);
    return 1;
  }
  return qorvex::GrabForms(dir) && qorvex::GrabButtons(dir) ? 0 : 1;
}
