// SPDX-License-Identifier: GPL-3.0-or-later
// Lexicon database; see dblex.h.
#include "storage/dblex.h"

#include <algorithm>
#include <cstring>

namespace qorvex {
namespace {

std::string_view ShortView(const uint8_t* field, int max) {
  const int n = std::min<int>(field[0], max);
  return {reinterpret_cast<const char*>(field + 1), static_cast<size_t>(n)};
}

std::string GetShort(const uint8_t* field, int max) {
  return std::string(ShortView(field, max));
}

void SetShort(uint8_t* field, std::string_view text, int max) {
  const size_t n = std::min(text.size(), static_cast<size_t>(max));
  field[0] = static_cast<uint8_t>(n);
  std::memcpy(field + 1, text.data(), n);
}

// A stored length beyond the text's room counts as the room.
int32_t UsedText(const TLexRec& r) {
  const int32_t n = r.TextLen;  // a copy: the record may lie unaligned
  return std::clamp(n, 0, kLexMaxText);
}

}  // namespace

ToDatLex DatLex;

void LexKeyBuilder(const uint8_t* record, uint16_t index, std::string& key) {
  const auto& r = *reinterpret_cast<const TLexRec*>(record);
  const std::string term = GetShort(r.Term, 50), topic = GetShort(r.Topic, 30);
  switch (index) {
    case 1:
      key = ToStrings.UpPad(term, 20);
      break;
    case 2:
      key = ToStrings.UpPad(topic, 10) + ToStrings.UpPad(term, 20);
      break;
    case 3: {
      int32_t id;
      std::memcpy(&id, record + offsetof(TLexRec, Id), 4);
      key = LongToKey(id);
      break;
    }
  }
}

std::string LexStoredKey(std::span<const uint8_t> record, int index) {
  alignas(4) uint8_t fixed[kLexFixedPart] = {};
  std::copy_n(record.begin(), std::min<size_t>(record.size(), kLexFixedPart), fixed);
  std::string key;
  LexKeyBuilder(fixed, static_cast<uint16_t>(index), key);
  return key;
}

void CheckLexRecord(uint32_t ref, std::span<const uint8_t> record, uint32_t sections,
                    std::vector<std::string>& faults, std::vector<std::string>& notes) {
  // Sections of a whole record: the first holds L - 6 bytes, the others L - 7.
  constexpr uint32_t kMaxSections =
      1 + (kLexRecordLength - (kLexSectionLength - 6) + kLexSectionLength - 8) /
              (kLexSectionLength - 7);
  const std::string at = "record " + std::to_string(ref) + ": ";
  auto field = [&](size_t offset) {
    int32_t v = 0;
    if (record.size() >= offset + 4) std::memcpy(&v, record.data() + offset, 4);
    return v;
  };
  // The length bytes of the short strings: a read clamps them, the record
  // is damaged all the same (the see-also list fills its byte's range).
  const struct {
    const char* name;
    size_t offset;
    uint8_t max;
  } strings[] = {{"Topic", offsetof(TLexRec, Topic), 30}, {"Term", offsetof(TLexRec, Term), 50}};
  for (const auto& f : strings)
    if (record.size() > f.offset && record[f.offset] > f.max)
      faults.push_back(at + f.name + " length " + std::to_string(record[f.offset]) +
                       ", expected 0.." + std::to_string(f.max));
  const int32_t id = field(offsetof(TLexRec, Id));
  const int32_t textLen = field(offsetof(TLexRec, TextLen));
  if (id < 1) faults.push_back(at + "Id " + std::to_string(id) + ", expected 1 or more");
  if (textLen < 0) {
    faults.push_back(at + "TextLen " + std::to_string(textLen) + ", expected 0..64000");
  } else {
    const int32_t used = std::min(textLen, kLexMaxText);
    if (textLen > kLexMaxText)
      notes.push_back(at + "TextLen " + std::to_string(textLen) + " above 64000, read as 64000");
    if (record.size() != static_cast<size_t>(kLexFixedPart + used))
      faults.push_back(at + "stored in " + std::to_string(record.size()) +
                       " bytes, expected 360 + TextLen " + std::to_string(used) + " = " +
                       std::to_string(kLexFixedPart + used));
  }
  if (sections > kMaxSections)
    faults.push_back(at + std::to_string(sections) + " sections, a record of 64360 bytes needs " +
                     std::to_string(kMaxSections));
}

bool ToDatLex::Open(SlotSet slots) {
  if (!(slots & SlotBit(0))) return true;
  ToKeys keys;
  keys.SetKey(1, 20, true);
  keys.SetKey(2, 30, true);
  keys.SetKey(3, 5, false);
  const int result =
      AttachFileBlock(this, driverRef_, driver_, buffer_, kLexRecordLength, kLexSectionLength,
                      name_, name_, 3, LexKeyBuilder, false, &keys);
  if (result == 2) return false;
  if (result == 0 && ErrorLevel() == 0)
    (*driverRef_)->SetAutoNumber(3, (*driverRef_)->GetBuffer() + offsetof(TLexRec, Id));
  return true;
}

void ToDatLex::Close(SlotSet slots, bool all) {
  if (!(slots & SlotBit(0))) return;
  do DetachFileBlock(this, driverRef_, buffer_, kLexRecordLength);
  while (all && driverRef_ != nullptr);
}

void ToDatLex::Clear(uint8_t slot) {
  if (slot == 0 && driverRef_ != nullptr && *driverRef_ != nullptr) (*driverRef_)->DeleteFiles();
}

bool ToDatLex::Replace(uint8_t slot) {
  return slot == 0 && driverRef_ != nullptr && *driverRef_ != nullptr &&
         (*driverRef_)->ReplaceFiles();
}

void ToDatLex::Discard() {
  Close(SlotBit(0), true);
  TStatusArea status;
  SaveStatus(status);
  DeleteFileBlock(name_.starts_with('/') ? name_ : ProgramFolder() + name_);
  RestoreStatus(status);
}

TdbLexBase::TdbLexBase(uint8_t slot, ToDatLex& owner) : Slot(slot), Owner(owner) {
  if (DriverRef() == nullptr) OwnsOpen = Owner.Open(SlotBit(Slot));
}

TdbLexBase::~TdbLexBase() {
  if (OwnsOpen) Owner.Close(SlotBit(Slot), false);
}

void TdbLexBase::FetchRec(bool toWorking, bool) {
  if (Slot != 0) return;
  // Only the fields and the used text: nothing reads past TextLen, and the
  // whole 64,360 bytes twice per record dominated a walk of the lexicon.
  if (const uint8_t* b = Owner.Buffer()) {
    std::memcpy(&OrgRec, b, kLexFixedPart);
    std::memcpy(OrgRec.Text, b + kLexFixedPart, static_cast<size_t>(UsedText(OrgRec)));
  }
  if (toWorking) std::memcpy(&Rec, &OrgRec, kLexFixedPart + static_cast<size_t>(UsedText(OrgRec)));
}

void TdbLexBase::GetUniqueKey(TKeyBuffer& key) {
  ToStrings.ToKeyBuffer(LongToKey(OrgRec.Id), key);
}

void TdbLexBase::ClearRec() {
  ClearBuffer();
  if (Slot != 0) return;
  std::memset(&OrgRec, 0, sizeof OrgRec);
  std::memset(&Rec, 0, sizeof Rec);
}

bool TdbLexBase::Add() {
  ClearBuffer();
  IFDriver* d = Driver();
  if (d == nullptr || Slot != 0) return false;
  uint8_t* b = Owner.Buffer();
  std::memcpy(b, &Rec, sizeof Rec);
  if (!AddRec(static_cast<uint16_t>(kLexFixedPart + UsedText(Rec)))) return false;
  std::memcpy(&Rec.Id, b + offsetof(TLexRec, Id), 4);
  OrgRec = Rec;
  return true;
}

std::string TdbLexBase::GetTopic() const {
  return GetShort(Rec.Topic, 30);
}
void TdbLexBase::SetTopic(std::string_view text) {
  SetShort(Rec.Topic, text, 30);
}
std::string TdbLexBase::GetTerm() const {
  return GetShort(Rec.Term, 50);
}
void TdbLexBase::SetTerm(std::string_view text) {
  SetShort(Rec.Term, text, 50);
}
std::string TdbLexBase::GetSeeAlso() const {
  return GetShort(Rec.SeeAlso, 255);
}
void TdbLexBase::SetSeeAlso(std::string_view text) {
  SetShort(Rec.SeeAlso, text, 255);
}

std::string TdbLexBase::GetText() const {
  return std::string(TextView());
}

std::string_view TdbLexBase::TermView() const {
  return ShortView(Rec.Term, 50);
}
std::string_view TdbLexBase::SeeAlsoView() const {
  return ShortView(Rec.SeeAlso, 255);
}
std::string_view TdbLexBase::TextView() const {
  return {reinterpret_cast<const char*>(Rec.Text), static_cast<size_t>(UsedText(Rec))};
}

void TdbLexBase::SetText(std::string_view text) {
  const size_t n = std::min(text.size(), static_cast<size_t>(kLexMaxText));
  Rec.TextLen = static_cast<int32_t>(n);
  std::memcpy(Rec.Text, text.data(), n);
}

bool TdbLex::FindTopicTerm(std::string_view topic, std::string_view term) {
  return Locate(ToStrings.ToKeyBuffer(ToStrings.UpPad(topic, 10) + ToStrings.UpPad(term, 20)), 2,
                true);
}

bool TdbLex::FindTerm(std::string_view term) {
  return Locate(ToStrings.ToKeyBuffer(ToStrings.UpPad(term, 20)), 1, true);
}

}  // namespace qorvex
