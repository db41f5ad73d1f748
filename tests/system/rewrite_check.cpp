// One check of a rewritten photo for every format, through exiftool, exiv2
// and the pixel decoders, so that each fixture test states only what it
// expects.
#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace shotdate::fixtures {

namespace {

std::vector<std::string> decodedPixels(Decoder decoder, const std::string& path)
{
    if (decoder == Decoder::Identify || decoder == Decoder::IdentifyAsTiff)
        return pixelSignatures(decoder == Decoder::Identify ? path : "tiff:" + path); // the name says DNG
    if (decoder == Decoder::None)
        return {};
    const std::string png = path + ".decoded.png";
    const bool decoded = runCommand({decoderTool(decoder), path, png}).exitCode == 0;
    auto pixels = decoded ? pixelSignatures(png) : std::vector<std::string>{};
    std::filesystem::remove(png);
    return pixels;
}

// Only exiv2's reading of the tags other than the dates and the Exif IFD's position.
std::string exiv2OtherTags(const std::string& path)
{
    std::string kept;
    for (const auto& line : splitLines(runCommand({"exiv2", "-pa", "-PkV", path}).out))
        if (line.find("DateTimeOriginal") == std::string::npos && line.find("DateTimeDigitized") == std::string::npos
            && line.find("ExifTag") == std::string::npos)
            kept += line + "\n";
    return kept;
}

} // namespace

const char* decoderTool(Decoder decoder)
{
    switch (decoder) {
    case Decoder::Avifdec: return "avifdec";
    case Decoder::Djxl: return "djxl";
    default: return "identify";
    }
}

void expectFaithfulRewrite(const std::string& original, const std::string& rewritten, const Faithful& expect)
{
    auto tags = readAllTags({original, rewritten});
    ASSERT_TRUE(tags.count(original) && tags.count(rewritten)) << "exiftool could not read both files";
    const TagList& before = tags[original];
    const TagList& after = tags[rewritten];
    const std::string trimmed = expect.oldDate.substr(0, expect.oldDate.find_last_not_of(' ') + 1);
    ASSERT_EQ(tagValue(before, "ExifIFD:DateTimeOriginal"), trimmed) << "the fixture's date, as exiftool reads it";

    std::vector<std::string> dates = {expect.newDate};
    dates.insert(dates.end(), expect.laterCopies.begin(), expect.laterCopies.end());
    EXPECT_EQ(tagValues(after, "ExifIFD:DateTimeOriginal"), dates) << "exiftool, DateTimeOriginal";
    EXPECT_EQ(tagValues(after, "ExifIFD:CreateDate"), dates) << "exiftool, DateTimeDigitized (CreateDate)";
    if (expect.exiv2Reads || !exiv2Dates(original)["Exif.Photo.DateTimeOriginal"].empty()) {
        auto exiv2 = exiv2Dates(rewritten);
        EXPECT_EQ(exiv2["Exif.Photo.DateTimeOriginal"], expect.newDate) << "exiv2, DateTimeOriginal";
        EXPECT_EQ(exiv2["Exif.Photo.DateTimeDigitized"], expect.newDate) << "exiv2, DateTimeDigitized";
    }

    EXPECT_EQ(tagValue(after, "File:FileType"), tagValue(before, "File:FileType")) << "the file changed its format";
    TagList kept = comparableTags(before, expect.layout != Layout::Patched);
    const TagList now = comparableTags(after, expect.layout != Layout::Patched);
    // Metadata laid out anew may end what exiftool warned about; it never adds a warning.
    std::erase_if(kept, [&](const auto& tag) {
        return expect.layout == Layout::LaidOut && tag.first == "ExifTool:Warning"
            && std::find(now.begin(), now.end(), tag) == now.end();
    });
    EXPECT_GT(kept.size(), 5u) << "exiftool read too little of the fixture to compare";
    EXPECT_TRUE(kept == now) << "tags other than the dates changed:" << describeTagDifferences(kept, now);

    if (expect.decoder != Decoder::None) {
        const auto pixels = decodedPixels(expect.decoder, original);
        ASSERT_FALSE(pixels.empty()) << "the fixture does not decode with " << decoderTool(expect.decoder);
        EXPECT_EQ(decodedPixels(expect.decoder, rewritten), pixels) << "pixels or pages changed";
    }

    const Bytes oldBytes = readBytes(original);
    const Bytes newBytes = readBytes(rewritten);
    EXPECT_TRUE(pngCrcsValid(newBytes)) << "a PNG chunk CRC is wrong";
    const bool png = oldBytes.size() > 8 && oldBytes[1] == 'P' && oldBytes[2] == 'N' && oldBytes[3] == 'G';
    if (png && missingTools({"pngcheck"}).empty()) {
        const CommandResult check = runCommand({"pngcheck", "-q", rewritten});
        EXPECT_EQ(check.exitCode, 0) << "pngcheck: " << check.out << check.err;
    }
    for (const auto& [at, length] : expect.untouched)
        EXPECT_TRUE(newBytes.size() >= at + length
                    && std::equal(oldBytes.begin() + long(at), oldBytes.begin() + long(at + length),
                                  newBytes.begin() + long(at)))
            << "bytes another structure uses were patched at " << at;

    switch (expect.layout) {
    case Layout::Patched: {
        const auto outside = changesOutsideDates(oldBytes, newBytes, {expect.oldDate}, true);
        EXPECT_TRUE(outside.empty()) << outside.size() << " bytes changed outside the two dates, the first at offset "
                                     << (outside.empty() ? 0 : outside.front());
        const std::string value = expect.newDate + std::string(1, '\0');
        for (const auto& half : {value.substr(0, 10), value.substr(10)})
            EXPECT_GE(occurrences(newBytes, half).size(), 2u) << "the new date should fill both 20-byte fields";
        break;
    }
    case Layout::Appended: {
        // The old file is all there, but for the Exif IFD's offset (4 bytes) and the dates.
        ASSERT_GT(newBytes.size(), oldBytes.size());
        const Bytes head(newBytes.begin(), newBytes.begin() + long(oldBytes.size()));
        EXPECT_LE(changesOutsideDates(oldBytes, head, {expect.oldDate}).size(), 4u);
        EXPECT_EQ(exiv2OtherTags(rewritten), exiv2OtherTags(original)) << "exiv2 reads other tags";
        break;
    }
    case Layout::LaidOut: {
        const auto pieces = format_fixtures::piecesOutsideExif(newBytes);
        EXPECT_TRUE(pieces == format_fixtures::piecesOutsideExif(oldBytes))
            << "a segment or chunk other than the EXIF one changed, moved or went missing";
        if (png) {
            EXPECT_EQ(std::count(pieces.begin(), pieces.end(), "eXIf"), 1) << "the EXIF must stay in one eXIf chunk";
        }
        break;
    }
    }
}

} // namespace shotdate::fixtures
