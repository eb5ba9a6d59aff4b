// Messages and conversions shared by the commands of qorvex-db.
#include <algorithm>
#include <cstdio>

#include "storage/debugstack.h"
#include "support/cp1252.h"
#include "tools/cli.h"

namespace qorvex::cli {

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "qorvex-db: %s\n", message.c_str());
  return code;
}

std::string Cause(int32_t number) {
  struct Text {
    int32_t number;
    const char* words;
  };
  static constexpr Text kTexts[] = {
      {9900, "a folder on the path is missing"},
      {9901, "too many files are open"},
      {9903, "a file of the block is missing"},
      {9904, "a file handle is invalid"},
      {9908, "the file cannot be opened that way"},
      {10000, "too little memory for the page buffers"},
      {10001, "the disk failed while adding a record; the block was restored"},
      {10002, "the disk failed while deleting a record; the block was restored"},
      {10003, "the disk failed while adding a key; the block was restored"},
      {10004, "the disk failed while deleting a key; the block was restored"},
      {10010, "the block was left in use, or its index file cannot be used"},
      {10060, "the data file's header is damaged (too many indexes)"},
      {10065, "the block is open read-only"},
      {10070, "the data file is empty or damaged (it ends before what its header claims)"},
      {10075, "the disk is full"},
      {10120, "the index file is damaged (page size does not match keys per page)"},
      {10121, "the index file is damaged (key length outside 1..50)"},
      {10122, "the index file is damaged (more than 62 keys per page)"},
      {10140, "the file is used by another program or cannot be accessed"},
      {10160, "closing the block failed"},
      {10164, "the block has fewer indexes than it should"},
      {10170, "a chain of deleted records or free pages is damaged"},
      {10180, "the save log cannot be read"},
      {10399, "the data file cannot be moved aside for the rebuild"},
      {10410, "there is neither a data file nor a .SAV file to rebuild from"},
      {10411, "too little memory to rebuild"},
      {10412, "the record length is too large to rebuild"},
      {10415, "a record's chain of sections is broken"},
      {10460, "the rebuild was stopped"},
      {10465,
       "a .SAV file lies beside the .DAT file and neither was left by our rebuild: move away "
       "the one that does not hold the records"},
      {24591, "the data file's record length differs from the block's"},
      {24592, "the record numbers have run out"},
      {24606, "too many blocks are open"},
      {24653, "the index file's layout differs from the block's"},
  };
  const std::string n = " (" + std::to_string(number) + ")";
  for (const Text& t : kTexts)
    if (t.number == number) return t.words + n;
  // Others by their kind (the driver's severity, the engine's error class).
  switch (ErrorSeverity(number)) {
    case 0:
      return "no error" + n;
    case 1:
      return "not found" + n;
    case 2:
      return "busy, or locked by another program" + n;
    default:
      return (number >= 12288 ? "the storage driver failed" : "the engine failed") + n;
  }
}

std::string Utf8(std::string_view cp1252) {
  return Cp1252ToUtf8(cp1252);
}

std::optional<std::string> ArgToCp1252(std::string_view utf8) {
  return Utf8ToCp1252Strict(utf8);
}

bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
  const auto end = std::remove(args.begin(), args.end(), flag);
  const bool found = end != args.end();
  args.erase(end, args.end());
  return found;
}

}  // namespace qorvex::cli
