// SPDX-License-Identifier: GPL-3.0-or-later
// Driver start and stop, dump names, retry questions; see storage_startup.h.
#include "diag/storage_startup.h"

#include "storage/ifdriver.h"

namespace qorvex {
namespace {

QuestionHandler question;
ErrorMessageHandler errorMessage;

}  // namespace

namespace {
uint8_t language = kGerman;
}  // namespace

void SetLanguage(uint8_t languageId) {
  language = languageId;
}

std::string SelectText(std::string_view german, std::string_view english) {
  return std::string(language == kGerman ? german : english);
}

void SetQuestionHandler(QuestionHandler handler) {
  question = std::move(handler);
}

void SetErrorMessageHandler(ErrorMessageHandler handler) {
  errorMessage = std::move(handler);
}

bool InitFileManager() {
  // Made current for the rest of the program; never freed while in use.
  static SpecialDebugStack* stack = new SpecialDebugStack;
  SetCurrentDebugStack(stack);
  stack->SetDumpFileName(kStartDumpName);
  IFDriver::Start(2, 160, 32);
  if (ErrorLevel() != 0) {
    if (errorMessage)
      errorMessage(SelectText("Dateiverwaltung konnte nicht initialisiert werden",
                              "Error initializising file manager"));
    return false;
  }
  stack->SetDumpFileName(kDumpName);
  SetRetryHandler([](const std::string& block, uint8_t kind) { return AskRetry(block, kind); });
  return true;
}

void DoneFileManager() {
  IFDriver::Stop();
}

std::string RetryQuestion(std::string_view blockName, uint8_t kind) {
  std::string text;
  switch (kind) {
    case kRetryLocked:
      text = SelectText(" Record oder Datei gelockt. Noch einmal versuchen? ",
                        " Record or file locked. Retry ? ");
      break;
    case kRetryRecordLock:
      text =
          SelectText(" LockRec gescheitert. Noch einmal versuchen? ", " LockRec failed. Retry ? ");
      break;
    case kRetryFileBlockLock:
      text = SelectText(" LockFileBlock gescheitert. Noch einmal versuchen? ",
                        " LockFileBlock failed. Retry ? ");
      break;
    case kRetryDeletedMeanwhile:
      text = SelectText(" Satz bereits gel\xF6scht. Neuanlegen? ",
                        " Record already deleted. New add ? ");
      break;
    case kRetryIndexUnusable:
    case kRetryFilesMissing:
      return {};
    case kRetryDriveNotReady:
      text = SelectText(" Laufwerk nicht bereit. Noch einmal versuchen? ",
                        " Drive not ready. Retry ? ");
      break;
    default:
      text = SelectText(" undefinierter Fehler. Noch einmal versuchen? ",
                        " undefined Error. Retry ? ");
      break;
  }
  return std::string(blockName.substr(0, 40)) + ": " + text;
}

bool AskRetry(std::string_view blockName, uint8_t kind) {
  if (kind == kRetryIndexUnusable || kind == kRetryFilesMissing) return true;
  return question && question("", "", RetryQuestion(blockName, kind));
}

}  // namespace qorvex
