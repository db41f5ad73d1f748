#include "metadata/iptc_records.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"

#include <string_view>

namespace shotdate {

using namespace std::string_view_literals;

std::optional<std::vector<IimDataset>> iimDatasets(std::span<const std::uint8_t> block)
{
    const ByteReader reader(block, true);
    std::vector<IimDataset> datasets;
    std::size_t at = 0;
    while (at < block.size() && block[at] != 0) {
        if (block[at] != 0x1C || !reader.has(at, 5))
            return std::nullopt;
        IimDataset dataset{block[at + 1], block[at + 2], at + 5, *reader.u16(at + 3)};
        if (dataset.length & 0x8000) {
            // An extended dataset: the next (length & 0x7FFF) bytes hold its length.
            const std::size_t digits = dataset.length & 0x7FFF;
            if (digits == 0 || digits > 4 || !reader.has(at + 5, digits))
                return std::nullopt;
            dataset.length = 0;
            for (std::size_t i = 0; i < digits; ++i)
                dataset.length = dataset.length << 8 | block[at + 5 + i];
            dataset.offset += digits;
        }
        if (dataset.offset > block.size() || dataset.length > block.size() - dataset.offset)
            return std::nullopt;
        datasets.push_back(dataset);
        at = dataset.offset + dataset.length;
    }
    return datasets;
}

std::optional<std::vector<PhotoshopResource>> photoshopResources(std::span<const std::uint8_t> block)
{
    const ByteReader reader(block, true);
    std::vector<PhotoshopResource> resources;
    std::size_t at = 0;
    while (at + 12 <= block.size() && matchesAt(block, at, "8BIM"sv)) {
        const std::uint16_t id = *reader.u16(at + 4);
        const std::size_t nameLength = block[at + 6];
        const std::size_t sizeAt = at + 6 + ((nameLength + 2) & ~std::size_t(1));
        const auto size = reader.u32(sizeAt);
        if (!size || *size > block.size() - (sizeAt + 4))
            return std::nullopt;
        resources.push_back({id, sizeAt + 4, *size});
        at = sizeAt + 4 + ((std::size_t(*size) + 1) & ~std::size_t(1));
    }
    return resources;
}

} // namespace shotdate
