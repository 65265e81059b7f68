#include "io/k_value_list.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

namespace orthomix {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

enum class Parsed { Ok, NotANumber, TooLarge };

// Digits only: a sign or a decimal point would make "-" ambiguous with ranges.
Parsed parseDigits(std::string_view text, std::int64_t& value) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Parsed::NotANumber;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value > std::numeric_limits<std::int32_t>::max()) return Parsed::TooLarge;
    return end == text.data() + text.size() ? Parsed::Ok : Parsed::NotANumber;
}

struct Range {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t step = 1;
};

Result<Range> parseEntry(std::string_view entry) {
    const std::string quoted = "\"" + std::string(entry) + "\"";
    Range range;
    std::string_view bounds = entry;
    const std::size_t colon = entry.find(':');
    const std::size_t dash = entry.find('-');
    if (colon != std::string_view::npos) {
        if (dash == std::string_view::npos || dash > colon) {
            return Error{quoted + " has a step but no range; write first-last:step"};
        }
        bounds = entry.substr(0, colon);
    }
    const std::string_view firstText = trimmed(bounds.substr(0, dash));
    const std::string_view lastText = dash == std::string_view::npos ? firstText : trimmed(bounds.substr(dash + 1));
    const std::string_view stepText = colon == std::string_view::npos ? "1" : trimmed(entry.substr(colon + 1));
    for (const auto& [text, value] : {std::pair{firstText, &range.first}, std::pair{lastText, &range.last},
                                      std::pair{stepText, &range.step}}) {
        switch (parseDigits(text, *value)) {
            case Parsed::Ok:
                break;
            case Parsed::NotANumber:
                return Error{quoted + " is not a whole number or a range such as 10-30 or 10-30:5"};
            case Parsed::TooLarge:
                return Error{quoted + " has a number above 2147483647"};
        }
    }
    if (range.first < 1) return Error{quoted + " has a k below 1"};
    if (range.last < range.first) return Error{quoted + " ends below where it starts"};
    if (range.step < 1) return Error{quoted + " has a step below 1"};
    return range;
}

}  // namespace

Result<std::vector<std::int32_t>> parseKValueList(std::string_view text) {
    std::vector<Range> ranges;
    std::size_t count = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view entry = trimmed(text.substr(start, comma - start));
        if (entry.empty()) return Error{"an entry between two commas, or at either end, is empty"};
        Result<Range> range = parseEntry(entry);
        if (!range) return range.error();
        // Counted before any value is made, so that 1-2000000000 allocates nothing.
        count += static_cast<std::size_t>((range->last - range->first) / range->step + 1);
        if (count > kMaxKValues) return Error{"it lists more than " + std::to_string(kMaxKValues) + " values"};
        ranges.push_back(*range);
        start = comma + 1;
    }
    std::vector<std::int32_t> values;
    values.reserve(count);
    for (const Range& range : ranges) {
        for (std::int64_t k = range.first; k <= range.last; k += range.step) values.push_back(static_cast<std::int32_t>(k));
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

}  // namespace orthomix
