// The start-up delay read from the environment. (The descriptor's layout is
// checked end to end, through the probe.)
#include "core/Appli.h"

#include <gtest/gtest.h>

TEST(Delay, UnsetMeansNoneOtherwiseClampedDecimal)
{
    EXPECT_EQ(Appli_DelayMs(nullptr), -1);
    EXPECT_EQ(Appli_DelayMs("250"), 250);
    EXPECT_EQ(Appli_DelayMs("-5"), 0);
    EXPECT_EQ(Appli_DelayMs("20000"), 10000);
    EXPECT_EQ(Appli_DelayMs("soon"), 0);
    EXPECT_EQ(Appli_DelayMs(""), 0);
}
