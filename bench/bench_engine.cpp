// SPDX-License-Identifier: GPL-3.0-or-later
// The glossary workload on Qorvex's engine and on SQLite, in one run:
// bulk insert with three keys, exact lookups by term with the record, a
// full scan in topic+term order, and lookups after close and reopen.
// Each phase is timed per run; the medians are compared.
//
//   bench_engine [--quick] [--repeat R] [--n N] [--qorvex-only]
//
// --qorvex-only runs our engine alone and writes "phase NAME" to standard
// error as each phase starts, so that a system-call trace can be cut into
// phases: strace -o T bench_engine --qorvex-only --repeat 1 --n N.
//
// QORVEX_BENCH_SQLITE_PRAGMA adds one statement to SQLite's settings (for
// experiments such as memory-mapped reads).
// The last line is the ratio at the largest N (our time / SQLite's).
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "isam/engine.h"

namespace {

using Clock = std::chrono::steady_clock;

bool markPhases = false;
void Mark(const char* phase) {
  if (markPhases) std::fprintf(stderr, "phase %s\n", phase);
}

// Record layout: 360 fixed bytes, then the text.
//   0..3 reserved 0 word, 4..8 id key, 9..28 term key, 29..58 topic+term key
constexpr uint32_t kFixed = 360;
// Sections of 1024 bytes: an average entry (360 + 2025 bytes) takes three,
// and half a section is lost per entry on average.
constexpr int32_t kSection = 1024;
constexpr uint32_t kMaxRecord = kFixed + 4000;
constexpr int kLookups = 100000;
constexpr int kReopenLookups = 10000;

struct Entry {
  std::string id, term, topicTerm;  // keys as stored (5, 20, 30 bytes)
  std::vector<uint8_t> record;
};

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_engine: %s\n", what.c_str());
  std::exit(2);
}

void CheckEngine(const char* what) {
  if (!qorvex::EngineOK)
    Die(std::string(what) + " failed with engine error " + std::to_string(qorvex::EngineError));
}

std::string Padded(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

std::vector<Entry> MakeEntries(int n) {
  std::mt19937_64 rng(20261207);
  static const char* syllables[] = {"AN",  "TEN",  "NE",  "FUNK", "WEL",    "LE",   "DI",  "POL",
                                    "QRG", "MOR",  "SE",  "BAKE", "RELAIS", "KURZ", "SEN", "DER",
                                    "EMP", "FAEN", "GER", "TON",  "BAND",   "PASS"};
  std::vector<std::string> topics;
  for (int i = 0; i < 40; ++i) topics.push_back("THEMA" + std::to_string(i));
  // About one term in five is shared by two or more entries.
  const int vocabulary = std::max(1, n * 4 / 5);
  std::vector<Entry> entries(n);
  for (int i = 0; i < n; ++i) {
    Entry& e = entries[i];
    const uint32_t id = static_cast<uint32_t>(i + 1);
    e.id = std::string{0, static_cast<char>(id >> 24), static_cast<char>(id >> 16),
                       static_cast<char>(id >> 8), static_cast<char>(id)};
    uint64_t w = rng() % vocabulary;
    std::string term;
    for (int s = 0; s < 4; ++s, w /= 22) term += syllables[w % 22];
    term += std::to_string(w);
    e.term = Padded(term, 20);
    e.topicTerm = Padded(topics[rng() % topics.size()], 10) + e.term;
    const uint32_t textLength = 50 + static_cast<uint32_t>(rng() % 3951);
    e.record.assign(kFixed + textLength, ' ');
    std::memset(e.record.data(), 0, 4);
    std::memcpy(e.record.data() + 4, e.id.data(), 5);
    std::memcpy(e.record.data() + 9, e.term.data(), 20);
    std::memcpy(e.record.data() + 29, e.topicTerm.data(), 30);
    for (uint32_t j = kFixed; j < e.record.size(); ++j)
      e.record[j] = static_cast<uint8_t>('a' + (rng() % 26));
  }
  return entries;
}

// Terms to look up: drawn from the entries, the same for both engines.
std::vector<int> LookupOrder(int n, int count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<int> order(count);
  for (int& i : order) i = static_cast<int>(rng() % n);
  return order;
}

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

struct Times {
  double insert = 0, lookup = 0, scan = 0, reopen = 0;
};

// --- Qorvex -------------------------------------------------------------------

void VerifyRecord(const std::vector<uint8_t>& buf, uint32_t length, const std::string& term) {
  if (length < kFixed || std::memcmp(buf.data() + 9, term.data(), 20) != 0)
    Die("a lookup returned the wrong record");
}

int QorvexLookups(qorvex::FileBlockHandle fb, const std::vector<Entry>& entries,
                  const std::vector<int>& order, std::vector<uint8_t>& buf) {
  int found = 0;
  for (int i : order) {
    int32_t ref = 0;
    qorvex::FindKey(fb, 2, ref, entries[i].term);
    CheckEngine("FindKey");
    uint32_t length = static_cast<uint32_t>(buf.size());
    qorvex::GetVariableRecord(fb, ref, buf.data(), false, length);
    CheckEngine("GetVariableRecord");
    VerifyRecord(buf, length, entries[i].term);
    ++found;
  }
  return found;
}

Times RunQorvex(const std::string& dir, const std::vector<Entry>& entries,
                const std::vector<int>& lookups, const std::vector<int>& reopenLookups) {
  Times t;
  const std::string name = dir + "/LEX";
  std::vector<uint8_t> buf(kMaxRecord + 64);
  const qorvex::KeyDescriptor keys[] = {{5, 0}, {20, 1}, {30, 1}};

  Mark("insert");
  auto t0 = Clock::now();
  qorvex::CreateFileBlock(name, kSection, 3, keys);
  CheckEngine("CreateFileBlock");
  qorvex::FileBlockHandle fb = nullptr;
  qorvex::OpenFileBlock(fb, name, {});
  CheckEngine("OpenFileBlock");
  for (const Entry& e : entries) {
    int32_t ref = 0;
    qorvex::AddVariableRecord(fb, ref, e.record.data(), static_cast<uint32_t>(e.record.size()));
    CheckEngine("AddVariableRecord");
    qorvex::AddKey(fb, 1, ref, e.id);
    qorvex::AddKey(fb, 2, ref, e.term);
    qorvex::AddKey(fb, 3, ref, e.topicTerm);
    CheckEngine("AddKey");
  }
  qorvex::CloseFileBlock(fb);
  CheckEngine("CloseFileBlock");
  auto t1 = Clock::now();
  t.insert = Ms(t0, t1);

  qorvex::OpenFileBlock(fb, name, {});
  CheckEngine("OpenFileBlock");
  Mark("lookup");
  t0 = Clock::now();
  QorvexLookups(fb, entries, lookups, buf);
  t1 = Clock::now();
  t.lookup = Ms(t0, t1);

  Mark("scan");
  t0 = Clock::now();
  qorvex::ClearKey(fb, 3);
  std::string key, previous;
  size_t seen = 0;
  for (;;) {
    int32_t ref = 0;
    qorvex::NextKey(fb, 3, ref, key);
    if (!qorvex::EngineOK && qorvex::EngineError == qorvex::kErrNoNextKey) break;
    CheckEngine("NextKey");
    if (key < previous) Die("the scan is out of order");
    previous = key;
    uint32_t length = static_cast<uint32_t>(buf.size());
    qorvex::GetVariableRecord(fb, ref, buf.data(), false, length);
    CheckEngine("GetVariableRecord");
    if (std::memcmp(buf.data() + 29, key.data(), 30) != 0) Die("the scan read the wrong record");
    ++seen;
  }
  t1 = Clock::now();
  if (seen != entries.size()) Die("the scan saw " + std::to_string(seen) + " records");
  t.scan = Ms(t0, t1);

  Mark("reopen");
  t0 = Clock::now();
  qorvex::CloseFileBlock(fb);
  CheckEngine("CloseFileBlock");
  qorvex::OpenFileBlock(fb, name, {});
  CheckEngine("OpenFileBlock");
  QorvexLookups(fb, entries, reopenLookups, buf);
  t1 = Clock::now();
  t.reopen = Ms(t0, t1);
  Mark("end");
  qorvex::CloseFileBlock(fb);
  CheckEngine("CloseFileBlock");
  qorvex::DeleteFileBlock(name);
  return t;
}

// --- SQLite -------------------------------------------------------------------

void Sql(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
    Die(std::string("sqlite: ") + (error ? error : "?") + " in " + sql);
}

sqlite3* OpenSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("sqlite open");
  Sql(db, "PRAGMA synchronous=OFF");
  Sql(db, "PRAGMA journal_mode=OFF");
  if (const char* pragma = getenv("QORVEX_BENCH_SQLITE_PRAGMA")) Sql(db, pragma);
  return db;
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
    Die(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
  return st;
}

void SqliteLookups(sqlite3* db, const std::vector<Entry>& entries, const std::vector<int>& order) {
  sqlite3_stmt* st = Prepare(db, "SELECT fixed, text FROM lex WHERE term = ? LIMIT 1");
  for (int i : order) {
    sqlite3_bind_blob(st, 1, entries[i].term.data(), 20, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_ROW) Die("sqlite lookup found nothing");
    const auto* fixed = static_cast<const uint8_t*>(sqlite3_column_blob(st, 0));
    const int textBytes = sqlite3_column_bytes(st, 1);
    if (sqlite3_column_blob(st, 1) == nullptr || textBytes < 50 ||
        std::memcmp(fixed + 9, entries[i].term.data(), 20) != 0)
      Die("sqlite lookup returned the wrong record");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

Times RunSqlite(const std::string& dir, const std::vector<Entry>& entries,
                const std::vector<int>& lookups, const std::vector<int>& reopenLookups) {
  Times t;
  const std::string path = dir + "/lex.sqlite";
  auto t0 = Clock::now();
  sqlite3* db = OpenSqlite(path);
  Sql(db,
      "CREATE TABLE lex(id BLOB, term BLOB, topicterm BLOB, fixed BLOB, text BLOB);"
      "CREATE UNIQUE INDEX lex_id ON lex(id);"
      "CREATE INDEX lex_term ON lex(term);"
      "CREATE INDEX lex_topicterm ON lex(topicterm)");
  Sql(db, "BEGIN");
  sqlite3_stmt* st = Prepare(db, "INSERT INTO lex VALUES(?, ?, ?, ?, ?)");
  for (const Entry& e : entries) {
    sqlite3_bind_blob(st, 1, e.id.data(), 5, SQLITE_STATIC);
    sqlite3_bind_blob(st, 2, e.term.data(), 20, SQLITE_STATIC);
    sqlite3_bind_blob(st, 3, e.topicTerm.data(), 30, SQLITE_STATIC);
    sqlite3_bind_blob(st, 4, e.record.data(), kFixed, SQLITE_STATIC);
    sqlite3_bind_blob(st, 5, e.record.data() + kFixed, static_cast<int>(e.record.size() - kFixed),
                      SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) Die(std::string("sqlite insert: ") + sqlite3_errmsg(db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Sql(db, "COMMIT");
  sqlite3_close(db);
  auto t1 = Clock::now();
  t.insert = Ms(t0, t1);

  db = OpenSqlite(path);
  t0 = Clock::now();
  SqliteLookups(db, entries, lookups);
  t1 = Clock::now();
  t.lookup = Ms(t0, t1);

  t0 = Clock::now();
  st = Prepare(db, "SELECT topicterm, fixed, text FROM lex ORDER BY topicterm");
  size_t seen = 0;
  std::string previous;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string key(static_cast<const char*>(sqlite3_column_blob(st, 0)), 30);
    if (key < previous) Die("sqlite scan out of order");
    previous = key;
    const auto* fixed = static_cast<const uint8_t*>(sqlite3_column_blob(st, 1));
    if (sqlite3_column_blob(st, 2) == nullptr || std::memcmp(fixed + 29, key.data(), 30) != 0)
      Die("sqlite scan read the wrong record");
    ++seen;
  }
  sqlite3_finalize(st);
  t1 = Clock::now();
  if (seen != entries.size()) Die("sqlite scan count");
  t.scan = Ms(t0, t1);

  t0 = Clock::now();
  sqlite3_close(db);
  db = OpenSqlite(path);
  SqliteLookups(db, entries, reopenLookups);
  t1 = Clock::now();
  t.reopen = Ms(t0, t1);
  sqlite3_close(db);
  std::filesystem::remove(path);
  return t;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  int repeat = 0, only = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      quick = true;
    } else if (a == "--repeat" && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (a == "--n" && i + 1 < argc) {
      only = std::atoi(argv[++i]);
    } else if (a == "--qorvex-only") {
      markPhases = true;
    } else {
      std::fprintf(stderr, "usage: bench_engine [--quick] [--repeat R] [--n N] [--qorvex-only]\n");
      return 2;
    }
  }
  std::vector<int> sizes = quick ? std::vector<int>{2000} : std::vector<int>{10000, 200000};
  if (only > 0) sizes = {only};

  char dirTemplate[] = "/tmp/qorvex-bench-XXXXXX";
  if (mkdtemp(dirTemplate) == nullptr) Die("mkdtemp");
  const std::string dir = dirTemplate;
  qorvex::InitEngine(0, 160);
  CheckEngine("InitEngine");

  std::printf("%-8s %-7s %12s %12s %7s   %s\n", "N", "phase", "qorvex ms", "sqlite ms", "ratio",
              "qorvex / sqlite");
  Times last{};
  for (int n : sizes) {
    const int runs = repeat > 0 ? repeat : (quick ? 3 : (n <= 10000 ? 5 : 3));
    const std::vector<Entry> entries = MakeEntries(n);
    const std::vector<int> lookups = LookupOrder(n, kLookups, 1);
    const std::vector<int> reopenLookups = LookupOrder(n, kReopenLookups, 2);
    std::vector<double> q[4], s[4];
    for (int r = 0; r < runs; ++r) {
      // Alternate the order so neither side always finds a warm disk cache.
      Times a{}, b{};
      if (markPhases) {
        a = RunQorvex(dir, entries, lookups, reopenLookups);
      } else if (r % 2 == 0) {
        a = RunQorvex(dir, entries, lookups, reopenLookups);
        b = RunSqlite(dir, entries, lookups, reopenLookups);
      } else {
        b = RunSqlite(dir, entries, lookups, reopenLookups);
        a = RunQorvex(dir, entries, lookups, reopenLookups);
      }
      const double qa[] = {a.insert, a.lookup, a.scan, a.reopen};
      const double sb[] = {b.insert, b.lookup, b.scan, b.reopen};
      for (int p = 0; p < 4; ++p) {
        q[p].push_back(qa[p]);
        s[p].push_back(sb[p]);
      }
    }
    const char* phases[] = {"insert", "lookup", "scan", "reopen"};
    const double per[] = {static_cast<double>(n), kLookups, static_cast<double>(n), kReopenLookups};
    double ratio[4];
    for (int p = 0; p < 4 && markPhases; ++p)
      std::printf("%-8d %-7s %12.1f %12s %7s   %.2f us per %s\n", n, phases[p], Median(q[p]), "-",
                  "-", Median(q[p]) * 1000 / per[p], p == 0 ? "insert" : "record or lookup");
    for (int p = 0; p < 4 && !markPhases; ++p) {
      const double qm = Median(q[p]), sm = Median(s[p]);
      ratio[p] = qm / sm;
      if (p == 0)
        std::printf("%-8d %-7s %12.1f %12.1f %7.2f   %.0f / %.0f records/s\n", n, phases[p], qm, sm,
                    ratio[p], n / qm * 1000, n / sm * 1000);
      else
        std::printf("%-8d %-7s %12.1f %12.1f %7.2f   %.2f / %.2f us per %s\n", n, phases[p], qm, sm,
                    ratio[p], qm * 1000 / per[p], sm * 1000 / per[p], p == 2 ? "record" : "lookup");
    }
    last = {ratio[0], ratio[1], ratio[2], ratio[3]};
    std::fflush(stdout);
  }
  qorvex::ExitEngine();
  std::filesystem::remove_all(dir);
  if (markPhases) return 0;
  std::printf("ratio qorvex/sqlite N=%d: insert=%.2f lookup=%.2f scan=%.2f reopen=%.2f\n",
              sizes.back(), last.insert, last.lookup, last.scan, last.reopen);
  return 0;
}
