#pragma once

// Builds small, exact EXIF structures in memory, so tests know every byte
// they hand to the engine.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace shotdate::testing_support {

using Bytes = std::vector<std::uint8_t>;

// Appends the low `size` bytes (at most 8) of `v` in the file's byte order.
inline void put32(Bytes& b, std::uint64_t v, bool big, std::size_t size = 4)
{
    for (std::size_t i = 0; i < size; ++i)
        b.push_back(std::uint8_t(v >> (8 * (big ? size - 1 - i : i))));
}

inline void put16(Bytes& b, std::uint16_t v, bool big)
{
    put32(b, v, big, 2);
}

// One IFD entry with its value bytes already in the file's byte order.
struct IfdTag {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    Bytes value;
};

inline Bytes shortsValue(std::initializer_list<std::uint16_t> values, bool big)
{
    Bytes b;
    for (const auto v : values)
        put16(b, v, big);
    return b;
}

inline Bytes longValue(std::uint32_t value, bool big)
{
    Bytes b;
    put32(b, value, big);
    return b;
}

inline IfdTag asciiTag(std::uint16_t tag, const std::string& text)
{
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    return {tag, 2, std::uint32_t(value.size()), value};
}

// The bytes an IFD takes with its values placed right after its table.
inline std::size_t ifdSize(const std::vector<IfdTag>& tags)
{
    std::size_t size = 2 + tags.size() * 12 + 4;
    for (const auto& t : tags)
        if (t.value.size() > 4)
            size += t.value.size() + (t.value.size() & 1);
    return size;
}

// Appends an IFD (tags in the given order) and the values that do not fit
// in their entries; `b` must end on a word boundary.
inline void appendIfd(Bytes& b, const std::vector<IfdTag>& tags, bool big, std::uint32_t next = 0)
{
    std::uint32_t data = std::uint32_t(b.size() + 2 + tags.size() * 12 + 4);
    Bytes values;
    put16(b, std::uint16_t(tags.size()), big);
    for (const auto& t : tags) {
        put16(b, t.tag, big);
        put16(b, t.type, big);
        put32(b, t.count, big);
        if (t.value.size() <= 4) {
            Bytes inline4 = t.value;
            inline4.resize(4, 0);
            b.insert(b.end(), inline4.begin(), inline4.end());
            continue;
        }
        put32(b, data, big);
        values.insert(values.end(), t.value.begin(), t.value.end());
        if (t.value.size() & 1)
            values.push_back(0);
        data += std::uint32_t(t.value.size() + (t.value.size() & 1));
    }
    put32(b, next, big);
    b.insert(b.end(), values.begin(), values.end());
}

// "II" or "MM", 42, and IFD0 at 8.
inline Bytes tiffHeader(bool big)
{
    Bytes b{big ? std::uint8_t('M') : std::uint8_t('I'), big ? std::uint8_t('M') : std::uint8_t('I')};
    put16(b, 42, big);
    put32(b, 8, big);
    return b;
}

using DateEntry = std::pair<std::uint16_t, std::string>; // tag, ASCII text

// A TIFF structure: IFD0 with Make and a pointer to an Exif IFD (at 38)
// holding `dates` as they are given, in that order.
inline Bytes exifTiffWith(const std::vector<DateEntry>& dates, bool big = false)
{
    Bytes b = tiffHeader(big);
    appendIfd(b, {asciiTag(0x010F, "Cam"), {0x8769, 4, 1, longValue(38, big)}}, big);
    std::vector<IfdTag> exif;
    for (const auto& [tag, text] : dates)
        exif.push_back(asciiTag(tag, text));
    appendIfd(b, exif, big);
    return b;
}

// The same with DateTimeOriginal and DateTimeDigitized, each omitted when empty.
inline Bytes exifTiff(const std::string& original, const std::string& digitized, bool big = false)
{
    std::vector<DateEntry> dates;
    if (!original.empty())
        dates.emplace_back(0x9003, original);
    if (!digitized.empty())
        dates.emplace_back(0x9004, digitized);
    return exifTiffWith(dates, big);
}

// One JPEG segment: marker, big-endian length, payload.
inline void putJpegSegment(Bytes& b, std::uint8_t marker, const Bytes& payload)
{
    b.insert(b.end(), {0xFF, marker});
    put16(b, std::uint16_t(2 + payload.size()), true);
    b.insert(b.end(), payload.begin(), payload.end());
}

// The APP1 segment that carries `tiff` as a JPEG's EXIF.
inline Bytes exifApp1(const Bytes& tiff)
{
    Bytes payload{'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    Bytes segment;
    putJpegSegment(segment, 0xE1, payload);
    return segment;
}

// A JPEG: SOI, `iccSegments` APP2 segments of 60 KiB (where some editors
// put an ICC profile, before the EXIF), APP1 Exif with `tiff` unless empty,
// a scan of `scan`, EOI.
inline Bytes jpegWith(const Bytes& tiff, const Bytes& scan = {0x12, 0x34, 0x56}, int iccSegments = 0)
{
    Bytes b{0xFF, 0xD8};
    for (int i = 0; i < iccSegments; ++i)
        putJpegSegment(b, 0xE2, Bytes(60 * 1024, std::uint8_t('I')));
    const Bytes app1 = tiff.empty() ? Bytes{} : exifApp1(tiff);
    b.insert(b.end(), app1.begin(), app1.end());
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x02});
    b.insert(b.end(), scan.begin(), scan.end());
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// IFD0 and IFD1 each with an Exif IFD of its own holding both dates, as some
// cameras write the thumbnail's IFD.
inline Bytes exifTiffWithSecondExifIfd(const std::string& date)
{
    const std::vector<IfdTag> dates = {asciiTag(0x9003, date), asciiTag(0x9004, date)};
    // IFD0 at 8 and IFD1 at 26 hold one entry each; their Exif IFDs follow.
    const auto second = std::uint32_t(44 + ifdSize(dates));
    Bytes b = tiffHeader(false);
    appendIfd(b, {{0x8769, 4, 1, longValue(44, false)}}, false, 26);
    appendIfd(b, {{0x8769, 4, 1, longValue(second, false)}}, false);
    appendIfd(b, dates, false);
    appendIfd(b, dates, false);
    return b;
}

// A TIFF laid out as a thermal drone camera writes it: a 4x4 grey picture,
// an Exif IFD holding DateTimeOriginal but no DateTimeDigitized, and the
// Interop IFD hung off IFD0 instead of the Exif IFD.
inline Bytes tiffWithInteropInIfd0(const std::string& date, bool big = false)
{
    Bytes exposure = longValue(1, big); // 1/100 s
    put32(exposure, 100, big);
    const std::vector<IfdTag> exif = {
        {0x829A, 5, 1, exposure}, asciiTag(0x9003, date), {0xA002, 4, 1, longValue(4, big)}};
    const std::vector<IfdTag> interop = {asciiTag(0x0001, "R98"),
                                         {0x0002, 7, 4, Bytes{'0', '1', '0', '0'}},
                                         asciiTag(0x1000, "FLIR"),
                                         {0x1001, 3, 1, shortsValue({640}, big)},
                                         {0x1002, 3, 1, shortsValue({512}, big)}};
    auto ifd0 = [&](std::uint32_t pixels, std::uint32_t exifAt, std::uint32_t interopAt) {
        return std::vector<IfdTag>{{0x0100, 3, 1, shortsValue({4}, big)},
                                   {0x0101, 3, 1, shortsValue({4}, big)},
                                   {0x0102, 3, 1, shortsValue({8}, big)},
                                   {0x0103, 3, 1, shortsValue({1}, big)},
                                   {0x0106, 3, 1, shortsValue({1}, big)},
                                   asciiTag(0x010F, "DJI"),
                                   asciiTag(0x0110, "XT2"),
                                   {0x0111, 4, 1, longValue(pixels, big)},
                                   {0x0115, 3, 1, shortsValue({1}, big)},
                                   {0x0116, 3, 1, shortsValue({4}, big)},
                                   {0x0117, 4, 1, longValue(16, big)},
                                   {0x8769, 4, 1, longValue(exifAt, big)},
                                   {0xA005, 4, 1, longValue(interopAt, big)}};
    };
    const std::uint32_t exifAt = std::uint32_t(8 + ifdSize(ifd0(0, 0, 0)));
    const std::uint32_t interopAt = exifAt + std::uint32_t(ifdSize(exif));
    const std::uint32_t pixels = interopAt + std::uint32_t(ifdSize(interop));
    Bytes b = tiffHeader(big);
    appendIfd(b, ifd0(pixels, exifAt, interopAt), big);
    appendIfd(b, exif, big);
    appendIfd(b, interop, big);
    for (int i = 0; i < 16; ++i)
        b.push_back(std::uint8_t(i * 16));
    return b;
}

} // namespace shotdate::testing_support
