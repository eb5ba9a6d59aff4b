// What an engine or driver error number means, in words (storage layer):
// English for the command-line tool, German for the window. Numbers without
// a text of their own are named by their kind (the driver's severity, the
// engine's error class).
#pragma once

#include <cstdint>
#include <string>

namespace qorvex {

// Lower case, no number, no full stop: "the disk is full".
std::string ErrorCause(int32_t number);
// A German sentence in Windows-1252: "Der Datenträger ist voll."
std::string ErrorCauseGerman(int32_t number);

}  // namespace qorvex
