#pragma once

// One small photo per container the engine patches in place, made on the
// spot with the Debian tools that write each format (ImageMagick, heif-enc,
// avifenc, cjxl) and exiftool for the dates, then reshaped byte by byte
// where no tool writes the layout a camera or phone may produce (EXIF after
// XMP, two Exif segments, eXIf after the image data, an Exif item split
// over two extents). Like fixtures.h, nothing here links Exiv2 or the
// engine: the checks must not share code with what they check.

#include "fixtures.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shotdate::format_fixtures {

using fixtures::Bytes;

enum class Container {
    JpegXmpFirst, // XMP APP1 before the Exif APP1
    JpegTwoExif, // two Exif APP1 segments; the second holds kSecondSegmentDate
    Dng, // a TIFF with DNGVersion, which exiftool then calls DNG
    PngExifAfterIdat, // eXIf moved from where exiftool puts it to between the last IDAT and IEND
    HeicBaseOffsets, // heif-enc's iloc: version 1, item positions in base_offset
    HeicPlainOffsets, // the same file with the positions in the extents (what exiv2 0.27 reads)
    HeicSplitExif, // the Exif item in two extents stored in reverse order, split inside a date
    Avif, // avifenc, with the EXIF of the JPEG it was made from
    JpegXl, // cjxl, then an uncompressed Exif box added by exiftool
    JpegXlBrob, // cjxl from a JPEG: the Exif box Brotli-compressed in a brob box
    Raf, // a Fujifilm RAF header around an exiftool JPEG, a small TIFF standing in for the raw data
};

// The date both fields carry (see fixtures::kFixtureDate).
inline constexpr const char* kFormatFixtureDate = fixtures::kFixtureDate;
// The dates of the second Exif segment of JpegTwoExif: readers take the first.
inline constexpr const char* kSecondSegmentDate = "2011:11:11 11:11:11";

// The programs a container needs, besides convert and exiftool.
std::vector<std::string> makerTools(Container container);

using MadeFile = fixtures::MadeFixture;

// Makes the container in `folder`. `withDigitized` false leaves out
// DateTimeDigitized (exiftool's ExifIFD:CreateDate).
MadeFile makeContainer(Container container, bool withDigitized, const std::string& folder);

// The file position and length of the Exif item's only extent and of the
// iloc fields that describe it, in a HEIF file; found == false otherwise.
struct HeifExifExtent {
    bool found = false;
    std::size_t itemStart = 0; // absolute file position of the item
    std::size_t itemLength = 0;
    std::size_t offsetField = 0; // file position of the extent_offset field
    std::size_t offsetSize = 0;
    std::size_t lengthField = 0; // file position of the extent_length field
    std::size_t lengthSize = 0;
};
HeifExifExtent heifExifExtent(const Bytes& file);

// A Fujifilm RAF around an embedded JPEG and raw data (the layout exiftool
// reads: their positions and lengths at 84 and 100, big-endian).
Bytes rafAround(const Bytes& jpeg, const Bytes& raw);

// Writes `value` big-endian into `size` bytes at `at` (testing_support::put32 appends); reads it back.
void putBigEndian(Bytes& bytes, std::size_t at, std::size_t size, std::uint64_t value);
std::uint64_t getBigEndian(const Bytes& bytes, std::size_t at, std::size_t size);

struct Span {
    std::size_t start = 0;
    std::size_t size = 0;
    std::size_t end() const { return start + size; }
};

// A PNG's chunks, each span covering length, type, data and CRC; none for another file.
std::vector<Span> pngChunks(const Bytes& file);

// The parts of a JPEG, PNG or WebP that a new EXIF layout must carry over
// byte for byte, each as a string of its bytes: a PNG's or WebP's chunks in
// file order, the EXIF chunk standing in by its type alone (it may move
// neither before nor after the image data); a JPEG's segments in any order
// (the Exif one left out) and everything from the start of scan on.
// Empty for other formats.
std::vector<std::string> piecesOutsideExif(const Bytes& file);

// A Canon CIFF (CRW) file built byte by byte: the header, a root heap
// holding an image-properties heap (0x300a) with a model name (0x080a) and
// the TimeStamp record (0x180e: seconds, zone code -9 hours, zone info 1).
struct Ciff {
    Bytes bytes;
    std::size_t timeStampAt = 0; // where the 4 bytes of seconds lie
    std::size_t rootTableOffsetAt = 0; // the root heap's last 4 bytes
};
Ciff makeCiff(std::uint32_t seconds, bool bigEndian);

} // namespace shotdate::format_fixtures
