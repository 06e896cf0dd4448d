#include "common/mask_data.h"

#include <gtest/gtest.h>

namespace vantry::common {
namespace {

TEST(MaskData, StoredTextIsDeterminedByPasswordAndSaveTime)
{
    // "abc " as a little-endian word is 0x20636261; the save time is the base here.
    EXPECT_EQ(maskPassword("abc", 1700000000u), "1700028462-1156644301-1161052174-1161052174-1161052174");
    // "secr" is larger than the time, so the largest word is the base.
    EXPECT_EQ(maskPassword("secret", 1800000000u), "1919137156-20497-1380139295-1380160868-1380160868");
    EXPECT_NE(maskPassword("abc", 1700000000u), maskPassword("abc", 1700000001u));
}

TEST(MaskData, RoundTrips)
{
    struct Row {
        const char* password;
        uint32_t now;
        const char* expected;
    };
    const Row rows[] = {
        {"", 1700000000u, ""},
        {"abc", 1700000000u, "abc"},
        {"exactly16chars!!", 1700000000u, "exactly16chars!!"},
        {"longer than sixteen", 1700000000u, "longer than sixt"},
        {"trailing  ", 1700000000u, "trailing"},
        {" lead", 1700000000u, " lead"},
        {"after 2038", 0x90000000u, "after 2038"},                // base above 2^31: negative numbers
        {"\xc3\xa9t\xc3\xa9\xc3\xa9\xc3\xa9", 1700000000u, "\xc3\xa9t\xc3\xa9\xc3\xa9\xc3\xa9"}, // UTF-8 bytes
        {"zzzz\xff\xff\xff\xff", 0xFFFFFFF0u, "zzzz\xff\xff\xff\xff"}, // base + random wraps
    };
    for (const Row& row : rows) {
        const std::string text = maskPassword(row.password, row.now);
        const auto back = unmaskPassword(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(*back, row.expected) << text;
    }
}

TEST(MaskData, MalformedTexts)
{
    EXPECT_FALSE(unmaskPassword("12345").has_value()) << "no '-' means no password";
    EXPECT_EQ(unmaskPassword("").value(), "");
    for (const char* text : {"-", "--", "abc-def", "1-2", "9-9-9-9-9-9-9-9-9", "-2147483648-2147483647", "1-x-y-z-w"})
        EXPECT_LE(unmaskPassword(text).value_or("").size(), 16u) << text;
}

} // namespace
} // namespace vantry::common
