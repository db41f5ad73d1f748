// Inputs the fuzzer once found faults with: each must be handled without
// touching the caller's bytes, and a rewrite must read back with its dates.
// Whatever a file's bytes claim, reading it costs a small multiple of its
// size (counted, not timed: strips or extents that each cover the whole
// file once cost thousands of times that).
#include "bytes/work_meter.h"
#include "rewrite/date_rewrite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace shotdate;

namespace {

TEST(FuzzRegressions, NeverWriteIntoTheInputAndReadBack)
{
    const fs::path folder = SHOTDATE_FUZZ_REGRESSIONS;
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> original((std::istreambuf_iterator<char>(in)), {});
        const std::vector<std::uint8_t> input = original;
        workMeter() = {};
        const DateRewrite result = rewriteExifDates(input, DateArguments{99, {}, 90000});
        const std::uint64_t bound = 8 * input.size() + (1u << 20);
        EXPECT_LE(workMeter().bytesHashed, bound) << entry.path();
        EXPECT_LE(workMeter().bytesGathered, bound) << entry.path();
        EXPECT_LE(workMeter().rangesChecked, bound) << entry.path();
        EXPECT_EQ(input, original) << entry.path() << ": the rewrite changed the bytes it was given";
        if (result.reason == Reason::Rewritten) {
            const DateRewrite again = rewriteExifDates(result.bytes, DateArguments{99, {}, 0});
            EXPECT_EQ(again.oldDate, result.newDate) << entry.path();
        }
        ++seen;
    }
    EXPECT_GT(seen, 0) << "no regression inputs in " << folder;
}

} // namespace
