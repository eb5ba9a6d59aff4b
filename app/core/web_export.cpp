// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon written as a web site; see web_export.h.
#include "app/core/web_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/core/entry_tree.h"
#include "app/core/lexicon_entry.h"
#include "app/core/morse.h"
#include "app/core/see_also.h"
#include "app/core/text_search.h"
#include "app/core/web_pages.h"

namespace qorvex::web {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

class SiteWriter {
 public:
  explicit SiteWriter(const std::string& folder) : root_(folder) {}

  bool Prepare() {
    std::error_code ec;
    if (fs::exists(root_, ec)) {
      if (!fs::is_directory(root_, ec)) return Fail(root_, "not a folder");
      const bool empty = fs::is_empty(root_, ec);
      if (!empty && !(fs::exists(root_ / "index.html") && fs::exists(root_ / kScriptFile)))
        return Fail(root_, "not empty and not an exported site");
      // An earlier export: its pages and tone files go, nothing else.
      for (const std::string_view sub : {kEntryFolder, kToneFolder}) {
        if (!fs::is_directory(root_ / sub, ec)) continue;
        for (const fs::directory_entry& f : fs::directory_iterator(root_ / sub, ec))
          if (f.is_regular_file(ec) && !fs::remove(f.path(), ec))
            return Fail(f.path(), ec.message());
      }
    }
    if (!fs::create_directories(root_ / kEntryFolder, ec) && ec)
      return Fail(root_ / kEntryFolder, ec.message());
    return true;
  }

  bool Write(const fs::path& relative, std::string_view bytes) {
    const fs::path path = root_ / relative;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return Fail(path, std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int error = errno;
    if (std::fclose(f) != 0 || !written) return Fail(path, std::strerror(written ? errno : error));
    return true;
  }

  // The address of a tone file from an entry page; copies it on first use.
  std::string ToneAddress(std::string_view stored) {
    const auto known = tones_.find(std::string(stored));
    if (known != tones_.end()) return known->second;
    std::string address;
    if (const std::optional<std::string> found = FindToneFile(stored)) {
      const std::string name = ToneName(*found);
      std::error_code ec;
      fs::create_directories(root_ / kToneFolder, ec);
      if (fs::copy_file(*found, root_ / kToneFolder / name, fs::copy_options::overwrite_existing,
                        ec)) {
        address = "../" + std::string(kToneFolder) + "/" + name;
        ++copied_;
      } else {
        std::fprintf(stderr, "qorvex-db: cannot copy %s: %s\n", found->c_str(),
                     ec.message().c_str());
      }
    }
    tones_.emplace(std::string(stored), address);
    return address;
  }

  size_t copied() const { return copied_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const fs::path& path, const std::string& why) {
    error_ = path.string() + ": " + why;
    return false;
  }

  // The found file's own name, its characters made safe, unique ignoring
  // case among the names given out.
  std::string ToneName(const std::string& found) {
    if (const auto known = names_.find(found); known != names_.end()) return known->second;
    std::string base = fs::path(found).filename().string();
    for (char& c : base)
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_'))
        c = '_';
    if (base.empty() || base[0] == '.') base.insert(0, "ton");
    std::string name = base;
    const size_t dot = base.rfind('.');
    for (int n = 2; taken_.contains(Lower(name)); ++n)
      name = dot == std::string::npos
                 ? base + "-" + std::to_string(n)
                 : base.substr(0, dot) + "-" + std::to_string(n) + base.substr(dot);
    taken_.insert(Lower(name));
    names_.emplace(found, name);
    return name;
  }

  fs::path root_;
  std::string error_;
  std::map<std::string, std::string> tones_;  // stored name -> address
  std::map<std::string, std::string> names_;  // found path -> name in the tone folder
  std::set<std::string> taken_;
  size_t copied_ = 0;
};

// The tree's entries as numbers into entries (index-2 order): each node
// takes the first entry not yet taken with its topic and caption.
IndexTree NumberTree(const EntryTree& tree, const std::vector<LexEntry>& entries) {
  using Key = std::pair<std::string, std::string>;
  std::map<Key, std::deque<size_t>> inAll, inGroups;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Key key{entries[i].topic, EntryCaption(entries[i].term)};
    inAll[key].push_back(i);
    inGroups[key].push_back(i);
  }
  const auto take = [](std::map<Key, std::deque<size_t>>& from,
                       const Key& key) -> std::optional<size_t> {
    const auto found = from.find(key);
    if (found == from.end() || found->second.empty()) return std::nullopt;
    const size_t i = found->second.front();
    found->second.pop_front();
    return i;
  };
  IndexTree numbered;
  for (const TreeNode& root : tree.roots) {
    if (root.caption == kAllEntriesCaption) {
      for (const TreeNode& n : root.children)
        if (const auto i = take(inAll, {n.data.value_or(""), n.caption}))
          numbered.all.push_back(*i);
    } else if (!IsSpecialCaption(root.caption)) {
      std::vector<size_t> members;
      for (const TreeNode& n : root.children)
        if (const auto i = take(inGroups, {root.caption, n.caption})) members.push_back(*i);
      numbered.groups.emplace_back(root.caption, std::move(members));
    }
  }
  return numbered;
}

}  // namespace

ExportResult ExportSite(TdbLex& lex, const std::string& folder) {
  ExportResult result;
  SiteWriter site(folder);
  if (!site.Prepare()) {
    result.error = site.error();
    return result;
  }

  std::vector<LexEntry> entries;
  for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) entries.push_back(EntryOf(lex));
  const IndexTree tree = NumberTree(BuildTree(lex), entries);

  std::vector<IndexEntry> index(entries.size());
  std::set<std::string> names;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string first = EntryFileName(entries[i].term, entries[i].id);
    std::string name = first;
    // Ids are unique; a second record with an Id taken gets its own page.
    for (int n = 2; !names.insert(name).second; ++n)
      name = first.substr(0, first.size() - 5) + "-" + std::to_string(n) + ".html";
    index[i] = {entries[i].term, entries[i].topic, entries[i].seeAlso, std::move(name),
                FoldText(PlainTextOf(entries[i]))};
  }

  // Neighbours: the tree's entries, those under no topic first.
  std::vector<size_t> sequence;
  std::vector<bool> inGroup(entries.size(), false);
  for (const auto& [caption, members] : tree.groups)
    for (const size_t i : members) inGroup[i] = true;
  for (const size_t i : tree.all)
    if (!inGroup[i]) sequence.push_back(i);
  for (const auto& [caption, members] : tree.groups)
    sequence.insert(sequence.end(), members.begin(), members.end());
  std::vector<std::optional<PageLink>> previous(entries.size()), next(entries.size());
  for (size_t k = 0; k < sequence.size(); ++k) {
    if (k > 0)
      previous[sequence[k]] = PageLink{entries[sequence[k - 1]].term, index[sequence[k - 1]].file};
    if (k + 1 < sequence.size())
      next[sequence[k]] = PageLink{entries[sequence[k + 1]].term, index[sequence[k + 1]].file};
  }

  const RelatedIndex related(entries);
  StyleUse use;
  const ToneAddress tone = [&site](std::string_view stored) { return site.ToneAddress(stored); };
  const std::string entryFolder(kEntryFolder);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::vector<PageLink> links;
    for (const RelatedIndex::Item& item : related.Rank(i))
      links.push_back({entries[item.entry].term, index[item.entry].file});
    const std::string page = EntryPageHtml(entries[i], EntryTextHtml(entries[i].text, tone, use),
                                           links, previous[i], next[i]);
    if (!site.Write(fs::path(entryFolder) / index[i].file, page)) {
      result.error = site.error();
      return result;
    }
  }
  if (!site.Write("index.html", IndexPageHtml(index, tree)) ||
      !site.Write(std::string(kIndexDataFile), IndexDataScript(index, tree)) ||
      !site.Write(std::string(kStyleFile), StyleSheet(use)) ||
      !site.Write(std::string(kScriptFile), SiteScript())) {
    result.error = site.error();
    return result;
  }
  result.ok = true;
  result.entries = entries.size();
  result.tones = site.copied();
  return result;
}

}  // namespace qorvex::web
