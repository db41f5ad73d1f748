#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace shotdate {

// Whether `bytes` hold `magic` at `at`; false when they end before it.
// Write magics with embedded NULs as "...\0"sv literals.
inline bool matchesAt(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view magic)
{
    return at <= bytes.size() && magic.size() <= bytes.size() - at
        && std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

} // namespace shotdate
