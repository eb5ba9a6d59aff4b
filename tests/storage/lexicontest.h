// Fixture of the tests that use the lexicon as the viewer does: DatLex
// attached and one TdbLex on slot 0.
#pragma once

#include <memory>

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
  std::unique_ptr<TdbLex> lex_;
};

}  // namespace qorvex::testing
