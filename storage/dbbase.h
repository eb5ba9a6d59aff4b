// SPDX-License-Identifier: GPL-3.0-or-later
// Typed database base (storage layer): the owners of file blocks attach them
// through the driver (sharing one block by name with a share count), and
// typed database objects position, look up, add, update and delete records
// through 13 virtual operations, copying records between the block's shared
// record buffer and their two images (OrgRec as read, Rec to work on).
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/ifdriver.h"
#include "support/text_utils.h"

namespace qorvex {

// The indexes handed to AttachFileBlock; entry i describes index i.
class ToKeys {
 public:
  void SetKey(uint8_t index, uint8_t keyLength, bool duplicates);
  // Key length in the low byte, duplicates in the high byte; 0 beyond the list.
  uint16_t GetKey(uint8_t index) const;
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  std::vector<std::pair<uint8_t, bool>> entries_;
};

// The common ancestor of the file-block owners.
class ToDatBase {
 public:
  virtual ~ToDatBase() = default;
};

// The registry's block of that name: true with the driver's variable, its
// buffer and one more share; false with both nil.
bool FindAttachedBlock(ToDatBase* owner, IFDriver**& driverRef, uint8_t*& buffer,
                       std::string_view blockName);
// 1: shared a block already attached; 0: attached a new one; 2: failed (and
// nothing is left: no driver, no buffer, nil reference).
int AttachFileBlock(ToDatBase* owner, IFDriver**& driverRef, IFDriver*& driver, uint8_t*& buffer,
                    uint16_t recordLength, uint16_t sectionLength, std::string_view blockName,
                    std::string_view fileName, uint16_t indexCount, DriverKeyBuilder keyBuilder,
                    bool shared, const ToKeys* keys);
// Drops one share, or at the last one destroys the driver and the buffer.
void DetachFileBlock(ToDatBase* owner, IFDriver**& driverRef, uint8_t*& buffer,
                     uint16_t recordLength);

class TdbBase {
 public:
  virtual ~TdbBase() = default;

  virtual bool FindKey(const TKeyBuffer& key, int32_t index, bool toWorking);  // 0
  virtual int32_t Reserved() { return 0; }                                     // 1
  virtual IFDriver** DriverRef() { return nullptr; }                           // 2
  virtual void FetchRec(bool, bool) {}                                         // 3
  virtual bool First(int32_t index);                                           // 4
  virtual bool Last(int32_t index);                                            // 5
  virtual bool Search(const TKeyBuffer& key, int32_t index);                   // 6
  virtual bool Delete(bool moveNext);                                          // 7
  virtual bool Locate(const TKeyBuffer&, int32_t, bool) { return false; }      // 8
  virtual bool Next(bool resync, bool toWorking);                              // 9
  virtual int32_t Count();                                                     // 10
  virtual void GetUniqueKey(TKeyBuffer& key);                                  // 11
  virtual uint8_t UniqueKeyNr() { return 1; }                                  // 12

  void ClearBuffer();
  // length > 0: the variable length of the record to add or write.
  bool AddRec(uint16_t length);
  bool PutRec(uint16_t length);
  // Brings the driver back to this object's record, found by its unique key.
  bool Resync(bool toWorking);

  int32_t KeyNr = 0;

 protected:
  // The driver, when attached.
  IFDriver* Driver() {
    IFDriver** ref = DriverRef();
    return ref != nullptr ? *ref : nullptr;
  }
};

}  // namespace qorvex
