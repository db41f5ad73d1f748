#include "formats/item_extents.h"

#include <algorithm>
#include <vector>

namespace shotdate {

bool extentsFitFile(std::span<const GatheredExif::Piece> pieces, std::size_t fileSize)
{
    std::size_t total = 0;
    for (const auto& piece : pieces) {
        if (piece.fileOffset > fileSize || piece.length > fileSize - piece.fileOffset
            || piece.length > fileSize - total)
            return false;
        total += piece.length;
    }
    std::vector<GatheredExif::Piece> sorted(pieces.begin(), pieces.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.fileOffset < b.fileOffset; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i - 1].fileOffset + sorted[i - 1].length > sorted[i].fileOffset)
            return false;
    return true;
}

} // namespace shotdate
