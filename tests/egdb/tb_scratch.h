#pragma once
// A fixture for tests over table files: a fresh scratch folder per test, and the tablebase
// state released after it, so no test sees another's registrations.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "board/tables.h"
#include "egdb/tb_probe.h"

class TbScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-tb-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    TbFreeState(state_);
    std::filesystem::remove_all(root_);
  }
  std::string root_;
  TbState state_;
};
