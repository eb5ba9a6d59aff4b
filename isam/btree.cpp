// SPDX-License-Identifier: GPL-3.0-or-later
// B-tree of one index: search, stepping, insertion with rotation and split,
// deletion with borrowing and merging.
//
// The path: level 1 is the root; at each level `position` is the item whose
// right child (childAfter(position)) the next level is, and at the last
// level it is the current entry (1..count). Every operation here keeps that
// meaning, so NextKey and PrevKey can be mixed freely.
#include "isam/btree.h"

#include <cstring>

#include "isam/status.h"

namespace qorvex::isam {
namespace {

// A run of items in key order with the child left of the first: the pages
// that a rotation, a split, a borrow or a merge lays out anew.
struct Run {
  uint32_t child0 = 0;
  int count = 0;
  uint8_t items[2 * kKeysPerPage + 2][kItemStride];

  void Append(const uint8_t* item) { std::memcpy(items[count++], item, kItemStride); }
  void AppendPage(const PageRef& p, int from, int to) {
    for (int i = from; i <= to; ++i) Append(p.item(i));
  }
  uint32_t ChildOf(int i) const { return LoadU32(items[i - 1] + 4); }
  void SetChild(int i, uint32_t c) { StoreU32(items[i - 1] + 4, c); }
};

// An item built from its parts, at the in-memory stride.
struct NewItem {
  uint8_t bytes[kItemStride] = {};
  NewItem(std::string_view key, int32_t ref, uint32_t child) {
    StoreU32(bytes, static_cast<uint32_t>(ref));
    StoreU32(bytes + 4, child);
    bytes[8] = static_cast<uint8_t>(key.size());
    std::memcpy(bytes + 9, key.data(), key.size());
  }
  explicit NewItem(const uint8_t* item) { std::memcpy(bytes, item, kItemStride); }
};

int Order(const Descriptor& d) {
  return d.keysPerPage / 2;
}

// (key, ref) against item i; the ref breaks ties in a duplicates index.
int Compare(const Descriptor& d, std::string_view key, int32_t ref, const PageRef& p, int i) {
  const int c = CompareKeys(key, p.key(i));
  if (c != 0 || !d.duplicates) return c;
  const int32_t r = p.ref(i);
  return ref < r ? -1 : (ref > r ? 1 : 0);
}

// Binary search of a page: lo - hi > 1 means item (lo + hi) / 2 matches;
// else the key lies right of item hi (0: left of item 1).
struct Probe {
  int hi;
  bool found;
};
Probe SearchPage(const Descriptor& d, std::string_view key, int32_t ref, const PageRef& p) {
  int lo = 1, hi = p.count();
  while (lo <= hi) {
    const int m = (lo + hi) / 2;
    const int c = Compare(d, key, ref, p, m);
    if (c <= 0) hi = m - 1;
    if (c >= 0) lo = m + 1;
  }
  if (lo - hi > 1) return {lo - 1, true};
  return {hi, false};
}

bool Push(Descriptor& d, uint32_t page, int position) {
  if (d.depth >= kMaxDepth) return Fail(kErrPageSizeMismatch);
  d.path[d.depth++] = {page, static_cast<uint8_t>(position)};
  return true;
}
PathLevel& Top(Descriptor& d) {
  return d.path[d.depth - 1];
}

// The page's buffer with its item count checked (a page of a tree holds
// at least one item; the cache checked the rest when it read the page).
uint8_t* Load(const Descriptor& d, PageStore& s, uint32_t page) {
  if (page < 1 || page > d.highest) return Fail(kErrPageSizeMismatch), nullptr;
  uint8_t* b = s.Get(page);
  if (b == nullptr) return nullptr;
  const int c = PageRef(b).count();
  if (c < 1 || c > d.keysPerPage) return Fail(kErrPageSizeMismatch), nullptr;
  return b;
}

// Fills the path from the root for (key, ref), down to the item found or
// to a leaf (the last level then at the insertion point). Returns whether
// it was found; a failure leaves EngineOK false.
bool Walk(Descriptor& d, PageStore& s, std::string_view key, int32_t ref) {
  d.positionCurrent = false;
  d.depth = 0;
  for (uint32_t page = d.root; page != 0;) {
    uint8_t* b = Load(d, s, page);
    if (b == nullptr) return false;
    const PageRef p(b);
    const Probe probe = SearchPage(d, key, ref, p);
    if (!Push(d, page, probe.hi)) return false;
    if (probe.found) return true;
    page = p.childAfter(probe.hi);
  }
  return false;
}

// Walk, and when not found the path ends at the greatest entry below, or
// is empty.
bool Search(Descriptor& d, PageStore& s, std::string_view key, int32_t ref) {
  const bool found = Walk(d, s, key, ref);
  if (!EngineOK) return false;
  if (!found)
    while (d.depth > 0 && Top(d).position == 0) --d.depth;
  d.positionCurrent = true;
  return found;
}

// Key and ref of the current entry.
bool ReadCurrent(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  uint8_t* b = Load(d, s, Top(d).page);
  if (b == nullptr) return false;
  const PageRef p(b);
  const int i = Top(d).position;
  if (i < 1 || i > p.count()) return Fail(kErrPageSizeMismatch);
  ref = p.ref(i);
  key.assign(p.key(i));
  return true;
}

// Down from page through first (last) children to a leaf.
bool DescendFirst(Descriptor& d, PageStore& s, uint32_t page) {
  while (page != 0) {
    uint8_t* b = Load(d, s, page);
    if (b == nullptr || !Push(d, page, 0)) return false;
    page = PageRef(b).child0();
  }
  return true;
}
bool DescendLast(Descriptor& d, PageStore& s, uint32_t page) {
  while (page != 0) {
    uint8_t* b = Load(d, s, page);
    if (b == nullptr) return false;
    const PageRef p(b);
    if (!Push(d, page, p.count())) return false;
    page = p.child(p.count());
  }
  return true;
}

// One step forward from the path (empty: from the start).
bool StepNext(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  uint32_t child = d.root;
  if (d.depth > 0) {
    uint8_t* b = Load(d, s, Top(d).page);
    if (b == nullptr) return false;
    child = PageRef(b).childAfter(Top(d).position);
  }
  if (!DescendFirst(d, s, child)) return false;
  while (d.depth > 0) {
    uint8_t* b = Load(d, s, Top(d).page);
    if (b == nullptr) return false;
    if (Top(d).position < PageRef(b).count()) {
      ++Top(d).position;
      d.positionCurrent = true;
      return ReadCurrent(d, s, ref, key);
    }
    if (d.depth == 1) break;
    --d.depth;
  }
  d.depth = 0;
  d.positionCurrent = true;
  return Fail(kErrNoNextKey);
}

// One step back from the path (empty: from the end).
bool StepPrev(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  if (d.depth == 0) {
    if (!DescendLast(d, s, d.root)) return false;
  } else {
    uint8_t* b = Load(d, s, Top(d).page);
    if (b == nullptr) return false;
    const int position = Top(d).position;
    if (position < 1) return Fail(kErrPageSizeMismatch);
    const uint32_t left = PageRef(b).childAfter(position - 1);
    Top(d).position = static_cast<uint8_t>(position - 1);
    if (!DescendLast(d, s, left)) return false;
    while (d.depth > 1 && Top(d).position == 0) --d.depth;
  }
  if (d.depth == 0 || Top(d).position == 0) {
    d.depth = 0;
    d.positionCurrent = true;
    return Fail(kErrNoPrevKey);
  }
  d.positionCurrent = true;
  return ReadCurrent(d, s, ref, key);
}

bool IsNotFound(int32_t e) {
  return e == 0 || IsIndexMiss(e);
}

// Writes items [from, from + n) of run into page, with the given first child.
bool WritePage(PageStore& s, uint32_t page, const Run& run, int from, int n, uint32_t child0) {
  if (!s.WillChange(page)) return false;
  uint8_t* b = s.Get(page);
  if (b == nullptr) return false;
  const PageRef p(b);
  p.setCount(n);
  p.setChild0(child0);
  if (n > 0) std::memcpy(p.item(1), run.items[from], static_cast<size_t>(n) * kItemStride);
  return true;
}

// Replaces item i of page by item.
bool WriteItem(PageStore& s, uint32_t page, int i, const uint8_t* item) {
  if (!s.WillChange(page)) return false;
  uint8_t* b = s.Get(page);
  if (b == nullptr) return false;
  std::memcpy(PageRef(b).item(i), item, kItemStride);
  return true;
}

// Lays out left.child0, left's items, the separator (item sep of parent,
// taking right's first child) and right's items into run.
bool Gather(const Descriptor& d, PageStore& s, uint32_t left, uint32_t right, uint32_t parent,
            int sep, Run& run) {
  uint8_t* lb = Load(d, s, left);
  if (lb == nullptr) return false;
  run.child0 = PageRef(lb).child0();
  run.count = 0;
  run.AppendPage(PageRef(lb), 1, PageRef(lb).count());
  uint8_t* pb = Load(d, s, parent);
  if (pb == nullptr) return false;
  run.Append(PageRef(pb).item(sep));
  uint8_t* rb = Load(d, s, right);
  if (rb == nullptr) return false;
  run.SetChild(run.count, PageRef(rb).child0());
  run.AppendPage(PageRef(rb), 1, PageRef(rb).count());
  return true;
}

// Inserts item at position at (1-based) of run.
void InsertInto(Run& run, int at, const uint8_t* item) {
  std::memmove(run.items[at], run.items[at - 1],
               static_cast<size_t>(run.count - at + 1) * kItemStride);
  std::memcpy(run.items[at - 1], item, kItemStride);
  ++run.count;
}

// Writes run back as left (first a items), separator (item a + 1, into the
// parent at sep with right as its child) and right (the rest).
bool Scatter(PageStore& s, uint32_t left, uint32_t right, uint32_t parent, int sep, Run& run,
             int a) {
  NewItem separator(run.items[a]);
  const uint32_t rightChild0 = run.ChildOf(a + 1);
  StoreU32(separator.bytes + 4, right);
  return WritePage(s, left, run, 0, a, run.child0) &&
         WritePage(s, right, run, a + 1, run.count - a - 1, rightChild0) &&
         WriteItem(s, parent, sep, separator.bytes);
}

// The sibling used to repair page at level (2..depth) of the path: the
// right one unless the page is its parent's last child. Sets left, right
// and the separator's index in the parent.
bool Sibling(const Descriptor& d, PageStore& s, int level, uint32_t& left, uint32_t& right,
             int& sep, bool& pageIsLeft) {
  const PathLevel& up = d.path[level - 2];
  uint8_t* pb = Load(d, s, up.page);
  if (pb == nullptr) return false;
  const PageRef p(pb);
  const uint32_t page = d.path[level - 1].page;
  if (up.position < p.count()) {
    left = page;
    right = p.child(up.position + 1);
    sep = up.position + 1;
    pageIsLeft = true;
  } else {
    left = p.childAfter(up.position - 1);
    right = page;
    sep = up.position;
    pageIsLeft = false;
  }
  if (left == 0 || right == 0) return Fail(kErrPageSizeMismatch);
  return true;
}

// Inserts item into the page at level (after its path position), splitting
// upwards as needed.
bool InsertAt(Descriptor& d, PageStore& s, int level, NewItem item) {
  const int kpp = d.keysPerPage;
  const int n = Order(d);
  for (;;) {
    const uint32_t page = d.path[level - 1].page;
    const int at = d.path[level - 1].position + 1;
    uint8_t* b = Load(d, s, page);
    if (b == nullptr) return false;
    const int count = PageRef(b).count();
    if (count < kpp) {
      if (!s.WillChange(page)) return false;
      if ((b = s.Get(page)) == nullptr) return false;
      const PageRef p(b);
      std::memmove(p.item(at + 1), p.item(at), static_cast<size_t>(count - at + 1) * kItemStride);
      std::memcpy(p.item(at), item.bytes, kItemStride);
      p.setCount(count + 1);
      return true;
    }
    Run run;
    if (level > 1) {
      // Rotation: a sibling with room takes a share.
      uint32_t left = 0, right = 0;
      int sep = 0;
      bool pageIsLeft = true;
      if (!Sibling(d, s, level, left, right, sep, pageIsLeft)) return false;
      uint8_t* sb = Load(d, s, pageIsLeft ? right : left);
      if (sb == nullptr) return false;
      const int sibling = PageRef(sb).count();
      if (sibling < kpp) {
        if (!Gather(d, s, left, right, d.path[level - 2].page, sep, run)) return false;
        InsertInto(run, pageIsLeft ? at : sibling + 1 + at, item.bytes);
        const int keep = (kpp + 2 + sibling) / 2;  // (64 + s) div 2 at 62 keys
        const int a = pageIsLeft ? keep : run.count - 1 - keep;
        return Scatter(s, left, right, d.path[level - 2].page, sep, run, a);
      }
    }
    // Split: the left half keeps n items, item n + 1 moves up, the new
    // page takes the rest.
    run.child0 = PageRef(b).child0();
    run.count = 0;
    run.AppendPage(PageRef(b), 1, count);
    InsertInto(run, at, item.bytes);
    if (level == 1 && d.depth >= kMaxDepth) return Fail(kErrPageSizeMismatch);
    uint32_t fresh = 0;
    if (s.New(fresh) == nullptr) return false;
    NewItem up(run.items[n]);
    StoreU32(up.bytes + 4, fresh);
    if (!WritePage(s, page, run, 0, n, run.child0) ||
        !WritePage(s, fresh, run, n + 1, run.count - n - 1, run.ChildOf(n + 1)))
      return false;
    if (level == 1) {
      uint32_t root = 0;
      if (s.New(root) == nullptr) return false;
      Run top;
      top.Append(up.bytes);
      if (!WritePage(s, root, top, 0, 1, page)) return false;
      d.root = root;
      return true;
    }
    item = up;
    --level;
  }
}

// Repairs an underflow of the page at level, upwards.
bool Rebalance(Descriptor& d, PageStore& s, int level) {
  const int n = Order(d);
  for (; level > 1; --level) {
    uint8_t* b = Load(d, s, d.path[level - 1].page);
    if (b == nullptr) return false;
    const int count = PageRef(b).count();
    if (count >= n) return true;
    uint32_t left = 0, right = 0;
    int sep = 0;
    bool pageIsLeft = true;
    if (!Sibling(d, s, level, left, right, sep, pageIsLeft)) return false;
    const uint32_t parent = d.path[level - 2].page;
    uint8_t* sb = Load(d, s, pageIsLeft ? right : left);
    if (sb == nullptr) return false;
    const int m = PageRef(sb).count();
    const int k = (m - n + 1) / 2;
    Run run;
    if (!Gather(d, s, left, right, parent, sep, run)) return false;
    if (k > 0) {
      const int a = pageIsLeft ? count + k : m - k;
      return Scatter(s, left, right, parent, sep, run, a);
    }
    // Merge into the left page; the parent loses the separator.
    if (run.count > d.keysPerPage) return Fail(kErrPageSizeMismatch);
    if (!WritePage(s, left, run, 0, run.count, run.child0) || !s.Release(right)) return false;
    if (!s.WillChange(parent)) return false;
    uint8_t* pb = s.Get(parent);
    if (pb == nullptr) return false;
    const PageRef p(pb);
    std::memmove(p.item(sep), p.item(sep + 1), static_cast<size_t>(p.count() - sep) * kItemStride);
    p.setCount(p.count() - 1);
  }
  // The root: empty after a merge (or the last deletion) hands over to its child.
  uint8_t* rb = s.Get(d.root);
  if (rb == nullptr) return false;
  const PageRef r(rb);
  if (r.count() > 0) return true;
  const uint32_t old = d.root;
  d.root = r.child0();
  return s.Release(old);
}

// False when every page of a full-depth path is full: the insertion could
// have to split the root and deepen the tree past the path's levels.
bool RoomBelowRoot(const Descriptor& d, PageStore& s) {
  for (int level = 0; level < d.depth; ++level) {
    uint8_t* b = Load(d, s, d.path[level].page);
    if (b == nullptr) return false;
    if (PageRef(b).count() < d.keysPerPage) return true;
  }
  return false;
}

}  // namespace

bool BtAddKey(Descriptor& d, PageStore& s, std::string_view key, int32_t ref) {
  if (key.size() > d.keyLength) return Fail(kErrKeyTooLong);
  d.modified = true;
  NewItem item(key, ref, 0);
  if (d.root == 0) {
    uint32_t root = 0;
    uint8_t* b = s.New(root);
    if (b == nullptr) return false;
    Run top;
    top.Append(item.bytes);
    if (!WritePage(s, root, top, 0, 1, 0)) return false;
    d.root = root;
    // A path, so that the next step re-positions from the key passed in.
    d.depth = 0;
    Push(d, root, 1);
  } else {
    if (Walk(d, s, key, ref)) {
      d.positionCurrent = false;
      return Fail(kErrDuplicateKey);
    }
    if (!EngineOK) return false;
    if (d.depth == kMaxDepth && !RoomBelowRoot(d, s)) return Fail(kErrPageSizeMismatch);
    const bool ok = InsertAt(d, s, d.depth, item);
    d.positionCurrent = false;
    if (!ok) return false;
  }
  d.positionCurrent = false;
  ++d.entryCount;
  return true;
}

bool BtDeleteKey(Descriptor& d, PageStore& s, std::string_view key, int32_t ref) {
  // Walk keeps the whole path, so that the next step re-positions from the
  // key passed in.
  const bool found = Walk(d, s, key, ref);
  d.positionCurrent = false;
  if (!found) return EngineOK ? Fail(kErrDeleteKeyNotFound) : false;
  d.modified = true;
  const uint32_t page = Top(d).page;
  const int at = Top(d).position;
  uint8_t* b = Load(d, s, page);
  if (b == nullptr) return false;
  const uint32_t left = PageRef(b).childAfter(at - 1);
  if (left == 0) {
    if (!s.WillChange(page) || (b = s.Get(page)) == nullptr) return false;
    const PageRef p(b);
    std::memmove(p.item(at), p.item(at + 1), static_cast<size_t>(p.count() - at) * kItemStride);
    p.setCount(p.count() - 1);
  } else {
    // The greatest entry below takes the deleted item's place.
    Top(d).position = static_cast<uint8_t>(at - 1);
    if (!DescendLast(d, s, left)) return false;
    const uint32_t leaf = Top(d).page;
    uint8_t* lb = Load(d, s, leaf);
    if (lb == nullptr) return false;
    if (PageRef(lb).child0() != 0) return Fail(kErrPageSizeMismatch);
    NewItem moved(PageRef(lb).item(PageRef(lb).count()));
    if ((b = s.Get(page)) == nullptr) return false;
    StoreU32(moved.bytes + 4, PageRef(b).child(at));
    if (!WriteItem(s, page, at, moved.bytes)) return false;
    if (!s.WillChange(leaf) || (lb = s.Get(leaf)) == nullptr) return false;
    PageRef(lb).setCount(PageRef(lb).count() - 1);
  }
  if (!Rebalance(d, s, d.depth)) return false;
  if (d.entryCount > 0) --d.entryCount;
  return true;
}

bool BtFindKey(Descriptor& d, PageStore& s, std::string_view key, int32_t& ref) {
  if (Search(d, s, key, 0)) {
    std::string k;
    return ReadCurrent(d, s, ref, k);
  }
  if (!EngineOK) return false;
  if (d.duplicates) {
    std::string k;
    int32_t r = 0;
    if (StepNext(d, s, r, k) && k == key) {
      ref = r;
      return true;
    }
    if (!EngineOK && !IsNotFound(EngineError)) return false;
  }
  return Fail(kErrKeyNotFound);
}

bool BtFindKeyAndRef(Descriptor& d, PageStore& s, int32_t& ref, int mode, std::string& key) {
  if (Search(d, s, key, ref)) return ReadCurrent(d, s, ref, key);
  if (!EngineOK) return false;
  if (mode > 0) return StepNext(d, s, ref, key);
  if (mode == 0) return Fail(kErrKeyRefNotFound);
  if (d.depth == 0) return Fail(kErrNoPrevKey);
  return ReadCurrent(d, s, ref, key);
}

bool BtSearchKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  if (Search(d, s, key, 0)) return ReadCurrent(d, s, ref, key);
  if (!EngineOK) return false;
  if (StepNext(d, s, ref, key)) return true;
  return IsNotFound(EngineError) ? Fail(kErrSearchPastEnd) : false;
}

bool BtSearchKeyOrLast(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  if (BtFindKeyAndRef(d, s, ref, 1, key)) return true;
  if (EngineError != kErrNoNextKey) return false;
  ClearStatus();
  return StepPrev(d, s, ref, key);
}

bool BtNextKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  if (d.depth == 0) {
    BtClearKey(d);
  } else if (!d.positionCurrent) {
    if (!d.implicitPosition) return Fail(kErrNextWithoutPosition);
    Search(d, s, key, ref);
    if (!EngineOK) return false;
  }
  return StepNext(d, s, ref, key);
}

bool BtPrevKey(Descriptor& d, PageStore& s, int32_t& ref, std::string& key) {
  if (d.depth == 0) {
    BtClearKey(d);
  } else if (!d.positionCurrent) {
    if (!d.implicitPosition) return Fail(kErrPrevWithoutPosition);
    // Absent: the greatest entry below is the previous one.
    if (!Search(d, s, key, ref)) {
      if (!EngineOK) return false;
      if (d.depth == 0) return Fail(kErrNoPrevKey);
      return ReadCurrent(d, s, ref, key);
    }
  }
  return StepPrev(d, s, ref, key);
}

void BtClearKey(Descriptor& d) {
  d.depth = 0;
  d.positionCurrent = true;
}

bool BtKeyExists(Descriptor& d, PageStore& s, int32_t ref, std::string_view key) {
  Descriptor probe = d;  // the search works on a copy: the path stays
  probe.duplicates = d.duplicates && ref != 0;
  int depth = 0;
  for (uint32_t page = d.root; page != 0; ++depth) {
    if (depth >= kMaxDepth) return Fail(kErrPageSizeMismatch);
    uint8_t* b = Load(d, s, page);
    if (b == nullptr) return false;
    const PageRef p(b);
    const Probe found = SearchPage(probe, key, ref, p);
    if (found.found) return true;
    page = p.childAfter(found.hi);
  }
  return false;
}

}  // namespace qorvex::isam
