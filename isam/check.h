// SPDX-License-Identifier: GPL-3.0-or-later
// Independent checker of a file block on disk (isam layer). Reads the DAT and
// IX files with plain file reads, never through the engine, so that it can
// verify what the engine wrote. Used by engine tests, crash tests and
// `qorvex-db check`.
//
// Guarantees, for any file content:
//  1. No read outside the bytes read from the files; every offset is checked.
//  2. Every walk over a chain or a tree is bounded (visited marks, depth cap).
//  3. Memory is bounded by the file sizes (no array sized by an untrusted
//     header value that the file length does not back).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "isam/engine.h"

namespace qorvex::isam {

// A caller's rule for one record in use: the record's bytes (a variable
// record's whole chain) and its number of sections; adds fault and note
// lines. Called only for records whose chain is whole.
using RecordRule =
    std::function<void(uint32_t ref, std::span<const uint8_t> record, uint32_t sections,
                       std::vector<std::string>& faults, std::vector<std::string>& notes)>;

struct CheckOptions {
  CheckOptions(bool variable = false, bool refsToRecords = true)
      : variable(variable), refsToRecords(refsToRecords) {}
  bool variable;       // data file holds variable-length records (section chains)
  bool refsToRecords;  // every index ref must name a live record
  // With a key builder: every entry's key must be the key the builder makes
  // from the record the entry names (cut to 50 bytes), and every record in
  // use must have exactly one entry in each index.
  KeyBuilder keyBuilder;
  RecordRule recordRule;
};

struct CheckReport {
  std::vector<std::string> faults;     // one line each: file, slot/page, expected and found
  std::vector<std::string> notes;      // harmless findings (in-use byte set, orphan sections)
  uint32_t liveRecords = 0;            // records in use (variable: first sections)
  std::vector<uint32_t> indexEntries;  // entries per index, from walking the tree
  bool ok() const { return faults.empty(); }
};

// dataPath: the .DAT file; indexPath: the .IX file ("" or a missing file is
// allowed when the data header names 0 indexes).
CheckReport CheckFileBlock(const std::string& dataPath, const std::string& indexPath,
                           const CheckOptions& options = {});

}  // namespace qorvex::isam
