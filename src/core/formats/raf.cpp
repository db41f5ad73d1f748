#include "formats/raf.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"
#include "formats/jpeg.h"

#include <algorithm>
#include <string_view>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kJpegOffsetAt = 84;
constexpr std::size_t kJpegLengthAt = 88;

// The embedded JPEG, as far as `file` holds it: given only the head of a
// file, the JPEG runs past it. Its segments are still bounded by what is at
// hand, so a length that overstates the file can do no harm.
std::optional<std::span<const std::uint8_t>> embeddedJpeg(std::span<const std::uint8_t> file, std::size_t& start)
{
    const ByteReader reader(file, true);
    const auto offset = reader.u32(kJpegOffsetAt);
    const auto length = reader.u32(kJpegLengthAt);
    if (!offset || !length || *offset < kJpegLengthAt + 4 || *offset >= file.size())
        return std::nullopt;
    start = *offset;
    const auto jpeg = file.subspan(start, std::min<std::size_t>(*length, file.size() - start));
    if (!isJpeg(jpeg))
        return std::nullopt;
    return jpeg;
}

} // namespace

bool isRaf(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "FUJIFILMCCD-RAW"sv);
}

std::optional<ExifBlock> rafExifBlock(std::span<const std::uint8_t> file)
{
    std::size_t start = 0;
    const auto jpeg = embeddedJpeg(file, start);
    std::optional<ExifBlock> block = jpeg ? jpegExifBlock(*jpeg) : std::nullopt;
    if (block) {
        block->offset += start;
        block->containerStart += start;
        block->containerEnd += start;
    }
    return block;
}

std::optional<std::size_t> rafHeadLength(std::span<const std::uint8_t> head)
{
    std::size_t start = 0;
    const auto jpeg = embeddedJpeg(head, start);
    const std::optional<std::size_t> length = jpeg ? jpegHeadLength(*jpeg) : std::nullopt;
    if (!length)
        return std::nullopt;
    return start + *length;
}

} // namespace shotdate
