#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace shotdate {

// Reads `length` bytes at `offset` into `out` (replacing what it held);
// false on an error. Fewer bytes than asked means the file ended. Lets a
// format find what it needs in a file without reading all of it.
using ReadRange = std::function<bool(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out)>;

} // namespace shotdate
