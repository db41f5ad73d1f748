#include "dates/date_site.h"

#include "dates/unix_seconds.h"

namespace shotdate {

namespace {

bool isBigEndian(DateEncoding encoding)
{
    return encoding == DateEncoding::UnixSeconds32BigEndian;
}

} // namespace

std::size_t encodedSize(DateEncoding)
{
    return 4;
}

std::optional<LocalSeconds> decodeDate(std::span<const std::uint8_t> bytes, DateEncoding encoding)
{
    if (bytes.size() < encodedSize(encoding))
        return std::nullopt;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < 4; ++i)
        count |= std::uint32_t(bytes[isBigEndian(encoding) ? 3 - i : i]) << (8 * i);
    if (count == 0)
        return std::nullopt;
    return fromUnixSeconds(count);
}

std::optional<std::vector<std::uint8_t>> encodeDate(LocalSeconds when, DateEncoding encoding)
{
    const std::optional<std::uint32_t> count = toUnixSeconds(when);
    if (!count)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(4);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[isBigEndian(encoding) ? 3 - i : i] = std::uint8_t(*count >> (8 * i));
    return bytes;
}

} // namespace shotdate
