// SPDX-License-Identifier: GPL-3.0-or-later
// The error message; see error_dialog.h.
#include "app/ui/error_dialog.h"

#include "app/ui/command_button.h"
#include "app/ui/dialoglayout.h"

namespace qorvex {

Tfehler::Tfehler()
    : TvxMessageForm(QStringLiteral("Fehler"), QStringLiteral("Fehlermeldung:"),
                     QStringLiteral("dialogs/fehler")) {
  vxBitBtn1 = new TvxBitBtn(Panel2);
  vxBitBtn1->Load(bkCancel, QStringLiteral("&Abbrechen"));
  vxBitBtn1->setGeometry(0, kButtonTop, 113, kButtonHeight);
  vxBitBtn1->setFocus();
}

void Tfehler::PlaceButtons(int panelWidth) {
  vxBitBtn1->move(PlaceOneButton(panelWidth, vxBitBtn1->width()), kButtonTop);
}

}  // namespace qorvex
