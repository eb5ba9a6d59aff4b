// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon database as the viewer and the import use it.
#include "storage/dblex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "isam/check.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

using LexTest = LexiconTest;

TEST_F(LexTest, AddsNumberFromOneLookupsFoldCaseAndCutClearStartsAgain) {
  EXPECT_FALSE(lex_->First(2)) << "an empty lexicon";
  Add("Antennen", "Dipol", "", "Ein Dipol ist...");
  EXPECT_EQ(lex_->Rec.Id, 1);
  EXPECT_EQ(lex_->OrgRec.Id, 1);
  Add("Betrieb", "\xD6l");  // Öl
  EXPECT_EQ(lex_->Rec.Id, 2);
  Add("Antennentechnik und mehr", "Yagi-Uda-Antenne mit vielen Elementen");
  EXPECT_EQ(lex_->Rec.Id, 3);

  EXPECT_TRUE(lex_->FindTerm("dipol"));
  EXPECT_EQ(lex_->GetText(), "Ein Dipol ist...");
  EXPECT_EQ(lex_->GetTopic(), "Antennen");
  EXPECT_TRUE(lex_->FindTerm("\xF6L"));  // öL: umlauts fold too
  EXPECT_EQ(lex_->Rec.Id, 2);
  // Only 20 characters of a term and 10 of a topic count.
  EXPECT_TRUE(lex_->FindTerm("YAGI-UDA-ANTENNE MIT anderen"));
  EXPECT_EQ(lex_->Rec.Id, 3);
  EXPECT_TRUE(lex_->FindTopicTerm("antennente", "yagi-uda-antenne mit"));
  EXPECT_TRUE(lex_->FindTopicTerm("ANTENNENTEXTE", "yagi-uda-antenne mit"));
  EXPECT_FALSE(lex_->FindTopicTerm("Antennen", "Yagi"));
  // A failed lookup leaves the images.
  EXPECT_FALSE(lex_->FindTerm("Quarz"));
  EXPECT_EQ(lex_->Rec.Id, 3);
  // The tree's walk: topic (10) then term (20), upper-cased.
  std::vector<int32_t> order;
  for (bool ok = lex_->First(2); ok; ok = lex_->Next(false, true)) order.push_back(lex_->Rec.Id);
  EXPECT_EQ(order, (std::vector<int32_t>{1, 3, 2}));
  // Next at the end: false, and the images reloaded from the last record read.
  EXPECT_EQ(lex_->Rec.Id, 2);
  EXPECT_EQ(lex_->Count(), 3);
  EXPECT_TRUE(CheckFiles().ok());
  // Clear starts the numbers again from one.
  DatLex.Clear(0);
  EXPECT_FALSE(lex_->FindTerm("dipol"));
  Add("A", "Neu");
  EXPECT_EQ(lex_->Rec.Id, 1);
  EXPECT_EQ(lex_->Count(), 1);
}

TEST_F(LexTest, TextIsCutAndStoredWithItsLength) {
  Add("T", "Lang", "", std::string(70000, 'x'));
  EXPECT_EQ(lex_->Rec.TextLen, 64000);
  Add("T", "Kurz", "", "abc");
  ASSERT_TRUE(lex_->FindTerm("Lang"));
  EXPECT_EQ(lex_->GetText(), std::string(64000, 'x'));
  ASSERT_TRUE(lex_->FindTerm("Kurz"));
  EXPECT_EQ(lex_->GetText(), "abc");
  Detach();
  // The stored length of the variable record ref: the sum of its sections.
  const Bytes dat = ReadAll(Path("QDLex.DAT"));
  auto StoredLength = [&](uint32_t s) {
    constexpr uint32_t L = kLexSectionLength;
    uint32_t n = 0;
    for (uint32_t steps = 0; s != 0 && steps < 200; ++steps, s = Le32(dat, s * L + L - 4))
      n += Le16(dat, s * L + L - 6);
    return n;
  };
  // Refs: "Lang" takes 106 sections (its first is the last appended).
  EXPECT_EQ(StoredLength(106), 64360u);
  EXPECT_EQ(StoredLength(107), 363u);
  // Long fields are cut, not refused.
  Attach();
  Add(std::string(40, 't'), std::string(60, 'w'), std::string(300, 's'));
  EXPECT_EQ(lex_->GetTopic().size(), 30u);
  EXPECT_EQ(lex_->GetTerm().size(), 50u);
  EXPECT_EQ(lex_->GetSeeAlso().size(), 255u);
  // A stored length above the room reads as the room.
  lex_->Rec.TextLen = 99999;
  EXPECT_EQ(lex_->GetText().size(), 64000u);
}

// The checker with the lexicon's keys and rules, on damage done to the
// bytes of a closed lexicon; each fault names its slot.
TEST_F(LexTest, TheCheckerFindsWrongReferencesAndFields) {
  Add("A", "Eins");
  Add("A", "Zwei");
  Add("B", "Drei", "", "abcd");
  Add("B", "Lang", "", std::string(64000, 'x'));  // ref 3 + 106
  Detach();
  constexpr size_t L = kLexSectionLength;
  const Bytes dat = ReadAll(Path("QDLex.DAT"));
  isam::CheckOptions options(true, true);
  options.keyBuilder = LexStoredKey;
  options.recordRule = CheckLexRecord;
  auto check = [&] { return isam::CheckFileBlock(Path("QDLex.DAT"), Path("QDLex.IX"), options); };
  ASSERT_TRUE(check().ok()) << check().faults.front();
  auto put32 = [](Bytes& b, size_t at, int32_t v) { std::memcpy(b.data() + at, &v, 4); };
  // What, the damage, a fault line (or a note when the block stays sound),
  // whether it stays sound.
  const std::tuple<const char*, std::function<void(Bytes&)>, std::string, bool> cases[] = {
      {"records 1 and 2 swapped",
       [](Bytes& b) { std::swap_ranges(b.begin() + L, b.begin() + 2 * L, b.begin() + 2 * L); },
       "QDLex.IX index 3 page 1 item 1: key \"\\x81\\x80\\x80\\x80\\x81\" names record 1, whose "
       "key is \"\\x81\\x80\\x80\\x80\\x82\"",
       false},
      {"Id 0", [&](Bytes& b) { put32(b, 2 * L + 4, 0); },
       "QDLex.DAT record 2: Id 0, expected 1 or more", false},
      {"TextLen off by 6", [&](Bytes& b) { put32(b, 3 * L + 8, 10); },
       "QDLex.DAT record 3: stored in 364 bytes, expected 360 + TextLen 10 = 370", false},
      {"TextLen below 0", [&](Bytes& b) { put32(b, 3 * L + 8, -1); },
       "QDLex.DAT record 3: TextLen -1, expected 0..64000", false},
      {"TextLen above 64000", [&](Bytes& b) { put32(b, 109 * L + 8, 64500); },
       "QDLex.DAT record 109: TextLen 64500 above 64000, read as 64000", true},
      // Length bytes beyond their fields, the keys' characters unchanged.
      {"Topic length 31", [](Bytes& b) { b[109 * L + 12] = 31; },
       "QDLex.DAT record 109: Topic length 31, expected 0..30", false},
      {"Topic length 255", [](Bytes& b) { b[109 * L + 12] = 255; },
       "QDLex.DAT record 109: Topic length 255, expected 0..30", false},
      {"Term length 51", [](Bytes& b) { b[2 * L + 43] = 51; },
       "QDLex.DAT record 2: Term length 51, expected 0..50", false},
  };
  for (const auto& [what, damage, line, sound] : cases) {
    SCOPED_TRACE(what);
    Bytes b = dat;
    damage(b);
    WriteAll(Path("QDLex.DAT"), b);
    const isam::CheckReport r = check();
    const auto& lines = sound ? r.notes : r.faults;
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
        << (lines.empty() ? "none" : lines.front());
    EXPECT_EQ(r.ok(), sound);
  }
  // A chain longer than a record of 64360 bytes needs (the engine takes
  // records of up to 65520 bytes).
  WriteAll(Path("QDLex.DAT"), dat);
  FileBlockHandle fb = nullptr;
  ASSERT_EQ(isam::testing::OpenError(fb, Path("QDLex")), 0);
  Bytes big(65000, 'y');
  put32(big, 0, 0);
  put32(big, 4, 5);
  put32(big, 8, 64000);
  int32_t ref = 0;
  AddVariableRecord(fb, ref, big.data(), static_cast<uint32_t>(big.size()));
  CloseFileBlock(fb);
  const std::vector<std::string> faults = check().faults;
  EXPECT_NE(std::find(faults.begin(), faults.end(),
                      "QDLex.DAT record " + std::to_string(ref) +
                          ": 107 sections, a record of 64360 bytes needs 106"),
            faults.end());
}

// A rebuild on opening that must drop a record (its Id taken by another)
// tells the program once, and keeps the record in QDLex.MSG.
TEST_F(LexTest, ARebuildThatDropsARecordSaysSoOnce) {
  Add("A", "Eins");
  Add("A", "Zwei");
  Detach();
  Bytes dat = ReadAll(Path("QDLex.DAT"));
  dat[2 * kLexSectionLength + 4] = 1;  // record 2 takes Id 1
  dat[20] = 1;                         // and the block was left in use
  WriteAll(Path("QDLex.DAT"), dat);
  std::vector<std::pair<std::string, int32_t>> told;
  SetRebuildNotice([&](const std::string& file, int32_t n) { told.emplace_back(file, n); });
  SetRetryHandler([](const std::string&, uint8_t) { return true; });
  Attach();
  EXPECT_TRUE(lex_->FindTerm("Eins"));
  EXPECT_FALSE(lex_->FindTerm("Zwei"));
  EXPECT_EQ(lex_->Count(), 1);
  SetRebuildNotice(nullptr);
  SetRetryHandler(nullptr);
  EXPECT_EQ(told, (std::vector<std::pair<std::string, int32_t>>{{Path("QDLex"), 1}}));
  EXPECT_NE(ReadText(Path("QDLex.MSG")).find("\x04Zwei"), std::string::npos);
}

TEST_F(LexTest, ObjectsOwnTheOpenOnlyWhenTheyMadeIt) {
  EXPECT_FALSE(lex_->OwnsOpen);
  lex_.reset();
  DatLex.Close(SlotBit(0), false);
  EXPECT_EQ(DatLex.DriverRef(0), nullptr);
  {
    TdbLex own(0);
    EXPECT_TRUE(own.OwnsOpen);
    EXPECT_NE(DatLex.DriverRef(0), nullptr);
    EXPECT_EQ(DatLex.DriverRef(1), nullptr);
  }
  EXPECT_EQ(DatLex.DriverRef(0), nullptr);
  // Two attachments share one driver.
  ASSERT_TRUE(DatLex.Open(SlotBit(0)));
  ASSERT_TRUE(DatLex.Open(SlotBit(0)));
  EXPECT_EQ((*DatLex.DriverRef(0))->shareCount, 1);
  DatLex.Close(SlotBit(0), false);
  EXPECT_NE(DatLex.DriverRef(0), nullptr);
  lex_ = std::make_unique<TdbLex>(0);
}

}  // namespace
}  // namespace qorvex::testing
