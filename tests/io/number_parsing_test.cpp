#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/number_parsing.h"
#include "numeric/random_generator.h"

namespace orthomix {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Compares with the C library on a text that holds no infinity, NaN or
// hexadecimal form, where strtod follows the same decimal grammar.
void expectAgreesWithStrtod(const std::string& text) {
    char* end = nullptr;
    const double expected = std::strtod(text.c_str(), &end);
    const std::size_t expectedLength = static_cast<std::size_t>(end - text.c_str());
    bool isNumber = false;
    const double actual = parseDecimalPrefix(text, &isNumber);
    EXPECT_TRUE(sameBits(actual, expected)) << '"' << text << "\" gives " << actual << ", strtod " << expected;
    EXPECT_EQ(isNumber, expectedLength != 0) << '"' << text << '"';
    EXPECT_EQ(decimalPrefixLength(text), expectedLength) << '"' << text << '"';
}

TEST(NumberParsing, DecimalPrefixMatchesStrtodOnChosenCases) {
    const std::vector<std::string> cases = {
        "0", "-0", "+0.0", "1", "-1", "+1", " \t\n\v\f\r12", "1.5", "-2", "3e1", "1.5E3", ".5", "5.", "-.5e-3",
        "1.e5", "12abc", "1e", "1e+", "1e-x", "1e5.5", "1.2.3", "--1", "+-1", "-", "+", ".", "e5", "", "   ",
        "NA", "-NA", "1 2", "0.1", "0.30000000000000004", "1e22", "1e23", "1e-22", "1e-23",
        "9007199254740992", "9007199254740993", "9007199254740995", "18446744073709551615",
        "18446744073709551616", "123456789012345678901234567890", "0.000000000000000000000000000001234",
        "00000000000000000000000000000001.5", "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203126", "2.2250738585072011e-308",
        "2.2250738585072012e-308", "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
        "-1e400", "1e99999999999999999999", "4.9e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
        "1e-400", "-1e-99999999999999999999", "0e99999999999", "9007199254740993e-22", "9007199254740992e22",
        "8.98846567431158e307", "3.141592653589793238462643383279502884197169399375105820974944592307816406286",
    };
    for (const std::string& text : cases) expectAgreesWithStrtod(text);

    std::string longMantissa = "0.";
    for (int i = 0; i < 800; ++i) longMantissa += static_cast<char>('0' + (i * 7) % 10);
    expectAgreesWithStrtod(longMantissa);
    expectAgreesWithStrtod(std::string(400, '9') + "e-400");
    expectAgreesWithStrtod("1" + std::string(1000, '0') + "e-1000junk");
}

TEST(NumberParsing, DecimalPrefixMatchesStrtodOnGeneratedText) {
    RandomGenerator random(2024);
    const auto pick = [&random](int count) { return random.draw() % count; };
    const std::string junk = "abcdeE.+- #/";
    for (int trial = 0; trial < 100000; ++trial) {
        std::string text(static_cast<std::size_t>(pick(3)), ' ');
        if (pick(3) == 0) text += pick(2) ? '-' : '+';
        const int length = pick(10) == 0 ? 30 + pick(40) : pick(20);
        const int pointAt = pick(2) == 0 ? pick(length + 1) : -1;
        for (int i = 0; i <= length; ++i) {
            if (i == pointAt) text += '.';
            if (i < length) text += static_cast<char>(pick(4) == 0 ? '0' : '0' + pick(10));
        }
        if (pick(3) == 0) {
            text += pick(2) ? 'e' : 'E';
            if (pick(2) == 0) text += pick(2) ? '-' : '+';
            const int exponentDigits = pick(5);
            for (int i = 0; i < exponentDigits; ++i) text += static_cast<char>('0' + pick(10));
        }
        const int junkLength = pick(3);
        for (int i = 0; i < junkLength; ++i) text += junk[static_cast<std::size_t>(pick(static_cast<int>(junk.size())))];
        expectAgreesWithStrtod(text);
        if (HasFailure()) return;  // one message is enough to see the fault
    }
}

TEST(NumberParsing, NonDecimalFormsAreNotNumbers) {
    // strtod reads these as infinity, NaN or hexadecimal; the decimal rule does not.
    for (const char* text : {"inf", "-INF", "infinity", "nan", "NaN(1)", "0x10", "-0x1p3"}) {
        bool isNumber = true;
        const double value = parseDecimalPrefix(text, &isNumber);
        const bool leadingZero = std::strchr(text, '0') != nullptr;
        EXPECT_EQ(isNumber, leadingZero) << text << ": only the digit before the x counts";
        EXPECT_EQ(value, 0.0) << text;
        EXPECT_EQ(decimalPrefixLength(text), leadingZero ? std::strcspn(text, "x") : 0u) << text;
    }
    EXPECT_TRUE(std::signbit(parseDecimalPrefix("-0x1p3"))) << "the sign of the zero prefix stays";
}

TEST(NumberParsing, WholeNumberPrefixReportsDigitsAndSaturatesAtTwoToTheForty) {
    struct Case {
        const char* text;
        std::int64_t value;
        bool hasDigits;
    };
    constexpr std::int64_t kSaturation = WholeNumberPrefix::kSaturation;
    const Case cases[] = {
        {"", 0, false},
        {"  \t", 0, false},
        {"-", 0, false},
        {"+ 1", 0, false},
        {"x12", 0, false},
        {"0", 0, true},
        {"-0", 0, true},
        {" \n\v\f\r+17.9", 17, true},
        {"-42abc", -42, true},
        {"000123", 123, true},
        {"4294967295", 4294967295LL, true},
        {"-2147483649", -2147483649LL, true},
        {"1099511627775", kSaturation - 1, true},
        {"1099511627776", kSaturation, true},
        {"1099511627777", kSaturation, true},
        {"-99999999999999999999999999", -kSaturation, true},
        {"123456789012345678901234567890", kSaturation, true},
    };
    for (const Case& c : cases) {
        const WholeNumberPrefix number = parseWholeNumberPrefix(c.text);
        EXPECT_EQ(number.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(number.hasDigits, c.hasDigits) << '"' << c.text << '"';
    }
}

TEST(NumberParsing, IntegerPrefixFollowsAtoi) {
    EXPECT_EQ(parseIntegerPrefix("1e3"), 1);
    EXPECT_EQ(parseIntegerPrefix("10.7"), 10);
    EXPECT_EQ(parseIntegerPrefix("  -42x"), -42);
    EXPECT_EQ(parseIntegerPrefix("+8 words"), 8);
    EXPECT_EQ(parseIntegerPrefix(""), 0);
    EXPECT_EQ(parseIntegerPrefix("x1"), 0);
    EXPECT_EQ(parseIntegerPrefix("- 1"), 0);
    EXPECT_EQ(parseIntegerPrefix("2147483647"), 2147483647);
    EXPECT_EQ(parseIntegerPrefix("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseIntegerPrefix("2147483648"), 2147483647) << "clamps";
    EXPECT_EQ(parseIntegerPrefix("-2147483649"), -2147483647 - 1) << "clamps";
    EXPECT_EQ(parseIntegerPrefix("4294967297"), 2147483647) << "clamps rather than wrapping to 1";
    EXPECT_EQ(parseIntegerPrefix("99999999999999999999"), 2147483647) << "saturates";
    EXPECT_EQ(parseIntegerPrefix("-99999999999999999999"), -2147483647 - 1) << "saturates";
}

}  // namespace
}  // namespace orthomix
