// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a file block whole by one built beside it (isam layer): the
// staged block X + "NEU" takes the place of X in an order whose every crash
// point leaves the old block or the new one.
//
// Files, in the order they change (each step forced to disk with its
// folder):
//   staged XNEU.DAT, XNEU.IX   complete, closed, forced to disk
//   1. X.IX and X.DIA removed  crash: X.DAT alone (old), rebuilt from itself
//   2. XNEU.DAT -> X.DAT       the point of no return
//   3. XNEU.IX -> X.IX         crash before: X.DAT alone (new), rebuilt
// Both data files are guarded throughout, so no other program opens either
// block while the names change, and a staged file nobody guards is a crash
// leftover.
#include <string>

#include "isam/datafile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/replace.h"

namespace qorvex {
namespace isam {
namespace {

std::string PartOf(std::string_view name, bool index) {
  std::string dataPart, indexPart;
  SplitName(name, dataPart, indexPart);
  return index ? indexPart : dataPart;
}

// Removes a file that may be missing.
bool Remove(const std::string& path) {
  return FileDelete(path) || (EngineError == kErrFileNotFound && (ClearStatus(), true));
}

// Forces a file to disk through a descriptor of its own.
bool ForceFile(const std::string& path) {
  int fd = -1;
  if (!FileOpen(path, false, false, fd)) return false;
  const bool ok = FileFlush(fd);
  return FileClose(fd) && ok;
}

}  // namespace

bool FinishReplacementFiles(std::string_view name) {
  const BlockFiles f = FilesOf(name), s = FilesOf(StagingName(name));
  const bool stagedData = FileExistsAt(s.dat);
  if (!stagedData && !FileExistsAt(s.ix)) return true;
  // The block guarded: its replacement is running. The staged data file
  // guarded while the block has none: it is being built.
  FileGuard old, staged;
  if (!GuardIfPresent(f.dat, old) || (stagedData && !GuardIfPresent(s.dat, staged))) return false;
  return Remove(s.dat) && Remove(s.ix) && FolderFlush(s.dat);
}

}  // namespace isam

using namespace isam;

std::string StagingName(std::string_view name) {
  const std::string data = PartOf(name, false) + "NEU";
  const std::string index = PartOf(name, true) + "NEU";
  return name.find(';') == std::string_view::npos ? data : data + ";" + index;
}

void ReplaceFileBlock(std::string_view name) {
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok()) return;
  const BlockFiles f = FilesOf(name), s = FilesOf(StagingName(name));
  FileGuard old, fresh;
  if (!GuardIfPresent(f.dat, old) || !fresh.Take(s.dat)) return;
  if (!ForceFile(s.dat) || !ForceFile(s.ix) || !FolderFlush(s.dat)) return;
  if (!Remove(f.ix) || !Remove(f.dia) || !FolderFlush(f.ix)) return;
  if (!FileRename(s.dat, f.dat)) return;
  // Past the point of no return the block is the new one, whatever fails
  // now: without its index in place it is rebuilt on the next open.
  if (!FolderFlush(f.dat) || !FileRename(s.ix, f.ix)) Os().Unlink(s.ix.c_str());
  ClearStatus();
  FolderFlush(f.ix);
  ClearStatus();
}

void FinishReplacement(std::string_view name) {
  Operation op(NoFileBlock(), kEngineWide);
  if (op.ok()) FinishReplacementFiles(name);
}

}  // namespace qorvex
