#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace shotdate {

// A few bytes of a file to replace, at `offset`.
struct FilePatch {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// `file` with `patches` applied; a patch that starts at or runs past the end
// extends the result.
inline std::vector<std::uint8_t> withPatches(std::span<const std::uint8_t> file, std::span<const FilePatch> patches)
{
    std::vector<std::uint8_t> out(file.begin(), file.end());
    for (const FilePatch& patch : patches) {
        if (out.size() < patch.offset + patch.bytes.size())
            out.resize(patch.offset + patch.bytes.size());
        std::copy(patch.bytes.begin(), patch.bytes.end(), out.begin() + std::ptrdiff_t(patch.offset));
    }
    return out;
}

} // namespace shotdate
