#include "formats/xmp_packets.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"
#include "formats/box_walker.h"
#include "formats/jpeg.h"
#include "metadata/format_constants.h"

#include <string_view>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kJpegXmpSignature = "http://ns.adobe.com/xap/1.0/\0"sv;
constexpr std::string_view kPngXmpKeyword = "XML:com.adobe.xmp\0"sv;
constexpr std::uint16_t kXmlPacketTag = 700;

// Walks PNG chunks: `visit(type, at, length)` with `at` the chunk's start.
// Answers the end of IEND, or nullopt when the chunks run past the bytes.
template <typename Visit>
std::optional<std::size_t> walkPngChunks(std::span<const std::uint8_t> file, Visit visit)
{
    const ByteReader reader(file, true);
    std::size_t at = 8;
    while (reader.has(at, 12)) {
        const std::uint32_t length = *reader.u32(at);
        if (!reader.has(at + 8, std::size_t(length) + 4))
            return std::nullopt;
        visit(at, std::size_t(length));
        const bool last = matchesAt(file, at + 4, "IEND"sv);
        at += 12 + std::size_t(length);
        if (last)
            return at;
    }
    return std::nullopt;
}

// Walks WebP chunks; answers the end of the last, or nullopt when the
// chunks run past the bytes or the RIFF size.
template <typename Visit>
std::optional<std::size_t> walkWebpChunks(std::span<const std::uint8_t> file, Visit visit)
{
    const ByteReader reader(file, false);
    const auto riffSize = reader.u32(4);
    if (!riffSize)
        return std::nullopt;
    const std::size_t end = std::size_t(*riffSize) + 8;
    std::size_t at = 12;
    while (at < end) {
        if (!reader.has(at, 8))
            return std::nullopt;
        const std::uint32_t length = *reader.u32(at + 4);
        if (!reader.has(at + 8, length))
            return std::nullopt;
        visit(at, std::size_t(length));
        at += 8 + std::size_t(length) + (length & 1);
    }
    return end;
}

} // namespace

std::vector<XmpPacketPlace> jpegXmpPackets(std::span<const std::uint8_t> file)
{
    std::vector<XmpPacketPlace> places;
    walkJpegSegments(file, [&](std::uint8_t marker, std::size_t at, std::size_t length) {
        const std::size_t header = 4 + kJpegXmpSignature.size();
        if (marker == jpeg_marker::app1 && length + 2 > header && matchesAt(file, at + 4, kJpegXmpSignature))
            places.push_back({at + header, length + 2 - header});
        return true;
    });
    return places;
}

std::vector<XmpPacketPlace> tiffXmpPackets(std::span<const std::uint8_t> file)
{
    if (file.size() < 8 || (file[0] != 'I' && file[0] != 'M'))
        return {};
    const ByteReader reader(file, file[0] == 'M');
    const auto ifd = reader.u32(4);
    const auto count = ifd ? reader.u16(*ifd) : std::nullopt;
    if (!count)
        return {};
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = std::size_t(*ifd) + 2 + 12 * i;
        const auto tag = reader.u16(entry);
        const auto type = reader.u16(entry + 2);
        const auto size = reader.u32(entry + 4);
        const auto value = reader.u32(entry + 8);
        if (!tag || !type || !size || !value)
            return {};
        const bool bytes = *type == tiff_type::unsignedByte || *type == tiff_type::undefined;
        if (*tag == kXmlPacketTag && bytes && *size > 4)
            return {{std::size_t(*value), std::size_t(*size)}};
    }
    return {};
}

std::vector<XmpPacketPlace> pngXmpPackets(std::span<const std::uint8_t> file)
{
    std::vector<XmpPacketPlace> places;
    walkPngChunks(file, [&](std::size_t at, std::size_t length) {
        if (!matchesAt(file, at + 4, "iTXt"sv) || length < kPngXmpKeyword.size() + 4
            || !matchesAt(file, at + 8, kPngXmpKeyword))
            return;
        // Keyword, compression flag and method, language tag, translated keyword.
        std::size_t text = at + 8 + kPngXmpKeyword.size();
        const std::size_t end = at + 8 + length;
        if (file[text] != 0)
            return; // compressed: left alone
        text += 2;
        for (int field = 0; field < 2; ++field) {
            while (text < end && file[text] != 0)
                ++text;
            ++text;
        }
        if (text < end)
            places.push_back({text, end - text, true, at + 4, length + 4});
    });
    return places;
}

std::vector<XmpPacketPlace> webpXmpPackets(std::span<const std::uint8_t> file)
{
    std::vector<XmpPacketPlace> places;
    walkWebpChunks(file, [&](std::size_t at, std::size_t length) {
        if (matchesAt(file, at, "XMP "sv))
            places.push_back({at + 8, length});
    });
    return places;
}

std::vector<XmpPacketPlace> jpegXlXmpPackets(std::span<const std::uint8_t> file)
{
    std::vector<XmpPacketPlace> places;
    bool damaged = false;
    for (const Box& box : childBoxes(file, 0, file.size(), damaged))
        if (box.type == "xml ")
            places.push_back({box.payload, box.end - box.payload});
    return places;
}

std::optional<std::size_t> jpegXmpHeadLength(std::span<const std::uint8_t> head)
{
    const auto firstScan = walkJpegSegments(head, [](std::uint8_t, std::size_t, std::size_t) { return true; });
    if (!firstScan)
        return std::nullopt;
    return *firstScan + 4 <= head.size() ? std::optional<std::size_t>(*firstScan + 4) : std::nullopt;
}

std::optional<std::size_t> pngXmpHeadLength(std::span<const std::uint8_t> head)
{
    return walkPngChunks(head, [](std::size_t, std::size_t) {});
}

std::optional<std::size_t> webpXmpHeadLength(std::span<const std::uint8_t> head)
{
    return walkWebpChunks(head, [](std::size_t, std::size_t) {});
}

} // namespace shotdate
