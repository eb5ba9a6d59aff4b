// SPDX-License-Identifier: GPL-3.0-or-later
// Independent checker of a file block on disk (isam layer); see check.h.
// The layouts it reads and the rules it enforces: isam/FORMAT.md 1-3 and 9.
#include "isam/check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace qorvex::isam {
namespace {

constexpr uint32_t kDataHeaderBytes = 21;
constexpr uint32_t kIndexHeaderBytes = 28;
constexpr uint32_t kMaxIndexes = 110;
constexpr uint32_t kMaxKeysPerPage = 62;
constexpr uint32_t kMaxKeyLength = 50;
constexpr uint32_t kItemOverhead = 9;  // ref, child, length byte
constexpr uint32_t kPageHeaderBytes = 6;
constexpr int kMaxDepth = 8;
constexpr size_t kMaxLines = 200;               // per list; the rest is summarised
constexpr size_t kMaxListed = 10;               // slot/page numbers listed in one line
constexpr uint64_t kMaxFileBytes = 1ull << 32;  // slot and page numbers are u32

template <class... Args>
std::string Cat(const Args&... args) {
  std::ostringstream out;
  (out << ... << args);
  return out.str();
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Key bytes for a report line: printable ASCII as is, the rest as \xHH.
std::string Printable(const uint8_t* key, size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = key[i];
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + "\"";
}

std::string NumberList(const std::vector<uint32_t>& numbers, size_t total) {
  std::string out;
  for (size_t i = 0; i < numbers.size(); ++i) out += Cat(i ? ", " : "", numbers[i]);
  if (total > numbers.size()) out += ", ...";
  return out;
}

// Bytes of a whole file; reads outside give 0 so that a missed bounds check
// cannot turn into an out-of-bounds read.
struct FileBytes {
  std::vector<uint8_t> b;
  uint64_t size() const { return b.size(); }
  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= b.size() && count <= b.size() - offset;
  }
  uint8_t U8(uint64_t at) const { return Has(at, 1) ? b[at] : 0; }
  uint16_t U16(uint64_t at) const {
    return Has(at, 2) ? static_cast<uint16_t>(b[at] | b[at + 1] << 8) : 0;
  }
  uint32_t U32(uint64_t at) const {
    if (!Has(at, 4)) return 0;
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
  }
  int32_t I32(uint64_t at) const { return static_cast<int32_t>(U32(at)); }
};

enum class ReadResult { kOk, kMissing, kError };

// Regular files only: a FIFO or device could block or never end.
ReadResult ReadWholeFile(const std::string& path, FileBytes& out, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    error = std::strerror(errno);
    return errno == ENOENT ? ReadResult::kMissing : ReadResult::kError;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "not a regular file";
    return ReadResult::kError;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
    ::close(fd);
    error = Cat(st.st_size, " bytes, more than a file block can address");
    return ReadResult::kError;
  }
  out.b.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < out.b.size()) {
    ssize_t n = ::read(fd, out.b.data() + done, out.b.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // shrank while reading: check what was read
    done += static_cast<size_t>(n);
  }
  out.b.resize(done);
  ::close(fd);
  return ReadResult::kOk;
}

class Reporter {
 public:
  explicit Reporter(CheckReport& report) : report_(report) {}
  ~Reporter() {
    if (droppedFaults_) report_.faults.push_back(Cat("(", droppedFaults_, " more faults)"));
    if (droppedNotes_) report_.notes.push_back(Cat("(", droppedNotes_, " more notes)"));
  }
  void Fault(std::string line) { Add(report_.faults, droppedFaults_, std::move(line)); }
  void Note(std::string line) { Add(report_.notes, droppedNotes_, std::move(line)); }

 private:
  static void Add(std::vector<std::string>& list, size_t& dropped, std::string line) {
    if (list.size() < kMaxLines) {
      list.push_back(std::move(line));
    } else {
      ++dropped;
    }
  }
  CheckReport& report_;
  size_t droppedFaults_ = 0;
  size_t droppedNotes_ = 0;
};

// Collects numbers for one summary line: count plus the first few.
struct NumberSet {
  std::vector<uint32_t> first;
  size_t total = 0;
  void Add(uint32_t n) {
    if (first.size() < kMaxListed) first.push_back(n);
    ++total;
  }
};

enum SlotKind : uint8_t { kUnseen = 0, kLive, kFree, kContinuation, kTree };

// What the index check needs to know about the data file.
struct DataFacts {
  bool headerUsable = false;  // slot kinds are known
  uint32_t highest = 0;
  uint32_t readableSlots = 0;  // slots 1..readableSlots lie inside the file
  uint32_t indexCount = 0;
  bool indexCountUsable = false;
  bool refsChecked = true;    // index refs must name live records
  std::vector<uint8_t> kind;  // per slot 0..readableSlots
  std::vector<bool> broken;   // per slot: a live record whose chain has a fault
  // With a key builder: the records in use in slot order, and for each the
  // key it must have in index k at keys[record * indexCount + k - 1] (empty
  // when its chain is broken and its bytes are unknown).
  bool keysKnown = false;
  std::vector<uint32_t> ordinal;  // per slot: 0, or 1 + the record's place
  std::vector<bool> whole;        // per record
  std::vector<uint32_t> slotOf;   // per record
  std::vector<std::string> keys;
};

// Walks a free chain (data slots or index pages): links in 1..highest, -1
// ends; marks each member kFree. Returns the members counted when the chain
// ends cleanly, -1 after a fault.
int64_t WalkFreeChain(const std::string& where, const char* unit, int32_t head, uint32_t highest,
                      uint32_t readable, std::vector<uint8_t>& kind,
                      uint32_t (*linkAt)(const void*, uint32_t), const void* ctx, Reporter& rep) {
  int64_t count = 0;
  int64_t cur = head;
  uint32_t prev = 0;  // 0: the header's free head
  auto from = [&] { return prev ? Cat(unit, " ", prev) : std::string("free head"); };
  while (cur != -1) {
    if (cur < 1 || cur > static_cast<int64_t>(highest)) {
      rep.Fault(
          Cat(where, " free chain: ", from(), " links to ", cur, ", expected -1 or 1..", highest));
      return -1;
    }
    uint32_t n = static_cast<uint32_t>(cur);
    if (n > readable) {
      rep.Fault(Cat(where, " free chain: ", from(), " links to ", unit, " ", n,
                    " beyond the end of the file"));
      return -1;
    }
    if (kind[n] == kFree) {
      rep.Fault(Cat(where, " free chain: cycle, ", from(), " links back to ", unit, " ", n,
                    " after ", count, " ", unit, "s"));
      return -1;
    }
    kind[n] = kFree;
    ++count;
    prev = n;
    cur = static_cast<int32_t>(linkAt(ctx, n));
  }
  return count;
}

struct DataLink {
  const FileBytes* file;
  uint32_t length;
};
uint32_t DataLinkAt(const void* ctx, uint32_t slot) {
  auto* d = static_cast<const DataLink*>(ctx);
  return d->file->U32(static_cast<uint64_t>(slot) * d->length);
}

void CheckVariableChains(const std::string& name, const FileBytes& f, uint32_t L, DataFacts& facts,
                         Reporter& rep) {
  const uint32_t firstRoom = L - 6;
  const uint32_t contRoom = L - 7;
  std::vector<uint32_t> owner(facts.readableSlots + 1, 0);
  auto at = [&](uint32_t slot) { return static_cast<uint64_t>(slot) * L; };

  facts.broken.assign(facts.readableSlots + 1, false);
  for (uint32_t r = 1; r <= facts.readableSlots; ++r) {
    if (facts.kind[r] != kLive) continue;
    auto fault = [&](std::string line) {
      facts.broken[r] = true;
      rep.Fault(std::move(line));
    };
    uint32_t count = f.U16(at(r) + L - 6);
    uint32_t next = f.U32(at(r) + L - 4);
    if (count > firstRoom)
      fault(Cat(name, " record ", r, ": first section counts ", count, " bytes, expected 0..",
                firstRoom));
    else if (next != 0 && count != firstRoom)
      fault(Cat(name, " record ", r, ": first section holds ", count,
                " bytes but links on, expected ", firstRoom, " (full)"));
    uint32_t from = r;
    while (next != 0) {
      auto where = [&] { return Cat(name, " record ", r, ": section ", from, " links to ", next); };
      if (next > facts.highest) {
        fault(Cat(where(), ", expected 1..", facts.highest));
        break;
      }
      if (next > facts.readableSlots) {
        fault(Cat(where(), " beyond the end of the file"));
        break;
      }
      if (facts.kind[next] == kLive) {
        fault(Cat(where(), ", a live record"));
        break;
      }
      if (facts.kind[next] == kFree) {
        fault(Cat(where(), ", a deleted slot on the free chain"));
        break;
      }
      if (owner[next] == r) {
        fault(Cat(where(), ", already in this chain (cycle)"));
        break;
      }
      if (owner[next] != 0) {
        fault(Cat(where(), ", already in the chain of record ", owner[next]));
        break;
      }
      owner[next] = r;
      facts.kind[next] = kContinuation;
      uint32_t s = next;
      uint8_t marker = f.U8(at(s));
      count = f.U16(at(s) + L - 6);
      next = f.U32(at(s) + L - 4);
      if (marker != 1)
        fault(Cat(name, " record ", r, ": continuation ", s, " byte 0 is ",
                  static_cast<unsigned>(marker), ", expected 1"));
      if (count > contRoom)
        fault(Cat(name, " record ", r, ": continuation ", s, " counts ", count,
                  " bytes, expected 1..", contRoom));
      else if (next != 0 && count != contRoom)
        fault(Cat(name, " record ", r, ": continuation ", s, " holds ", count,
                  " bytes but links on, expected ", contRoom, " (full)"));
      else if (next == 0 && count == 0)
        fault(Cat(name, " record ", r, ": last continuation ", s, " holds 0 bytes, expected 1..",
                  contRoom));
      from = s;
    }
  }
}

// Assembles every record in use whose chain is whole, runs the caller's
// rule on it and keeps the keys the builder makes from it. Chains were
// checked before: links and counts of a whole chain lie inside the file.
void CollectRecords(const std::string& name, const FileBytes& f, uint32_t L,
                    const CheckOptions& options, DataFacts& facts, Reporter& rep) {
  const bool withKeys = static_cast<bool>(options.keyBuilder) && facts.indexCountUsable;
  facts.ordinal.assign(facts.readableSlots + 1, 0);
  std::vector<uint8_t> record;
  std::vector<std::string> faults, notes;
  for (uint32_t r = 1; r <= facts.readableSlots; ++r) {
    if (facts.kind[r] != kLive) continue;
    const bool whole = !options.variable || !facts.broken[r];
    facts.slotOf.push_back(r);
    facts.whole.push_back(whole);
    facts.ordinal[r] = static_cast<uint32_t>(facts.slotOf.size());
    if (!whole) {
      if (withKeys) facts.keys.resize(facts.keys.size() + facts.indexCount);
      continue;
    }
    const auto byte = [&](uint64_t at) { return f.b.begin() + static_cast<std::ptrdiff_t>(at); };
    const uint64_t at = static_cast<uint64_t>(r) * L;
    uint32_t sections = 1;
    if (!options.variable) {
      record.assign(byte(at), byte(at + L));
    } else {
      record.assign(byte(at), byte(at + f.U16(at + L - 6)));
      for (uint32_t next = f.U32(at + L - 4); next != 0; ++sections) {
        const uint64_t s = static_cast<uint64_t>(next) * L;
        record.insert(record.end(), byte(s + 1), byte(s + 1 + f.U16(s + L - 6)));
        next = f.U32(s + L - 4);
      }
    }
    if (options.recordRule) {
      faults.clear();
      notes.clear();
      options.recordRule(r, record, sections, faults, notes);
      for (const std::string& line : faults) rep.Fault(Cat(name, " ", line));
      for (const std::string& line : notes) rep.Note(Cat(name, " ", line));
    }
    for (uint32_t k = 1; withKeys && k <= facts.indexCount; ++k) {
      std::string key = options.keyBuilder(record, static_cast<int>(k));
      if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
      facts.keys.push_back(std::move(key));
    }
  }
  facts.keysKnown = withKeys;
}

void CheckData(const std::string& path, const FileBytes& f, const CheckOptions& options,
               DataFacts& facts, CheckReport& report, Reporter& rep) {
  const std::string name = BaseName(path);
  if (f.size() < kDataHeaderBytes) {
    rep.Fault(Cat(name, ": file holds ", f.size(), " bytes, expected at least ", kDataHeaderBytes,
                  " (header)"));
    return;
  }
  const int32_t freeHead = f.I32(0);
  const uint32_t freeCount = f.U32(4);
  const uint32_t highest = f.U32(8);
  const uint32_t L = f.U32(12);
  const uint32_t indexWord = f.U32(16);
  const uint8_t inUse = f.U8(20);

  facts.indexCount = indexWord & 0xFF;
  facts.indexCountUsable = facts.indexCount <= kMaxIndexes;
  if (!facts.indexCountUsable)
    rep.Fault(Cat(name, " header: ", facts.indexCount, " indexes, expected 0..", kMaxIndexes));
  if (indexWord > 0xFF)
    rep.Note(Cat(name, " header: index count word ", indexWord, " has bytes 17..19 set"));
  if (inUse == 1)
    rep.Note(Cat(name, " header: in-use byte is 1 (not closed or flushed cleanly)"));
  else if (inUse != 0)
    rep.Fault(
        Cat(name, " header: in-use byte ", static_cast<unsigned>(inUse), ", expected 0 or 1"));
  if (L < kDataHeaderBytes) {
    rep.Fault(Cat(name, " header: record length ", L, ", expected at least ", kDataHeaderBytes));
    return;
  }
  for (uint64_t i = kDataHeaderBytes; i < L && i < f.size(); ++i) {
    if (f.U8(i) != 0) {
      rep.Fault(Cat(name, " slot 0 byte ", i, ": 0x", std::hex, static_cast<unsigned>(f.U8(i)),
                    std::dec, ", expected 0 after the header"));
      break;
    }
  }
  const uint64_t expected = (static_cast<uint64_t>(highest) + 1) * L;
  if (f.size() < expected) {
    rep.Fault(Cat(name, ": file holds ", f.size(), " bytes, expected ", expected, " ((highest ",
                  highest, " + 1) x record length ", L, ")"));
  } else if (f.size() > expected) {
    std::string line = Cat(name, ": file holds ", f.size(), " bytes, expected ", expected,
                           " ((highest ", highest, " + 1) x record length ", L, ")");
    if (inUse == 1) {
      rep.Note(line + ", left by unsaved changes");
    } else {
      rep.Fault(line);
    }
  }
  const uint64_t wholeSlots = f.size() / L;
  facts.highest = highest;
  facts.readableSlots =
      wholeSlots == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(highest, wholeSlots - 1));
  facts.kind.assign(facts.readableSlots + 1, kUnseen);
  facts.headerUsable = true;

  DataLink link{&f, L};
  int64_t chained = WalkFreeChain(name, "slot", freeHead, highest, facts.readableSlots, facts.kind,
                                  DataLinkAt, &link, rep);
  if (chained >= 0 && static_cast<uint64_t>(chained) != freeCount)
    rep.Fault(
        Cat(name, " header: free count ", freeCount, ", free chain holds ", chained, " slots"));

  for (uint32_t s = 1; s <= facts.readableSlots; ++s) {
    if (facts.kind[s] == kUnseen && f.U32(static_cast<uint64_t>(s) * L) == 0) {
      facts.kind[s] = kLive;
      ++report.liveRecords;
    }
  }
  if (options.variable) CheckVariableChains(name, f, L, facts, rep);
  if (options.keyBuilder || options.recordRule) CollectRecords(name, f, L, options, facts, rep);

  NumberSet orphans, strays;
  for (uint32_t s = 1; s <= facts.readableSlots; ++s) {
    if (facts.kind[s] != kUnseen) continue;
    if (options.variable && f.U8(static_cast<uint64_t>(s) * L) == 1) {
      orphans.Add(s);
    } else {
      strays.Add(s);
    }
  }
  if (orphans.total)
    rep.Note(Cat(name, ": ", orphans.total,
                 " continuation sections in no chain: ", NumberList(orphans.first, orphans.total)));
  if (strays.total)
    rep.Note(Cat(name, ": ", strays.total, " slots neither in use nor on the free chain: ",
                 NumberList(strays.first, strays.total)));
}

struct IndexHeader {
  int32_t freeHead;
  uint32_t freeCount, highest, pageSize, root, entries;
  uint8_t duplicates;
  uint32_t keysPerPage, keyLength, offset;
};

class TreeChecker {
 public:
  TreeChecker(const std::string& name, uint32_t k, const IndexHeader& h, uint64_t rowSize,
              uint32_t readable, const FileBytes& f, const DataFacts& data,
              const std::string& dataName, Reporter& rep)
      : where_(Cat(name, " index ", k)),
        k_(k),
        h_(h),
        rowSize_(rowSize),
        readable_(readable),
        f_(f),
        data_(data),
        dataName_(dataName),
        rep_(rep),
        kind_(readable + 1, kUnseen),
        entriesOf_(data.keysKnown ? data.slotOf.size() : 0, 0) {}

  uint32_t Run() {
    int64_t chained = WalkFreeChain(where_, "page", h_.freeHead, h_.highest, readable_, kind_,
                                    &TreeChecker::LinkAt, this, rep_);
    if (chained >= 0 && static_cast<uint64_t>(chained) != h_.freeCount)
      rep_.Fault(Cat(where_, " header: free count ", h_.freeCount, ", free chain holds ", chained,
                     " pages"));
    if (h_.root != 0) Visit(h_.root, 1, [] { return std::string("root"); });
    if (items_ != h_.entries)
      rep_.Fault(
          Cat(where_, " header: entry count ", h_.entries, ", tree holds ", items_, " items"));
    for (size_t o = 0; o < entriesOf_.size(); ++o) {
      if (entriesOf_[o] == 1) continue;
      rep_.Fault(Cat(where_, ": record ", data_.slotOf[o], " has ", entriesOf_[o],
                     entriesOf_[o] == 0xFFFF ? " or more" : "", " entries, expected 1"));
    }
    NumberSet leaked;
    for (uint32_t p = 1; p <= readable_; ++p)
      if (kind_[p] == kUnseen) leaked.Add(p);
    if (leaked.total)
      rep_.Fault(Cat(where_, ": ", leaked.total,
                     " pages neither in the tree nor on the free chain (leaked): ",
                     NumberList(leaked.first, leaked.total)));
    return items_;
  }

 private:
  static uint32_t LinkAt(const void* ctx, uint32_t page) {
    auto* self = static_cast<const TreeChecker*>(ctx);
    return self->f_.U32(self->PageOffset(page));
  }
  uint64_t PageOffset(uint32_t page) const { return page * rowSize_ + h_.offset; }

  // `from` names the link for a report line; built only when one is needed.
  template <class From>
  void Visit(uint32_t page, int depth, const From& from) {
    auto link = [&] { return Cat(where_, " ", from(), " links to page ", page); };
    if (page < 1 || page > h_.highest) {
      rep_.Fault(Cat(link(), ", expected 1..", h_.highest));
      return;
    }
    if (page > readable_) {
      rep_.Fault(Cat(link(), ", beyond the end of the file"));
      return;
    }
    if (kind_[page] == kTree) {
      rep_.Fault(Cat(link(), ", reached twice"));
      return;
    }
    if (kind_[page] == kFree) {
      rep_.Fault(Cat(link(), ", which is on the free chain"));
      return;
    }
    if (depth > kMaxDepth) {
      rep_.Fault(Cat(link(), " at depth ", depth, ", expected at most ", kMaxDepth, " levels"));
      return;
    }
    kind_[page] = kTree;
    Walk(page, depth);
  }

  // In-order walk, so that every key is compared with its predecessor in the
  // whole tree.
  void Walk(uint32_t page, int depth) {
    const std::string at = Cat(where_, " page ", page);
    const uint64_t base = PageOffset(page);
    const uint32_t count = f_.U16(base);
    const uint32_t first = f_.U32(base + 2);
    const bool root = depth == 1;
    const uint32_t minItems = root ? 1 : h_.keysPerPage / 2;
    if (count < std::max<uint32_t>(minItems, 1) || count > h_.keysPerPage) {
      rep_.Fault(Cat(at, ": ", count, " items, expected ", std::max<uint32_t>(minItems, 1), "..",
                     h_.keysPerPage));
      if (count < 1 || count > h_.keysPerPage) return;
    }
    const bool leaf = first == 0;
    if (leaf) {
      if (leafDepth_ == 0) {
        leafDepth_ = depth;
      } else if (leafDepth_ != depth) {
        rep_.Fault(
            Cat(at, ": leaf at depth ", depth, ", expected ", leafDepth_, " like the first leaf"));
      }
    } else {
      Visit(first, depth + 1, [&] { return Cat("page ", page, " first child"); });
    }
    const uint32_t stride = h_.keyLength + kItemOverhead;
    for (uint32_t i = 1; i <= count; ++i) {
      const uint64_t item = base + kPageHeaderBytes + static_cast<uint64_t>(i - 1) * stride;
      const uint32_t ref = f_.U32(item);
      const uint32_t child = f_.U32(item + 4);
      uint32_t keyLength = f_.U8(item + 8);
      auto itemAt = [&] { return Cat(at, " item ", i); };
      if (keyLength > h_.keyLength) {
        rep_.Fault(Cat(itemAt(), ": key length ", keyLength, ", expected 0..", h_.keyLength));
        keyLength = h_.keyLength;
      }
      const uint8_t* key = f_.b.data() + item + 9;  // inside: the whole page was length-checked
      ++items_;
      CheckOrder(itemAt, key, keyLength, ref);
      CheckRef(itemAt, ref);
      CheckKeyOfRecord(itemAt, key, keyLength, ref);
      if (leaf && child != 0) {
        rep_.Fault(Cat(itemAt(), ": child ", child, " in a leaf, expected 0"));
      } else if (!leaf && child == 0) {
        rep_.Fault(Cat(itemAt(), ": child 0 in an inner page, expected 1..", h_.highest));
      } else if (!leaf) {
        Visit(child, depth + 1, [&] { return Cat("page ", page, " item ", i); });
      }
    }
  }

  // Unsigned bytes over the shorter length, then the shorter first.
  static int CompareKeys(const uint8_t* a, size_t al, const uint8_t* b, size_t bl) {
    const size_t common = std::min(al, bl);
    if (common > 0) {  // an empty key may come with a null pointer
      int c = std::memcmp(a, b, common);
      if (c != 0) return c;
    }
    return al < bl ? -1 : (al > bl ? 1 : 0);
  }

  template <class ItemAt>
  void CheckOrder(const ItemAt& itemAt, const uint8_t* key, uint32_t keyLength, uint32_t ref) {
    if (havePrev_) {
      int c = CompareKeys(prevKey_.data(), prevKey_.size(), key, keyLength);
      bool ascending = c < 0 || (c == 0 && h_.duplicates && prevRef_ < ref);
      if (!ascending) {
        rep_.Fault(Cat(itemAt(), ": key ", Printable(key, keyLength), " ref ", ref,
                       " not above the previous key ", Printable(prevKey_.data(), prevKey_.size()),
                       " ref ", prevRef_,
                       c == 0 && !h_.duplicates ? " (same key in a unique index)" : ""));
      }
    }
    havePrev_ = true;
    prevKey_.assign(key, key + keyLength);
    prevRef_ = ref;
  }

  template <class ItemAt>
  void CheckRef(const ItemAt& itemAt, uint32_t ref) {
    if (!data_.headerUsable || !data_.refsChecked) return;  // reported already, or not asked
    auto line = [&] { return Cat(itemAt(), ": ref ", ref); };
    if (ref < 1 || ref > data_.highest) {
      rep_.Fault(Cat(line(), " outside ", dataName_, " slots 1..", data_.highest));
    } else if (ref > data_.readableSlots) {
      rep_.Fault(Cat(line(), " beyond the end of ", dataName_));
    } else if (data_.kind[ref] == kFree) {
      rep_.Fault(Cat(line(), " is a deleted slot of ", dataName_));
    } else if (data_.kind[ref] != kLive) {
      rep_.Fault(Cat(line(), " is not a live record of ", dataName_));
    }
  }

  // The entry's key must be the one the builder makes from its record.
  template <class ItemAt>
  void CheckKeyOfRecord(const ItemAt& itemAt, const uint8_t* key, uint32_t keyLength,
                        uint32_t ref) {
    if (!data_.keysKnown || ref < 1 || ref > data_.readableSlots) return;
    const uint32_t o = data_.ordinal[ref];
    if (o == 0) return;  // not a record in use: CheckRef reports it
    if (entriesOf_[o - 1] < 0xFFFF) ++entriesOf_[o - 1];
    if (!data_.whole[o - 1]) return;
    const std::string& expect = data_.keys[(o - 1) * data_.indexCount + k_ - 1];
    if (expect.size() == keyLength && std::memcmp(expect.data(), key, keyLength) == 0) return;
    rep_.Fault(Cat(itemAt(), ": key ", Printable(key, keyLength), " names record ", ref,
                   ", whose key is ",
                   Printable(reinterpret_cast<const uint8_t*>(expect.data()), expect.size())));
  }

  std::string where_;
  uint32_t k_;
  IndexHeader h_;
  uint64_t rowSize_;
  uint32_t readable_;
  const FileBytes& f_;
  const DataFacts& data_;
  std::string dataName_;
  Reporter& rep_;
  std::vector<uint8_t> kind_;        // per page 0..readable
  std::vector<uint16_t> entriesOf_;  // per record (with keys known): entries naming it
  uint32_t items_ = 0;
  int leafDepth_ = 0;
  bool havePrev_ = false;
  std::vector<uint8_t> prevKey_;
  uint32_t prevRef_ = 0;
};

void CheckIndexes(const std::string& dataPath, const std::string& path, const DataFacts& data,
                  CheckReport& report, Reporter& rep) {
  const std::string dataName = BaseName(dataPath);
  const uint32_t count = data.indexCount;
  if (path.empty()) {
    rep.Fault(Cat(dataName, " header names ", count, " indexes, but no index file was given"));
    return;
  }
  const std::string name = BaseName(path);
  FileBytes f;
  std::string error;
  ReadResult read = ReadWholeFile(path, f, error);
  if (read != ReadResult::kOk) {
    rep.Fault(
        Cat(name, ": cannot read (", error, "), ", dataName, " header names ", count, " indexes"));
    return;
  }

  std::vector<IndexHeader> headers;
  uint64_t offset = 0;
  for (uint32_t k = 1; k <= count; ++k) {
    const std::string where = Cat(name, " index ", k, " header");
    if (!f.Has(offset, kIndexHeaderBytes)) {
      rep.Fault(Cat(where, ": at offset ", offset, ", beyond the end of the file (", f.size(),
                    " bytes)"));
      return;
    }
    IndexHeader h{};
    h.freeHead = f.I32(offset);
    h.freeCount = f.U32(offset + 4);
    h.highest = f.U32(offset + 8);
    h.pageSize = f.U32(offset + 12);
    h.root = f.U32(offset + 16);
    h.duplicates = f.U8(offset + 20);
    h.entries = f.U32(offset + 22);
    h.keysPerPage = f.U16(offset + 26);
    if (h.keysPerPage == 0) h.keysPerPage = kMaxKeysPerPage;
    h.offset = static_cast<uint32_t>(offset);
    if (h.keysPerPage > kMaxKeysPerPage) {
      rep.Fault(Cat(where, ": ", h.keysPerPage, " keys per page, expected 1..", kMaxKeysPerPage));
      return;  // later header offsets depend on this page size
    }
    const uint32_t body = h.pageSize >= kPageHeaderBytes ? h.pageSize - kPageHeaderBytes : 0;
    const uint32_t perItem = body / h.keysPerPage;
    if (h.pageSize < kPageHeaderBytes || body % h.keysPerPage != 0 || perItem < kItemOverhead + 1 ||
        perItem > kItemOverhead + kMaxKeyLength) {
      rep.Fault(Cat(where, ": page size ", h.pageSize, " with ", h.keysPerPage,
                    " keys per page gives no key length 1..", kMaxKeyLength,
                    " ((page size - 6) / keys per page - 9, exact)"));
      return;
    }
    h.keyLength = perItem - kItemOverhead;
    if (h.duplicates > 1)
      rep.Fault(Cat(where, ": duplicates byte ", static_cast<unsigned>(h.duplicates),
                    ", expected 0 or 1"));
    headers.push_back(h);
    offset += h.pageSize;
  }
  const uint64_t rowSize = offset;
  if (f.size() < rowSize) {
    rep.Fault(
        Cat(name, ": file holds ", f.size(), " bytes, expected at least ", rowSize, " (row 0)"));
  }

  uint32_t maxHighest = 0;
  for (uint32_t k = 1; k <= count; ++k) {
    const IndexHeader& h = headers[k - 1];
    // Rows are appended whole, so the highest page's row is there in full.
    const uint64_t end = (static_cast<uint64_t>(h.highest) + 1) * rowSize;
    if (h.highest > 0 && f.size() < end)
      rep.Fault(Cat(name, " index ", k, ": highest page ", h.highest, " needs ", end,
                    " bytes ((highest + 1) x row size ", rowSize, "), file holds ", f.size()));
    maxHighest = std::max(maxHighest, h.highest);
    const uint64_t room = h.offset + h.pageSize;
    const uint64_t fit = rowSize == 0 || f.size() < room ? 0 : (f.size() - room) / rowSize;
    const uint32_t readable = static_cast<uint32_t>(std::min<uint64_t>(h.highest, fit));
    TreeChecker tree(name, k, h, rowSize, readable, f, data, dataName, rep);
    report.indexEntries[k - 1] = tree.Run();
  }
  const uint64_t rows = (static_cast<uint64_t>(maxHighest) + 1) * rowSize;
  if (f.size() > rows)
    rep.Note(Cat(name, ": file holds ", f.size(), " bytes, ", f.size() - rows,
                 " beyond the last page row"));
}

}  // namespace

CheckReport CheckFileBlock(const std::string& dataPath, const std::string& indexPath,
                           const CheckOptions& options) {
  CheckReport report;
  {
    Reporter rep(report);  // appends its summary lines when it goes out of scope
    FileBytes dataFile;
    std::string error;
    if (ReadWholeFile(dataPath, dataFile, error) != ReadResult::kOk) {
      rep.Fault(Cat(BaseName(dataPath), ": cannot read (", error, ")"));
    } else {
      DataFacts facts;
      facts.refsChecked = options.refsToRecords;
      CheckData(dataPath, dataFile, options, facts, report, rep);
      if (facts.indexCountUsable && facts.indexCount > 0) {
        report.indexEntries.assign(facts.indexCount, 0);
        CheckIndexes(dataPath, indexPath, facts, report, rep);
      }
    }
  }
  return report;
}

}  // namespace qorvex::isam
