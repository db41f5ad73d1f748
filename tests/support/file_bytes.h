#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shotdate::fixtures {

using Bytes = std::vector<std::uint8_t>;

// The whole file; empty when it cannot be read.
Bytes readBytes(const std::string& path);
// Creates or truncates the file and writes `bytes` into it; false when
// that failed.
bool writeBytes(const std::string& path, const Bytes& bytes);

} // namespace shotdate::fixtures
