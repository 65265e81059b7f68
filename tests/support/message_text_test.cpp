// Values quoted in messages: short ones whole, long ones cut with their length.
#include "support/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace orthomix {
namespace {

TEST(Excerpt, ShortTextIsQuotedWholeAndLongTextIsCutWithItsLength) {
    EXPECT_EQ(excerpt(""), "");
    const std::string exact(kLongestQuote, 'a');
    EXPECT_EQ(excerpt(exact), exact) << "a text of exactly the limit is not cut";

    const std::string megabyte(1 << 20, '7');
    const std::string shown = excerpt(megabyte);
    EXPECT_EQ(shown, std::string(kLongestQuote, '7') + "... (1048576 bytes in all)");
    EXPECT_LT(shown.size(), 250u);

    EXPECT_EQ(excerpt("abcdefgh", 3), "abc... (8 bytes in all)");
}

TEST(Excerpt, AUtf8CharacterIsNeverSplitButOtherBytesAreCutWhereAsked) {
    // "é" is C3 A9: a cut after the C3 would leave half a character.
    const std::string text = "ab\xC3\xA9" "cdef";
    EXPECT_EQ(excerpt(text, 3), "ab... (8 bytes in all)");
    EXPECT_EQ(excerpt(text, 4), "ab\xC3\xA9... (8 bytes in all)");
    // A three-byte character (the euro sign, E2 82 AC) cut after one or two bytes.
    const std::string euro = "x\xE2\x82\xAC" "yz";
    EXPECT_EQ(excerpt(euro, 2), "x... (6 bytes in all)");
    EXPECT_EQ(excerpt(euro, 3), "x... (6 bytes in all)");
    // Continuation bytes without a start (not UTF-8): cut where asked.
    const std::string binary(300, '\x80');
    EXPECT_EQ(excerpt(binary, 10), std::string(10, '\x80') + "... (300 bytes in all)");
}

}  // namespace
}  // namespace orthomix
