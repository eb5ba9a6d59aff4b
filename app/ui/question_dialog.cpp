// SPDX-License-Identifier: GPL-3.0-or-later
// The yes/no question; see question_dialog.h.
#include "app/ui/question_dialog.h"

#include "app/ui/command_button.h"
#include "app/ui/dialoglayout.h"

namespace qorvex {

Tjaneinfrage::Tjaneinfrage()
    : TvxMessageForm(QStringLiteral("Abfrage"), QStringLiteral("Abfrage:"),
                     QStringLiteral("dialogs/frage")) {
  vxBitBtn1 = new TvxBitBtn(Panel2);
  vxBitBtn1->SetVxKind(bkYes);
  vxBitBtn1->setGeometry(0, kButtonTop, 81, kButtonHeight);
  vxBitBtn2 = new TvxBitBtn(Panel2);
  vxBitBtn2->SetVxKind(bkNo);
  vxBitBtn2->setGeometry(0, kButtonTop, 81, kButtonHeight);
  vxBitBtn1->setFocus();
}

void Tjaneinfrage::SetDefaultYes(bool yes) {
  vxBitBtn1->SetDefault(yes);
  vxBitBtn2->SetDefault(!yes);
  (yes ? vxBitBtn1 : vxBitBtn2)->setFocus();
}

void Tjaneinfrage::PlaceButtons(int panelWidth) {
  const TButtonPair pair = PlaceButtonPair(panelWidth, vxBitBtn1->width());
  vxBitBtn1->move(pair.firstLeft, kButtonTop);
  vxBitBtn2->move(pair.secondLeft, kButtonTop);
}

}  // namespace qorvex
