// SPDX-License-Identifier: GPL-3.0-or-later
// Tjaneinfrage, the yes/no question (window layer): "&Ja" closes with 6,
// "&Nein" with 7 and is the cancel button (Escape).
#pragma once

#include "app/ui/message_form.h"

namespace qorvex {

class TvxBitBtn;

class Tjaneinfrage : public TvxMessageForm {
  Q_OBJECT

 public:
  Tjaneinfrage();
  TvxBitBtn* vxBitBtn1 = nullptr;  // "&Ja"
  TvxBitBtn* vxBitBtn2 = nullptr;  // "&Nein"

  // "Ja" is the default button when yes, else "Nein" is, and then "Nein"
  // also has the input focus.
  void SetDefaultYes(bool yes);

 protected:
  void PlaceButtons(int panelWidth) override;
};

}  // namespace qorvex
