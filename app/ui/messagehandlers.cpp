// The storage layer's questions and failures; see messagehandlers.h.
#include "app/ui/messagehandlers.h"

#include "app/ui/tomessages.h"
#include "diag/sherr345.h"

namespace qorvex {

void InstallMessageHandlers() {
  SetQuestionHandler(
      [](const std::string& caption, const std::string& heading, const std::string& text) {
        return ToMessages.Frage(caption, heading, text, true);
      });
  SetErrorMessageHandler([](const std::string& text) { ToMessages.Fehler(text); });
}

void ShowHandlerError(const char* message) noexcept {
  try {
    ToMessages.Fehler(message);
  } catch (...) {
    // Showing failed (no memory left): nothing more can be done here, and
    // nothing may leave the handler.
  }
}

}  // namespace qorvex
