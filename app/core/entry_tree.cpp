// SPDX-License-Identifier: GPL-3.0-or-later
// The entry tree; see entry_tree.h.
#include "app/core/entry_tree.h"

#include <algorithm>
#include <numeric>

#include "app/core/collation.h"
#include "support/text_utils.h"

namespace qorvex {
namespace {

// The stable order of nodes by their captions, as positions. The primary
// keys are computed once per node, not once per comparison.
std::vector<size_t> SortedOrder(const std::vector<TreeNode>& nodes) {
  std::vector<std::string> keys;
  keys.reserve(nodes.size());
  for (const TreeNode& n : nodes) keys.push_back(PrimaryKey(n.caption));
  std::vector<size_t> order(nodes.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (const int c = keys[a].compare(keys[b])) return c < 0;
    return CaptionLess(nodes[a].caption, nodes[b].caption);
  });
  return order;
}

// Sorts nodes and, below them, every level.
void SortNodes(std::vector<TreeNode>& nodes) {
  std::vector<TreeNode> sorted;
  sorted.reserve(nodes.size());
  for (size_t i : SortedOrder(nodes)) sorted.push_back(std::move(nodes[i]));
  nodes = std::move(sorted);
  for (TreeNode& n : nodes) SortNodes(n.children);
}

}  // namespace

std::string EntryCaption(std::string_view term) {
  return ToStrings.PadCut(term, kCaptionWidth);
}

EntryTree BuildTree(TdbLex& lex) {
  const std::string rememberedTopic = lex.GetTopic(), rememberedTerm = lex.GetTerm();
  std::vector<TreeNode> roots;
  roots.push_back({std::string(kAllEntriesCaption), kImageFolder, std::nullopt, {}});
  // Indexes into roots: the all-entries node, and the group that takes the
  // next entry (the all-entries node until the first change of topic).
  constexpr size_t kAll = 0;
  size_t group = kAll;
  std::string lastTopic;
  for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) {
    std::string topic = lex.GetTopic();
    std::string caption = EntryCaption(lex.GetTerm());
    if (topic != lastTopic) {
      roots.push_back({topic, kImageFolder, std::nullopt, {}});
      group = roots.size() - 1;
      lastTopic = topic;
    }
    roots[group].children.push_back({caption, kImagePage, std::nullopt, {}});
    roots[kAll].children.push_back({std::move(caption), kImagePage, std::move(topic), {}});
  }
  roots.push_back({std::string(kSearchCaption), kImageSearch, std::nullopt, {}});
  if (!lex.FindTopicTerm(rememberedTopic, rememberedTerm)) lex.ClearRec();

  // The search node is the last root built; its place after the sort is
  // kept from the permutation.
  EntryTree tree;
  for (size_t i : SortedOrder(roots)) {
    if (i == roots.size() - 1) tree.searchNode = tree.roots.size();
    tree.roots.push_back(std::move(roots[i]));
  }
  for (TreeNode& n : tree.roots) SortNodes(n.children);
  return tree;
}

bool IsSpecialCaption(std::string_view caption) {
  return caption == kAllEntriesCaption || caption == kSearchCaption;
}

std::optional<LexEntry> FindNodeEntry(TdbLex& lex, std::string_view parentCaption,
                                      std::string_view nodeCaption,
                                      const std::optional<std::string>& nodeData) {
  const bool found = !IsSpecialCaption(parentCaption)
                         ? lex.FindTopicTerm(parentCaption, nodeCaption)
                     : nodeData ? lex.FindTopicTerm(*nodeData, nodeCaption)
                                : lex.FindTerm(nodeCaption);
  if (!found) return std::nullopt;
  return EntryOf(lex);
}

std::optional<LexEntry> FindSelectedEntry(TdbLex& lex, std::string_view parentText,
                                          std::string_view nodeText) {
  const bool found = IsSpecialCaption(parentText) ? lex.FindTerm(nodeText)
                                                  : lex.FindTopicTerm(parentText, nodeText);
  if (!found) return std::nullopt;
  return EntryOf(lex);
}

int ImageWhenExpanded(int image) {
  return image == kImageFolder ? kImageOpenFolder : image;
}

int ImageWhenCollapsed(int image) {
  return image == kImageOpenFolder ? kImageFolder : image;
}

}  // namespace qorvex
