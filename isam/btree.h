// SPDX-License-Identifier: GPL-3.0-or-later
// B-tree of one index (isam layer): search, positioned stepping, insertion
// with rotation and split, deletion with borrowing and merging. Works on an
// index Descriptor and a PageStore; knows nothing of files or the cache.
//
// Invariants of a tree the operations leave behind:
//  1. Items of a page are in ascending (key, ref) order (ref only in a
//     duplicates index; a unique index holds each key once).
//  2. Every page but the root holds N..2N items, N = keysPerPage div 2.
//  3. All leaves are at the same depth, at most kMaxDepth.
//  4. d.entryCount is the number of items in the tree; d.root == 0 when empty.
//
// Pages read from disk are untrusted: an item count outside 1..keysPerPage, a
// child page outside 1..d.highest, a key length byte above d.keyLength or a
// path deeper than kMaxDepth fails with kErrPageSizeMismatch (10120), never a
// read out of bounds or an endless loop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "isam/descriptor.h"
#include "isam/page.h"

namespace qorvex::isam {

// Pages of one index. Buffers are unpacked (see page.h) and kPageBufferBytes
// long. A buffer pointer stays valid until four further Get/New calls have
// been made (the cache keeps at least the four most recently used pages).
// On failure a call sets the engine status (Fail) and returns nullptr/false.
class PageStore {
 public:
  virtual ~PageStore() = default;
  // The page's buffer; the page number is checked by the caller.
  virtual uint8_t* Get(uint32_t page) = 0;
  // A new page (from the free chain or appended; updates d.highest,
  // d.freeHead, d.freeCount, d.modified); its buffer content is undefined.
  virtual uint8_t* New(uint32_t& page) = 0;
  // Puts the page on the free chain.
  virtual bool Release(uint32_t page) = 0;
  // Must be called before the first change of a page within an operation
  // (takes its before-image in save mode) and marks the page dirty.
  virtual bool WillChange(uint32_t page) = 0;
};

// All return true on success; on failure false with the engine status set
// (EngineOK false, EngineError as listed in the engine's interface). Keys are
// at most d.keyLength bytes (callers cut input to 50; AddKey checks).

// Inserts (key, ref): 10125 key too long, 10230 duplicate. Leaves
// positionCurrent false, raises entryCount, sets modified.
bool BtAddKey(Descriptor& d, PageStore& s, std::string_view key, int32_t ref);
// Removes (key, ref) (ref compared only in a duplicates index): 10220.
bool BtDeleteKey(Descriptor& d, PageStore& s, std::string_view key, int32_t ref);
// Ref of the first entry with exactly this key: 10200.
bool BtFindKey(Descriptor& d, PageStore& s, std::string_view key, int32_t& ref);
// Exact (key, ref); absent: mode > 0 next greater, mode < 0 next smaller
// (10260 none), mode 0 fails 10270. Key and ref return the entry found.
bool BtFindKeyAndRef(Descriptor& d, PageStore& s, int32_t& ref, int mode, std::string& key);
// First entry with key >= key: 10210.
bool BtSearchKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key);
// FindKeyAndRef mode 1, falling back to the last entry when nothing is
// greater (status cleared); 10260 on an empty index.
bool BtSearchKeyOrLast(Descriptor& d, PageStore& s, int32_t& ref, std::string& key);
// Next / previous entry (10250/10255, 10260/10265). Key and ref in: the
// position to re-establish when positionCurrent is false.
bool BtNextKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key);
bool BtPrevKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key);
void BtClearKey(Descriptor& d);
// True if (key, ref) is present (ref compared only when not 0 and the index
// allows duplicates); does not move the position. False also on a failure,
// which sets the status.
bool BtKeyExists(Descriptor& d, PageStore& s, int32_t ref, std::string_view key);

}  // namespace qorvex::isam
