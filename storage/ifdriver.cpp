// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's object: key texts, the descriptor operations, and the frame
// every public operation runs in (Enter, Leave, recording); see ifdriver.h.
#include "storage/ifdriver.h"

#include <algorithm>

#include "storage/driver_internal.h"

namespace qorvex {

using namespace driver;

namespace {
// The name of the block an entry of this operation names ("" for none).
std::string BlockNameOf(DriverOwner owner) {
  return owner != nullptr && *owner != nullptr && (*owner)->valid() ? (*owner)->blockName()
                                                                    : std::string();
}
}  // namespace

// --- Key texts and block names --------------------------------------------------------

std::string LongToKey(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  std::string k(5, '\0');
  k[0] = static_cast<char>((((u >> 28) ^ 0x8) << 4) | 0x1);
  k[1] = static_cast<char>(0x80 | ((u >> 21) & 0x7F));
  k[2] = static_cast<char>(0x80 | ((u >> 14) & 0x7F));
  k[3] = static_cast<char>(0x80 | ((u >> 7) & 0x7F));
  k[4] = static_cast<char>(0x80 | (u & 0x7F));
  return k;
}

int32_t KeyToLong(std::string_view key) {
  if (key.size() < 5) return 0;
  auto b = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(key[i])); };
  const uint32_t u = ((((b(0) >> 4) ^ 0x8) & 0xF) << 28) | ((b(1) & 0x7F) << 21) |
                     ((b(2) & 0x7F) << 14) | ((b(3) & 0x7F) << 7) | (b(4) & 0x7F);
  return static_cast<int32_t>(u);
}

std::string BlockNameKey(std::string_view name) {
  std::string k(name.substr(0, 40));
  for (char& c : k) {
    const auto u = static_cast<uint8_t>(c);
    if (u >= 'a' && u <= 'z')
      c = static_cast<char>(u - 32);
    else if (u == 0x84)
      c = static_cast<char>(0x8E);
    else if (u == 0x94)
      c = static_cast<char>(0x99);
  }
  return k;
}

// --- IFbiDriver ---------------------------------------------------------------------

std::string IFbiDriver::BuildKey(const uint8_t* record, uint16_t index) {
  std::string key;
  if (keyBuilder_) keyBuilder_(record, index, key);
  if (key.size() > kMaxKeyText) key.resize(kMaxKeyText);
  return key;
}

std::vector<KeyDescriptor> IFbiDriver::KeyDescriptors() const {
  std::vector<KeyDescriptor> keys;
  for (const KeyEntry& k : keys_) keys.push_back({k.keyLength, static_cast<uint8_t>(k.duplicates)});
  return keys;
}

// --- IFDriverLow --------------------------------------------------------------------

IFDriverLow::~IFDriverLow() {
  FreeKeyTable();
}

void IFDriverLow::FreeKeyTable() {
  keys_.clear();
  keys_.shrink_to_fit();
}

// --- IFDriver: enter, leave, recording --------------------------------------------

bool IFDriver::EnterProgram(uint16_t code) {
  Stack().Clear();
  Stack().SetMainOperation(code);
  Stack().SetSubOperation(0);
  if (inOperation)
    RecordProgram(kDriverReentered, 1);
  else
    inOperation = true;
  if (ErrorLevel() == 0 && code != kOpStart && !started) RecordProgram(kDriverNotStarted);
  return ErrorLevel() == 0;
}

bool IFDriver::LeaveProgram() {
  if (ErrorLevel() > 2 && kHaltOnFatal) {
    const TErrorEntry* w = Stack().Worst();
    std::string name;
    if (w != nullptr) name = BlockNameOf(w->owner);
    throw EDBError(ErrorLevel(), w ? w->number : 0, name);
  }
  inOperation = false;
  Stack().SetSubOperation(0);
  return ErrorLevel() == 0;
}

bool IFDriver::Enter(uint16_t code) {
  Stack().Clear();
  Stack().SetMainOperation(code);
  Stack().SetSubOperation(0);
  Stack().SetFirstBlock(owner_, fileTag_);
  if (inOperation)
    Fail(kDriverReentered, 1);
  else
    inOperation = true;
  if (ErrorLevel() != 0) return false;
  if (!started) {
    Fail(kDriverNotStarted);
    return false;
  }
  const int nibble = code >> 12;
  if (nibble == 0) return true;
  if (!valid()) {
    Fail(kDriverInvalidObject);
    return false;
  }
  if (nibble >= 2) EnsureOpen();
  return ErrorLevel() == 0;
}

bool IFDriver::Leave(bool) {
  if (ErrorLevel() > 2 && kHaltOnFatal) {
    const TErrorEntry* w = Stack().Worst();
    const std::string name = w != nullptr ? BlockNameOf(w->owner) : blockName_;
    throw EDBError(ErrorLevel(), w ? w->number : 0, name);
  }
  inOperation = false;
  Stack().SetSubOperation(0);
  return ErrorLevel() == 0;
}

void IFDriver::Fail(int32_t number, int32_t severity, int32_t step, int32_t ref, uint16_t index) {
  Stack().Record(owner_, severity, step, ref, index, number, fileTag_);
}

bool IFDriver::CheckIndex(uint16_t index) {
  if (index >= 1 && index <= indexCount_) return true;
  Fail(kDriverIndexNumber, 0, 0, 0, index);
  return false;
}

// --- Descriptor operations -----------------------------------------------------------

bool IFDriver::DefineKey(uint16_t index, uint8_t keyLength, bool duplicates) {
  if (Enter(kOpDefineKey) && CheckIndex(index)) {
    if (keyLength == 0)
      Fail(kDriverKeyLengthZero, 0, 0, 0, index);
    else if (keyLength > kMaxKeyText)
      Fail(kDriverKeyTooLong, 0, 0, 0, index);
    else
      keys_[index - 1] = KeyEntry{1, keyLength, duplicates, nullptr, 1, 1};
  }
  return Leave(false);
}

bool IFDriver::SetAutoNumber(uint16_t index, uint8_t* field) {
  if (Enter(kOpSetAutoNumber) && CheckIndex(index)) {
    if (!keys_[index - 1].defined)
      Fail(kDriverNumberUndefined, 0, 0, 0, index);
    else if (field < buffer_ || field + 4 > buffer_ + recordLength_)
      Fail(kDriverNumberField, 0, 0, 0, index);
    else
      keys_[index - 1].numberField = field;
  }
  return Leave(false);
}

bool IFDriver::SetVarLength(uint16_t length) {
  if (Enter(kOpSetVarLength)) {
    if (length < 5)
      Fail(kDriverVarLengthLow);
    else if (length > recordLength_)
      Fail(kDriverVarLengthHigh);
    else
      varLength_ = length;
  }
  return Leave(false);
}

bool IFDriver::ClearBuffer() {
  if (Enter(kOpClearBuffer)) std::memset(buffer_, 0, recordLength_);
  return Leave(false);
}

uint8_t* IFDriver::GetBuffer() {
  uint8_t* b = Enter(kOpGetBuffer) ? buffer_ : nullptr;
  Leave(false);
  return b;
}

bool IFDriver::SetProgressHook(ProgressHook hook) {
  if (Enter(kOpSetProgressHook)) progress_ = std::move(hook);
  return Leave(false);
}

bool IFDriver::DeleteFiles() {
  if (Enter(kOpDeleteFiles)) {
    CloseEngineBlock();
    DeleteFileBlock(fileName_);
    // Files that are not there are deleted already.
    if (!EngineOK && EngineError != kErrFileNotFound) Fail(EngineError);
    currentRef_ = readRef_ = -1;
    currentIndex_ = 0;
  }
  return Leave(false);
}

bool IFDriver::ReplaceFiles() {
  if (Enter(kOpReplaceFiles)) {
    CloseEngineBlock();
    if (ErrorLevel() == 0 && !Retried([&] { ReplaceFileBlock(fileName_); })) Fail(EngineError);
    currentRef_ = readRef_ = -1;
    currentIndex_ = 0;
  }
  return Leave(false);
}

// --- Reading and positioning ---------------------------------------------------------

}  // namespace qorvex
