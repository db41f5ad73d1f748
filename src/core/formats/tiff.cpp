#include "formats/tiff.h"

#include "bytes/byte_match.h"
#include "metadata/tiff_structure.h"

namespace shotdate {

using namespace std::string_view_literals;

bool isTiff(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "II*\0"sv) || matchesAt(file, 0, "MM\0*"sv);
}

bool isTiffLike(std::span<const std::uint8_t> file)
{
    return matchesAt(file, 0, "IIRO"sv) || matchesAt(file, 0, "IIRS"sv) || matchesAt(file, 0, "MMOR"sv)
        || matchesAt(file, 0, "IIU\0"sv);
}

std::optional<ExifBlock> tiffExifBlock(std::span<const std::uint8_t> file)
{
    ExifBlock block{0, file.size()};
    block.containerEnd = file.size();
    return block;
}

std::optional<std::size_t> tiffHeadLength(std::span<const std::uint8_t> head)
{
    return head.size();
}

std::optional<std::vector<std::uint64_t>> tiffPictureDigests(std::span<const std::uint8_t> file)
{
    const auto data = readTiffImageData(file, ExifBlock{0, file.size()});
    if (!data)
        return std::nullopt;
    auto digests = data->digests;
    digests.push_back(data->pages);
    return digests;
}

} // namespace shotdate
