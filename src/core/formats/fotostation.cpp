#include "formats/fotostation.h"

#include "bytes/byte_reader.h"

#include <algorithm>

namespace shotdate {

namespace {

constexpr std::size_t kFooterBytes = 10;
constexpr std::uint32_t kFooterSignature = 0xA1B2C3D4;
constexpr std::uint16_t kIptcRecord = 1;

} // namespace

FotoStationTrailer readFotoStationTrailer(std::uint64_t fileSize, const ReadRange& read)
{
    FotoStationTrailer trailer;
    std::vector<std::uint8_t> footer;
    std::uint64_t end = fileSize;
    for (std::size_t records = 0; end >= kFooterBytes; ++records) {
        if (!read(end - kFooterBytes, kFooterBytes, footer) || footer.size() != kFooterBytes) {
            trailer.status = TrailerStatus::ReadFailed;
            return trailer;
        }
        const ByteReader reader(footer, true);
        if (*reader.u32(6) != kFooterSignature)
            break;
        const std::uint16_t tag = *reader.u16(0);
        const std::uint32_t size = *reader.u32(2);
        // A record that cannot be stepped over hides the ones before it,
        // which may hold IPTC too.
        if (size < kFooterBytes || size > end || records == kMaxTrailerRecords) {
            trailer.status = TrailerStatus::Damaged;
            return trailer;
        }
        const std::uint64_t start = end - size;
        const std::size_t dataSize = size - kFooterBytes;
        if (tag == kIptcRecord) {
            if (dataSize > kMaxTrailerIptcBytes) {
                trailer.status = TrailerStatus::Damaged;
                return trailer;
            }
            TrailerIptc record{start, {}};
            if (!read(start, dataSize, record.bytes) || record.bytes.size() != dataSize) {
                trailer.status = TrailerStatus::ReadFailed;
                return trailer;
            }
            trailer.iptc.push_back(std::move(record));
        }
        trailer.status = TrailerStatus::Found;
        end = start;
    }
    std::reverse(trailer.iptc.begin(), trailer.iptc.end());
    return trailer;
}

} // namespace shotdate
