// SPDX-License-Identifier: GPL-3.0-or-later
// How the storage layer's questions and failures reach the user (window
// layer): the retry question and the start-up error through the message
// dialogs, and a guard that keeps a database error inside the event handler
// that met it.
#pragma once

#include <exception>
#include <utility>

#include "app/core/storage_messages.h"

namespace qorvex {

// Puts the driver's retry questions to the user with Frage ("Ja" the
// default) and shows the start-up failure with Fehler. Call once, before
// InitFileManager.
void InstallMessageHandlers();

// Shows the message (Windows-1252) of an exception that reached an event
// handler through Fehler.
void ShowHandlerError(const char* message) noexcept;
// The same for a database error: its message, and under it the cause in
// words.
void ShowHandlerError(const EDBError& error) noexcept;

// Runs an event handler's body. An EDBError (or any other exception) is
// shown through Fehler and goes no further: nothing crosses the Qt event
// loop. True when the body ran through.
template <typename Body>
bool RunGuarded(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (const EDBError& error) {
    ShowHandlerError(error);
  } catch (const std::exception& error) {
    ShowHandlerError(error.what());
  } catch (...) {
    ShowHandlerError("Unbekannter Fehler");
  }
  return false;
}

}  // namespace qorvex
