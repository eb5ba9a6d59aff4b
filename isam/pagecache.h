// The PageStore of one index of an open file block, over the shared cache.
#pragma once

#include "isam/btree.h"
#include "isam/fileblock.h"

namespace qorvex::isam {

class FilePageStore final : public PageStore {
 public:
  FilePageStore(TFileBlock* fb, int k) : fb_(fb), k_(k) {}
  uint8_t* Get(uint32_t page) override { return GetPage(fb_, k_, page); }
  uint8_t* New(uint32_t& page) override { return NewPage(fb_, k_, page); }
  bool Release(uint32_t page) override { return ReleasePage(fb_, k_, page); }
  bool WillChange(uint32_t page) override { return MarkPageDirty(fb_, k_, page); }

 private:
  TFileBlock* fb_;
  int k_;
};

}  // namespace qorvex::isam
