// The viewer's program start; see viewerapp.h.
#include "app/ui/viewerapp.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>

#include "app/ui/main_window.h"
#include "app/ui/messagehandlers.h"
#include "app/ui/screen_fonts.h"

namespace qorvex {
namespace {

// Prints the first expose of the window it watches and closes the window.
class ExposeProbe : public QObject {
 public:
  ExposeProbe(QWindow* window, QWidget* form) : form_(form) { window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && !seen_ && static_cast<QWindow*>(watched)->isExposed()) {
      seen_ = true;
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      std::printf("first-expose-ns=%lld\n",
                  static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
      std::fflush(stdout);
      QTimer::singleShot(0, form_, &QWidget::close);
    }
    return false;
  }

 private:
  QWidget* form_;
  bool seen_ = false;
};

}  // namespace

ViewerApplication::ViewerApplication(int& argc, char** argv) : app_(argc, argv) {
  QApplication::setApplicationName(QStringLiteral("Qorvex"));
  QGuiApplication::setDesktopFileName(QStringLiteral("qorvex"));
  QIcon icon;
  icon.addFile(QStringLiteral(":/qorvex.png"));
  icon.addFile(QStringLiteral(":/qorvex@2x.png"));
  QApplication::setWindowIcon(icon);
  InstallFontSubstitutions();
  InstallMessageHandlers();
}

int ViewerApplication::Run(LexiconSession& session, AudioOutput& audio) {
  TZELLex window(session, audio);
  if (window.StartResult() != TZELLex::StartState::kRunning) return 1;
  std::unique_ptr<ExposeProbe> probe;
  if (qEnvironmentVariableIsSet(kExitOnExposeVariable)) {
    window.winId();  // the platform window exists before it is first exposed
    probe = std::make_unique<ExposeProbe>(window.windowHandle(), &window);
  }
  window.show();
  return QApplication::exec();
}

std::string ViewerFolder() {
  return QDir::currentPath().toStdString() + "/";
}

void ShowSessionError(const EDBError& error) {
  ShowHandlerError(error);
}

}  // namespace qorvex
