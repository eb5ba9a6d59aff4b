// SPDX-License-Identifier: GPL-3.0-or-later
// File existence and the case-insensitive lookup of delivered files.
#include "support/file_lookup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qorvex {
namespace {

namespace fs = std::filesystem;

class FileBase : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qorvex-fb-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Touch(const std::string& name) {
    const std::string p = dir_ + "/" + name;
    std::ofstream(p) << "x";
    return p;
  }
  std::string dir_;
};

TEST_F(FileBase, RegularFilesExistWhateverTheirDate) {
  const std::string f = Touch("a.wav");
  EXPECT_TRUE(FileBaseSS.FileExists(f));
  EXPECT_FALSE(FileBaseSS.FileExists(dir_));
  EXPECT_FALSE(FileBaseSS.FileExists(dir_ + "/missing"));
  EXPECT_FALSE(FileBaseSS.FileExists(""));
  // A file dated 1970 is not missing.
  const timespec times[2] = {{0, 0}, {0, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  EXPECT_TRUE(FileBaseSS.FileExists(f));
  // A file held open (and locked) by someone else still exists.
  const int fd = ::open(f.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(FileBaseSS.FileExists(f));
  ::close(fd);
  // Relative names resolve against the current directory.
  const fs::path old = fs::current_path();
  fs::current_path(dir_);
  EXPECT_TRUE(FileBaseSS.FileExists("a.wav"));
  fs::current_path(old);
}

TEST_F(FileBase, DeliveredFilesAreFoundIgnoringCase) {
  EXPECT_EQ(FindDeliveredFile(dir_, "ZEL_LEX.CSV"), std::nullopt);
  Touch("zel_lex.csv");
  Touch("Zel_Lex.Csv");
  fs::create_directory(dir_ + "/ZEL_LEX.CSv");  // a folder never counts
  // No exact match: the first match in byte order of names.
  EXPECT_EQ(FindDeliveredFile(dir_, "ZEL_LEX.CSV"), dir_ + "/Zel_Lex.Csv");
  EXPECT_EQ(FindDeliveredFile(dir_ + "/", "zel_LEX.csv"), dir_ + "/Zel_Lex.Csv");
  // The exact name wins.
  Touch("ZEL_LEX.CSV");
  EXPECT_EQ(FindDeliveredFile(dir_, "ZEL_LEX.CSV"), dir_ + "/ZEL_LEX.CSV");
  EXPECT_EQ(FindDeliveredFile(dir_, "zel_lex.csv"), dir_ + "/zel_lex.csv");
  // Names with a folder part and missing folders find nothing.
  EXPECT_EQ(FindDeliveredFile(dir_, "../x"), std::nullopt);
  EXPECT_EQ(FindDeliveredFile(dir_ + "/none", "a"), std::nullopt);
  EXPECT_EQ(FindDeliveredFile(dir_, ""), std::nullopt);
}

}  // namespace
}  // namespace qorvex
