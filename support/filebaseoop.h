// File existence for the viewer (support layer), and the case-insensitive
// lookup of files that users deliver (ZEL_LEX.CSV, WAV and tone files).
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace qorvex
