#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orthomix {

// Appends text as a JSON string literal. Quotes, backslashes and control
// characters are escaped (controls as \u00XX); valid UTF-8 passes through;
// each byte of invalid UTF-8 becomes the lone surrogate \uDCXX of that byte,
// the convention by which a decoder can give back the original bytes.
void appendJsonString(std::string& out, std::string_view text);

// %.17g, which every double survives; NaN and infinities, which JSON lacks, as null.
void appendJsonNumber(std::string& out, double value);

// Writes one JSON document, members in the order they are written: indented
// two spaces a level for people, or compact for a program to read.
class JsonWriter {
public:
    enum class Layout { Indented, Compact };
    explicit JsonWriter(Layout layout = Layout::Indented) : compact_(layout == Layout::Compact) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Names the next value; only inside an object.
    void key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(const std::string& text) { value(std::string_view(text)); }
    void value(double number);
    void value(bool flag);
    template <std::integral T>
    void value(T number) {
        beginValue();
        text_ += std::to_string(number);
    }
    void null();
    // A value already written as JSON.
    void raw(std::string_view json);

    template <typename T>
    void member(std::string_view name, const T& v) {
        key(name);
        value(v);
    }
    // An empty optional is null.
    template <typename T>
    void member(std::string_view name, const std::optional<T>& v) {
        key(name);
        v ? value(*v) : null();
    }

    const std::string& text() const { return text_; }

private:
    void beginValue();
    void open(char bracket);
    void close(char bracket);

    std::string text_;
    std::vector<bool> containerEmpty_;  // one entry per open container
    bool afterKey_ = false;
    bool compact_ = false;
};

}  // namespace orthomix
