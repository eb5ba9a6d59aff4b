// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window-layer tests: answering a modal dialog from inside
// its own event loop, and looking at rendered pixels.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace qorvex {
class TvxMessageForm;
}

namespace qorvex::testing {

// Runs action on the modal message form as soon as its event loop runs (a
// zero timer, no sleeping). A form the action leaves open is a failure and
// is closed, so a test never hangs.
void AnswerNextDialog(std::function<void(TvxMessageForm& form)> action);

// Sends a key to the form's focused control (or the form), as typing does.
void Type(TvxMessageForm& form, int key);

// Takes the http, https and mailto addresses that the desktop services
// would open, while it lives.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher();
  ~UrlCatcher() override;
  QStringList opened;

 public slots:
  void Open(const QUrl& url) { opened << url.toString(); }
};

// The darkest grey level (0..255) of the pixels inside area.
int DarkestLevel(const QImage& image, const QRect& area);

}  // namespace qorvex::testing
