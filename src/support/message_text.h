#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orthomix {

// The most bytes of one value, path or line that a message quotes.
constexpr std::size_t kLongestQuote = 200;

// The text as a message shows it: whole when it is short; otherwise its first
// `shown` bytes (a UTF-8 character is not split), "..." and its length, as in
// "abc... (1048576 bytes in all)". A value of any size then gives a message of
// a few lines.
std::string excerpt(std::string_view text, std::size_t shown = kLongestQuote);

}  // namespace orthomix
