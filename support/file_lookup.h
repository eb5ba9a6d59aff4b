// SPDX-License-Identifier: GPL-3.0-or-later
// File existence for the viewer (support layer), and the case-insensitive
// lookup of files that users deliver (ZEL_LEX.CSV, WAV and tone files).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qorvex {

// Root of the service classes; adds no behaviour.
class Tssobject {
 public:
  virtual ~Tssobject() = default;
};

class TFileBaseSS : public Tssobject {
 public:
  // True when the name (relative to the current directory) is a regular
  // file, following symbolic links, whatever its modification time.
  bool FileExists(const std::string& name) const;
};

inline const TFileBaseSS FileBaseSS;

// Finds a delivered file in folder ("" is the current directory): the exact
// name when it is a regular file, else the first regular file, in byte order
// of names, whose name equals name ignoring ASCII case. Returns the path to
// open (folder joined with the name found), or nothing.
std::optional<std::string> FindDeliveredFile(std::string_view folder, std::string_view name);

// The same lookup for many names in one folder, reading the folder at most
// once (a Morse word looks up a recording per character).
class FolderListing {
 public:
  explicit FolderListing(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> Find(std::string_view name);

 private:
  std::string folder_;
  bool read_ = false;
  std::vector<std::string> names_;  // the folder's entries in byte order
};

// A path of folders and a file name ("a/b/c.wav", absolute or relative to
// the current directory) whose every part is found as FindDeliveredFile
// finds a file: as it is, else ignoring ASCII case (folders must be
// folders, the last part a regular file).
std::optional<std::string> FindDeliveredPath(std::string_view path);

}  // namespace qorvex
