// SPDX-License-Identifier: GPL-3.0-or-later
// The storage layer's questions and failures; see messagehandlers.h.
#include "app/ui/messagehandlers.h"

#include "app/ui/message_dialogs.h"

namespace qorvex {

void InstallMessageHandlers() {
  ConnectStorageMessages({
      .question =
          [](const std::string& caption, const std::string& heading, const std::string& text) {
            return ToMessages.Frage(caption, heading, text, true);
          },
      .error = [](const std::string& text) { ToMessages.Fehler(text); },
      .rebuildNotice = [](const std::string& text) { ToMessages.Achtung("Achtung:", text); },
  });
}

void ShowHandlerError(const char* message) noexcept {
  try {
    ToMessages.Fehler(message);
  } catch (...) {
    // Showing failed (no memory left): nothing more can be done here, and
    // nothing may leave the handler.
  }
}

void ShowHandlerError(const EDBError& error) noexcept {
  std::string text;
  try {
    text = std::string(error.what()) + "\n" + ErrorCauseGerman(error.number());
  } catch (...) {
    // No memory for the cause: the message alone.
  }
  ShowHandlerError(text.empty() ? error.what() : text.c_str());
}

}  // namespace qorvex
