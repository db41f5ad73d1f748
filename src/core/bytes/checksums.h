#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace shotdate {

// CRC-32 as PNG and zlib compute it (reflected, polynomial 0xEDB88320).
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// FNV-1a over a byte range; `seed` chains several ranges into one digest.
std::uint64_t digestBytes(std::span<const std::uint8_t> bytes, std::uint64_t seed = 1469598103934665603ull);

// MD5, as Photoshop's IPTC digest keeps it.
std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> bytes);

} // namespace shotdate
