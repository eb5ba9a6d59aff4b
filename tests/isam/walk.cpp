#include "tests/isam/walk.h"

#include <algorithm>

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

  void Run(const std::string& name, bool variable) {
    FileBlockHandle fb = nullptr;
    OpenFileBlock(fb, name, false, false, false, false);
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
      ReadRecordMarker(fb, ref, marker);
      Status("ReadRecordMarker");
      if (!EngineOK || marker != 0) continue;
      if (variable) {
        uint32_t room = static_cast<uint32_t>(buf_.size());
        GetVariableRecord(fb, ref, buf_.data(), false, room);
        Status("GetVariableRecord");
        if (EngineOK && room > buf_.size())
          result_.faults.push_back({"GetVariableRecord", "copied more than the room"});
      } else if (fits) {
        GetRecord(fb, ref, buf_.data(), false);
        Status("GetRecord");
      }
    }
    for (int k = 1; k <= 3; ++k) Keys(fb, k);
    int32_t ref = 0;
    std::fill(buf_.begin(), buf_.end(), 0);
    if (variable) {
      AddVariableRecord(fb, ref, buf_.data(), 300);
      Status("AddVariableRecord");
      DeleteVariableRecord(fb, 2);
      Status("DeleteVariableRecord");
      PutVariableRecord(fb, 3, buf_.data(), 500);
      Status("PutVariableRecord");
    } else if (fits) {
      AddRecord(fb, ref, buf_.data());
      Status("AddRecord");
      DeleteRecord(fb, 2);
      Status("DeleteRecord");
    }
    CloseFileBlock(fb);
    Status("CloseFileBlock");
  }

 private:
  void Keys(FileBlockHandle fb, int k) {
    constexpr int kMaxSteps = 5000;  // far more entries than the blocks walked hold
    std::string key;
    int32_t ref = 0;
    for (auto step : {&NextKey, &PrevKey}) {
      ClearKey(fb, k);
      Status("ClearKey");
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
    FindKey(fb, k, ref, "0005");
    Status("FindKey");
    key = "0007";
    SearchKey(fb, k, ref, key);
    Status("SearchKey");
    key = "zzzz";
    SearchKeyOrLast(fb, k, ref, key);
    Status("SearchKeyOrLast");
    KeyExists(fb, k, 5, "0005");
    Status("KeyExists");
    AddKey(fb, k, 1, "0042");
    Status("AddKey");
    DeleteKey(fb, k, 3, "0003");
    Status("DeleteKey");
    AddKey(fb, k, 2, "00005");
    Status("AddKey");
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
