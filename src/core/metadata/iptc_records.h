#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// One dataset of an IPTC IIM block: record, number, and where its data lies
// (offsets from the start of the block).
struct IimDataset {
    std::uint8_t record = 0;
    std::uint8_t number = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The datasets of an IIM block, in order; nullopt when a dataset runs past
// the block or the block does not start as IIM. Zero bytes after the last
// dataset are padding.
std::optional<std::vector<IimDataset>> iimDatasets(std::span<const std::uint8_t> block);

// One image resource of a Photoshop block ("8BIM", id, padded Pascal name,
// size, data padded to even), data offset from the start of the block.
struct PhotoshopResource {
    std::uint16_t id = 0;
    std::size_t offset = 0;
    std::size_t size = 0;
};

// The resources of a Photoshop image resource block; nullopt when one runs
// past the block.
std::optional<std::vector<PhotoshopResource>> photoshopResources(std::span<const std::uint8_t> block);

// Resource ids: the IPTC IIM data, and the MD5 digest of it that Photoshop
// keeps to notice IPTC changed by other programs.
inline constexpr std::uint16_t kIptcResource = 0x0404;
inline constexpr std::uint16_t kIptcDigestResource = 0x0425;

} // namespace shotdate
