// The umbrella header alone must give a host the whole core interface.
#include "megcxc.h"

#include <gtest/gtest.h>

TEST(Umbrella, DeclaresTheRecordFamilies) {
  CSpctmTrlCCDatazq dataset;
  CSumCCSpctmDatazq summary;
  CMMatrix1Dzq vector;
  EXPECT_EQ(dataset.trialName, "CxC Data");
  EXPECT_EQ(summary.isComputed, 0);
  EXPECT_EQ(vector.checkInitData(0, true), nullptr);
}
