// A rewrite reads only the head of a photo when everything it needs lies
// there. Whatever it reads, the file it writes must be exactly the one
// a rewrite of the whole file in memory gives, and a file whose EXIF lies
// further in must still be found and rewritten.
#include "format_fixtures.h"
#include "io/sys_ops.h"
#include "open_descriptors.h"
#include "rewrite/date_rewrite.h"
#include "run_outcome.h"
#include "tiff_builder.h"

#include <functional>
#include <string>
#include <vector>

namespace shotdate {
namespace {

using fixtures::openDescriptorCount;
using fixtures::TempFolder;
using testing_support::Bytes;
using testing_support::exifTiff;
using testing_support::put32;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kHead = 256 * kKiB;
const std::string kDate = "2019:07:14 23:30:00";

// What the system calls read from a rewrite's input while countingReads() is in place.
std::size_t bytesRead = 0;

const SysOps& countingReads()
{
    static const SysOps ops = [] {
        SysOps counting = realSysOps();
        counting.read = [](int fd, void* buffer, size_t count) {
            const ssize_t got = realSysOps().read(fd, buffer, count);
            bytesRead += got > 0 ? std::size_t(got) : 0;
            return got;
        };
        return counting;
    }();
    return ops;
}

Bytes noise(std::size_t size)
{
    Bytes b(size);
    std::uint32_t x = 12345;
    for (auto& byte : b) {
        x = x * 1103515245u + 12345u;
        byte = std::uint8_t(x >> 24);
    }
    return b;
}

// A JPEG whose scan of `scanBytes` never holds a 0xFF.
Bytes jpeg(const Bytes& tiff, int iccSegments, std::size_t scanBytes)
{
    Bytes scan = noise(scanBytes);
    for (auto& byte : scan)
        byte &= 0x7F;
    return testing_support::jpegWith(tiff, scan, iccSegments);
}

// A PNG or a WebP with `tiff` in its EXIF chunk before or after `imageBytes` of picture.
Bytes pngOrWebp(bool png, const Bytes& tiff, bool exifFirst, std::size_t imageBytes)
{
    Bytes b = png ? Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'} : Bytes{'W', 'E', 'B', 'P'};
    const auto chunk = [&](const char* type, const Bytes& data) {
        if (png)
            put32(b, std::uint32_t(data.size()), true);
        const std::size_t typeAt = b.size();
        b.insert(b.end(), type, type + 4);
        if (!png)
            put32(b, std::uint32_t(data.size()), false);
        b.insert(b.end(), data.begin(), data.end());
        if (png)
            put32(b, fixtures::crc32(b.data() + typeAt, b.size() - typeAt), true);
        else if (data.size() & 1)
            b.push_back(0);
    };
    chunk(png ? "IHDR" : "VP8X",
          png ? Bytes{0, 0, 1, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0} : Bytes{8, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    if (exifFirst)
        chunk(png ? "eXIf" : "EXIF", tiff);
    chunk(png ? "IDAT" : "VP8 ", noise(imageBytes));
    if (!exifFirst)
        chunk(png ? "eXIf" : "EXIF", tiff);
    if (png) {
        chunk("IEND", {});
        return b;
    }
    Bytes riff{'R', 'I', 'F', 'F'};
    put32(riff, std::uint32_t(b.size()), false);
    riff.insert(riff.end(), b.begin(), b.end());
    return riff;
}

// A little-endian TIFF: IFD0 (strip offset, Exif pointer), the Exif IFD and
// the dates, 100 bytes in all, at the start (as cameras write raws) or after
// `stripBytes` of picture (as libtiff writes). `farCopy`: an IFD1 with an
// Exif IFD of its own, with the same dates, at the very end.
Bytes tiff(std::size_t stripBytes, bool structureLast, bool farCopy)
{
    using namespace testing_support;
    const std::vector<IfdTag> dates = {asciiTag(0x9003, kDate), asciiTag(0x9004, kDate)};
    const auto ifd0 = std::uint32_t(structureLast ? 8 + stripBytes : 8);
    const auto ifd1 = std::uint32_t(8 + 100 + stripBytes);
    Bytes b{'I', 'I', 42, 0};
    put32(b, ifd0, false);
    const Bytes picture = noise(stripBytes);
    if (structureLast)
        b.insert(b.end(), picture.begin(), picture.end());
    appendIfd(b,
              {{0x0111, 4, 1, longValue(structureLast ? 8 : 108, false)}, {0x8769, 4, 1, longValue(ifd0 + 30, false)}},
              false, farCopy ? ifd1 : 0);
    appendIfd(b, dates, false);
    if (!structureLast)
        b.insert(b.end(), picture.begin(), picture.end());
    if (farCopy) {
        appendIfd(b, {{0x8769, 4, 1, longValue(ifd1 + 18, false)}}, false);
        appendIfd(b, dates, false);
    }
    return b;
}

Bytes raf(const Bytes& embedded, std::size_t rawBytes)
{
    return format_fixtures::rafAround(embedded, noise(rawBytes));
}

struct HeadRow {
    const char* name;
    std::function<Bytes()> make;
    bool headIsEnough; // the rewrite must not read past the head
    std::uint64_t maxFileBytes = FileRewriteOptions{}.maxFileBytes;
};

const Bytes kDated = exifTiff(kDate, kDate);
const Bytes kDatedBig = exifTiff(kDate, kDate, true);
// No DateTimeDigitized: the field must be added, which takes the whole file.
const Bytes kHalfDated = exifTiff(kDate, "");

const HeadRow kHeadRows[] = {
    {"jpeg_exif_first", [] { return jpeg(kDated, 0, 4096 * kKiB); }, true},
    {"jpeg_after_an_icc_profile", [] { return jpeg(kDatedBig, 3, 4096 * kKiB); }, true},
    {"jpeg_exif_beyond_the_head", [] { return jpeg(kDated, 5, 1024 * kKiB); }, false},
    {"jpeg_without_exif", [] { return jpeg({}, 1, 1024 * kKiB); }, true},
    {"jpeg_needing_a_new_field", [] { return jpeg(kHalfDated, 0, 1024 * kKiB); }, false},
    {"png_exif_before_the_image", [] { return pngOrWebp(true, kDated, true, 2048 * kKiB); }, true},
    {"png_exif_after_the_image", [] { return pngOrWebp(true, kDated, false, 2048 * kKiB); }, false},
    {"webp_exif_before_the_image", [] { return pngOrWebp(false, kDatedBig, true, 2048 * kKiB + 1); }, true},
    {"webp_exif_after_the_image", [] { return pngOrWebp(false, kDated, false, 2048 * kKiB + 1); }, false},
    {"raf_exif_in_the_embedded_jpeg", [] { return raf(jpeg(kDatedBig, 1, 512 * kKiB), 4096 * kKiB); }, true},
    {"raf_exif_beyond_the_head", [] { return raf(jpeg(kDated, 5, 512 * kKiB), 1024 * kKiB); }, false},
    // A RAF's JPEG cannot grow: passed over from the head alone.
    {"raf_needing_a_new_field", [] { return raf(jpeg(kHalfDated, 0, 512 * kKiB), 1024 * kKiB); }, true},
    {"tiff_structure_first", [] { return tiff(4096 * kKiB, false, false); }, true},
    {"tiff_structure_last", [] { return tiff(1024 * kKiB, true, false); }, false},
    {"tiff_second_exif_copy_at_the_end", [] { return tiff(1024 * kKiB, false, true); }, false},
    // Far larger than the whole-file limit: the rest is copied by the kernel, never read.
    {"jpeg_over_the_whole_file_limit", [] { return jpeg(kDated, 0, 3 * 1024 * kKiB); }, true, 1024 * kKiB},
};

class HeadRead : public testing::TestWithParam<HeadRow> {};

TEST_P(HeadRead, WritesWhatAWholeFileRewriteGives)
{
    const HeadRow& row = GetParam();
    TempFolder folder;
    const Bytes original = row.make();
    ASSERT_GT(original.size(), kHead);
    const std::string path = folder / "photo";
    fixtures::writeBytes(path, original);

    const DateRewrite expected = rewriteExifDates(original, kOneHourLater);
    FileRewrite result;
    bytesRead = 0;
    {
        ScopedSysOps counting(countingReads());
        result = rewriteFile(path, path, kOneHourLater, {.maxFileBytes = row.maxFileBytes});
    }
    EXPECT_EQ(result.reason, expected.reason);
    EXPECT_EQ(result.oldDate, expected.oldDate);
    const Bytes after = fixtures::readBytes(path);
    if (expected.reason == Reason::Rewritten) {
        EXPECT_EQ(result.newDate, "2019:07:15 00:30:00");
        EXPECT_TRUE(after == expected.bytes) << "the file differs from the whole-file rewrite";
    } else {
        EXPECT_TRUE(after == original) << "a file passed over changed";
    }
    if (row.headIsEnough)
        EXPECT_LE(bytesRead, kHead) << "read more than the head";
    else
        EXPECT_GE(bytesRead, original.size()) << "the whole file was needed but not read";
}

INSTANTIATE_TEST_SUITE_P(Layouts, HeadRead, testing::ValuesIn(kHeadRows), kRowName);

// The files a run replaces are let go of on another thread (300 of them,
// more than its queue holds): when the run returns, every one of them must be closed.
TEST(DeferredRelease, ARunInPlaceEndsWithNoReplacedFileHeldOpen)
{
    TempFolder folder;
    const Bytes photo = jpeg(kDated, 0, 8 * kKiB);
    for (int i = 0; i < 300; ++i)
        fixtures::writeBytes(folder / ("IMG_" + std::to_string(1000 + i) + ".JPG"), photo);
    const int before = openDescriptorCount();
    EXPECT_EQ(runOver(folder.path()).summary.rewritten, 300);
    EXPECT_EQ(openDescriptorCount(), before);
}

} // namespace
} // namespace shotdate
