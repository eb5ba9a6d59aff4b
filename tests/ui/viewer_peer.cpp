// SPDX-License-Identifier: GPL-3.0-or-later
// A viewer for the two-process tests and the screen-reader check: the
// viewer's own start in the current directory, with every message dialog
// answered at once and its text printed on standard output as
// "dialog: <text>", and a recording sound output that prints what it would
// play as "sound: play <file> <ms>".
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>

#include "app/ui/message_form.h"
#include "app/ui/viewerapp.h"
#include "tests/app/recording_output.h"

namespace {

class DialogAnswerer : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* form = qobject_cast<qorvex::TvxMessageForm*>(watched);
    if (form != nullptr && event->type() == QEvent::Show)
      QTimer::singleShot(0, form, [form] {
        std::printf("dialog: %s\n", form->Label2->text().toUtf8().constData());
        std::fflush(stdout);
        form->reject();
      });
    return false;
  }
};

class PrintingOutput : public qorvex::RecordingOutput {
 public:
  void PlayAndWait() override {
    RecordingOutput::PlayAndWait();
    std::printf("sound: %s\n", log().back().c_str());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  qorvex::ViewerApplication app(argc, argv);
  qApp->installEventFilter(new DialogAnswerer);
  qorvex::LexiconSession session(qorvex::ViewerFolder(), {}, qorvex::ShowSessionError);
  PrintingOutput audio;
  return app.Run(session, audio);
}
