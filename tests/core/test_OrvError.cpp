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

TEST(OrvError, LanguagesAndTheirTables)
{
    CurrentLanguage = 2;
    EXPECT_STREQ(OrvError_NumToString(5000), "Fehler nicht vorhanden - Befehl 5000");
    CurrentLanguage = 3;
    EXPECT_STREQ(OrvError_NumToString(1001), "Unknown Language");
    EXPECT_STREQ(OrvError_NumToString(2), std::strerror(2)); // the system range comes first
    CurrentLanguage = 0;

    // The three tables hold the same codes, each with a text.
    int codes = 0;
    for (int32_t code = -10; code <= 2100; ++code) {
        const char *en = OrvError_English(code), *fr = OrvError_French(code), *de = OrvError_German(code);
        ASSERT_TRUE(en ? fr && de : !fr && !de) << code;
        if (en && code) {
            ++codes;
            EXPECT_TRUE(*en && *fr && *de) << code;
        }
    }
    EXPECT_EQ(codes, 103);
}
