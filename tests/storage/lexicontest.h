// SPDX-License-Identifier: GPL-3.0-or-later
// Fixture of the tests that use the lexicon as the viewer does: DatLex
// attached and one TdbLex on slot 0, filled entry by entry as the import
// fills it.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "isam/check.h"
#include "storage/dblex.h"
#include "tests/storage/storagetest.h"

namespace qorvex::testing {

class LexiconTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    Attach();
  }
  void TearDown() override {
    Detach();
    StorageTest::TearDown();
  }
  void Attach() {
    ASSERT_TRUE(DatLex.Open(SlotBit(0)));
    lex_ = std::make_unique<TdbLex>(0);
  }
  // The last detach closes the engine block: its files are then final.
  void Detach() {
    lex_.reset();
    DatLex.Close(SlotBit(0), true);
  }
  // The data and index files as the last detach leaves them; attached again.
  std::pair<Bytes, Bytes> Files() {
    Detach();
    std::pair<Bytes, Bytes> files{ReadAll(Path("QDLex.DAT")), ReadAll(Path("QDLex.IX"))};
    Attach();
    return files;
  }
  // The checker on the files, variable records and all.
  isam::CheckReport CheckFiles() const {
    return isam::CheckFileBlock(Path("QDLex.DAT"), Path("QDLex.IX"), {true, true});
  }
  // Adds an entry as the import adds it; the lexicon must take it.
  void Add(const std::string& topic, const std::string& term, const std::string& seeAlso = "",
           const std::string& text = "") {
    lex_->ClearRec();
    lex_->SetTopic(topic);
    lex_->SetTerm(term);
    lex_->SetSeeAlso(seeAlso);
    lex_->SetText(text);
    ASSERT_TRUE(lex_->Add()) << topic << "/" << term;
  }
  std::unique_ptr<TdbLex> lex_;
};

}  // namespace qorvex::testing
