// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user meets it, offscreen, each test in a program
// folder of its own: start and placement, the import, the search, selecting
// entries, the see-also list, resizing, sound, and a second viewer started
// while the first holds the lexicon.
#include "app/ui/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/core/entry_text.h"
#include "app/core/wavfile.h"
#include "app/ui/accessibility.h"
#include "app/ui/command_button.h"
#include "app/ui/cp1252text.h"
#include "app/ui/edit_field.h"
#include "app/ui/entrytreemodel.h"
#include "app/ui/entryview.h"
#include "app/ui/message_form.h"
#include "app/ui/viewerapp.h"
#include "tests/app/recording_output.h"
#include "tests/isam/testutil.h"
#include "tests/ui/uitest.h"

namespace qorvex {
namespace {

using isam::testing::ReadAll;
using testing::AnswerNextDialog;

// Term, topic, see-also, text; Windows-1252.
struct Line {
  std::string term, topic, seeAlso, text;
};

std::vector<Line> SampleLines() {
  std::string waves;
  for (int i = 0; i < 60; ++i) waves += "Wellenl\xE4nge ";  // many lines
  std::vector<Line> lines = {
      {"Dipol", "Antennen", "Antenne, Yagi", "Ein <b>Dipol</b> strahlt ab."},
      {"Yagi", "Antennen", "Dipol, Antenne", "Richtantenne."},
      {"Groundplane", "Antennen", "Antenne", "Vertikal."},
      {"Rapport", "Betrieb", "QSO",
       "<Morse>SOS</Morse> <Ton=TON.WAV>Ton</Ton> http://example.org/x"},
      {"QSO", "Betrieb", "Rapport", "Verbindung."},
      {"Zeta", "zulu", "", "Allein."},
      {"Welle", "\xC4ther", "", waves},
      {"Alpha", "alpha", "", "Erste."},
  };
  for (int i = 1; i <= 15; ++i)
    lines.push_back({"Band " + std::to_string(i), "B\xE4nder", "Kurzwelle", "Ein Band."});
  return lines;
}

std::string Csv(const std::vector<Line>& lines) {
  std::string csv;
  for (const Line& l : lines)
    csv += l.term + ";<" + l.topic + ">" + l.text + ";" + l.seeAlso + "\r\n";
  return csv;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class ViewerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    WriteFile(dir_ / "ZEL_LEX.CSV", Csv(SampleLines()));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Qorvex", "qorvex").clear();
  }
  void TearDown() override {
    End();
    ASSERT_EQ(::chdir(home_.c_str()), 0);
  }

  // Opens the folder and the window on it, as the program does.
  TZELLex& Start() {
    End();
    session_ = std::make_unique<LexiconSession>(ViewerFolder(), SessionOptions{}, ShowSessionError);
    window_ = std::make_unique<TZELLex>(*session_, audio_);
    return *window_;
  }
  // Starts the window and shows it.
  TZELLex& Shown() {
    Start().show();
    return *window_;
  }
  void End() {
    window_.reset();
    session_.reset();
  }
  // Closes the window as the user does and ends it.
  void Close() {
    window_->close();
    End();
  }
  WindowPlacement Stored() const {
    LexiconSession session(dir_.path(), {.settings = false, .lexicon = false});
    const std::optional<WindowPlacement> p = ReadPlacement();
    return p.value_or(WindowPlacement{-1, -1, -1, -1});
  }

  // The node of this caption under parent (a root node under none).
  QModelIndex Node(const std::string& caption, const QModelIndex& parent = {}) const {
    const TEntryTreeModel& m = *window_->TreeModel;
    for (int r = 0; r < m.rowCount(parent); ++r)
      if (m.Node(m.index(r, 0, parent)).caption == caption) return m.index(r, 0, parent);
    ADD_FAILURE() << "no node " << caption;
    return {};
  }
  QModelIndex Root(const std::string& caption) const { return Node(caption); }
  QModelIndex Child(const QModelIndex& root, const std::string& term) const {
    return Node(EntryCaption(term), root);
  }
  std::vector<std::string> Captions(const QModelIndex& parent = {}) const {
    const TEntryTreeModel& m = *window_->TreeModel;
    std::vector<std::string> out;
    for (int r = 0; r < m.rowCount(parent); ++r) {
      std::string c = m.Node(m.index(r, 0, parent)).caption;
      out.push_back(c.erase(c.find_last_not_of(' ') + 1));
    }
    return out;
  }
  // Selects a node as the tree does; its change arrives with the events.
  void Select(const QModelIndex& node) {
    window_->Tree->setCurrentIndex(node);
    QCoreApplication::processEvents();
  }
  const std::vector<EntryLabel>& Labels() const { return window_->EntryView->Labels(); }
  bool ShowsTopicLine() const {
    return Labels().size() > 1 && Labels()[1].kind == LabelKind::Topic;
  }
  void Search(const std::string& text) {
    window_->esuche->setText(QString::fromLatin1(text.c_str()));
    window_->btnSucheClick();
  }
  int SearchImage() const { return window_->TreeModel->Node(Root("- Suchergebnis")).image; }
  // A silent recording of ms milliseconds in the program folder.
  void Wav(const std::string& name, int ms) {
    std::string why;
    ASSERT_TRUE(WriteWav16Mono(dir_ / name, 8000, std::vector<int16_t>(8 * ms, 0), why)) << why;
  }

  std::string home_ = std::filesystem::current_path().string();
  isam::testing::TempDir dir_;
  RecordingOutput audio_;
  std::unique_ptr<LexiconSession> session_;
  std::unique_ptr<TZELLex> window_;
};

TEST_F(ViewerWindowTest, PlacementIsKeptFromStartToStart) {
  std::filesystem::remove(dir_ / "ZEL_LEX.CSV");
  TZELLex& first = Start();
  EXPECT_EQ(first.windowTitle(), "Tessary: kleines ZEL Lexikon");
  EXPECT_EQ(first.frameGeometry(), QRect(411, 231, 827, 652)) << "design bounds, not centred";
  first.show();
  EXPECT_EQ(first.frameGeometry(), QRect(411, 231, 827, 652)) << "the outer frame, once framed";
  first.move(100, 50);
  first.resize(700, 500);
  const QRect moved = first.frameGeometry();
  Close();
  EXPECT_EQ(Stored(), (WindowPlacement{100, 50, moved.height(), moved.width(), false}));

  TZELLex& second = Start();
  second.show();
  EXPECT_EQ(second.frameGeometry(), moved) << "restored without drifting";
  second.showMaximized();
  Close();
  EXPECT_EQ(Stored(), (WindowPlacement{100, 50, moved.height(), moved.width(), true}))
      << "maximized: the earlier bounds stay";

  TZELLex& third = Start();
  third.show();
  EXPECT_TRUE(third.isMaximized());
  third.showNormal();
  EXPECT_EQ(third.frameGeometry(), moved) << "made normal: the stored bounds";
}

TEST_F(ViewerWindowTest, ImportAtStartAndAnUnreadableFile) {
  // Found whatever the case of its name.
  std::filesystem::rename(dir_ / "ZEL_LEX.CSV", dir_ / "zel_lex.csv");
  Start();
  const std::vector<std::string> roots = {
      "- alle Eintr\xE4ge", "- Suchergebnis", "alpha",   "Antennen",
      "\xC4ther",           "B\xE4nder",      "Betrieb", "zulu"};
  EXPECT_EQ(Captions(), roots);
  EXPECT_EQ(Captions(Root("Antennen")), (std::vector<std::string>{"Dipol", "Groundplane", "Yagi"}));
  EXPECT_EQ(window_->TreeModel->rowCount(Root("- alle Eintr\xE4ge")), 23);
  Close();

  // A file that exists but cannot be read leaves the lexicon as it was.
  std::filesystem::remove(dir_ / "zel_lex.csv");
  std::filesystem::create_symlink("/proc/self/mem", dir_ / "ZEL_LEX.CSV");
  QString shown;
  AnswerNextDialog([&](TvxMessageForm& form) {
    shown = form.Label2->text();
    form.close();
  });
  Start();
  EXPECT_TRUE(shown.startsWith("Lexikondatei konnte nicht gelesen werden: ZEL_LEX.CSV: "))
      << shown.toStdString();
  EXPECT_EQ(window_->StartResult(), TZELLex::StartState::kRunning);
  EXPECT_EQ(Captions(), roots);
}

TEST_F(ViewerWindowTest, Search) {
  TZELLex& w = Shown();
  // Enter after typing starts it: hits in index-2 order (topic, then term).
  QTest::keyClicks(w.esuche, "ANTENNE");
  QTest::keyClick(w.esuche, Qt::Key_Return);
  const QModelIndex hits = Root("- Suchergebnis");
  EXPECT_EQ(Captions(hits), (std::vector<std::string>{"Dipol", "Groundplane", "Yagi"}));
  EXPECT_EQ(SearchImage(), kImageSearchHits);
  EXPECT_EQ(w.TreeModel->Node(w.TreeModel->index(0, 0, hits)).image, kImageSearchHits);
  ASSERT_EQ(Labels().size(), 1u) << "only the hint";
  EXPECT_EQ(Labels()[0].caption, kSearchHint);

  // An empty field clears the view and keeps the hits.
  Search("");
  EXPECT_TRUE(Labels().empty());
  EXPECT_EQ(SearchImage(), kImageSearch);
  EXPECT_EQ(Captions(Root("- Suchergebnis")).size(), 3u);
}

// A search rebuilds the tree from its top: the search node is in view,
// however far the old tree was scrolled.
TEST_F(ViewerWindowTest, ASearchShowsItsNodeInView) {
  std::vector<Line> lines = SampleLines();
  for (int i = 0; i < 500; ++i) lines.push_back({"Eintrag " + std::to_string(i), "Viele", "", "x"});
  WriteFile(dir_ / "ZEL_LEX.CSV", Csv(lines));
  TZELLex& w = Shown();
  w.Tree->expand(Root("- alle Eintr\xE4ge"));
  QScrollBar* bar = w.Tree->verticalScrollBar();
  bar->setValue(bar->maximum());
  ASSERT_GT(bar->value(), 0);
  Search("EINTRAG");  // 500 hits: the tree stays long
  const QRect node = w.Tree->visualRect(Root("- Suchergebnis"));
  EXPECT_TRUE(w.Tree->viewport()->rect().contains(node)) << node.y();
}

TEST_F(ViewerWindowTest, SelectingEntriesAndRootNodes) {
  TZELLex& w = Shown();
  Search("dipol");
  Select(Child(Root("- Suchergebnis"), "Dipol"));
  ASSERT_TRUE(ShowsTopicLine());
  EXPECT_EQ(Labels()[1].caption, "[Thema: Antennen]");
  EXPECT_TRUE(w.btnsieheauch->isEnabled());

  const QModelIndex topic = Root("Antennen");
  w.Tree->expand(topic);
  EXPECT_EQ(w.TreeModel->Node(topic).image, kImageOpenFolder);
  Select(Child(topic, "Dipol"));
  EXPECT_EQ(Labels()[0].caption, "Dipol");
  EXPECT_FALSE(ShowsTopicLine());

  // The keyboard onto the topic node keeps the entry; a click on it clears.
  w.Tree->setFocus();
  QTest::keyClick(w.Tree, Qt::Key_Up);
  QCoreApplication::processEvents();
  ASSERT_EQ(w.Tree->currentIndex(), topic);
  EXPECT_FALSE(Labels().empty());
  QTest::mouseClick(w.Tree->viewport(), Qt::LeftButton, {}, w.Tree->visualRect(topic).center());
  QCoreApplication::processEvents();
  EXPECT_TRUE(Labels().empty());
  EXPECT_FALSE(w.btnsieheauch->isEnabled());
  w.Tree->collapse(topic);
  EXPECT_EQ(w.TreeModel->Node(topic).image, kImageFolder);

  // "siehe auch" with nothing shown: the warning.
  QString heading, text;
  AnswerNextDialog([&](TvxMessageForm& form) {
    heading = form.Label1->text();
    text = form.Label2->text();
    form.close();
  });
  w.btnsieheauchClick();
  EXPECT_EQ(heading, "QORVEX");
  EXPECT_EQ(text, QString::fromUtf8("Kein Thema ausgewählt."));
}

TEST_F(ViewerWindowTest, SeeAlsoListUnderTheText) {
  TZELLex& w = Shown();
  // Topic, term, the list's items and its first one.
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"B\xE4nder", "Band 1", 14, "Band 9"},  // more than a third: cut to it
      {"Antennen", "Dipol", 2, "Yagi"},
      {"zulu", "Zeta", 0, nullptr},  // visible all the same, only its frame
  };
  for (const auto& [topic, term, items, first] : cases) {
    Select(Child(Root(topic), term));
    w.btnsieheauchClick();
    ASSERT_FALSE(w.ListBox->isHidden()) << term;
    ASSERT_EQ(w.ListBox->count(), items) << term;
    const int area = w.panelmitte->height() - 20;  // the text area without the list
    const int expected = std::min(area / 3, items * 15 + 2 * w.ListBox->frameWidth());
    EXPECT_EQ(w.ListBox->height(), expected) << term;
    EXPECT_EQ(w.panelscroll->height(), area - expected) << term;
    EXPECT_EQ(w.ListBox->y(), w.panelscroll->y() + w.panelscroll->height()) << term;
    EXPECT_EQ(Labels()[0].caption, term) << "the selected entry, laid out for the new height";
    if (first == nullptr) continue;
    EXPECT_EQ(w.ListBox->item(0)->text().trimmed().toStdString(), first);
    // A click on an item shows it with its topic; the tree keeps its node.
    const QModelIndex selected = w.Tree->currentIndex();
    QTest::mouseClick(w.ListBox->viewport(), Qt::LeftButton, {},
                      w.ListBox->visualItemRect(w.ListBox->item(0)).center());
    EXPECT_EQ(Labels()[0].caption, first);
    EXPECT_TRUE(ShowsTopicLine());
    EXPECT_EQ(w.Tree->currentIndex(), selected);
  }
  // A click in the tree hides the list again.
  QTest::mouseClick(w.Tree->viewport(), Qt::LeftButton, {},
                    w.Tree->visualRect(w.Tree->currentIndex()).center());
  EXPECT_TRUE(w.ListBox->isHidden());
  EXPECT_EQ(w.panelscroll->height(), w.panelmitte->height() - 20);
}

TEST_F(ViewerWindowTest, MorseToneAndLinkLabels) {
  Wav("S.WAV", 100);
  Wav("TON.WAV", 300);
  WriteFile(dir_ / "O.WAV", "no sound");  // exists, cannot be played
  TZELLex& w = Shown();
  Select(Child(Root("Betrieb"), "Rapport"));
  std::map<LabelKind, QPoint> at;
  for (const EntryLabel& l : Labels())
    at[l.kind] = QRect(l.left, l.top, l.width, l.height).center();
  ASSERT_EQ(at.count(LabelKind::Morse) + at.count(LabelKind::Tone) + at.count(LabelKind::Link), 3u);

  // The Morse word: S plays, O raises, one error dialog, the rest unplayed.
  int dialogs = 0;
  AnswerNextDialog([&](TvxMessageForm& form) {
    ++dialogs;
    EXPECT_EQ(form.windowTitle(), "Fehler");
    form.close();
  });
  QTest::mouseClick(w.EntryView, Qt::LeftButton, {}, at[LabelKind::Morse]);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(audio_.log(), (std::vector<std::string>{"play S.WAV 100", "pause 10"}));

  QTest::mouseClick(w.EntryView, Qt::LeftButton, {}, at[LabelKind::Tone]);
  EXPECT_EQ(audio_.log().back(), "play TON.WAV 300");

  // The link opens its address through the desktop services.
  testing::UrlCatcher urls;
  QTest::mouseClick(w.EntryView, Qt::LeftButton, {}, at[LabelKind::Link]);
  EXPECT_EQ(urls.opened, QStringList{"http://example.org/x"});
  // The hand over clickable labels only.
  for (const auto& [kind, point] : at) {
    QMouseEvent move(QEvent::MouseMove, point, w.EntryView->mapToGlobal(point), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.EntryView, &move);
    const bool hand =
        kind == LabelKind::Link || kind == LabelKind::Morse || kind == LabelKind::Tone;
    EXPECT_EQ(w.EntryView->cursor().shape(), hand ? Qt::PointingHandCursor : Qt::ArrowCursor)
        << static_cast<int>(kind);
  }
}

// A lexicon for finding: umlauts, a word only a text holds, far down.
std::vector<Line> FindingLines() {
  std::string far;
  for (int i = 0; i < 80; ++i) far += "Zeile<br>";
  return {{"\334berreichweite", "Ausbreitung", "", "Weiter als sonst."},
          {"SOS", "Betrieb", "", far + "Das <b>Not</b>zeichen, Notzeichen!"},
          {"Antenne", "Antennen", "Dipol", "Ein Leiter."},
          {"Dipol", "Antennen", "Antenne", "Zwei Leiter."}};
}

std::string JoinedCaptions(const std::vector<EntryLabel>& labels) {
  std::string out;
  for (const EntryLabel& l : labels) out += l.caption + "|";
  return out;
}

TEST_F(ViewerWindowTest, NoExactHitFallsBackToFoldedHitsThenSuggestions) {
  WriteFile(dir_ / "ZEL_LEX.CSV", Csv(FindingLines()));
  Shown();
  // The search, its hits, the bold line under the search hint.
  const std::tuple<const char*, std::vector<std::string>, std::string> cases[] = {
      {"Dipol", {"Antenne", "Dipol"}, ""},  // exact: the hint alone, as ever
      {"ueber", {"\334berreichweite"}, std::string(FallbackHint(FoundBy::kFolded))},
      {"Antene", {"Antenne"}, std::string(FallbackHint(FoundBy::kSuggestion))},
      {"xyzzy", {}, ""},  // no hits: image 3, no children, nothing shown
  };
  for (const auto& [text, hits, hint] : cases) {
    Search(text);
    EXPECT_EQ(Captions(Root("- Suchergebnis")), hits) << text;
    EXPECT_EQ(SearchImage(), hits.empty() ? kImageSearch : kImageSearchHits) << text;
    if (hits.empty()) {
      EXPECT_TRUE(Labels().empty()) << text;
      continue;
    }
    EXPECT_TRUE(window_->Tree->isExpanded(Root("- Suchergebnis"))) << text;
    ASSERT_FALSE(Labels().empty());
    EXPECT_EQ(Labels()[0].caption, kSearchHint);
    std::vector<EntryLabel> below(Labels().begin() + 1, Labels().end());
    EXPECT_EQ(JoinLabels(below, false), hint) << text;
    for (const EntryLabel& l : below) EXPECT_TRUE(l.font.bold) << text;
  }
}

TEST_F(ViewerWindowTest, FullTextFindsAndHighlightsWhatOnlyTheTextHolds) {
  WriteFile(dir_ / "ZEL_LEX.CSV", Csv(FindingLines()));
  TZELLex& w = Shown();
  EXPECT_FALSE(w.cbFullText->isChecked()) << "off by default";
  Search("notzeichen");
  EXPECT_TRUE(Captions(Root("- Suchergebnis")).empty());
  w.cbFullText->setChecked(true);
  Search("notzeichen");
  ASSERT_EQ(Captions(Root("- Suchergebnis")), std::vector<std::string>{"SOS"});
  Select(Child(Root("- Suchergebnis"), "SOS"));
  // "Not" + "zeichen, " and "Notzeichen!": three pieces, the first in view.
  ASSERT_EQ(w.EntryView->Marks().size(), 3u);
  const QRect first = w.EntryView->MarkRect(0);
  EXPECT_GT(w.ScrollBox->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(w.ScrollBox->viewport()->rect().contains(
      QRect(w.EntryView->mapTo(w.ScrollBox->viewport(), first.topLeft()), first.size())));
  const QImage shot = w.EntryView->grab(first).toImage();
  EXPECT_EQ(shot.pixelColor(0, 0), LabelColor(kMarkColor));
  // Found by its term: nothing to highlight.
  Search("sos");
  Select(Child(Root("- Suchergebnis"), "SOS"));
  EXPECT_TRUE(w.EntryView->Marks().empty());
  Close();
  EXPECT_TRUE(Start().cbFullText->isChecked()) << "remembered for the user";
}

TEST_F(ViewerWindowTest, BackAndForwardAcrossTreeListAndHits) {
  TZELLex& w = Shown();
  EXPECT_FALSE(w.btnBack->isEnabled());
  Select(Child(Root("Antennen"), "Dipol"));
  Search("qso");
  Select(Child(Root("- Suchergebnis"), "QSO"));
  w.btnsieheauchClick();
  QTest::mouseClick(w.ListBox->viewport(), Qt::LeftButton, {},
                    w.ListBox->visualItemRect(w.ListBox->item(0)).center());
  ASSERT_EQ(Labels()[0].caption, "Rapport");
  const auto title = [&] { return Labels().at(0).caption; };
  const auto node = [&] { return w.TreeModel->Node(w.Tree->currentIndex()).caption; };

  QTest::keyClick(&w, Qt::Key_Left, Qt::AltModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(title(), "QSO");
  EXPECT_EQ(node(), EntryCaption("QSO"));
  // The search rebuilt the tree: Dipol's node is selected again, its
  // branch expanded, and it shows as it was, without its topic line.
  w.btnBack->click();
  QCoreApplication::processEvents();
  EXPECT_EQ(title(), "Dipol");
  EXPECT_EQ(node(), EntryCaption("Dipol"));
  EXPECT_TRUE(w.Tree->isExpanded(Root("Antennen")));
  EXPECT_FALSE(ShowsTopicLine());
  EXPECT_FALSE(w.btnBack->isEnabled());
  EXPECT_EQ(w.History.size(), 3u) << "going back records nothing";

  QMouseEvent forward(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::ForwardButton,
                      Qt::ForwardButton, Qt::NoModifier);
  QApplication::sendEvent(w.Tree->viewport(), &forward);
  QCoreApplication::processEvents();
  EXPECT_EQ(title(), "QSO");
  QTest::keyClick(&w, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(title(), "Rapport");
  EXPECT_TRUE(ShowsTopicLine()) << "from the list, with its topic";
  EXPECT_FALSE(w.btnForward->isEnabled());

  // A new entry after going back drops what lay ahead.
  w.btnBack->click();
  QCoreApplication::processEvents();
  Select(Child(Root("Antennen"), "Yagi"));
  EXPECT_EQ(w.History.size(), 3u);
  EXPECT_FALSE(w.btnForward->isEnabled());
}

TEST_F(ViewerWindowTest, ResizingCopyAndZoom) {
  TZELLex& w = Shown();
  Select(Child(Root("\xC4ther"), "Welle"));
  // A narrower window: the entry laid out anew, more lines.
  const int wide = Labels().back().top;
  ASSERT_EQ(Labels()[0].width, w.ScrollBox->width() - 20);
  w.resize(w.width() - 200, w.height());
  EXPECT_EQ(Labels()[0].width, w.ScrollBox->width() - 20);
  EXPECT_GT(Labels().back().top, wide) << "more lines in a narrower view";
  for (const EntryLabel& l : Labels())
    EXPECT_TRUE(l.kind != LabelKind::Text || l.left + l.width <= w.ScrollBox->width() - 30);

  const std::vector<EntryLabel> specified =
      RenderEntry(w.Shown.term, w.Shown.topic, w.Shown.text, false, false, w.ScrollBox->width(),
                  w.EntryView->Measurer());
  ASSERT_EQ(JoinedCaptions(Labels()), JoinedCaptions(specified));

  QGuiApplication::clipboard()->clear();
  w.ScrollBox->setFocus();
  QTest::keyClick(w.ScrollBox, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), FromCp1252(EntryCopyText(w.Shown)));
  w.CopyTerm();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "Welle");

  // Ctrl+Plus, Ctrl+wheel: laid out anew for the zoomed width.
  QTest::keyClick(&w, Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(w.Zoom, 110);
  QWheelEvent wheel(QPointF(20, 20), w.EntryView->mapToGlobal(QPointF(20, 20)), {}, {0, 120},
                    Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w.EntryView, &wheel);
  EXPECT_EQ(w.Zoom, 125);
  EXPECT_EQ(w.EntryView->ZoomPercent(), 125);
  EXPECT_GT(Labels().back().top, specified.back().top) << "fewer words a line";
  for (const EntryLabel& l : Labels())
    EXPECT_LE((l.left + l.width) * 125 / 100, w.ScrollBox->width()) << l.caption;
  for (int i = 0; i < 20; ++i) QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(w.Zoom, 50);
  QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(JoinedCaptions(Labels()), JoinedCaptions(specified));
  EXPECT_EQ(Labels().back().top, specified.back().top);
  w.SetZoom(200);
  Close();
  EXPECT_EQ(Start().Zoom, 200) << "remembered for the user";
}

TEST_F(ViewerWindowTest, AScreenReaderReadsTheEntryAndItsWords) {
  Wav("TON.WAV", 100);
  TZELLex& w = Shown();
  w.Tree->expand(Root("- alle Eintr\xE4ge"));
  Select(Child(Root("- alle Eintr\xE4ge"), "Rapport"));

  QAccessibleInterface* view = QAccessible::queryAccessibleInterface(w.EntryView);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->role(), QAccessible::Document);
  EXPECT_EQ(view->text(QAccessible::Name), "Rapport");
  QAccessibleTextInterface* text = view->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(0, text->characterCount()),
            "Rapport\n[Thema: Betrieb]\nSOS Ton http://example.org/x");
  int start = 0, end = 0;
  EXPECT_EQ(text->textAtOffset(10, QAccessible::LineBoundary, &start, &end), "[Thema: Betrieb]\n");
  EXPECT_EQ(text->textAfterOffset(10, QAccessible::LineBoundary, &start, &end),
            "SOS Ton http://example.org/x");
  EXPECT_EQ(text->textAtOffset(2, QAccessible::WordBoundary, &start, &end), "Rapport");
  EXPECT_EQ(text->offsetAtPoint(text->characterRect(26).center()), 26) << "the S of SOS";

  const std::tuple<QAccessible::Role, QString> children[] = {
      {QAccessible::Button, "Morsezeichen SOS abspielen"},
      {QAccessible::Button, "Ton TON.WAV abspielen"},
      {QAccessible::Link, "http://example.org/x"},
  };
  ASSERT_EQ(view->childCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(view->child(i)->role(), std::get<0>(children[i])) << i;
    EXPECT_EQ(view->child(i)->text(QAccessible::Name), std::get<1>(children[i])) << i;
    EXPECT_EQ(view->indexOfChild(view->child(i)), i);
  }
  view->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QCoreApplication::processEvents();
  EXPECT_EQ(audio_.log(), std::vector<std::string>{"play TON.WAV 100"});

  // Every control by name; pictures without information are not read.
  const std::pair<QWidget*, QString> names[] = {
      {w.esuche, "Begriff suchen:"},
      {w.btnbeenden, QString::fromUtf8("Schließen")},
      {w.btnSuche, "Suche starten"},
      {w.Tree, QString::fromUtf8("Einträge")},
      {w.ListBox, QString::fromUtf8("Verwandte Einträge")},
      {w.btnBack, QString::fromUtf8("Zurück")},
      {w.cbFullText, "auch im Text"},
  };
  for (const auto& [widget, name] : names)
    EXPECT_EQ(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.Image1)->state().invisible);
  EXPECT_EQ(AccessibleCaption("&Ja|&& nein"), "Ja & nein");
}

TEST_F(ViewerWindowTest, EverythingByKeyboard) {
  for (const char* name : {"S.WAV", "O.WAV"}) Wav(name, 100);
  TZELLex& w = Shown();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  const auto focus = [] { return QApplication::focusWidget(); };
  w.esuche->setFocus();
  QTest::keyClicks(w.esuche, "rapport");
  QTest::keyClick(w.esuche, Qt::Key_Return);
  QTest::keyClick(w.esuche, Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_EQ(focus(), w.Tree);
  EXPECT_EQ(Labels().at(0).caption, "QSO") << "the first hit, shown";
  QTest::keyClick(focus(), Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_EQ(Labels().at(0).caption, "Rapport");

  QTest::keyClick(focus(), Qt::Key_F6);
  ASSERT_EQ(focus(), w.EntryView);
  QTest::keyClick(focus(), Qt::Key_Tab);
  ASSERT_GE(w.EntryView->FocusedLabel(), 0);
  EXPECT_EQ(Labels()[static_cast<size_t>(w.EntryView->FocusedLabel())].kind, LabelKind::Morse);
  QTest::keyClick(focus(), Qt::Key_Return);
  EXPECT_EQ(audio_.log().front(), "play S.WAV 100");
  QTest::keyClick(focus(), Qt::Key_Tab);
  EXPECT_EQ(Labels()[static_cast<size_t>(w.EntryView->FocusedLabel())].kind, LabelKind::Tone);
  QTest::keyClick(focus(), Qt::Key_Backtab);
  EXPECT_EQ(Labels()[static_cast<size_t>(w.EntryView->FocusedLabel())].kind, LabelKind::Morse);
  for (int i = 0; i < 3; ++i) QTest::keyClick(focus(), Qt::Key_Tab);
  EXPECT_NE(focus(), w.EntryView) << "after the last word the view is left";
  w.EntryView->setFocus();
  QTest::keyClick(focus(), Qt::Key_Escape);
  EXPECT_EQ(focus(), w.Tree);

  // Return on a focused "siehe auch" shows the list, not a search; F6 then
  // reaches the list too, and Shift+F6 goes back.
  w.btnsieheauch->setFocus();
  QTest::keyClick(focus(), Qt::Key_Return);
  EXPECT_FALSE(w.ListBox->isHidden());
  EXPECT_EQ(Captions(Root("- Suchergebnis")), (std::vector<std::string>{"QSO", "Rapport"}));
  w.EntryView->setFocus();
  QTest::keyClick(focus(), Qt::Key_F6);
  ASSERT_EQ(focus(), w.ListBox);
  w.ListBox->setCurrentRow(0);
  QTest::keyClick(focus(), Qt::Key_Return);
  EXPECT_EQ(Labels().at(0).caption, "QSO") << "Return shows the list's entry";
  EXPECT_EQ(Captions(Root("- Suchergebnis")).size(), 2u) << "and starts no search";
  QTest::keyClick(focus(), Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_EQ(focus(), w.EntryView);

  // Page Down scrolls a long entry.
  Select(Child(Root("\xC4ther"), "Welle"));
  w.resize(w.width(), 300);
  w.EntryView->setFocus();
  QTest::keyClick(focus(), Qt::Key_PageDown);
  EXPECT_GT(w.ScrollBox->verticalScrollBar()->value(), 0);
  QTest::keyClick(focus(), Qt::Key_Home);
  EXPECT_EQ(w.ScrollBox->verticalScrollBar()->value(), 0);
  // A mouse user's click gives the view the focus but draws no frame.
  w.Tree->setFocus();
  const QImage unfocused = w.EntryView->grab().toImage();
  QTest::mouseClick(w.EntryView, Qt::LeftButton, {}, QPoint(w.EntryView->width() - 5, 5));
  EXPECT_EQ(focus(), w.EntryView);
  EXPECT_EQ(w.EntryView->grab().toImage(), unfocused);
}

// Users double-click twice: the second viewer finds the lexicon held, says
// so, ends with 1 and changes nothing; the first goes on working.
TEST_F(ViewerWindowTest, SecondViewerInTheSameFolder) {
  TZELLex& first = Start();
  first.show();
  const auto dat = ReadAll(dir_ / "QDLex.DAT"), ix = ReadAll(dir_ / "QDLex.IX");
  // A different delivery file: an import would have to write.
  WriteFile(dir_ / "ZEL_LEX.CSV", "Neu;<Neu>Neu;\r\n");

  QProcess second;
  second.setWorkingDirectory(QString::fromStdString(dir_.path()));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(kExitOnExposeVariable, "1");  // should it ever come that far
  second.setProcessEnvironment(env);
  second.start(QORVEX_VIEWER_PEER, {});
  ASSERT_TRUE(second.waitForFinished(60000)) << "the second viewer hangs";
  const QString out = QString::fromUtf8(second.readAllStandardOutput());
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 1) << out.toStdString();
  EXPECT_EQ(out.count("dialog:"), 1) << out.toStdString();
  EXPECT_TRUE(out.contains("anderen Qorvex-Fenster")) << out.toStdString();
  EXPECT_FALSE(out.contains("first-expose")) << "it must not open its window";

  EXPECT_EQ(ReadAll(dir_ / "QDLex.DAT"), dat);
  EXPECT_EQ(ReadAll(dir_ / "QDLex.IX"), ix);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "IFD.ERR"));
  Search("antenne");
  EXPECT_EQ(Captions(Root("- Suchergebnis")).size(), 3u) << "the first still works";
}

}  // namespace
}  // namespace qorvex
