#include "support/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/json_writer.h"

namespace orthomix {
namespace {

TEST(JsonReader, ReadsBackWhatTheWriterWroteToTheLastBit) {
    const double numbers[] = {0.1, 1.0 / 3.0, -5722.5512345678901, 1e-310, 1.7976931348623157e308, 14088.9};
    const std::string texts[] = {"plain", "quote \" and \\ back", "tab\tline\n", "caf\xc3\xa9",
                                 std::string("raw \xff byte"), std::string("nul\0in", 6), "\xf0\x9f\x99\x82"};
    JsonWriter json;
    json.beginObject();
    json.key("numbers");
    json.beginArray();
    for (const double number : numbers) json.value(number);
    json.endArray();
    json.key("texts");
    json.beginArray();
    for (const std::string& text : texts) json.value(text);
    json.endArray();
    json.member("yes", true);
    json.member("no", false);
    json.key("nothing");
    json.null();
    json.member("count", 42);
    json.endObject();

    const Result<JsonValue> read = parseJson(json.text());
    ASSERT_TRUE(read) << read.error().message;
    const JsonValue* readNumbers = read->find("numbers");
    ASSERT_NE(readNumbers, nullptr);
    ASSERT_EQ(readNumbers->items.size(), std::size(numbers));
    for (std::size_t i = 0; i < std::size(numbers); ++i) EXPECT_EQ(readNumbers->items[i].number, numbers[i]) << i;
    const JsonValue* readTexts = read->find("texts");
    ASSERT_NE(readTexts, nullptr);
    ASSERT_EQ(readTexts->items.size(), std::size(texts));
    for (std::size_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(readTexts->items[i].text, texts[i]) << i;
    EXPECT_TRUE(read->find("yes")->flag);
    EXPECT_EQ(read->find("no")->kind, JsonValue::Kind::Bool);
    EXPECT_FALSE(read->find("no")->flag);
    EXPECT_TRUE(read->find("nothing")->isNull());
    EXPECT_EQ(read->find("count")->number, 42.0);
    EXPECT_EQ(read->find("absent"), nullptr);
    EXPECT_EQ(read->find("count")->find("inside"), nullptr) << "a number has no members";
}

TEST(JsonReader, ReadsEscapesAndSurrogatePairs) {
    const Result<JsonValue> read = parseJson(R"(["\u00e9\/\b\f\r", "\ud83d\ude42", "\udcff"])");
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->items[0].text, "\xc3\xa9/\b\f\r");
    EXPECT_EQ(read->items[1].text, "\xf0\x9f\x99\x82");
    EXPECT_EQ(read->items[2].text, "\xff") << "a lone low surrogate DCXX is the byte XX";
}

TEST(JsonReader, RefusesWhatIsNotOneJsonDocument) {
    for (const char* text : {"", "{", "[1, 2", "{\"a\" 1}", "{\"a\": 1,}", "[1] [2]", "\"open", "\"bad \\q\"",
                             "\"\\u12g4\"", "tru", "01x", "{1: 2}", "\"control \x01\""}) {
        EXPECT_FALSE(parseJson(text)) << text;
    }
    EXPECT_EQ(parseJson("[1] x").error().message, "unexpected text after the JSON value at byte 4");
    const std::string deep(100, '[');
    EXPECT_FALSE(parseJson(deep + std::string(100, ']'))) << "nesting that deep is refused, not recursed into";
    EXPECT_TRUE(parseJson(std::string(20, '[') + std::string(20, ']')));
}

}  // namespace
}  // namespace orthomix
