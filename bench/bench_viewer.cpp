// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's window on the offscreen platform:
//  - render64k: showing an entry of 64,000 characters (about 10,000 word
//    pieces, with bold words, line breaks, links and Morse) in the main
//    window: from the call of the window's RenderEntry until it has returned
//    and one processEvents() has run (the visible labels painted);
//  - startup10k: a real start of the qorvex program in a folder with a
//    ZEL_LEX.CSV of 10,000 entries (text 600 bytes on average): from just
//    before the process is started until its main window's first expose
//    event (the import, the tree builds and the layout included), which the
//    program reports when QORVEX_EXIT_ON_EXPOSE is set.
//
//   bench_viewer [--repeat R]
//
// Prints each figure's runs and, last, the medians in milliseconds.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/audio_output.h"
#include "app/ui/entryview.h"
#include "app/ui/main_window.h"
#include "app/ui/screen_fonts.h"
#include "app/ui/viewerapp.h"
#include "bench/bench_data.h"

namespace {

using namespace qorvex;
using bench::Median;

void Print(const char* name, const std::vector<double>& ms) {
  std::printf("%s:", name);
  for (double m : ms) std::printf(" %.1f", m);
  std::printf(" ms; median %.2f ms\n", Median(ms));
}

int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// No sound: the benchmark never clicks a sound.
class SilentOutput : public AudioOutput {
 public:
  void Close() override {}
  void SetFileName(const std::string&) override {}
  void Open() override {}
  void PlayAndWait() override {}
  void Pause(int) override {}
};

double Render64k(const std::filesystem::path& folder, int repeat) {
  std::filesystem::create_directories(folder);
  {
    std::ofstream out(folder / "ZEL_LEX.CSV", std::ios::binary);
    out << "Langer Eintrag;<Thema>" << bench::MakeEntryText(64000) << ";\r\n";
  }
  const std::string home = std::filesystem::current_path().string();
  if (::chdir(folder.c_str()) != 0) return -1;
  std::vector<double> ms;
  {
    SilentOutput silent;
    LexiconSession session(folder.string(), {}, ShowSessionError);
    TZELLex window(session, silent);
    window.show();
    QCoreApplication::processEvents();
    if (!window.Lex->FindTerm("Langer Eintrag")) return -1;
    for (int r = 0; r < repeat; ++r) {
      window.ClearEntryView();
      QCoreApplication::processEvents();
      const auto start = std::chrono::steady_clock::now();
      window.RenderEntry(true, false);
      QCoreApplication::processEvents();
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
    std::printf("entry of 64,000 characters: %zu labels\n", window.EntryView->Labels().size());
    window.close();
  }
  if (::chdir(home.c_str()) != 0) return -1;
  Print("render64k", ms);
  return Median(ms);
}

double Startup10k(const std::filesystem::path& folder, int repeat) {
  std::filesystem::create_directories(folder);
  {
    std::ofstream out(folder / "ZEL_LEX.CSV", std::ios::binary);
    out << bench::MakeDeliveryFile(10000);
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(kExitOnExposeVariable, "1");
  std::vector<double> ms;
  for (int r = 0; r < repeat; ++r) {
    QProcess viewer;
    viewer.setWorkingDirectory(QString::fromStdString(folder.string()));
    viewer.setProcessEnvironment(env);
    const int64_t start = MonotonicNs();
    viewer.start(QORVEX_VIEWER, {});
    if (!viewer.waitForFinished(120000) || viewer.exitCode() != 0) {
      std::fprintf(stderr, "bench_viewer: the viewer failed: %s\n",
                   viewer.readAllStandardError().constData());
      return -1;
    }
    const QByteArray out = viewer.readAllStandardOutput();
    const qsizetype at = out.indexOf("first-expose-ns=");
    if (at < 0) {
      std::fprintf(stderr, "bench_viewer: no expose reported\n");
      return -1;
    }
    const int64_t exposed = out.mid(at + 16).trimmed().toLongLong();
    ms.push_back(static_cast<double>(exposed - start) / 1e6);
  }
  Print("startup10k", ms);
  return Median(ms);
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 9;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("qorvex-viewer-" + std::to_string(getpid()));
  const double render = Render64k(root / "render", repeat);
  const double startup = Startup10k(root / "startup", std::min(repeat, 5));
  std::filesystem::remove_all(root);
  if (render < 0 || startup < 0) return 1;
  std::printf("render64k_ms=%.1f startup10k_ms=%.1f\n", render, startup);
  return 0;
}
