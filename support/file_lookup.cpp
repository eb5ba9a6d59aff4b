// SPDX-License-Identifier: GPL-3.0-or-later
// File existence and delivered-file lookup; see file_lookup.h.
#include "support/file_lookup.h"

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

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

std::optional<std::string> FolderListing::Find(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
  const std::string exact = Join(folder_, name);
  if (IsRegularFile(exact)) return exact;
  if (!read_) {
    read_ = true;
    if (DIR* dir = ::opendir(folder_.empty() ? "." : folder_.c_str())) {
      while (const dirent* e = ::readdir(dir)) names_.emplace_back(e->d_name);
      ::closedir(dir);
      std::sort(names_.begin(), names_.end());
    }
  }
  for (const std::string& candidate : names_) {
    if (!EqualIgnoringAsciiCase(candidate, name)) continue;
    std::string path = Join(folder_, candidate);
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> FindDeliveredFile(std::string_view folder, std::string_view name) {
  return FolderListing(std::string(folder)).Find(name);
}

std::optional<std::string> FindDeliveredPath(std::string_view path) {
  std::string folder = path.starts_with('/') ? "/" : "";
  size_t at = path.find_first_not_of('/');
  for (;;) {
    if (at == std::string_view::npos) return std::nullopt;  // ends in "/": no file
    const size_t slash = path.find('/', at);
    const std::string_view part = path.substr(at, slash - at);
    if (slash == std::string_view::npos) return FindDeliveredFile(folder, part);
    // A folder: as it is, else the first folder whose name matches.
    std::string next = Join(folder, part);
    if (!IsFolder(next)) {
      std::optional<std::string> found;
      if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names)
          if (EqualIgnoringAsciiCase(n, part) && IsFolder(Join(folder, n))) {
            found = Join(folder, n);
            break;
          }
      }
      if (!found) return std::nullopt;
      next = std::move(*found);
    }
    folder = std::move(next);
    at = path.find_first_not_of('/', slash);
  }
}

}  // namespace qorvex
