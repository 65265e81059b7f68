#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/error.h"

namespace orthomix {

inline constexpr std::uint64_t kFnv1a64Start = 14695981039346656037ull;

// The 64-bit FNV-1a hash of `bytes`, continued from `state`, so that a file
// can be hashed block by block.
std::uint64_t fnv1a64(std::string_view bytes, std::uint64_t state = kFnv1a64Start);

// The checksum of a regular file's bytes as "fnv1a64:" and 16 hexadecimal
// digits. None for a file that is not regular (a pipe cannot be read twice);
// "Cannot open <path>" when the file cannot be read.
Result<std::optional<std::string>> fileChecksum(const std::string& path);

}  // namespace orthomix
