// SPDX-License-Identifier: GPL-3.0-or-later
// Typed database base; see dbbase.h.
#include "storage/dbbase.h"

#include <memory>
#include <new>

namespace qorvex {

void ToKeys::SetKey(uint8_t index, uint8_t keyLength, bool duplicates) {
  if (index == 0) return;
  if (entries_.size() < index) entries_.resize(index, {0, false});
  entries_[index - 1] = {keyLength, duplicates};
}

uint16_t ToKeys::GetKey(uint8_t index) const {
  if (index == 0 || index > entries_.size()) return 0;
  const auto& [length, duplicates] = entries_[index - 1];
  return static_cast<uint16_t>(length | (duplicates ? 0x100 : 0));
}

bool FindAttachedBlock(ToDatBase*, IFDriver**& driverRef, uint8_t*& buffer,
                       std::string_view blockName) {
  driverRef = IFDriver::FindByName(blockName);
  if (driverRef == nullptr) {
    buffer = nullptr;
    return false;
  }
  ++(*driverRef)->shareCount;
  buffer = (*driverRef)->GetBuffer();
  return true;
}

int AttachFileBlock(ToDatBase* owner, IFDriver**& driverRef, IFDriver*& driver, uint8_t*& buffer,
                    uint16_t recordLength, uint16_t sectionLength, std::string_view blockName,
                    std::string_view fileName, uint16_t indexCount, DriverKeyBuilder keyBuilder,
                    bool shared, const ToKeys* keys) {
  if (FindAttachedBlock(owner, driverRef, buffer, blockName)) return 1;
  buffer = new (std::nothrow) uint8_t[recordLength]();
  if (buffer == nullptr) return 2;
  auto cleanUp = [&] {
    delete driver;
    driver = nullptr;
    driverRef = nullptr;
    delete[] buffer;
    buffer = nullptr;
  };
  try {
    driver = new IFDriver;
    if (!driver->Open(&driver, blockName.substr(0, 40), fileName,
                      {.shared = shared,
                       .variableLength = recordLength != sectionLength,
                       .rebuildAllowed = true,
                       .sectionLength = sectionLength,
                       .indexCount = indexCount,
                       .recordBuffer = buffer,
                       .recordLength = recordLength,
                       .keyBuilder = std::move(keyBuilder)})) {
      cleanUp();
      return 2;
    }
    driverRef = &driver;
    for (int i = 1; keys != nullptr && i <= keys->Count() && ErrorLevel() == 0; ++i) {
      const uint16_t k = keys->GetKey(static_cast<uint8_t>(i));
      driver->DefineKey(static_cast<uint16_t>(i), static_cast<uint8_t>(k & 0xFF), (k >> 8) != 0);
    }
    if (ErrorLevel() == 0) driver->SetProgressHook([](int, int32_t) {});
  } catch (...) {
    cleanUp();
    throw;
  }
  return 0;
}

void DetachFileBlock(ToDatBase*, IFDriver**& driverRef, uint8_t*& buffer, uint16_t) {
  if (driverRef == nullptr) return;
  IFDriver*& holder = *driverRef;
  if (holder != nullptr && holder->shareCount > 0) {
    --holder->shareCount;
    return;
  }
  delete holder;
  holder = nullptr;
  driverRef = nullptr;
  delete[] buffer;
  buffer = nullptr;
}

bool TdbBase::FindKey(const TKeyBuffer& key, int32_t index, bool toWorking) {
  KeyNr = index;
  IFDriver* d = Driver();
  if (d == nullptr || !d->FindKey(static_cast<uint16_t>(index), ToStrings.FromKeyBuffer(key)))
    return false;
  FetchRec(toWorking, true);
  return true;
}

bool TdbBase::First(int32_t index) {
  KeyNr = index;
  IFDriver* d = Driver();
  const bool ok = d != nullptr && d->First(static_cast<uint16_t>(KeyNr));
  FetchRec(true, true);
  return ok;
}

bool TdbBase::Last(int32_t index) {
  KeyNr = index;
  IFDriver* d = Driver();
  if (d == nullptr) return false;
  const bool ok = d->Last(static_cast<uint16_t>(KeyNr));
  FetchRec(true, true);
  return ok;
}

bool TdbBase::Search(const TKeyBuffer& key, int32_t index) {
  KeyNr = index;
  IFDriver* d = Driver();
  if (d == nullptr) return false;
  const bool ok = d->Search(static_cast<uint16_t>(index), ToStrings.FromKeyBuffer(key));
  FetchRec(true, true);
  return ok;
}

bool TdbBase::Delete(bool moveNext) {
  if (!Resync(true)) return false;
  IFDriver* d = Driver();
  if (d == nullptr) return false;
  const bool ok = d->Delete(moveNext ? 3 : 0);
  FetchRec(true, true);
  return ok;
}

bool TdbBase::Next(bool resync, bool toWorking) {
  if (resync && !Resync(true)) return false;
  IFDriver* d = Driver();
  const bool ok = d != nullptr && d->Next(static_cast<uint16_t>(KeyNr));
  FetchRec(toWorking, toWorking);
  return ok;
}

int32_t TdbBase::Count() {
  IFDriver* d = Driver();
  if (d == nullptr) return 0;
  int32_t n = 0;
  for (d->First(UniqueKeyNr()); ErrorLevel() == 0; d->Next(UniqueKeyNr())) ++n;
  return n;
}

void TdbBase::GetUniqueKey(TKeyBuffer& key) {
  ToStrings.ToKeyBuffer("", key);
}

void TdbBase::ClearBuffer() {
  if (IFDriver* d = Driver()) d->ClearBuffer();
}

bool TdbBase::AddRec(uint16_t length) {
  IFDriver* d = Driver();
  if (d == nullptr) return false;
  if (length > 0 && !d->SetVarLength(length)) return false;
  return d->Add();
}

bool TdbBase::PutRec(uint16_t length) {
  IFDriver* d = Driver();
  if (d == nullptr) return false;
  if (length > 0 && !d->SetVarLength(length)) return false;
  return d->Update();
}

bool TdbBase::Resync(bool toWorking) {
  const int32_t saved = KeyNr;
  TKeyBuffer key;
  GetUniqueKey(key);
  const bool ok = Locate(key, UniqueKeyNr(), toWorking);
  KeyNr = saved;
  return ok;
}

}  // namespace qorvex
