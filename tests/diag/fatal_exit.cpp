// SPDX-License-Identifier: GPL-3.0-or-later
// A program that ends with a fatal storage error left by its last
// operation: started in FOLDER, it attaches the lexicon and stops the driver
// while the block is still attached.
#include <unistd.h>

#include <cstdio>

#include "diag/storage_startup.h"
#include "storage/dblex.h"

int main(int argc, char** argv) {
  using namespace qorvex;
  if (argc < 2 || chdir(argv[1]) != 0) return 2;
  SetProgramFolder(argv[1]);
  if (!InitFileManager()) return 1;
  DatLex.Open(SlotBit(0));
  try {
    DoneFileManager();
  } catch (const EDBError& e) {
    std::printf("%s\n", e.what());
  }
  return 0;  // the exit routine writes the dump
}
