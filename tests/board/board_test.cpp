#include <gtest/gtest.h>

#include "board/board.h"
#include "notation/fen.h"

TEST(StartPosition, MaterialAndSignature) {
  InitTables();
  Position pos{};
  ASSERT_TRUE(SetFromFen(pos, StartFen));
  EXPECT_EQ(pos.materialSignature, 0x3FF);
  EXPECT_EQ(pos.whiteMaterial, 3834);
  EXPECT_EQ(pos.blackMaterial, 3834);
  EXPECT_TRUE(PositionIsConsistent(pos));
}
