// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window-layer tests; see uitest.h.
#include "tests/ui/uitest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QTest>
#include <QTimer>

#include "app/ui/message_form.h"

namespace qorvex::testing {

void AnswerNextDialog(std::function<void(TvxMessageForm& form)> action) {
  QTimer::singleShot(0, [action] {
    auto* form = qobject_cast<TvxMessageForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr) << "no message form open";
    action(*form);
    if (form->isVisible()) {
      ADD_FAILURE() << "the form stayed open";
      form->done(-1);
    }
  });
}

void Type(TvxMessageForm& form, int key) {
  QWidget* target = form.focusWidget() != nullptr ? form.focusWidget() : &form;
  QTest::keyClick(target, static_cast<Qt::Key>(key));
}

UrlCatcher::UrlCatcher() {
  for (const char* scheme : {"http", "https", "mailto"})
    QDesktopServices::setUrlHandler(scheme, this, "Open");
}

UrlCatcher::~UrlCatcher() {
  for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
}

int DarkestLevel(const QImage& image, const QRect& area) {
  int darkest = 255;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      darkest = std::min(darkest, qGray(image.pixel(x, y)));
  return darkest;
}

}  // namespace qorvex::testing
