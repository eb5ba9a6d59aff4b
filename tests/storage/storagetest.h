// SPDX-License-Identifier: GPL-3.0-or-later
// Shared fixture of the storage tests: a program folder of its own, the
// driver started as the programs start it, and the retry handler answering
// as the programs' does (yes to rebuilding and creating, no to the rest).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "storage/ifdriver.h"
#include "tests/isam/testutil.h"

namespace qorvex::testing {

// The message of the EDBError that f raises, or "no error".
template <class F>
std::string Raised(F f) {
  try {
    f();
  } catch (const EDBError& e) {
    return e.what();
  }
  return "no error";
}

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(dir_.path());
    CurrentDebugStack().SetDumpFileName(dir_ / "IFD.ERR");
    SetRetryHandler([this](const std::string& block, uint8_t kind) {
      asked_.push_back(block + ":" + std::to_string(kind));
      return kind == kRetryIndexUnusable || kind == kRetryFilesMissing;
    });
    ASSERT_TRUE(IFDriver::Start(2, 160, 32));
  }
  void TearDown() override {
    // An EDBError leaves the in-operation flag set: the first Stop clears it.
    if (!IFDriver::Stop()) IFDriver::Stop();
    EXPECT_FALSE(IFDriver::Started());
    CurrentDebugStack().Clear();
    CurrentDebugStack().SetDumpFileName("/dev/null");
    SetRetryHandler(nullptr);
  }
  std::string Path(const std::string& name) const { return dir_ / name; }

  isam::testing::TempDir dir_{isam::testing::FastStorage()};
  std::vector<std::string> asked_;
};

}  // namespace qorvex::testing
