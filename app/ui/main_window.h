// SPDX-License-Identifier: GPL-3.0-or-later
// TZELLex, the main window (window layer): the entry tree on the left, the
// entry view and the "siehe auch" list on the right, the search field and
// the buttons below. It works on a storage session and a sound output that
// app/main.cpp hands it: its start reads the placement, runs the import of
// ZEL_LEX.CSV and fills the tree; its end closes the lexicon and stores the
// placement (the session then stops the driver).
//
// The window only draws what app/core/ computes: each handler is a few lines
// over the core, run through RunGuarded so that no exception leaves it.
// "Visible" and "hidden" below are the widgets' own flags (isHidden()), so
// the logic holds in a window that is never shown.
//
// Bounds in the settings are the outer frame; where the platform draws no
// frame, outer and client are the same.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/core/audio_output.h"
#include "app/core/entry_history.h"
#include "app/core/entry_layout.h"
#include "app/core/lexicon_entry.h"
#include "app/core/lexicon_session.h"
#include "app/core/search_fallback.h"
#include "app/core/window_placement.h"

class QCheckBox;
class QLabel;
class QToolButton;

namespace qorvex {

class TEntryTreeModel;
class TEntryView;
class TTreeView;
class TvxBitBtn;
class TvxEdit;

// A panel: a frame with a background colour and an optional raised bevel,
// that tells when its size changed (OnResize).
class TPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent, bool raisedBevel = true);
  void SetColor(const QColor& color);

 signals:
  void Resized();

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

// The list box: Click() for a left click on an item, and for a keyboard move
// to another item.
class TListBox : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int kItemHeight = 15;
  explicit TListBox(QWidget* parent);

 signals:
  void Click();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class TZELLex : public QWidget {
  Q_OBJECT

 public:
  // How the start ended. Anything but kRunning: the program ends (exit code
  // 1) without entering its message loop.
  enum class StartState {
    kRunning,
    kDriverFailed,    // InitFileManager failed; nothing else was opened
    kSettingsFailed,  // no settings record could be read or added
    // Another program holds the lexicon (or it cannot be opened at all);
    // nothing was written.
    kLexiconUnavailable,
  };

  // Builds the controls and runs FormCreate on the session's program
  // folder. session: the storage opened for the window; audio: the sound
  // output it plays through (neither owned; both outlive the window).
  TZELLex(LexiconSession& session, AudioOutput& audio);
  // Runs FormDestroy.
  ~TZELLex() override;

  StartState StartResult() const { return start_; }

  // The controls, in the order of the form's design.
  TPanel* paneloben = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* Label2 = nullptr;
  TPanel* panelunten = nullptr;
  TPanel* Panel5 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  TvxEdit* esuche = nullptr;
  TvxBitBtn* btnSuche = nullptr;
  TvxBitBtn* btnbeenden = nullptr;
  QPushButton* btnsieheauch = nullptr;
  TTreeView* Tree = nullptr;
  TEntryTreeModel* TreeModel = nullptr;
  TPanel* panelmitte = nullptr;
  TPanel* panelscroll = nullptr;
  QScrollArea* ScrollBox = nullptr;
  TEntryView* EntryView = nullptr;  // the labels inside ScrollBox
  TListBox* ListBox = nullptr;
  AudioOutput* MediaPlayer = nullptr;
  std::array<QIcon, 6> ImageList1;
  // Added to the form: back and forward at the right of the top bar, the
  // full-text switch in the free part of the bottom bar.
  QToolButton* btnBack = nullptr;
  QToolButton* btnForward = nullptr;
  QCheckBox* cbFullText = nullptr;

  // The form's fields.
  std::string SearchText;  // the last search text, upper-cased
  std::string SelectedParentText, SelectedNodeText;
  bool Busy = false;      // a search runs: RenderEntry does nothing
  TdbLex* Lex = nullptr;  // the session's lexicon
  // The entry the view shows (or last showed): RenderEntry lays it out.
  LexEntry Shown;
  // How it is shown: its topic line, its highlighted search text.
  ShownEntry ShownAs;
  EntryHistory History;
  int Zoom = 100;  // the entry view's zoom in percent (one of kZoomSteps)

  // Handlers and the routines they share.
  void btnbeendenClick();
  void esucheChange();
  void paneluntenResize();
  void panelmitteResize();
  void BuildTree();
  void TreeChange();
  void TreeClick();
  void TreeExpanded(const QModelIndex& node);
  void TreeCollapsed(const QModelIndex& node);
  void btnSucheClick();
  // The import of the delivery file at path; true when it was read (the
  // tree is then rebuilt).
  bool btneinlesenClick(const std::string& path);
  void ClearEntryView();
  void RenderEntry(bool ShowTopic, bool HintOnly);
  void LinkLabelClick(const EntryLabel& label);
  void MorseLabelClick(const EntryLabel& label);
  void ToneLabelClick(const EntryLabel& label);
  void btnsieheauchClick();
  void ListBoxClick();

  // Shows the entry before / after the one shown, as it was shown.
  void GoBack();
  void GoForward();
  // The clipboard gets the shown entry ("Eintrag kopieren") or its term.
  void CopyEntry();
  void CopyTerm();
  // Zooms the entry view to percent (snapped to a step) and lays it out anew.
  void SetZoom(int percent);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();
  void FormDestroy();
  void AlignControls();
  // Places the window's outer frame at these bounds.
  void SetOuterBounds(const WindowPlacement& bounds);
  WindowPlacement OuterBounds() const;
  void FitFrame();
  // TreeChange once pending events are processed (the tree's change delay).
  void ScheduleTreeChange();
  void LabelClicked(int index);
  void CreateAdditions();
  // Shows an entry as described and, with record, adds it to the history.
  void ShowEntry(const ShownEntry& shown, bool record);
  void ShowFromHistory(const ShownEntry* shown);
  void UpdateHistoryButtons();
  // Highlights the shown search text's occurrences; the first comes into view.
  void MarkSearchText();
  void EntryViewMenu(const QPoint& at);
  // F6 / Shift+F6: the next area (search field, tree, entry view, the
  // see-also list when shown) takes the focus.
  void NextArea(bool forward);
  bool FocusFirstHit();
  // The view shows an entry (not the search hint, not empty).
  bool EntryShown() const;

  LexiconSession& session_;
  StartState start_ = StartState::kRunning;
  bool treeChangePending_ = false;
  bool recordTreeChange_ = false;  // TreeChange follows a new tree selection
  // A history entry whose tree node was just selected: TreeChange shows it.
  std::optional<ShownEntry> replay_;
  // The last search: its field text, switch, and how it found its hits.
  std::string foundText_;
  bool foundInText_ = false;
  FoundBy foundBy_ = FoundBy::kNothing;
  bool hintShown_ = false;  // the view shows the search hint
  // Bounds to fit once the platform knows the frame (after the first show).
  std::optional<WindowPlacement> pendingOuter_;
  // The placement when the window closed.
  std::optional<WindowPlacement> closing_;
  bool closingMaximized_ = false;
};

}  // namespace qorvex
