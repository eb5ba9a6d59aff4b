// File existence and delivered-file lookup; see filebaseoop.h.
#include "support/filebaseoop.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace qorvex {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

std::string Join(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

bool TFileBaseSS::FileExists(const std::string& name) const {
  return !name.empty() && IsRegularFile(name);
}

std::optional<std::string> FindDeliveredFile(std::string_view folder, std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
  const std::string exact = Join(folder, name);
  if (IsRegularFile(exact)) return exact;

  const std::string dirPath = folder.empty() ? std::string(".") : std::string(folder);
  DIR* dir = ::opendir(dirPath.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::string> candidates;
  while (const dirent* e = ::readdir(dir)) {
    if (EqualIgnoringAsciiCase(e->d_name, name)) candidates.emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(candidates.begin(), candidates.end());
  for (const std::string& c : candidates) {
    std::string path = Join(folder, c);
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

}  // namespace qorvex
