#include "core/OrvError.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(OrvError, SystemTableAndNotFoundTexts)
{
    EXPECT_STREQ(OrvError_NumToString(2), std::strerror(2));
    EXPECT_STREQ(OrvError_NumToString(0), "");
    EXPECT_STREQ(OrvError_NumToString(1213), "The disk is full ");
    const char *first = OrvError_NumToString(1023);
    EXPECT_STREQ(first, "Error not found - code 1023 ");
    EXPECT_STREQ(OrvError_NumToString(-1), "Error not found - code -1 ");
    EXPECT_STREQ(first, "Error not found - code -1 "); // one buffer: the first text is gone
}
