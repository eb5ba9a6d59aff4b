// SPDX-License-Identifier: GPL-3.0-or-later
// pagecache.cpp's calls: the page cache shared by all indexes, and the
// PageStore of one index of an open file block over it (isam layer).
#pragma once

#include <cstdint>

#include "isam/btree.h"
#include "isam/fileblock.h"

namespace qorvex::isam {

bool InitPageCache(int32_t buffers, int32_t& obtained);
void FreePageCache();
uint8_t* GetPage(TFileBlock* fb, int k, uint32_t page);
uint8_t* NewPage(TFileBlock* fb, int k, uint32_t& page);
bool ReleasePage(TFileBlock* fb, int k, uint32_t page);
bool MarkPageDirty(TFileBlock* fb, int k, uint32_t page);
bool WriteBackPages(TFileBlock* fb, bool drop);
// Drops without writing: every page of fb (k == 0) or of index k.
void DropPages(TFileBlock* fb, int k);
void ClearLoggedMarks(TFileBlock* fb);

// The PageStore of one index of an open file block, over the shared cache.
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
