#pragma once
// A fixture for tests over table files: a fresh scratch folder per test, and the tablebase
// state released after it, so no test sees another's registrations.

#include <gtest/gtest.h>

#include <string>

#include "board/tables.h"
#include "egdb/tb_probe.h"
#include "frontend/engine_process.h"

class TbScratch : public ::testing::Test {
 protected:
  void SetUp() override { InitTables(); }
  void TearDown() override { TbFreeState(state_); }
  const ScratchDirectory scratch_;
  const std::string root_ = scratch_.path;
  TbState state_;
};
