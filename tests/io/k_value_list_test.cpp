// The kValues list: numbers and ranges in, ascending distinct k out; every
// malformed entry named in the message.
#include "io/k_value_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orthomix {
namespace {

using Ks = std::vector<std::int32_t>;

std::string errorOf(const std::string& text) {
    const Result<Ks> parsed = parseKValueList(text);
    return parsed ? "<accepted>" : parsed.error().message;
}

TEST(KValueList, NumbersAndRangesGiveAscendingDistinctValues) {
    const std::pair<const char*, Ks> cases[] = {
        {"5, 8, 10-30:5", {5, 8, 10, 15, 20, 25, 30}},
        {"7", {7}},
        {" 3 - 5 ", {3, 4, 5}},
        {"10-28:5", {10, 15, 20, 25}},                   // a step that misses the end stops before it
        {"4-4", {4}},
        {"8,\t4-6 , 5,8", {4, 5, 6, 8}},                 // sorted, repeats once
        {"1-1:9", {1}},
        {"2147483647", {2147483647}},
        {"007", {7}},
    };
    for (const auto& [text, expected] : cases) {
        const Result<Ks> parsed = parseKValueList(text);
        ASSERT_TRUE(parsed) << text << ": " << parsed.error().message;
        EXPECT_EQ(*parsed, expected) << text;
    }
    const Result<Ks> largest = parseKValueList("1-" + std::to_string(kMaxKValues));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->size(), kMaxKValues);
}

TEST(KValueList, MalformedEntriesAreNamedWithTheReason) {
    EXPECT_EQ(errorOf("5,x"), "\"x\" is not a whole number or a range such as 10-30 or 10-30:5");
    for (const char* text : {"-5", "5-", "5-8-9", "1.5", "+3", "5 8", "4-8:x", "4-8:"}) {
        EXPECT_NE(errorOf(text).find("is not a whole number or a range"), std::string::npos) << text;
    }
    EXPECT_EQ(errorOf("0"), "\"0\" has a k below 1");
    EXPECT_EQ(errorOf("0-4"), "\"0-4\" has a k below 1");
    EXPECT_EQ(errorOf("8-4"), "\"8-4\" ends below where it starts");
    EXPECT_EQ(errorOf("4-8:0"), "\"4-8:0\" has a step below 1");
    EXPECT_EQ(errorOf("4:2"), "\"4:2\" has a step but no range; write first-last:step");
    EXPECT_EQ(errorOf("2147483648"), "\"2147483648\" has a number above 2147483647");
    EXPECT_EQ(errorOf("1-99999999999999999999"), "\"1-99999999999999999999\" has a number above 2147483647");
    for (const char* text : {"", " ", "5,", ",5", "5,,8", "5, ,8"}) {
        EXPECT_EQ(errorOf(text), "an entry between two commas, or at either end, is empty") << "[" << text << "]";
    }
    EXPECT_EQ(errorOf("1-2000000000"), "it lists more than 1000 values") << "refused before anything is allocated";
    EXPECT_EQ(errorOf("1-600, 601-1001"), "it lists more than 1000 values") << "counted over all entries";
}

}  // namespace
}  // namespace orthomix
