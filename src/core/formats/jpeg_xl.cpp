#include "formats/jpeg_xl.h"

#include "bytes/byte_match.h"

#include <cstring>

namespace shotdate {

using namespace std::string_view_literals;

bool isJpegXl(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "\xFF\x0A"sv) || matchesAt(file, 0, "\0\0\0\x0CJXL \r\n\x87\n"sv);
}

BoxExifStatus jpegXlGatherExif(std::span<const std::uint8_t> file, GatheredExif& out)
{
    bool damaged = false;
    const auto top = childBoxes(file, 0, file.size(), damaged);
    if (top.empty() || top.front().type != "JXL ")
        return BoxExifStatus::Unreadable; // a bare codestream carries no boxes
    for (const auto& box : top) {
        if (box.type == "brob" && box.end - box.payload >= 4 && std::memcmp(file.data() + box.payload, "Exif", 4) == 0)
            return BoxExifStatus::Unreadable; // compressed: cannot be patched in place
        if (box.type == "Exif")
            return gatherExifItem(file, {{box.payload, box.end - box.payload}}, out) ? BoxExifStatus::Found
                                                                                     : BoxExifStatus::Unreadable;
    }
    return damaged ? BoxExifStatus::Unreadable : BoxExifStatus::NoExif;
}

} // namespace shotdate
