// SPDX-License-Identifier: GPL-3.0-or-later
// The storage layer's messages to the window; see storage_messages.h.
#include "app/core/storage_messages.h"

#include "diag/storage_startup.h"
#include "storage/ifdriver.h"

namespace qorvex {

void ConnectStorageMessages(StorageMessages messages) {
  SetQuestionHandler(std::move(messages.question));
  SetErrorMessageHandler(std::move(messages.error));
  SetRebuildNotice(
      [notice = std::move(messages.rebuildNotice)](const std::string& fileName, int32_t dropped) {
        if (notice)
          notice(DroppedRecordsGerman(dropped, fileName.substr(fileName.rfind('/') + 1) + ".MSG"));
      });
}

}  // namespace qorvex
