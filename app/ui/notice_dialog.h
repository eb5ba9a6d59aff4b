// SPDX-License-Identifier: GPL-3.0-or-later
// Thinweis, the note (window layer): "&Schließen" closes it; a check box
// "Meldung nicht mehr anzeigen" is shown when asked for.
#pragma once

#include "app/ui/message_form.h"

class QCheckBox;

namespace qorvex {

class TvxBitBtn;

class Thinweis : public TvxMessageForm {
  Q_OBJECT

 public:
  Thinweis();
  TvxBitBtn* vxBitBtn1 = nullptr;  // "&Schließen"
  QCheckBox* ccheck = nullptr;

  void ShowCheckBox(bool show);

 protected:
  void PlaceButtons(int panelWidth) override;
  int MinClientWidth() const override;
};

}  // namespace qorvex
