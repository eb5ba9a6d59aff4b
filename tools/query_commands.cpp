// SPDX-License-Identifier: GPL-3.0-or-later
// The query commands of qorvex-db (tool layer): lookup, search, related,
// tree and export, thin printers over the viewer's own core functions, on
// the lexicon opened as the viewer opens it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/entry_tree.h"
#include "app/core/lexicon_export.h"
#include "app/core/search.h"
#include "app/core/see_also.h"
#include "app/core/text_search.h"
#include "app/core/web_export.h"
#include "storage/dblex.h"
#include "support/text_utils.h"
#include "tools/cli.h"
#include "tools/json.h"

namespace qorvex::cli {
namespace {

// The lexicon of the program folder for the work; the exit code of the work.
int WithLexicon(const std::string& folder, const std::function<int(TdbLex&)>& work) {
  const std::string path = folder + "/QDLex";
  if (!std::filesystem::exists(path + ".DAT") && !std::filesystem::exists(path + ".SAV"))
    return Fail("QDLex: no data file in the folder");
  int code;
  {
    ToolSession session(folder, true);
    if (const int failed = session.Failure()) return failed;
    code = work(session.lexicon());
  }
  // A full disk or a closed pipe must not pass for a complete answer.
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return Fail(std::string("cannot write the output: ") + std::strerror(errno));
  return code;
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// Converts an argument; false with a usage error.
bool Convert(const std::string& utf8, std::string& cp1252, std::string& error) {
  const std::optional<std::string> converted = ArgToCp1252(utf8);
  if (!converted) {
    error = "not Windows-1252 text: " + utf8 + kHint;
    return false;
  }
  cp1252 = *converted;
  return true;
}

// The options a query command may take besides its argument.
struct Flags {
  bool json = false;
  bool fold = false;      // search: forgiving
  bool fullText = false;  // search: over the text too
  bool plain = false;     // lookup: the plain text only
};

// A command with exactly one argument (TERM, or TEXT, which must not be
// empty), given to run converted, and as typed for messages; --json and the
// options named in extra.
Command OneArgumentCommand(const std::string& name, const std::string& argName,
                           const std::string& usage,
                           int (*run)(TdbLex&, const std::string& arg, const std::string& typed,
                                      const Flags& flags),
                           std::vector<std::string> extra = {}) {
  return {name, usage,
          [=](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
            Flags flags;
            flags.json = TakeFlag(args, "--json");
            for (const std::string& option : extra) {
              const bool on = TakeFlag(args, option);
              if (option == "--fold") flags.fold = on;
              if (option == "--text") flags.fullText = on;
              if (option == "--plain") flags.plain = on;
            }
            if (args.size() != 1) {
              error = name + " needs one " + argName + kHint;
              return std::nullopt;
            }
            std::string arg;
            if (!Convert(args[0], arg, error)) return std::nullopt;
            if (argName == "TEXT" && arg.empty()) {
              error = name + " needs a non-empty TEXT" + kHint;
              return std::nullopt;
            }
            return [=, typed = args[0]](const std::string& folder) {
              return WithLexicon(folder, [&](TdbLex& lex) { return run(lex, arg, typed, flags); });
            };
          }};
}

int Lookup(TdbLex& lex, const std::string& term, const std::string& typed, const Flags& flags) {
  if (!lex.FindTerm(term)) return Fail("no entry " + typed, 1);
  if (flags.plain) {
    Print(Utf8(PlainTextOf(EntryOf(lex))) + "\n");
    return 0;
  }
  if (flags.json) {
    JsonWriter w;
    w.BeginObject()
        .Key("id")
        .Int(lex.Rec.Id)
        .Key("term")
        .String(Utf8(lex.GetTerm()))
        .Key("topic")
        .String(Utf8(lex.GetTopic()))
        .Key("see_also")
        .String(Utf8(lex.GetSeeAlso()))
        .Key("text")
        .String(Utf8(lex.GetText()))
        .EndObject();
    Print(w.str());
  } else {
    Print("Begriff: " + Utf8(lex.GetTerm()) + "\nThema: " + Utf8(lex.GetTopic()) +
          "\nsiehe auch: " + Utf8(lex.GetSeeAlso()) + "\n\n" + Utf8(lex.GetText()) + "\n");
  }
  return 0;
}

int Search(TdbLex& lex, const std::string& text, const std::string&, const Flags& flags) {
  const std::vector<SearchHit> hits =
      SearchEntries(lex, text, {.fold = flags.fold, .fullText = flags.fullText});
  if (flags.json) {
    JsonWriter w;
    w.BeginArray();
    for (const SearchHit& h : hits)
      w.BeginObject()
          .Key("term")
          .String(Utf8(WithoutTrailingBlanks(h.term)))
          .Key("topic")
          .String(Utf8(h.topic))
          .EndObject();
    Print(w.EndArray().str());
  } else {
    for (const SearchHit& h : hits) Print(Utf8(WithoutTrailingBlanks(h.term)) + "\n");
  }
  return hits.empty() ? 1 : 0;
}

int Suggestions(TdbLex& lex, const std::string& text, const std::string&, const Flags& flags) {
  const std::vector<Suggestion> found = Suggest(lex, text);
  if (found.empty()) return 1;
  if (flags.json) {
    JsonWriter w;
    w.BeginArray();
    for (const Suggestion& s : found)
      w.BeginObject().Key("term").String(Utf8(s.term)).Key("distance").Int(s.distance).EndObject();
    Print(w.EndArray().str());
  } else {
    for (const Suggestion& s : found) Print(Utf8(s.term) + "\n");
  }
  return 0;
}

int Related(TdbLex& lex, const std::string& term, const std::string& typed, const Flags& flags) {
  const bool json = flags.json;
  const std::optional<LexEntry> entry = FindEntryByTerm(lex, term);
  if (!entry) return Fail("no entry " + typed, 1);
  const std::vector<RelatedEntry> list = RankRelated(lex, *entry);
  if (json) {
    JsonWriter w;
    w.BeginArray();
    for (const RelatedEntry& r : list)
      w.BeginObject()
          .Key("score")
          .Int(r.score)
          .Key("term")
          .String(Utf8(WithoutTrailingBlanks(r.caption)))
          .EndObject();
    Print(w.EndArray().str());
  } else {
    for (const RelatedEntry& r : list)
      Print(std::to_string(r.score) + "\t" + Utf8(WithoutTrailingBlanks(r.caption)) + "\n");
  }
  return list.empty() ? 1 : 0;
}

void NodeJson(JsonWriter& w, const TreeNode& n) {
  w.BeginObject().Key("caption").String(Utf8(n.caption)).Key("image").Int(n.image).Key("data");
  if (n.data)
    w.String(Utf8(*n.data));
  else
    w.Null();
  w.Key("children").BeginArray();
  for (const TreeNode& c : n.children) NodeJson(w, c);
  w.EndArray().EndObject();
}

int Tree(TdbLex& lex, const std::optional<std::string>& search, bool json) {
  EntryTree tree = BuildTree(lex);
  if (search) AddSearchHits(tree, SearchLexicon(lex, SearchTextOf(*search)));
  if (json) {
    JsonWriter w;
    w.BeginArray();
    for (const TreeNode& n : tree.roots) NodeJson(w, n);
    Print(w.EndArray().str());
    return 0;
  }
  std::string out;
  for (const TreeNode& root : tree.roots) {
    out += Utf8(WithoutTrailingBlanks(root.caption)) + "\n";
    for (const TreeNode& c : root.children)
      out += "  " + Utf8(WithoutTrailingBlanks(c.caption)) + "\n";
  }
  Print(out);
  return 0;
}

int Export(TdbLex& lex, bool utf8) {
  const std::vector<ExportNote> notes = ExportLexicon(lex, utf8, [](std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  });
  for (const ExportNote& n : notes)
    std::fprintf(stderr, "qorvex-db: entry Id %d cannot be carried exactly: %s\n", n.id,
                 n.problem.c_str());
  return 0;
}

int ExportHtml(TdbLex& lex, const std::string& out) {
  const web::ExportResult result = web::ExportSite(lex, out);
  if (!result.ok) return Fail("cannot export the site: " + result.error);
  std::fprintf(stderr, "qorvex-db: %zu entries and %zu tone files in %s\n", result.entries,
               result.tones, out.c_str());
  return 0;
}

}  // namespace

std::vector<Command> QueryCommands() {
  std::vector<Command> commands;
  commands.push_back(OneArgumentCommand(
      "lookup", "TERM",
      "  lookup [--plain] TERM  the entry of a term: its fields, then its text as stored\n"
      "                   (--plain: the text as it reads, without markup)\n",
      Lookup, {"--plain"}));
  commands.push_back(OneArgumentCommand(
      "search", "TEXT",
      "  search [--fold] [--text] TEXT  the entries whose term or see-also list holds TEXT\n"
      "                   (--fold: ignoring case, accents, ae/oe/ue and ss; --text: the\n"
      "                   entry's text too)\n",
      Search, {"--fold", "--text"}));
  commands.push_back(OneArgumentCommand(
      "suggest", "TEXT", "  suggest TEXT     terms spelt like TEXT, closest first (at most 5)\n",
      Suggestions));
  commands.push_back(OneArgumentCommand(
      "related", "TERM",
      "  related TERM     the see-also list of a term, best first, with scores\n", Related));
  commands.push_back(
      {"tree", "  tree [--search TEXT]  the entry tree as the viewer shows it (after a search)\n",
       [](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
         const bool json = TakeFlag(args, "--json");
         std::optional<std::string> search;
         if (args.size() == 2 && args[0] == "--search") {
           search.emplace();
           if (!Convert(args[1], *search, error)) return std::nullopt;
           if (search->empty()) {
             error = std::string("--search needs a non-empty TEXT") + kHint;
             return std::nullopt;
           }
         } else if (!args.empty()) {
           error = std::string("tree takes only --search TEXT and --json") + kHint;
           return std::nullopt;
         }
         return [=](const std::string& folder) {
           return WithLexicon(folder, [&](TdbLex& lex) { return Tree(lex, search, json); });
         };
       }});
  commands.push_back(
      {"export",
       "  export [--utf8]  the lexicon as a delivery file on standard output\n"
       "  export --html OUT  the lexicon as a static web site in the folder OUT (missing,\n"
       "                   empty or an earlier export; works from disk and any web server)\n"
       "  (lookup, search, suggest, related and tree take --json: one JSON document)\n",
       [](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
         if (!args.empty() && args[0] == "--html") {
           if (args.size() != 2 || args[1].empty()) {
             error = std::string("export --html needs one folder OUT") + kHint;
             return std::nullopt;
           }
           // OUT as given from where the tool was started, before it enters --dir.
           std::error_code ec;
           const std::string out =
               std::filesystem::absolute(args[1], ec).lexically_normal().string();
           return [=](const std::string& folder) {
             return WithLexicon(folder, [&](TdbLex& lex) { return ExportHtml(lex, out); });
           };
         }
         const bool utf8 = TakeFlag(args, "--utf8");
         if (!args.empty()) {
           error = std::string("export takes only --utf8") + kHint;
           return std::nullopt;
         }
         return [=](const std::string& folder) {
           return WithLexicon(folder, [&](TdbLex& lex) { return Export(lex, utf8); });
         };
       }});
  return commands;
}

}  // namespace qorvex::cli
