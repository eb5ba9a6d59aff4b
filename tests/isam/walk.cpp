// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/isam/walk.h"

#include <algorithm>
#include <utility>

#include "isam/engine.h"

namespace qorvex::isam::testing {
namespace {

class Walker {
 public:
  Walker(std::vector<uint8_t>& buffer, WalkResult& result) : buf_(buffer), result_(result) {}

  // After every call the status must be consistent.
  bool Status(const char* call) {
    if (EngineOK == (EngineError == 0)) return true;
    result_.faults.push_back({call, "EngineOK " + std::to_string(EngineOK) + " with error " +
                                        std::to_string(EngineError)});
    return false;
  }
  // Calls an engine operation, then checks the status it left.
  template <class... P, class... A>
  void Do(const char* call, void (*operation)(P...), A&&... args) {
    operation(std::forward<A>(args)...);
    Status(call);
  }

  void Run(const std::string& name, bool variable) {
    FileBlockHandle fb = nullptr;
    OpenFileBlock(fb, name, {});
    Status("OpenFileBlock");
    if (!EngineOK) {
      if (fb != nullptr) result_.faults.push_back({"OpenFileBlock", "failed but left a handle"});
      return;
    }
    result_.opened = true;
    if (buf_.size() < 70000) buf_.resize(70000);
    const int32_t length = FileLength(fb);
    Status("FileLength");
    const int32_t recordLength = RecordLength(fb);
    Status("RecordLength");
    const bool fits = recordLength > 0 && recordLength <= static_cast<int32_t>(buf_.size());
    // The first slots and the last ones (and one past the end).
    for (int32_t ref = 1; ref <= length; ref = ref == 60 && length > 80 ? length - 20 : ref + 1) {
      int32_t marker = -1;
      Do("ReadRecordMarker", ReadRecordMarker, fb, ref, marker);
      if (!EngineOK || marker != 0) continue;
      if (variable) {
        uint32_t room = static_cast<uint32_t>(buf_.size());
        Do("GetVariableRecord", GetVariableRecord, fb, ref, buf_.data(), false, room);
        if (EngineOK && room > buf_.size())
          result_.faults.push_back({"GetVariableRecord", "copied more than the room"});
      } else if (fits) {
        Do("GetRecord", GetRecord, fb, ref, buf_.data(), false);
      }
    }
    for (int k = 1; k <= 3; ++k) Keys(fb, k);
    int32_t ref = 0;
    std::fill(buf_.begin(), buf_.end(), 0);
    if (variable) {
      Do("AddVariableRecord", AddVariableRecord, fb, ref, buf_.data(), 300u);
      Do("DeleteVariableRecord", DeleteVariableRecord, fb, 2);
      Do("PutVariableRecord", PutVariableRecord, fb, 3, buf_.data(), 500u);
    } else if (fits) {
      Do("AddRecord", AddRecord, fb, ref, buf_.data());
      Do("DeleteRecord", DeleteRecord, fb, 2);
    }
    Do("CloseFileBlock", CloseFileBlock, fb);
  }

 private:
  void Keys(FileBlockHandle fb, int k) {
    constexpr int kMaxSteps = 5000;  // far more entries than the blocks walked hold
    std::string key;
    int32_t ref = 0;
    for (auto step : {&NextKey, &PrevKey}) {
      Do("ClearKey", ClearKey, fb, k);
      if (!EngineOK) return;  // no such index
      int steps = 0;
      for (; steps < kMaxSteps; ++steps) {
        step(fb, k, ref, key);
        if (!Status("NextKey/PrevKey") || !EngineOK) break;
      }
      if (steps == kMaxSteps)
        result_.faults.push_back(
            {"NextKey/PrevKey", "stepping index " + std::to_string(k) + " does not end"});
    }
    Do("FindKey", FindKey, fb, k, ref, "0005");
    key = "0007";
    Do("SearchKey", SearchKey, fb, k, ref, key);
    key = "zzzz";
    Do("SearchKeyOrLast", SearchKeyOrLast, fb, k, ref, key);
    KeyExists(fb, k, 5, "0005");
    Status("KeyExists");
    Do("AddKey", AddKey, fb, k, 1, "0042");
    Do("DeleteKey", DeleteKey, fb, k, 3, "0003");
    Do("AddKey", AddKey, fb, k, 2, "00005");
  }

  std::vector<uint8_t>& buf_;
  WalkResult& result_;
};

}  // namespace

WalkResult WalkBlock(const std::string& name, bool variable, std::vector<uint8_t>& buffer) {
  WalkResult result;
  Walker(buffer, result).Run(name, variable);
  return result;
}

}  // namespace qorvex::isam::testing
