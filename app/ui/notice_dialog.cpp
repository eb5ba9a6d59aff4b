// SPDX-License-Identifier: GPL-3.0-or-later
// The note; see notice_dialog.h.
#include "app/ui/notice_dialog.h"

#include <QCheckBox>

#include "app/ui/command_button.h"
#include "app/ui/dialoglayout.h"

namespace qorvex {
namespace {

constexpr int kButtonWidth = 105;
// While the check box shows, the button stays right of it (centred it
// would cover the check box's text).
constexpr int kRightOfCheck = kCheckLeft + kCheckWidth + kCheckButtonGap;

}  // namespace

Thinweis::Thinweis()
    : TvxMessageForm(QStringLiteral("Hinweis"), QStringLiteral("Hinweis:"),
                     QStringLiteral("dialogs/hinweis")) {
  vxBitBtn1 = new TvxBitBtn(Panel2);
  vxBitBtn1->SetVxKind(bkClose);
  vxBitBtn1->setGeometry(0, kButtonTop, kButtonWidth, kButtonHeight);
  ccheck = new QCheckBox(QStringLiteral("Meldung nicht mehr anzeigen"), Panel2);
  ccheck->setGeometry(kCheckLeft, kCheckTop, kCheckWidth, kCheckHeight);
  ccheck->hide();
  vxBitBtn1->setFocus();
}

void Thinweis::ShowCheckBox(bool show) {
  ccheck->setVisible(show);
}

void Thinweis::PlaceButtons(int panelWidth) {
  const int minLeft = ccheck->isVisibleTo(this) ? kRightOfCheck : 0;
  vxBitBtn1->move(PlaceOneButton(panelWidth, vxBitBtn1->width(), minLeft), kButtonTop);
}

int Thinweis::MinClientWidth() const {
  return ccheck->isVisibleTo(this) ? kRightOfCheck + kButtonWidth + kRightGap : 0;
}

}  // namespace qorvex
