#include "dates/date_site.h"

#include "dates/movie_seconds.h"
#include "dates/unix_seconds.h"

namespace shotdate {

namespace {

bool isBigEndian(DateEncoding encoding)
{
    return encoding != DateEncoding::UnixSeconds32LittleEndian;
}

bool isMovieTime(DateEncoding encoding)
{
    return encoding == DateEncoding::MovieSeconds32 || encoding == DateEncoding::MovieSeconds64;
}

} // namespace

std::size_t encodedSize(DateEncoding encoding)
{
    return encoding == DateEncoding::MovieSeconds64 ? 8 : 4;
}

std::optional<LocalSeconds> decodeDate(std::span<const std::uint8_t> bytes, DateEncoding encoding)
{
    if (bytes.size() < encodedSize(encoding))
        return std::nullopt;
    const std::size_t size = encodedSize(encoding);
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < size; ++i)
        count |= std::uint64_t(bytes[isBigEndian(encoding) ? size - 1 - i : i]) << (8 * i);
    if (count == 0)
        return std::nullopt;
    return isMovieTime(encoding) ? fromMovieSeconds(count) : fromUnixSeconds(std::uint32_t(count));
}

std::optional<std::vector<std::uint8_t>> encodeDate(LocalSeconds when, DateEncoding encoding)
{
    const std::size_t size = encodedSize(encoding);
    const std::optional<std::uint64_t> count =
        isMovieTime(encoding) ? toMovieSeconds(when, size == 4) : std::optional<std::uint64_t>(toUnixSeconds(when));
    if (!count)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[isBigEndian(encoding) ? size - 1 - i : i] = std::uint8_t(*count >> (8 * i));
    return bytes;
}

} // namespace shotdate
