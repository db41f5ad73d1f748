#pragma once

#include <cstdint>
#include <vector>

namespace shotdate {

// A few bytes of a file to replace, at `offset`.
struct FilePatch {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

} // namespace shotdate
