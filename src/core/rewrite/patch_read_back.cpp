#include "rewrite/patch_read_back.h"

#include "rewrite/date_rewrite.h"
#include "rewrite/exiv2_adapter.h"

namespace shotdate {

ReadBack patchReadsBack(std::vector<std::uint8_t> patchedHead, const ContainerFormat& format,
                        const std::optional<std::string>& original, const std::optional<std::string>& digitized)
{
    std::span<std::uint8_t> tiff;
    if (format.exifBlock) {
        const auto block = format.exifBlock(patchedHead);
        if (!block || block->offset + block->size > patchedHead.size())
            return ReadBack::Unreadable;
        tiff = std::span(patchedHead).subspan(block->offset, block->size);
    } else if (format.fileIsExifBlock) {
        tiff = patchedHead;
    } else {
        return ReadBack::Unreadable;
    }
    const auto snapshot = exiv2ReadExifValues(tiff, {exiv2Key(0x9003), exiv2Key(0x9004)});
    if (!snapshot)
        return ReadBack::Unreadable;
    const auto holds = [&](std::uint16_t tag, const std::optional<std::string>& want) {
        if (!want)
            return true;
        const auto found = snapshot->find(exiv2Key(tag));
        return found != snapshot->end() && found->second == *want;
    };
    return holds(0x9003, original) && holds(0x9004, digitized) ? ReadBack::Holds : ReadBack::Differs;
}

} // namespace shotdate
