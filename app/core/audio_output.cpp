// SPDX-License-Identifier: GPL-3.0-or-later
// The media error; see audio_output.h.
#include "app/core/audio_output.h"

namespace qorvex {
namespace {

std::string MediaMessage(EMediaError::Step step, const std::string& file,
                         const std::string& reason) {
  const char* what = step == EMediaError::Step::kOpen ? "Tondatei konnte nicht ge\xF6"
                                                        "ffnet werden: "
                                                      : "Tondatei konnte nicht abgespielt werden: ";
  return what + file + ": " + reason;
}

}  // namespace

EMediaError::EMediaError(Step step, const std::string& file, const std::string& reason)
    : std::runtime_error(MediaMessage(step, file, reason)), file_(file) {}

}  // namespace qorvex
