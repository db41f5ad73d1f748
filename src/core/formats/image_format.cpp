#include "formats/image_format.h"

#include <cstring>

namespace shotdate {

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view magic)
{
    return bytes.size() >= at + magic.size() && std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

} // namespace

ImageFormat sniffFormat(std::span<const std::uint8_t> bytes)
{
    using namespace std::string_view_literals;
    if (startsWith(bytes, 0, "\xFF\xD8\xFF"sv))
        return ImageFormat::Jpeg;
    if (startsWith(bytes, 0, "II*\0"sv) || startsWith(bytes, 0, "MM\0*"sv))
        return ImageFormat::Tiff;
    if (startsWith(bytes, 0, "IIRO"sv) || startsWith(bytes, 0, "IIRS"sv) || startsWith(bytes, 0, "MMOR"sv)
        || startsWith(bytes, 0, "IIU\0"sv))
        return ImageFormat::TiffLike;
    if (startsWith(bytes, 0, "\x89PNG\r\n\x1A\n"sv))
        return ImageFormat::Png;
    if (startsWith(bytes, 0, "RIFF"sv) && startsWith(bytes, 8, "WEBP"sv))
        return ImageFormat::WebP;
    if (startsWith(bytes, 4, "ftyp"sv))
        return ImageFormat::Bmff;
    if (startsWith(bytes, 0, "\xFF\x0A"sv) || startsWith(bytes, 0, "\0\0\0\x0CJXL \r\n\x87\n"sv))
        return ImageFormat::JpegXl;
    if (startsWith(bytes, 0, "II\x1A\0\0\0HEAPCCDR"sv) || startsWith(bytes, 0, "\0MRM"sv)
        || startsWith(bytes, 0, "FUJIFILMCCD-RAW"sv) || startsWith(bytes, 0, "FOVb"sv)
        || startsWith(bytes, 0, "GIF8"sv))
        return ImageFormat::Other;
    return ImageFormat::Unknown;
}

std::string_view formatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Unknown: return "unknown";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Tiff: return "TIFF";
    case ImageFormat::TiffLike: return "TIFF-like raw";
    case ImageFormat::Png: return "PNG";
    case ImageFormat::WebP: return "WebP";
    case ImageFormat::Bmff: return "HEIF/AVIF/CR3";
    case ImageFormat::JpegXl: return "JPEG XL";
    case ImageFormat::Other: return "other image";
    }
    return "unknown";
}

} // namespace shotdate
