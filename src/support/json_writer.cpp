#include "support/json_writer.h"

#include <cmath>
#include <cstdio>

namespace orthomix {
namespace {

void appendEscapedByte(std::string& out, const char* prefix, unsigned char byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
}

bool isContinuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }

// Length of the well-formed UTF-8 sequence starting at text[pos] with a lead
// byte of 0xc2 or above; 0 when it is not well formed (overlong forms,
// surrogates and values above U+10FFFF are not).
std::size_t multiByteSequenceLength(std::string_view text, std::size_t pos) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) secondLow = 0xa0;
        if (lead == 0xed) secondHigh = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) secondLow = 0x90;
        if (lead == 0xf4) secondHigh = 0x8f;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (at(1) < secondLow || at(1) > secondHigh) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(at(i))) return 0;
    }
    return length;
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
            ++pos;
        } else if (byte < 0x20) {
            appendEscapedByte(out, "\\u00", byte);
            ++pos;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++pos;
        } else if (const std::size_t length = multiByteSequenceLength(text, pos); length != 0) {
            out.append(text.substr(pos, length));
            pos += length;
        } else {
            appendEscapedByte(out, "\\udc", byte);
            ++pos;
        }
    }
    out += '"';
}

void appendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.17g", value);
    out.append(text, static_cast<std::size_t>(length));
}

void JsonWriter::beginValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (containerEmpty_.empty()) return;
    if (!containerEmpty_.back()) text_ += ',';
    containerEmpty_.back() = false;
    if (compact_) return;
    text_ += '\n';
    text_.append(2 * containerEmpty_.size(), ' ');
}

void JsonWriter::open(char bracket) {
    beginValue();
    text_ += bracket;
    containerEmpty_.push_back(true);
}

void JsonWriter::close(char bracket) {
    const bool empty = containerEmpty_.back();
    containerEmpty_.pop_back();
    if (!empty && !compact_) {
        text_ += '\n';
        text_.append(2 * containerEmpty_.size(), ' ');
    }
    text_ += bracket;
    if (containerEmpty_.empty() && !compact_) text_ += '\n';
}

void JsonWriter::beginObject() { open('{'); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('['); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
    beginValue();
    appendJsonString(text_, name);
    text_ += compact_ ? ":" : ": ";
    afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
    beginValue();
    appendJsonString(text_, text);
}

void JsonWriter::value(double number) {
    beginValue();
    appendJsonNumber(text_, number);
}

void JsonWriter::value(bool flag) {
    beginValue();
    text_ += flag ? "true" : "false";
}

void JsonWriter::raw(std::string_view json) {
    beginValue();
    text_ += json;
}

void JsonWriter::null() {
    beginValue();
    text_ += "null";
}

}  // namespace orthomix
