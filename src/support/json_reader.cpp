#include "support/json_reader.h"

#include <cstdlib>
#include <string>

namespace orthomix {
namespace {

// Nesting deeper than this is refused rather than risking the stack.
constexpr int kMaxDepth = 64;

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    Result<JsonValue> document() {
        JsonValue value;
        if (!parseValue(value, 0)) return failure();
        skipSpace();
        if (pos_ != text_.size()) return Error{"unexpected text after the JSON value at byte " + std::to_string(pos_)};
        return value;
    }

private:
    Error failure() const { return Error{"not valid JSON at byte " + std::to_string(pos_)}; }

    void skipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }

    bool take(char expected) {
        skipSpace();
        if (pos_ >= text_.size() || text_[pos_] != expected) return false;
        ++pos_;
        return true;
    }

    bool takeWord(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool parseValue(JsonValue& value, int depth) {
        if (depth > kMaxDepth) return false;
        skipSpace();
        if (pos_ >= text_.size()) return false;
        const char first = text_[pos_];
        if (first == '{') return parseObject(value, depth);
        if (first == '[') return parseArray(value, depth);
        if (first == '"') {
            value.kind = JsonValue::Kind::String;
            return parseString(value.text);
        }
        if (takeWord("null")) return true;
        if (takeWord("true") || takeWord("false")) {
            value.kind = JsonValue::Kind::Bool;
            value.flag = first == 't';
            return true;
        }
        return parseNumber(value);
    }

    bool parseNumber(JsonValue& value) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos) {
            ++pos_;
        }
        if (pos_ == start) return false;
        const std::string digits(text_.substr(start, pos_ - start));
        char* end = nullptr;
        value.kind = JsonValue::Kind::Number;
        value.number = std::strtod(digits.c_str(), &end);
        if (end != digits.c_str() + digits.size()) {
            pos_ = start;
            return false;
        }
        return true;
    }

    bool parseHex4(unsigned& code) {
        if (pos_ + 4 > text_.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool parseEscape(std::string& out) {
        if (pos_ >= text_.size()) return false;
        const char c = text_[pos_++];
        switch (c) {
            case '"': case '\\': case '/': out += c; return true;
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'u': break;
            default: return false;
        }
        unsigned code = 0;
        if (!parseHex4(code)) return false;
        if (code >= 0xD800 && code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
            const std::size_t save = pos_;
            pos_ += 2;
            unsigned low = 0;
            if (parseHex4(low) && low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            pos_ = save;
        }
        // A lone low surrogate of the form DCXX stands for the raw byte XX.
        if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code & 0xFF);
            return true;
        }
        appendUtf8(out, code);
        return true;
    }

    bool parseString(std::string& out) {
        ++pos_;  // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (!parseEscape(out)) return false;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            } else {
                out += c;
            }
        }
        return false;
    }

    bool parseArray(JsonValue& value, int depth) {
        ++pos_;
        value.kind = JsonValue::Kind::Array;
        if (take(']')) return true;
        do {
            if (!parseValue(value.items.emplace_back(), depth + 1)) return false;
        } while (take(','));
        return take(']');
    }

    bool parseObject(JsonValue& value, int depth) {
        ++pos_;
        value.kind = JsonValue::Kind::Object;
        if (take('}')) return true;
        do {
            skipSpace();
            std::string name;
            if (pos_ >= text_.size() || text_[pos_] != '"' || !parseString(name) || !take(':')) return false;
            JsonValue member;
            if (!parseValue(member, depth + 1)) return false;
            value.members.insert_or_assign(std::move(name), std::move(member));
        } while (take(','));
        return take('}');
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view name) const {
    if (kind != Kind::Object) return nullptr;
    const auto found = members.find(name);
    return found == members.end() ? nullptr : &found->second;
}

Result<JsonValue> parseJson(std::string_view text) { return JsonParser(text).document(); }

}  // namespace orthomix
