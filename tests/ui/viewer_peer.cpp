// A second viewer for the two-process tests: the viewer's own start in the
// current directory (a recording sound output), with every message dialog
// answered at once and its text printed on standard output as "dialog: <text>".
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

}  // namespace

int main(int argc, char** argv) {
  qorvex::ViewerApplication app(argc, argv);
  qApp->installEventFilter(new DialogAnswerer);
  qorvex::LexiconSession session(qorvex::ViewerFolder(), {}, qorvex::ShowSessionError);
  qorvex::RecordingOutput audio;  // its sounds are not listened to
  return app.Run(session, audio);
}
