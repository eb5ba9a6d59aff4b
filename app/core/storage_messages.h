// SPDX-License-Identifier: GPL-3.0-or-later
// What the window sees of the storage layer's failures and questions (core
// layer): the database error type and its causes in words, and the one
// place where a program connects its dialogs to the driver's questions,
// failures and rebuild notices. The window includes this, never storage/
// or diag/ themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "storage/debugstack.h"
#include "storage/errortexts.h"

namespace qorvex {

struct StorageMessages {
  // A yes/no question (caption, heading, text; "" keeps the dialog's own).
  std::function<bool(const std::string& caption, const std::string& heading,
                     const std::string& text)>
      question;
  // An error message ("Fehler").
  std::function<void(const std::string& text)> error;
  // A rebuild moved records to the block's ".MSG" file: the message to show.
  std::function<void(const std::string& text)> rebuildNotice;
};

// Connects the driver's retry questions, its start-up failure and its
// rebuild notices (in German) to these. Call once, before a session opens.
void ConnectStorageMessages(StorageMessages messages);

}  // namespace qorvex
