#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace shotdate {

// Bounds-checked reads of big- or little-endian integers from untrusted
// bytes. Every read answers nullopt instead of running past the end.
class ByteReader {
public:
    ByteReader(std::span<const std::uint8_t> bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::size_t size() const { return bytes_.size(); }
    bool bigEndian() const { return bigEndian_; }
    bool has(std::size_t offset, std::size_t length) const
    {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    std::optional<std::uint16_t> u16(std::size_t offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        const auto* p = bytes_.data() + offset;
        return bigEndian_ ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
    }

    std::optional<std::uint32_t> u32(std::size_t offset) const
    {
        if (!has(offset, 4))
            return std::nullopt;
        const auto* p = bytes_.data() + offset;
        if (bigEndian_)
            return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
        return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

} // namespace shotdate
