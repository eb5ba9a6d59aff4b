// SPDX-License-Identifier: GPL-3.0-or-later
// Tachtung, the warning (window layer): "&Weiter" closes it with 11; there
// is no cancel button, so Escape does nothing.
#pragma once

#include "app/ui/message_form.h"

namespace qorvex {

class TvxBitBtn;

class Tachtung : public TvxMessageForm {
  Q_OBJECT

 public:
  Tachtung();
  TvxBitBtn* vxBitBtn1 = nullptr;  // "&Weiter"

 protected:
  void PlaceButtons(int panelWidth) override;
};

}  // namespace qorvex
