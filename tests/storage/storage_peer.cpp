// SPDX-License-Identifier: GPL-3.0-or-later
// A second program using the shared settings blocks, for the multi-process
// tests: reads commands from standard input, one answer line each:
// "<0 or the EDBError message> <value>".
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>

#include "diag/storage_startup.h"
#include "storage/dbsetup.h"

using namespace qorvex;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  SetProgramFolder(argv[1]);
  // Locks another program holds are waited for; files are made as needed.
  SetQuestionHandler(
      [](const std::string&, const std::string&, const std::string&) { return true; });
  if (!InitFileManager()) return 1;
  CurrentDebugStack().SetDumpFileName("/dev/null");
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    int32_t arg = 0, pause = 0;
    in >> cmd >> arg >> pause;
    std::string answer = "0";
    int64_t value = 0;
    try {
      if (cmd == "add") {
        // arg records added to slot 1, numbered by the driver, pause
        // microseconds apart.
        TdbSetup s(1);
        for (int i = 0; i < arg; ++i) {
          s.ClearRec();
          s.Rec[20] = static_cast<uint8_t>(getpid());
          if (!s.Add())
            answer = "add failed";
          else
            value = std::max<int64_t>(value, s.Rec[4] | (s.Rec[5] << 8));
          if (pause > 0) usleep(static_cast<useconds_t>(pause));
        }
      } else if (cmd == "save0") {
        TdbSetup s(0);
        TSetupRec0 r;
        if (!s.First(1)) answer = "no record";
        s.GetRec0(r);
        r.Set(TSetupRec0::kWindowLeft, arg);
        s.SetRec0(r);
        if (!s.Save()) answer = "save failed";
      } else if (cmd == "delete0") {
        TdbSetup s(0);
        if (!s.First(1) || !s.Delete(false)) answer = "delete failed";
      } else if (cmd == "exit") {
        break;
      }
    } catch (const EDBError& e) {
      answer = e.what();
    }
    std::cout << answer << " " << value << std::endl;
  }
  DoneFileManager();
  return 0;
}
