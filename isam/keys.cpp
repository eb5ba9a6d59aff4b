// SPDX-License-Identifier: GPL-3.0-or-later
// Key operations: the entry check, in-use marking and save-mode logging
// around the B-tree of the index named by its key number.
#include "isam/btree.h"
#include "isam/datafile.h"
#include "isam/operation.h"
#include "isam/pagecache.h"
#include "isam/savelog.h"

namespace qorvex {
using namespace isam;

namespace {

constexpr uint16_t kLookupFlags = kCheckKey | kAutoReadLock;
constexpr uint16_t kChangeFlags = kNeedWriteLock | kCheckKey | kNotReadOnly;

uint16_t Flags(uint16_t flags, int keyNumber) {
  return static_cast<uint16_t>(flags | (keyNumber >= 1 && keyNumber <= 255 ? keyNumber : 0));
}

std::string_view Cut(std::string_view key) {
  return key.substr(0, kMaxKeyBytes);
}

// A change of index k: marked in use, logged in save mode, finished there.
template <typename F>
void Change(TFileBlock* fb, int k, int32_t restoredError, F change) {
  if (!MarkInUse(fb)) return;
  if (fb->saveMode) {
    LogBeginOperation(fb);
    if (!LogHeader(fb, k, -2)) return LogFinish(fb, restoredError);
  }
  change();
  if (fb->saveMode) LogFinish(fb, restoredError);
}

// A lookup that moves the position of index keyNumber, with its in/out key
// cut to the longest key.
template <typename F>
void Positioned(TFileBlock* fb, int keyNumber, std::string& key, F lookup) {
  Operation op(fb, Flags(kLookupFlags, keyNumber));
  if (!op.ok()) return;
  if (key.size() > kMaxKeyBytes) key.resize(kMaxKeyBytes);
  FilePageStore s(fb, keyNumber);
  lookup(fb->desc[keyNumber], s);
}

}  // namespace

void AddKey(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key) {
  Operation op(fb, Flags(kChangeFlags, keyNumber));
  if (!op.ok()) return;
  key = Cut(key);
  if (key.size() > fb->desc[keyNumber].keyLength) return void(Fail(kErrKeyTooLong));
  Change(fb, keyNumber, kErrAddKeyRestored, [&] {
    FilePageStore s(fb, keyNumber);
    BtAddKey(fb->desc[keyNumber], s, key, ref);
  });
}

void DeleteKey(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key) {
  Operation op(fb, Flags(kChangeFlags, keyNumber));
  if (!op.ok()) return;
  Change(fb, keyNumber, kErrDeleteKeyRestored, [&] {
    FilePageStore s(fb, keyNumber);
    BtDeleteKey(fb->desc[keyNumber], s, Cut(key), ref);
  });
}

void FindKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string_view key) {
  Operation op(fb, Flags(kLookupFlags, keyNumber));
  if (!op.ok()) return;
  FilePageStore s(fb, keyNumber);
  BtFindKey(fb->desc[keyNumber], s, Cut(key), ref);
}

void FindKeyAndRef(FileBlockHandle fb, int keyNumber, int32_t& ref, int mode, std::string& key) {
  Positioned(fb, keyNumber, key,
             [&](Descriptor& d, PageStore& s) { BtFindKeyAndRef(d, s, ref, mode, key); });
}

void SearchKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key) {
  Positioned(fb, keyNumber, key, [&](Descriptor& d, PageStore& s) { BtSearchKey(d, s, ref, key); });
}

void SearchKeyOrLast(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key) {
  Positioned(fb, keyNumber, key,
             [&](Descriptor& d, PageStore& s) { BtSearchKeyOrLast(d, s, ref, key); });
}

void NextKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key) {
  Positioned(fb, keyNumber, key, [&](Descriptor& d, PageStore& s) { BtNextKey(d, s, ref, key); });
}

void PrevKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key) {
  Positioned(fb, keyNumber, key, [&](Descriptor& d, PageStore& s) { BtPrevKey(d, s, ref, key); });
}

void ClearKey(FileBlockHandle fb, int keyNumber) {
  Operation op(fb, Flags(kLookupFlags, keyNumber));
  if (!op.ok()) return;
  BtClearKey(fb->desc[keyNumber]);
}

int32_t IndexCount(FileBlockHandle fb) {
  Operation op(fb, 0);
  return op.ok() ? fb->indexCount : 0;
}

KeyDescriptor IndexLayout(FileBlockHandle fb, int keyNumber) {
  Operation op(fb, Flags(kCheckKey, keyNumber));
  if (!op.ok()) return {};
  const Descriptor& d = fb->desc[keyNumber];
  return {d.keyLength, static_cast<uint8_t>(d.duplicates ? 1 : 0)};
}

bool KeyExists(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key) {
  Operation op(fb, Flags(kLookupFlags, keyNumber));
  if (!op.ok()) return false;
  FilePageStore s(fb, keyNumber);
  return BtKeyExists(fb->desc[keyNumber], s, ref, Cut(key));
}

}  // namespace qorvex
