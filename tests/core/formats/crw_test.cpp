// The CIFF heap walker on heaps laid out byte by byte: damaged or looping
// heaps give no date at all (a sound nested heap is format_fixture_test's).
#include "formats/crw.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace shotdate;

namespace {

using testing_support::Bytes;

// Little-endian, as the heaps here are.
void put(Bytes& b, std::size_t size, std::uint32_t value)
{
    size == 2 ? testing_support::put16(b, std::uint16_t(value), false) : testing_support::put32(b, value, false);
}

struct Record {
    std::uint16_t tag;
    std::uint32_t size;
    std::uint32_t offset;
};

// A little-endian CIFF whose root heap holds `values`, then a table of
// `records`, then `tableOffset` (by default where the table starts).
Bytes ciff(const Bytes& values, const std::vector<Record>& records, std::optional<std::uint32_t> tableOffset = {})
{
    Bytes b{'I', 'I'};
    put(b, 4, 26);
    for (char c : std::string("HEAPCCDR"))
        b.push_back(std::uint8_t(c));
    b.resize(26, 0);
    b.insert(b.end(), values.begin(), values.end());
    put(b, 2, std::uint32_t(records.size()));
    for (const Record& r : records) {
        put(b, 2, r.tag);
        put(b, 4, r.size);
        put(b, 4, r.offset);
    }
    put(b, 4, tableOffset.value_or(std::uint32_t(values.size())));
    return b;
}

const Bytes kStamp{0x4E, 0xCD, 0xAF, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0};

// A heap whose records all point back at the heap itself.
Bytes selfNestingHeap(std::size_t records)
{
    const std::uint32_t heapLength = std::uint32_t(2 + 10 * records + 4);
    return ciff({}, std::vector<Record>(records, Record{0x300A, heapLength, 0}));
}

// Heaps seven deep, each holding the next and `records` records that all
// point at it: sound, but records^7 visits if walked naively.
Bytes fanOutHeaps(std::size_t records)
{
    Bytes heap{0, 0, 0, 0, 0, 0}; // no records, table at 0
    for (int level = 0; level < 7; ++level) {
        const std::uint32_t length = std::uint32_t(heap.size());
        Bytes outer = ciff(heap, std::vector<Record>(records, Record{0x300A, length, 0}));
        heap.assign(outer.begin() + 26, outer.end());
    }
    Bytes file = ciff({}, {});
    file.resize(26); // the header alone
    file.insert(file.end(), heap.begin(), heap.end());
    return file;
}

struct HeapCase {
    std::string name;
    Bytes file;
    std::optional<std::vector<std::size_t>> sites; // nullopt: damaged
};

class CiffWalk : public testing::TestWithParam<HeapCase> {};

TEST_P(CiffWalk, FindsTheTimeStampsOrRefuses)
{
    const auto sites = crwDateSites(GetParam().file);
    ASSERT_EQ(sites.has_value(), GetParam().sites.has_value());
    if (!sites)
        return;
    std::vector<std::size_t> offsets;
    for (const DateSite& site : *sites)
        offsets.push_back(site.offset);
    EXPECT_EQ(offsets, *GetParam().sites);
}

INSTANTIATE_TEST_SUITE_P(
    Heaps, CiffWalk,
    testing::Values(HeapCase{"StampInRoot", ciff(kStamp, {{0x180E, 12, 0}}), std::vector<std::size_t>{26}},
                    HeapCase{"ValueInEntryIsSkipped", ciff({}, {{0x580E, 0, 0}}), std::vector<std::size_t>{}},
                    HeapCase{"StampTooShort", ciff(kStamp, {{0x180E, 4, 0}}), std::vector<std::size_t>{}},
                    HeapCase{"NoRecords", ciff({}, {}), std::vector<std::size_t>{}},
                    HeapCase{"TableOffsetPastHeap", ciff(kStamp, {{0x180E, 12, 0}}, 4096), std::nullopt},
                    HeapCase{"TableInItsOwnOffset", ciff(kStamp, {{0x180E, 12, 0}}, 12 + 2 + 10), std::nullopt},
                    HeapCase{"RecordPastHeap", ciff(kStamp, {{0x180E, 12, 30}}), std::nullopt},
                    // At 0 the table would claim 0xCD4E records.
                    HeapCase{"RecordsOverrunTable", ciff(kStamp, {{0x180E, 12, 0}}, 0), std::nullopt},
                    HeapCase{"HeapNestingItself", selfNestingHeap(200), std::nullopt},
                    HeapCase{"FanOutOfNestedHeaps", fanOutHeaps(100), std::nullopt},
                    HeapCase{"HeaderLongerThanFile", Bytes{'I', 'I', 0xFF, 0xFF, 0, 0}, std::nullopt}),
    [](const testing::TestParamInfo<HeapCase>& info) { return info.param.name; });

} // namespace
