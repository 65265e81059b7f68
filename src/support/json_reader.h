#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/error.h"

namespace orthomix {

// A JSON value as read: numbers as doubles (the writer's %.17g reads back to
// the same bits), object members by name.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool flag = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue, std::less<>> members;

    bool isNull() const { return kind == Kind::Null; }
    bool operator==(const JsonValue& other) const = default;
    // The member of that name; null when there is none or this is no object.
    const JsonValue* find(std::string_view name) const;
};

// Reads one JSON document. A \uDCXX escape of a lone surrogate gives back
// the byte XX, as the writer encodes bytes of invalid UTF-8. The error says
// at which byte the text stops being JSON.
Result<JsonValue> parseJson(std::string_view text);

}  // namespace orthomix
