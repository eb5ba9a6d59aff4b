// SPDX-License-Identifier: GPL-3.0-or-later
// Settings database (storage layer): four small fixed-length file blocks
// shared with other programs of the family. Slot 0 (QDSETUP) holds this
// program's window placement in a record of 3530 bytes whose other bytes are
// written back as read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/dbbase.h"
#include "storage/dblex.h"

namespace qorvex {

inline constexpr int kSetupSlots = 4;
inline constexpr std::array<uint16_t, kSetupSlots> kSetupRecordLength = {3530, 50408, 2296, 5265};
inline constexpr std::array<const char*, kSetupSlots> kSetupBlockName = {"QDSETUP", "QDSETUP2",
                                                                         "ZELPSETP", "QKSETUP"};

// Slot 0's record: the fields this program uses (isam/FORMAT.md section 8).
struct TSetupRec0 {
  static constexpr size_t kLength = 3530;
  static constexpr size_t kId = 4, kWindowLeft = 3451, kWindowTop = 3455, kWindowHeight = 3459,
                          kWindowWidth = 3463, kWindowMaximized = 3467;
  std::array<uint8_t, kLength> bytes{};

  int32_t Get(size_t offset) const;
  void Set(size_t offset, int32_t value);
};

// Index 1 of every settings block: LongToKey of the number at offset 4.
void SetupKeyBuilder(const uint8_t* record, uint16_t index, std::string& key);

// The settings in memory: defaults, the paths record (two folder prefixes,
// empty here) and the window-layout record the main window copies.
class ToSetupsType {
 public:
  struct Paths {
    std::string first, second;  // folder prefixes of slots 2, 3 and of 0, 1
  };
  Paths paths;
  std::vector<uint8_t> general = std::vector<uint8_t>(851, 0);
  std::vector<uint8_t> windowLayout = std::vector<uint8_t>(28749, 0);
  std::array<uint8_t, 16> options{};
};
extern ToSetupsType ToSetups;

class ToDatSetup : public ToDatBase {
 public:
  // Attaches in the order 0, 3, 2, 1, stopping at the first failure.
  bool Open(SlotSet slots);
  // Detaches in the order 0, 1, 2, 3.
  void Close(SlotSet slots, bool all);
  IFDriver** DriverRef(uint8_t slot) const;
  uint8_t* Buffer(uint8_t slot) const;

 private:
  bool Attach(uint8_t slot);
  std::array<IFDriver**, kSetupSlots> driverRef_{};
  std::array<IFDriver*, kSetupSlots> driver_{};
  std::array<uint8_t*, kSetupSlots> buffer_{};
};
extern ToDatSetup DatSetup;

class TdbSetupBase : public TdbBase {
 public:
  explicit TdbSetupBase(uint8_t slot);
  ~TdbSetupBase() override;
  TdbSetupBase(const TdbSetupBase&) = delete;
  TdbSetupBase& operator=(const TdbSetupBase&) = delete;

  IFDriver** DriverRef() override { return DatSetup.DriverRef(Slot); }
  void FetchRec(bool toWorking, bool second) override;
  bool First(int32_t index) override { return TdbBase::First(index); }
  bool Locate(const TKeyBuffer& key, int32_t index, bool toWorking) override {
    return FindKey(key, index, toWorking);
  }
  void GetUniqueKey(TKeyBuffer& key) override;

  void ClearRec();
  bool Add();
  // Writes Rec over the record found again by its unique key.
  bool Save();
  void GetRec0(TSetupRec0& out) const;
  void SetRec0(const TSetupRec0& in);

  uint8_t Slot;
  std::vector<uint8_t> OrgRec, Rec;  // the images of this object's slot
  bool OwnsOpen = false;
};

class TdbSetup : public TdbSetupBase {
 public:
  explicit TdbSetup(uint8_t slot) : TdbSetupBase(slot) {}
};

}  // namespace qorvex
