// SPDX-License-Identifier: GPL-3.0-or-later
// Tfehler, the error message (window layer): "&Abbrechen" closes it with 2
// and is the cancel button (Escape).
#pragma once

#include "app/ui/message_form.h"

namespace qorvex {

class TvxBitBtn;

class Tfehler : public TvxMessageForm {
  Q_OBJECT

 public:
  Tfehler();
  TvxBitBtn* vxBitBtn1 = nullptr;  // "&Abbrechen"

 protected:
  void PlaceButtons(int panelWidth) override;
};

}  // namespace qorvex
