// The storage layer's questions and failures; see messagehandlers.h.
#include "app/ui/messagehandlers.h"

#include "app/ui/tomessages.h"
#include "diag/sherr345.h"
#include "storage/errortexts.h"
#include "storage/ifdriver.h"

namespace qorvex {

void InstallMessageHandlers() {
  SetQuestionHandler(
      [](const std::string& caption, const std::string& heading, const std::string& text) {
        return ToMessages.Frage(caption, heading, text, true);
      });
  SetErrorMessageHandler([](const std::string& text) { ToMessages.Fehler(text); });
  SetRebuildNotice([](const std::string& fileName, int32_t dropped) {
    const std::string name = fileName.substr(fileName.rfind('/') + 1) + ".MSG";
    ToMessages.Achtung("Achtung:", DroppedRecordsGerman(dropped, name));
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
