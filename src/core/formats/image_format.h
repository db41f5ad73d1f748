#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace shotdate {

// The container a file really is, judged by its bytes, never by its name.
enum class ImageFormat {
    Unknown,
    Jpeg,
    Tiff, // TIFF and TIFF-based raw files (DNG, NEF, CR2, ARW, PEF, ...)
    TiffLike, // TIFF structure under another magic number (ORF, RW2)
    Png,
    WebP,
    Bmff, // ISO base media files: HEIF, HEIC, AVIF, CR3
    JpegXl,
    Raf, // Fujifilm raw: EXIF in an embedded JPEG
    Crw, // Canon CIFF raw: a time stamp, no EXIF
    Movie, // QuickTime and ISO movies: MOV, MP4, M4V, 3GP
    Other, // an image format we recognise but do not rewrite (MRW, X3F, GIF)
};

ImageFormat sniffFormat(std::span<const std::uint8_t> bytes);

std::string_view formatName(ImageFormat format);

} // namespace shotdate
