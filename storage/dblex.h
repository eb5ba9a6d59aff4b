// SPDX-License-Identifier: GPL-3.0-or-later
// Lexicon database (storage layer): the glossary's records in the file block
// QDLex, one owner (DatLex) sharing it among the typed objects (TdbLex) of
// the process. Records are variable-length: 360 bytes of fields and the used
// part of the text.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/dbbase.h"

namespace qorvex {

static_assert(std::endian::native == std::endian::little, "records are stored as in memory");

// A lexicon record (64360 bytes, little-endian; strings are a length byte
// and the characters, Windows-1252). As stored: isam/FORMAT.md section 7.
#pragma pack(push, 1)
struct TLexRec {
  uint8_t engineWord[4];  // 0: the engine's, 0 in a record that is added
  int32_t Id;             // 4: unique number, index 3
  int32_t TextLen;        // 8: used bytes of Text, 0..64000
  uint8_t Topic[31];      // 12: up to 30 characters
  uint8_t Term[51];       // 43: the headword, up to 50
  uint8_t SeeAlso[256];   // 94: related headwords, up to 255
  uint8_t reserved[10];   // 350: zero
  uint8_t Text[64000];    // 360: the entry text with its markup
};
#pragma pack(pop)
static_assert(offsetof(TLexRec, Id) == 4 && offsetof(TLexRec, TextLen) == 8 &&
              offsetof(TLexRec, Topic) == 12 && offsetof(TLexRec, Term) == 43 &&
              offsetof(TLexRec, SeeAlso) == 94 && offsetof(TLexRec, reserved) == 350 &&
              offsetof(TLexRec, Text) == 360 && sizeof(TLexRec) == 64360);

inline constexpr uint16_t kLexRecordLength = 64360;
inline constexpr uint16_t kLexSectionLength = 616;
inline constexpr uint16_t kLexFixedPart = 360;
inline constexpr int32_t kLexMaxText = 64000;

// Index 1: UpPad(Term, 20); 2: UpPad(Topic, 10) + UpPad(Term, 20); 3:
// LongToKey(Id). Other numbers leave key as it is.
void LexKeyBuilder(const uint8_t* record, uint16_t index, std::string& key);
// The same for a record as stored (of any length; missing bytes read as 0),
// as the engine's rebuild and checker pass it.
std::string LexStoredKey(std::span<const uint8_t> record, int index);

// The lexicon's rules for one stored record, for the block checker: Topic
// and Term lengths within their fields (30, 50); Id 1 or more; TextLen 0..64000 and the record
// stored in 360 + TextLen bytes (a TextLen above 64000 is read as 64000: a note only); no more
// sections than a record of 64360 bytes needs. Lines begin "record <ref>: ".
void CheckLexRecord(uint32_t ref, std::span<const uint8_t> record, uint32_t sections,
                    std::vector<std::string>& faults, std::vector<std::string>& notes);

// Slot sets are bit sets of slots 0..7.
using SlotSet = uint8_t;
inline constexpr SlotSet SlotBit(uint8_t slot) {
  return static_cast<SlotSet>(1u << slot);
}

// The block name of the lexicon.
inline constexpr const char* kLexBlockName = "QDLex";

class ToDatLex : public ToDatBase {
 public:
  // name: the block (and file) name; another name holds a lexicon built
  // beside the real one (an import's staged block).
  explicit ToDatLex(std::string name = kLexBlockName) : name_(std::move(name)) {}
  bool Open(SlotSet slots);
  void Close(SlotSet slots, bool all);
  // Deletes the lexicon's files (the next operation creates them again).
  void Clear(uint8_t slot);
  // Puts the block staged under StagingName (built and closed) in place of
  // the lexicon's files: all or nothing.
  bool Replace(uint8_t slot);
  // Deletes the block's files without a driver operation (a staged block
  // after a failed import; the driver may still be in its failed state).
  void Discard();
  IFDriver** DriverRef(uint8_t slot) { return slot == 0 ? driverRef_ : nullptr; }
  uint8_t* Buffer() { return buffer_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  IFDriver** driverRef_ = nullptr;
  IFDriver* driver_ = nullptr;
  uint8_t* buffer_ = nullptr;
};

// The one owner of the lexicon file block.
extern ToDatLex DatLex;

class TdbLexBase : public TdbBase {
 public:
  // owner: the lexicon the object works on (default the real one).
  explicit TdbLexBase(uint8_t slot, ToDatLex& owner = DatLex);
  ~TdbLexBase() override;
  TdbLexBase(const TdbLexBase&) = delete;
  TdbLexBase& operator=(const TdbLexBase&) = delete;

  IFDriver** DriverRef() override { return Owner.DriverRef(Slot); }
  void FetchRec(bool toWorking, bool second) override;
  bool First(int32_t index) override { return TdbBase::First(index); }
  bool Locate(const TKeyBuffer& key, int32_t index, bool toWorking) override {
    return FindKey(key, index, toWorking);
  }
  void GetUniqueKey(TKeyBuffer& key) override;
  uint8_t UniqueKeyNr() override { return 3; }

  void ClearRec();
  bool Add();
  std::string GetTopic() const;
  void SetTopic(std::string_view text);
  std::string GetTerm() const;
  void SetTerm(std::string_view text);
  std::string GetSeeAlso() const;
  void SetSeeAlso(std::string_view text);
  std::string GetText() const;
  void SetText(std::string_view text);
  // The same fields of Rec without a copy, valid while Rec is unchanged.
  std::string_view TermView() const;
  std::string_view SeeAlsoView() const;
  std::string_view TextView() const;

  uint8_t Slot;
  ToDatLex& Owner;
  bool OwnsOpen = false;
  // Aligned, so that Id and TextLen (offsets 4 and 8) are aligned too.
  alignas(4) TLexRec OrgRec{};
  alignas(4) TLexRec Rec{};
};

class TdbLex : public TdbLexBase {
 public:
  explicit TdbLex(uint8_t slot, ToDatLex& owner = DatLex) : TdbLexBase(slot, owner) {}
  bool FindTopicTerm(std::string_view topic, std::string_view term);
  bool FindTerm(std::string_view term);
};

}  // namespace qorvex
