// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's program start; see viewerapp.h.
#include "app/ui/viewerapp.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "app/ui/main_window.h"
#include "app/ui/messagehandlers.h"
#include "app/ui/screen_fonts.h"
#include "qorvex_version.h"

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

constexpr const char* kUsage =
    "usage: qorvex [QT-OPTION]...\n"
    "       qorvex --help | --version\n"
    "Shows the amateur-radio glossary of the current directory: imports the\n"
    "delivery file ZEL_LEX.CSV lying there at every start, keeps the lexicon\n"
    "(QDLex.*) and the settings (QDSETUP.*) there and plays the WAV recordings\n"
    "found there. The menu entry starts it through qorvex-launch, in a folder\n"
    "of the user's own. Qt's options pass on to Qt (-platform NAME, -style NAME,\n"
    "-reverse, -display DISPLAY, ...). Exit code 0, 1 when the start failed,\n"
    "2 on bad usage.\n";

// Qt's command-line options as its applications take them, with one dash
// or two; the first group takes its value as the next argument, and
// qmljsdebugger, style and stylesheet also as "=VALUE".
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "title",         "name",   "visual"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "testability", "nograb",
                                         "dograb"};
constexpr std::string_view kQtOptionsWithInlineValue[] = {
    "qmljsdebugger=", "style=", "stylesheet="};

}  // namespace

std::optional<int> ReadCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("qorvex %s\n", kVersion);
      return 0;
    }
    std::string_view name = arg;
    if (name.starts_with("--"))
      name.remove_prefix(2);
    else if (name.starts_with("-"))
      name.remove_prefix(1);
    else
      name = {};
    bool known = false;
    for (std::string_view o : kQtFlags) known = known || name == o;
    for (std::string_view o : kQtOptionsWithInlineValue)
      known = known || (name.starts_with(o) && name.size() > o.size());
    for (std::string_view o : kQtOptionsWithValue) {
      if (name != o) continue;
      if (i + 1 == argc) {
        std::fprintf(stderr, "qorvex: %s needs a value (qorvex --help shows the usage)\n", argv[i]);
        return 2;
      }
      known = true;
      ++i;
    }
    if (!known) {
      std::fprintf(stderr, "qorvex: %s %s (qorvex --help shows the usage)\n",
                   arg.starts_with("-") ? "unknown option:" : "takes no arguments:", argv[i]);
      return 2;
    }
  }
  return std::nullopt;
}

ViewerApplication::ViewerApplication(int& argc, char** argv) : app_(argc, argv) {
  QApplication::setApplicationName(QStringLiteral("Qorvex"));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
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
