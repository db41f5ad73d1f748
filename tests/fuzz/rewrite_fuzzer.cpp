// libFuzzer target over the in-memory rewrite: any bytes in, and either a
// reason to pass the file over, or a file that reads back with the new
// dates, the same size when patched in place, and nothing else changed;
// and read only as far as a head, the same answer or a call for more.
#include "bytes/work_meter.h"
#include "formats/format_table.h"
#include "rewrite/date_rewrite.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace shotdate;

// Names the broken property before the abort, so that a log cut short
// still says what went wrong.
void require(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "rewrite_fuzzer: broken: %s\n", property);
    std::abort();
}

bool samePatches(const std::vector<FilePatch>& a, const std::vector<FilePatch>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].offset != b[i].offset || a[i].bytes != b[i].bytes)
            return false;
    return true;
}

// Given only a head of the file, the rewrite must give the whole file's
// answer, or ask for the whole file.
void checkHeadRead(std::span<const std::uint8_t> input, const DateArguments& args, const DateRewrite& whole)
{
    for (const std::size_t cut : {input.size() / 2, std::min<std::size_t>(input.size(), 2048)}) {
        const auto head = input.first(cut);
        const auto length =
            args.allDates ? allDatesHeadLength(head, sniffFormat(head)) : exifHeadLength(head, sniffFormat(head));
        if (!length)
            continue;
        require(*length <= head.size(), "the head length asked for lies within the bytes given");
        const DateRewrite part = rewriteExifDates(
            head.first(*length), args, {.wantWholeFile = false, .haveWholeFile = false, .fileSize = input.size()});
        if (part.needsWholeFile)
            continue;
        require(part.reason == whole.reason && part.oldDate == whole.oldDate && part.newDate == whole.newDate,
                "from a head, the whole file's reason and dates");
        require(part.reason != Reason::Rewritten || (whole.patchedInPlace && samePatches(part.patches, whole.patches)),
                "from a head, the whole file's patches");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    // Every other input with every copy of the date (XMP packets too), in a new zone.
    DateArguments args{99, {}, 86400 + 3600};
    args.allDates = size % 2 == 1;
    if (args.allDates)
        args.zoneMinutes = 9 * 60;
    workMeter() = {};
    const DateRewrite result = rewriteExifDates(input, args);
    // Whatever the bytes claim, the work stays a small multiple of their number.
    const std::uint64_t bound = 8 * std::uint64_t(size) + (1u << 20);
    require(workMeter().bytesHashed <= bound && workMeter().bytesGathered <= bound
                && workMeter().rangesChecked <= bound,
            "bytes hashed, gathered and ranges checked stay within a multiple of the file's size");
    checkHeadRead(input, args, result);
    if (result.reason != Reason::Rewritten) {
        require(result.bytes.empty(), "a file passed over comes with no new bytes");
        return 0;
    }
    require(result.newDate.size() == 19, "the new date is 19 characters");
    // The rewritten file must itself be rewritable, giving the same answer
    // for a zero shift: its dates read back as what was written.
    // In the same zone: a movie shows its times as the clock of the zone a
    // run names, and one without Apple's date keeps no zone of its own.
    DateArguments zeroShift{99, {}, 0};
    zeroShift.zoneMinutes = args.zoneMinutes;
    const DateRewrite again = rewriteExifDates(result.bytes, zeroShift);
    require(again.oldDate == result.newDate, "the rewritten file reads back with the new date");
    // A TIFF that grew by an appended Exif IFD may be refused by the next
    // run's own check (the file then stays as it is); any other file must
    // rewrite again to the same date.
    const bool grew = result.bytes.size() > size;
    require((grew && again.reason == Reason::VerifyFailed)
                || (again.reason == Reason::Rewritten && again.newDate == result.newDate),
            "the rewritten file rewrites again to the same date");
    if (result.patchedInPlace) {
        // A patched file keeps its size, unless a patch (an Exif IFD
        // appended to a TIFF) starts where the file ended.
        std::size_t end = size;
        for (const FilePatch& patch : result.patches)
            if (patch.offset >= size)
                end = std::max<std::size_t>(end, patch.offset + patch.bytes.size());
        require(result.bytes.size() == end, "a patched file keeps its size or grows only at its end");
        // Every changed byte lies inside a patch.
        std::vector<bool> patched(end, false);
        for (const FilePatch& patch : result.patches)
            for (std::size_t i = 0; i < patch.bytes.size(); ++i)
                patched.at(patch.offset + i) = true;
        for (std::size_t i = 0; i < end; ++i)
            require(patched[i] || (i < size && result.bytes[i] == data[i]), "every changed byte lies inside a patch");
    }
    return 0;
}
