// Fixture of the viewer-logic tests: the lexicon attached as the viewer
// attaches it, filled entry by entry as the import fills it.
#pragma once

#include <string>

#include "tests/storage/lexicontest.h"

namespace qorvex::testing {

class ViewerTest : public LexiconTest {
 protected:
  void Add(const std::string& topic, const std::string& term, const std::string& seeAlso = "",
           const std::string& text = "") {
    lex_->ClearRec();
    lex_->SetTopic(topic);
    lex_->SetTerm(term);
    lex_->SetSeeAlso(seeAlso);
    lex_->SetText(text);
    ASSERT_TRUE(lex_->Add());
  }
};

}  // namespace qorvex::testing
