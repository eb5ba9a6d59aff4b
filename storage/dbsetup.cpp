// SPDX-License-Identifier: GPL-3.0-or-later
// Settings database; see dbsetup.h.
#include "storage/dbsetup.h"

#include <cstring>

namespace qorvex {

ToSetupsType ToSetups;
ToDatSetup DatSetup;

int32_t TSetupRec0::Get(size_t offset) const {
  int32_t v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

void TSetupRec0::Set(size_t offset, int32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

void SetupKeyBuilder(const uint8_t* record, uint16_t index, std::string& key) {
  if (index != 1) return;
  int32_t id;
  std::memcpy(&id, record + 4, 4);
  key = LongToKey(id);
}

bool ToDatSetup::Attach(uint8_t slot) {
  ToKeys keys;
  keys.SetKey(1, 5, false);
  const std::string& prefix = slot <= 1 ? ToSetups.paths.second : ToSetups.paths.first;
  const uint16_t length = kSetupRecordLength[slot];
  const int result = AttachFileBlock(this, driverRef_[slot], driver_[slot], buffer_[slot], length,
                                     length, kSetupBlockName[slot], prefix + kSetupBlockName[slot],
                                     1, SetupKeyBuilder, true, &keys);
  if (result == 2) return false;
  if (result == 0 && slot != 0 && ErrorLevel() == 0)
    (*driverRef_[slot])->SetAutoNumber(1, (*driverRef_[slot])->GetBuffer() + 4);
  return true;
}

bool ToDatSetup::Open(SlotSet slots) {
  for (uint8_t slot : {0, 3, 2, 1})
    if ((slots & SlotBit(slot)) && !Attach(slot)) return false;
  return true;
}

void ToDatSetup::Close(SlotSet slots, bool all) {
  for (uint8_t slot = 0; slot < kSetupSlots; ++slot) {
    if (!(slots & SlotBit(slot))) continue;
    do DetachFileBlock(this, driverRef_[slot], buffer_[slot], kSetupRecordLength[slot]);
    while (all && driverRef_[slot] != nullptr);
  }
}

IFDriver** ToDatSetup::DriverRef(uint8_t slot) const {
  return slot < kSetupSlots ? driverRef_[slot] : nullptr;
}

uint8_t* ToDatSetup::Buffer(uint8_t slot) const {
  return slot < kSetupSlots ? buffer_[slot] : nullptr;
}

TdbSetupBase::TdbSetupBase(uint8_t slot) : Slot(slot) {
  const size_t n = slot < kSetupSlots ? kSetupRecordLength[slot] : 0;
  OrgRec.assign(n, 0);
  Rec.assign(n, 0);
  if (DriverRef() == nullptr) OwnsOpen = DatSetup.Open(SlotBit(Slot));
}

TdbSetupBase::~TdbSetupBase() {
  if (OwnsOpen) DatSetup.Close(SlotBit(Slot), false);
}

void TdbSetupBase::FetchRec(bool toWorking, bool) {
  if (const uint8_t* b = DatSetup.Buffer(Slot)) std::memcpy(OrgRec.data(), b, OrgRec.size());
  if (toWorking) Rec = OrgRec;
}

void TdbSetupBase::GetUniqueKey(TKeyBuffer& key) {
  int32_t id = 0;
  if (OrgRec.size() >= 8) std::memcpy(&id, OrgRec.data() + 4, 4);
  ToStrings.ToKeyBuffer(LongToKey(id), key);
}

void TdbSetupBase::ClearRec() {
  ClearBuffer();
  std::fill(OrgRec.begin(), OrgRec.end(), 0);
  std::fill(Rec.begin(), Rec.end(), 0);
}

bool TdbSetupBase::Add() {
  uint8_t* b = DatSetup.Buffer(Slot);
  if (b == nullptr || Driver() == nullptr) return false;
  std::memcpy(b, Rec.data(), Rec.size());
  if (!AddRec(0)) return false;
  std::memcpy(Rec.data() + 4, b + 4, 4);
  OrgRec = Rec;
  return true;
}

bool TdbSetupBase::Save() {
  if (!Resync(false)) return false;
  uint8_t* b = DatSetup.Buffer(Slot);
  if (b == nullptr) return false;
  std::memcpy(b, Rec.data(), Rec.size());
  if (!PutRec(0)) return false;
  OrgRec = Rec;
  return true;
}

void TdbSetupBase::GetRec0(TSetupRec0& out) const {
  if (Slot == 0) std::memcpy(out.bytes.data(), Rec.data(), TSetupRec0::kLength);
}

void TdbSetupBase::SetRec0(const TSetupRec0& in) {
  if (Slot != 0) return;
  std::memcpy(Rec.data(), in.bytes.data(), TSetupRec0::kLength);
  OrgRec = Rec;
}

}  // namespace qorvex
