// SPDX-License-Identifier: GPL-3.0-or-later
// The page cache shared by all indexes of all file blocks: a fixed ring of
// buffers reused least recently used first, pages kept unpacked, dirty pages
// written back only on eviction, flush or close.
//
// Ring order, following next from the head:
//   head (least recently used, reused next), MRU, 2nd MRU, ..., 2nd LRU
// A used node moves to the place right after the head; the head moves one
// step back when the head itself is used. A freed node becomes the head.
// Every node that holds a page is in the hash chain of (owner, index, page),
// and no other node is.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/indexfile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/pagecache.h"
#include "isam/savelog.h"

namespace qorvex::isam {
namespace {

struct Node {
  int next = 0, prev = 0;
  TFileBlock* owner = nullptr;  // nullptr: free
  uint32_t page = 0;
  uint16_t index = 0;
  bool dirty = false;
  bool logged = false;  // before-image in the log, log not yet forced
  uint8_t* buf = nullptr;
  int chain = -1;  // next node in the same hash chain
};

// Plain pointers, never destroyed implicitly: the engine's exit routine may
// still write pages back while other static objects are being destroyed.
Node* nodes = nullptr;
uint8_t* buffers = nullptr;
int nodeCount = 0;
int head = 0;
int* chains = nullptr;  // first node of each hash chain, -1 when none
uint32_t chainMask = 0;

uint32_t ChainOf(const TFileBlock* fb, int k, uint32_t page) {
  uint64_t h = reinterpret_cast<uintptr_t>(fb) ^ (uint64_t{static_cast<uint32_t>(k)} << 40) ^ page;
  h *= 0x9E3779B97F4A7C15ull;
  return static_cast<uint32_t>(h >> 32) & chainMask;
}

// The node now holds page of index k of fb.
void Assign(int n, TFileBlock* fb, int k, uint32_t page) {
  nodes[n].owner = fb;
  nodes[n].page = page;
  nodes[n].index = static_cast<uint16_t>(k);
  int& first = chains[ChainOf(fb, k, page)];
  nodes[n].chain = first;
  first = n;
}

// The node holds no page any more.
void Unassign(int n) {
  if (nodes[n].owner == nullptr) return;
  int* at = &chains[ChainOf(nodes[n].owner, nodes[n].index, nodes[n].page)];
  while (*at != n) at = &nodes[*at].chain;
  *at = nodes[n].chain;
  nodes[n].chain = -1;
  nodes[n].owner = nullptr;
}

void Unlink(int n) {
  nodes[nodes[n].prev].next = nodes[n].next;
  nodes[nodes[n].next].prev = nodes[n].prev;
}
void InsertAfter(int n, int at) {
  nodes[n].prev = at;
  nodes[n].next = nodes[at].next;
  nodes[nodes[at].next].prev = n;
  nodes[at].next = n;
}

void MakeMostRecent(int n) {
  if (n == head) {
    head = nodes[head].prev;
    return;
  }
  Unlink(n);
  InsertAfter(n, head);
}

void MakeNextToReuse(int n) {
  if (n == head) return;
  Unlink(n);
  InsertAfter(n, head);
  head = n;
}

void Free(int n) {
  Unassign(n);
  nodes[n].dirty = false;
  nodes[n].logged = false;
  MakeNextToReuse(n);
}

int Find(const TFileBlock* fb, int k, uint32_t page) {
  for (int n = chains[ChainOf(fb, k, page)]; n >= 0; n = nodes[n].chain)
    if (nodes[n].owner == fb && nodes[n].page == page && nodes[n].index == k) return n;
  return -1;
}

bool WriteBack(int n, bool drop) {
  Node& node = nodes[n];
  TFileBlock* fb = node.owner;
  if (node.logged && fb->saveMode && !IsNetwork(fb)) {
    if (!LogForce(fb)) return false;
    ClearLoggedMarks(fb);
  }
  const Descriptor& d = fb->desc[node.index];
  const int count = std::min<int>(PageRef(node.buf).count(), d.keysPerPage);
  if (!BlockWritePage(fb, fb->index, PageOffset(fb, node.index, node.page), node.buf, count,
                      d.keyLength))
    return false;
  node.dirty = false;
  if (drop) Free(n);
  return true;
}

// The node to (re)use for a new page: the head, written back when dirty.
int TakeHead() {
  const int n = head;
  if (nodes[n].owner != nullptr && nodes[n].dirty && !WriteBack(n, false)) return -1;
  Unassign(n);
  nodes[n].dirty = nodes[n].logged = false;
  return n;
}

// A page read from disk: keys within the key length, and either a leaf
// (no children) or an inner page whose children all lie in 1..highest.
bool PlausiblePage(const PageRef& p, const Descriptor& d) {
  const int count = p.count();
  const bool leaf = p.child0() == 0;
  if (!leaf && p.child0() > d.highest) return false;
  for (int i = 1; i <= count; ++i) {
    if (p.keyLen(i) > d.keyLength) return false;
    const uint32_t c = p.child(i);
    if (leaf ? c != 0 : (c == 0 || c > d.highest)) return false;
  }
  return true;
}

bool CheckPageNumber(const TFileBlock* fb, int k, uint32_t page) {
  return (page >= 1 && page <= fb->desc[k].highest) || Fail(kErrPageSizeMismatch);
}

}  // namespace

bool InitPageCache(int32_t count, int32_t& obtained) {
  obtained = 0;
  uint32_t chainCount = 1;
  while (chainCount < 2 * static_cast<uint32_t>(count)) chainCount *= 2;
  Node* n = new (std::nothrow) Node[count];
  uint8_t* b =
      n ? new (std::nothrow) uint8_t[static_cast<size_t>(count) * kPageBufferBytes] : nullptr;
  int* c = b ? new (std::nothrow) int[chainCount] : nullptr;
  if (n == nullptr || b == nullptr || c == nullptr) {
    delete[] n;
    delete[] b;
    return Fail(kErrNoPageBuffers);
  }
  nodes = n;
  buffers = b;
  chains = c;
  chainMask = chainCount - 1;
  std::fill_n(chains, chainCount, -1);
  nodeCount = count;
  for (int i = 0; i < count; ++i) {
    nodes[i].next = (i + 1) % count;
    nodes[i].prev = (i + count - 1) % count;
    nodes[i].buf = buffers + static_cast<size_t>(i) * kPageBufferBytes;
  }
  head = 0;
  obtained = count;
  return true;
}

void FreePageCache() {
  delete[] nodes;
  delete[] buffers;
  delete[] chains;
  nodes = nullptr;
  buffers = nullptr;
  chains = nullptr;
  nodeCount = 0;
}

uint8_t* GetPage(TFileBlock* fb, int k, uint32_t page) {
  if (!CheckPageNumber(fb, k, page)) return nullptr;
  int n = Find(fb, k, page);
  if (n >= 0) {
    MakeMostRecent(n);
    return nodes[n].buf;
  }
  n = TakeHead();
  if (n < 0) return nullptr;
  const Descriptor& d = fb->desc[k];
  uint8_t* buf = nodes[n].buf;
  if (!BlockRead(fb, fb->index, PageOffset(fb, k, page), buf, d.length)) return nullptr;
  if (PageRef(buf).count() > d.keysPerPage) {
    Fail(kErrPageSizeMismatch);
    return nullptr;
  }
  UnpackPage(buf, d.keyLength);
  if (!PlausiblePage(PageRef(buf), d)) {
    Fail(kErrPageSizeMismatch);
    return nullptr;
  }
  Assign(n, fb, k, page);
  MakeMostRecent(n);
  return buf;
}

uint8_t* NewPage(TFileBlock* fb, int k, uint32_t& page) {
  Descriptor& d = fb->desc[k];
  if (fb->saveMode && d.freeHead != -1) {
    // The page taken from the free chain loses its link: log it for replay.
    int32_t link = 0;
    if (d.freeHead < 1 || static_cast<uint32_t>(d.freeHead) > d.highest)
      return Fail(kErrChainCorrupt), nullptr;
    if (!ReadSlotWord(fb, k, static_cast<uint32_t>(d.freeHead), link)) return nullptr;
    if (!LogHeader(fb, k, link)) return nullptr;
  }
  const int n = TakeHead();
  if (n < 0) return nullptr;
  if (!AllocateSlot(fb, k, page)) return nullptr;
  if (!d.reused && !EnsureRow(fb, page)) {
    --d.highest;
    return nullptr;
  }
  std::memset(nodes[n].buf, 0, kPageBufferBytes);
  Assign(n, fb, k, page);
  nodes[n].dirty = true;
  if (fb->saveMode)
    fb->loggedPages.emplace_back(static_cast<uint16_t>(k), page);  // nothing to restore
  MakeMostRecent(n);
  return nodes[n].buf;
}

bool MarkPageDirty(TFileBlock* fb, int k, uint32_t page) {
  const int n = Find(fb, k, page);
  if (n < 0) return GetPage(fb, k, page) != nullptr && MarkPageDirty(fb, k, page);
  if (fb->saveMode) {
    const auto id = std::make_pair(static_cast<uint16_t>(k), page);
    if (std::find(fb->loggedPages.begin(), fb->loggedPages.end(), id) == fb->loggedPages.end()) {
      if (!LogPage(fb, k, page, nodes[n].buf)) return false;
      fb->loggedPages.push_back(id);
      nodes[n].logged = true;
    }
  }
  nodes[n].dirty = true;
  return true;
}

bool ReleasePage(TFileBlock* fb, int k, uint32_t page) {
  if (!CheckPageNumber(fb, k, page)) return false;
  if (fb->saveMode && !MarkPageDirty(fb, k, page)) return false;  // its before-image
  // The link is written to disk at once: its before-image must be there first.
  if (fb->saveMode && !IsNetwork(fb) && !LogForce(fb)) return false;
  const int n = Find(fb, k, page);
  if (!ReleaseSlot(fb, k, page)) return false;
  if (n >= 0) Free(n);
  return true;
}

bool WriteBackPages(TFileBlock* fb, bool drop) {
  bool ok = true;
  for (int n = 0; n < nodeCount; ++n) {
    if (nodes[n].owner != fb) continue;
    if (nodes[n].dirty) {
      if (!WriteBack(n, drop)) ok = false;
    } else if (drop) {
      Free(n);
    }
  }
  return ok;
}

void DropPages(TFileBlock* fb, int k) {
  for (int n = 0; n < nodeCount; ++n)
    if (nodes[n].owner == fb && (k == 0 || nodes[n].index == k)) Free(n);
}

void ClearLoggedMarks(TFileBlock* fb) {
  for (int n = 0; n < nodeCount; ++n)
    if (nodes[n].owner == fb) nodes[n].logged = false;
}

}  // namespace qorvex::isam
