// SPDX-License-Identifier: GPL-3.0-or-later
// The warning; see warning_dialog.h.
#include "app/ui/warning_dialog.h"

#include "app/ui/command_button.h"
#include "app/ui/dialoglayout.h"

namespace qorvex {

Tachtung::Tachtung()
    : TvxMessageForm(QStringLiteral("Achtung"), QStringLiteral("Achtung:"),
                     QStringLiteral("dialogs/achtung")) {
  vxBitBtn1 = new TvxBitBtn(Panel2);
  vxBitBtn1->SetVxKind(bkWeiter);
  vxBitBtn1->setGeometry(0, kButtonTop, 105, kButtonHeight);
  vxBitBtn1->setFocus();
}

void Tachtung::PlaceButtons(int panelWidth) {
  vxBitBtn1->move(PlaceOneButton(panelWidth, vxBitBtn1->width()), kButtonTop);
}

}  // namespace qorvex
