// SPDX-License-Identifier: GPL-3.0-or-later
// Driver start and stop for the programs, the dump file names, and the
// retry questions (diagnostics layer). The questions and the start-up error
// are shown through handlers that the viewer (dialogs) or the command-line
// tool (terminal) installs; without one a question is answered "Nein".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/debugstack.h"

namespace qorvex {

// Every text is a German/English pair: 1 = German (the viewer's), 2 =
// English (qorvex-db's); set once, before the driver starts.
inline constexpr uint8_t kGerman = 1, kEnglish = 2;
void SetLanguage(uint8_t languageId);
std::string SelectText(std::string_view german, std::string_view english);

// The program's error stack (behaves as DebugStack).
class SpecialDebugStack : public DebugStack {};

inline constexpr const char* kStartDumpName = "VX.ERR";
inline constexpr const char* kDumpName = "IFD.ERR";

// A yes/no question (caption, heading, text; "" keeps the dialog's own
// caption "Abfrage" and heading "Abfrage:"): true for "Ja".
using QuestionHandler = std::function<bool(const std::string& caption, const std::string& heading,
                                           const std::string& text)>;
// The error message box ("Fehler").
using ErrorMessageHandler = std::function<void(const std::string& text)>;
void SetQuestionHandler(QuestionHandler handler);
void SetErrorMessageHandler(ErrorMessageHandler handler);

// Starts the storage driver (network kind 2, 160 page buffers, 32 files).
// A fatal start error raises EDBError (the dump then goes to VX.ERR); a
// harmless one shows "Dateiverwaltung konnte nicht initialisiert werden" and
// gives false. On success the dump name is IFD.ERR and AskRetry answers the
// driver's retry requests.
bool InitFileManager();
// Stops the driver (refused, fatally, while blocks are still attached).
void DoneFileManager();

// The retry question for a block and a kind: the name cut to 40
// characters, ": ", and the kind's question; "" for kinds 5 and 6, which
// are answered yes without asking.
std::string RetryQuestion(std::string_view blockName, uint8_t kind);
bool AskRetry(std::string_view blockName, uint8_t kind);

}  // namespace qorvex
