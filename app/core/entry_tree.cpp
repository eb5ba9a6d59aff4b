// The entry tree; see entry_tree.h.
#include "app/core/entry_tree.h"

#include <algorithm>
#include <numeric>

#include "app/core/collation.h"
#include "support/vxstrings.h"

namespace qorvex {
namespace {

void SortChildren(std::vector<TreeNode>& nodes) {
  std::stable_sort(nodes.begin(), nodes.end(), [](const TreeNode& a, const TreeNode& b) {
    return CaptionLess(a.caption, b.caption);
  });
  for (TreeNode& n : nodes) SortChildren(n.children);
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

  // Sorting the roots through a permutation keeps track of the search node.
  std::vector<size_t> order(roots.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&roots](size_t a, size_t b) {
    return CaptionLess(roots[a].caption, roots[b].caption);
  });
  EntryTree tree;
  tree.roots.reserve(roots.size());
  for (size_t i : order) {
    if (i == roots.size() - 1) tree.searchNode = tree.roots.size();
    tree.roots.push_back(std::move(roots[i]));
  }
  for (TreeNode& n : tree.roots) SortChildren(n.children);
  return tree;
}

bool IsSpecialCaption(std::string_view caption) {
  return caption == kAllEntriesCaption || caption == kSearchCaption;
}

bool FindNodeEntry(TdbLex& lex, std::string_view parentCaption, std::string_view nodeCaption,
                   const std::optional<std::string>& nodeData) {
  if (!IsSpecialCaption(parentCaption)) return lex.FindTopicTerm(parentCaption, nodeCaption);
  return nodeData ? lex.FindTopicTerm(*nodeData, nodeCaption) : lex.FindTerm(nodeCaption);
}

bool FindSelectedEntry(TdbLex& lex, std::string_view parentText, std::string_view nodeText) {
  return IsSpecialCaption(parentText) ? lex.FindTerm(nodeText)
                                      : lex.FindTopicTerm(parentText, nodeText);
}

int ImageWhenExpanded(int image) {
  return image == kImageFolder ? kImageOpenFolder : image;
}

int ImageWhenCollapsed(int image) {
  return image == kImageOpenFolder ? kImageFolder : image;
}

}  // namespace qorvex
