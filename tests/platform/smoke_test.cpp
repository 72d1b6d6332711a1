#include <gtest/gtest.h>
#include "megcxc.h"
TEST(Smoke, Builds) { EXPECT_EQ(CString("a"), "a"); }
