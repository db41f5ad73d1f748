#include "bytes/checksums.h"

#include "bytes/work_meter.h"

#include <nettle/md5.h>

#include <array>

namespace shotdate {

std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const auto b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint64_t digestBytes(std::span<const std::uint8_t> bytes, std::uint64_t seed)
{
    workMeter().bytesHashed += bytes.size();
    std::uint64_t hash = seed;
    for (const auto b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> bytes)
{
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, bytes.size(), bytes.data());
    std::array<std::uint8_t, 16> digest{};
    md5_digest(&context, digest.size(), digest.data());
    return digest;
}

} // namespace shotdate
