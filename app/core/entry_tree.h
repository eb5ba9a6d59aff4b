// SPDX-License-Identifier: GPL-3.0-or-later
// The entry tree as data (core layer, no Qt): what the viewer's tree shows,
// built from the lexicon in index-2 order (topic, then term), and the
// lookups behind selecting a node. The window only mirrors these nodes.
//
// Shape after BuildTree, sorted once at every level by CompareCaptions
// (stably: equal captions keep their build order):
//   "- alle Einträge" (image 5)  every entry, data = its topic (also "");
//                                  before them, entries with an empty topic
//                                  that come first in index 2, without data
//   "- Suchergebnis"  (image 3)  empty; AddSearchHits appends, unsorted
//   one node per change of the topic text (image 5): its entries, no data
// Entry captions are the term padded with blanks to 50 or cut to 50.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_entry.h"

namespace qorvex {

// State images (indexes into the window's image list).
inline constexpr int kImageOpenFolder = 1;
inline constexpr int kImagePage = 2;
inline constexpr int kImageSearch = 3;
inline constexpr int kImageSearchHits = 4;
inline constexpr int kImageFolder = 5;

inline constexpr std::string_view kAllEntriesCaption = "- alle Eintr\xE4ge";
inline constexpr std::string_view kSearchCaption = "- Suchergebnis";
inline constexpr int kCaptionWidth = 50;

struct TreeNode {
  std::string caption;
  int image = 0;
  // The entry's topic for children of the two special nodes; none elsewhere.
  std::optional<std::string> data;
  std::vector<TreeNode> children;
};

struct EntryTree {
  std::vector<TreeNode> roots;
  size_t searchNode = 0;  // "- Suchergebnis" in roots
  TreeNode& SearchNode() { return roots[searchNode]; }
  const TreeNode& SearchNode() const { return roots[searchNode]; }
};

// The caption of an entry node.
std::string EntryCaption(std::string_view term);

// Walks the lexicon by index 2 and builds the sorted tree. Afterwards the
// record that was current before is current again (found by its topic and
// term), or the record buffers are cleared.
EntryTree BuildTree(TdbLex& lex);

// The two special roots, under which the topic is not visible in the tree.
bool IsSpecialCaption(std::string_view caption);

// The entry behind selecting an entry node: under a special node by its
// data (FindTopicTerm) or, without data, by its caption (FindTerm); under a
// topic node by the parent's caption and its own (FindTopicTerm).
std::optional<LexEntry> FindNodeEntry(TdbLex& lex, std::string_view parentCaption,
                                      std::string_view nodeCaption,
                                      const std::optional<std::string>& nodeData);

// The entry last selected in the tree, found again from the two remembered
// captions (the see-also command): FindTerm under a special node, else
// FindTopicTerm.
std::optional<LexEntry> FindSelectedEntry(TdbLex& lex, std::string_view parentText,
                                          std::string_view nodeText);

// A folder's image after expanding (5 -> 1) or collapsing (1 -> 5); other
// images stay.
int ImageWhenExpanded(int image);
int ImageWhenCollapsed(int image);

}  // namespace qorvex
