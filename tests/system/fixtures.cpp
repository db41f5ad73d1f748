#include "fixtures.h"

#include "child_process.h"
#include "format_fixtures.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>

namespace shotdate::fixtures {

namespace fs = std::filesystem;

CommandResult runCommand(const std::vector<std::string>& argv)
{
    // exiftool reading the whole corpus takes minutes.
    return test::ChildProcess(argv[0], {argv.begin() + 1, argv.end()}).finish(std::chrono::hours(1));
}

std::vector<std::string> leftoverTemporaryFiles(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".shotdate-") && name.ends_with(".tmp"))
            found.push_back(it->path().string());
    }
    return found;
}

namespace {

constexpr const char* kLastDay = "9999:12:31 23:30:00";

struct FixtureRecipe {
    Fixture fixture;
    const char* fileName;
    const char* storedDate;
    Layout layout; // Patched: both dates stored; otherwise DateTimeOriginal alone
    int pages = 1;
};

constexpr FixtureRecipe kRecipes[] = {
    {Fixture::JpegLittleEndian, "little-endian.jpg", kFixtureDate, Layout::Patched},
    {Fixture::JpegBigEndian, "big-endian.jpg", kFixtureDate, Layout::Patched},
    {Fixture::TiffThreePages, "three-pages.tif", kFixtureDate, Layout::Patched, 3},
    {Fixture::TiffNamedJpg, "tiff-data.jpg", kFixtureDate, Layout::Patched},
    {Fixture::PngExif, "exif.png", kFixtureDate, Layout::Patched},
    {Fixture::WebpExif, "exif.webp", kFixtureDate, Layout::Patched},
    {Fixture::JpegNoExif, "no-exif.jpg", "", Layout::LaidOut},
    {Fixture::JpegIfd0Only, "ifd0-only.jpg", "", Layout::LaidOut},
    {Fixture::JpegExifNoDates, "exif-no-dates.jpg", "", Layout::LaidOut},
    {Fixture::JpegOriginalOnly, "original-only.jpg", kFixtureDate, Layout::LaidOut},
    {Fixture::TiffOriginalOnly, "original-only.tif", kFixtureDate, Layout::Appended, 3},
    {Fixture::PngOriginalOnly, "original-only.png", kFixtureDate, Layout::LaidOut},
    {Fixture::WebpOriginalOnly, "original-only.webp", kFixtureDate, Layout::LaidOut},
    {Fixture::JpegLastDay, "last-day.jpg", kLastDay, Layout::Patched},
    {Fixture::TextNamedJpg, "text.jpg", "", Layout::LaidOut},
};

const FixtureRecipe& recipe(Fixture fixture)
{
    return *std::find_if(std::begin(kRecipes), std::end(kRecipes), [&](const auto& r) { return r.fixture == fixture; });
}

// What exiftool writes into the fixture.
std::vector<std::string> assignments(Fixture fixture)
{
    const FixtureRecipe& r = recipe(fixture);
    std::vector<std::string> tags = {"-IFD0:Make=FixtureCam"};
    if (fixture == Fixture::JpegIfd0Only)
        return tags;
    tags.push_back("-ExifIFD:ExposureTime=0.01");
    if (!*r.storedDate)
        return tags;
    tags.push_back("-IFD0:ModifyDate=" + std::string(kFixtureModifyDate));
    tags.push_back("-ExifIFD:DateTimeOriginal=" + std::string(r.storedDate));
    if (r.layout == Layout::Patched)
        tags.push_back("-ExifIFD:CreateDate=" + std::string(r.storedDate));
    if (fixture == Fixture::JpegLittleEndian || fixture == Fixture::JpegBigEndian)
        tags.insert(tags.begin(), fixture == Fixture::JpegLittleEndian ? "-ExifByteOrder=II" : "-ExifByteOrder=MM");
    return tags;
}

bool build(Fixture fixture, const std::string& folder, const std::string& path, std::string& error)
{
    if (fixture == Fixture::TextNamedJpg) {
        const std::string text = "This is a shopping list, not a photograph.\n";
        return writeBytes(path, Bytes(text.begin(), text.end()));
    }
    // exiftool refuses to write a file whose name lies about its format.
    const bool renamed = fixture == Fixture::TiffNamedJpg;
    const std::string picture = renamed ? folder + "/.tiff-data-in-progress.tif" : path;
    if (!makePicture(picture, recipe(fixture).pages, error))
        return false;
    if (fixture == Fixture::JpegNoExif)
        return true;
    auto tags = assignments(fixture);
    if (renamed)
        return runStep(exiftoolWrite(tags, picture), error) && runStep({"mv", picture, path}, error);
    if (fixture != Fixture::JpegOriginalOnly)
        return runStep(exiftoolWrite(tags, path), error);
    // A thumbnail and an XMP packet: a layout done again must carry both over.
    const std::string thumbnail = folder + "/.thumbnail-in-progress.jpg";
    tags.insert(tags.end(), {"-ThumbnailImage<=" + thumbnail, "-XMP-dc:Title=Fixture title"});
    const bool made = runStep({"convert", "-size", "8x6", "gradient:blue-red", "-strip", thumbnail}, error)
        && runStep(exiftoolWrite(tags, path), error);
    std::error_code ignored;
    fs::remove(thumbnail, ignored);
    return made;
}

} // namespace

bool runStep(const std::vector<std::string>& argv, std::string& error)
{
    const CommandResult result = runCommand(argv);
    if (result.exitCode == 0)
        return true;
    error.clear();
    for (const auto& arg : argv)
        error += arg + " ";
    error += "-> exit " + std::to_string(result.exitCode) + ": " + result.err + result.out;
    return false;
}

bool makePicture(const std::string& path, int pages, std::string& error, const std::string& size)
{
    static const char* const kPages[] = {"gradient:red-blue", "gradient:green-yellow", "xc:gray50"};
    std::vector<std::string> argv = {"convert", "-size", size};
    argv.insert(argv.end(), kPages, kPages + pages);
    argv.insert(argv.end(), {"-strip", path});
    return runStep(argv, error);
}

std::vector<std::string> exiftoolWrite(const std::vector<std::string>& assignments, const std::string& path)
{
    // -m: exiftool otherwise refuses to wrap a bare JPEG XL codestream in
    // the container that can hold an Exif box.
    std::vector<std::string> argv = {"exiftool", "-q", "-q", "-m", "-overwrite_original"};
    argv.insert(argv.end(), assignments.begin(), assignments.end());
    argv.push_back(path);
    return argv;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string fixtureFileName(Fixture fixture)
{
    return recipe(fixture).fileName;
}

Layout fixtureLayout(Fixture fixture)
{
    return recipe(fixture).layout;
}

std::string fixtureStoredDate(Fixture fixture)
{
    return recipe(fixture).storedDate;
}

MadeFixture makeFixture(Fixture fixture, const std::string& folder)
{
    MadeFixture made;
    const std::string path = folder + "/" + fixtureFileName(fixture);
    if (build(fixture, folder, path, made.error))
        made.path = path;
    return made;
}

std::map<std::string, TagList> readAllTags(const std::vector<std::string>& paths)
{
    // -G3:1: tags of embedded documents (a raw file's preview JPEG) carry a
    // "DocN:" prefix and never pass for the file's own.
    std::vector<std::string> argv = {"exiftool", "-args", "-G3:1", "-a", "-n", "-r", "-q"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const CommandResult result = runCommand(argv);

    // Each file's list opens with the version tag; its name comes a few
    // lines later, so a file's tags are gathered first and filed at the end.
    std::map<std::string, TagList> files;
    TagList current;
    auto file = [&] {
        if (current.empty())
            return;
        const std::string key = tagValue(current, "System:Directory") + "/" + tagValue(current, "System:FileName");
        files[key] = std::move(current);
        current.clear();
    };
    for (const auto& line : splitLines(result.out)) {
        if (line.empty() || line[0] != '-')
            continue; // "======== name" headers
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(1, equals - 1);
        if (key == "ExifTool:ExifToolVersion")
            file();
        current.emplace_back(std::move(key), line.substr(equals + 1));
    }
    file();
    return files;
}

std::vector<std::string> tagValues(const TagList& tags, const std::string& key)
{
    std::vector<std::string> values;
    for (const auto& [name, value] : tags)
        if (name == key)
            values.push_back(value);
    return values;
}

std::string tagValue(const TagList& tags, const std::string& key)
{
    const auto values = tagValues(tags, key);
    return values.empty() ? "" : values.front();
}

TagList comparableTags(const TagList& tags, bool ignoreLayout)
{
    static constexpr std::string_view kChanged[] = {
        "ExifIFD:DateTimeOriginal",
        "ExifIFD:CreateDate",
        "CanonRaw:DateTimeOriginal", // a CRW's time stamp
        // Composites exiftool builds from the two dates.
        "Composite:SubSecDateTimeOriginal",
        "Composite:SubSecCreateDate",
        "ExifTool:ExifToolVersion",
    };
    // Positions inside the file: legitimately new after a fresh layout.
    static constexpr std::string_view kLayoutSuffixes[] = {"Offset", "Offsets", "Start"};
    TagList kept;
    for (const auto& [key, value] : tags) {
        if (key.starts_with("System:"))
            continue;
        if (std::find(std::begin(kChanged), std::end(kChanged), key) != std::end(kChanged))
            continue;
        if (ignoreLayout
            && std::any_of(std::begin(kLayoutSuffixes), std::end(kLayoutSuffixes),
                           [&](std::string_view suffix) { return key.ends_with(suffix); }))
            continue;
        kept.emplace_back(key, value);
    }
    // A new layout may order the entries differently; what matters is the set.
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::map<std::string, std::string> exiv2Dates(const std::string& path)
{
    const CommandResult result = runCommand(
        {"exiv2", "-q", "-K", "Exif.Photo.DateTimeOriginal", "-K", "Exif.Photo.DateTimeDigitized", "-Pkv", path});
    std::map<std::string, std::string> dates;
    for (const auto& line : splitLines(result.out)) {
        const auto space = line.find(' ');
        if (space == std::string::npos)
            continue;
        const auto value = line.find_first_not_of(' ', space);
        dates[line.substr(0, space)] = value == std::string::npos ? "" : line.substr(value);
    }
    return dates;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

std::vector<std::size_t> occurrences(const Bytes& bytes, const std::string& text)
{
    std::vector<std::size_t> found;
    if (text.empty())
        return found;
    auto it = bytes.begin();
    while ((it = std::search(it, bytes.end(), text.begin(), text.end())) != bytes.end()) {
        found.push_back(std::size_t(it - bytes.begin()));
        ++it;
    }
    return found;
}

std::vector<std::size_t> changesOutsideDates(const Bytes& before, const Bytes& after,
                                             const std::vector<std::string>& dateTexts, bool halves)
{
    if (before.size() != after.size())
        return {SIZE_MAX};
    std::vector<bool> allowed(before.size(), false);
    for (const auto& text : dateTexts) {
        const std::string value = text + std::string(1, '\0');
        for (const auto& piece : halves ? std::vector{value.substr(0, 10), value.substr(10)} : std::vector{text})
            for (const auto at : occurrences(before, piece))
                std::fill(allowed.begin() + std::ptrdiff_t(at),
                          allowed.begin() + std::ptrdiff_t(std::min(before.size(), at + (halves ? 10 : 20))), true);
    }
    for (const auto& chunk : format_fixtures::pngChunks(before))
        if (std::equal(before.begin() + std::ptrdiff_t(chunk.start + 4),
                       before.begin() + std::ptrdiff_t(chunk.start + 8), "eXIf"))
            std::fill_n(allowed.begin() + std::ptrdiff_t(chunk.end() - 4), 4, true);
    std::vector<std::size_t> outside;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i] && !allowed[i])
            outside.push_back(i);
    return outside;
}

std::string describeTagDifferences(const TagList& before, const TagList& after)
{
    TagList lost;
    TagList gained;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(gained));
    std::string text;
    for (const auto& [key, value] : lost)
        text += "\n  - " + key + "=" + value.substr(0, 120);
    for (const auto& [key, value] : gained)
        text += "\n  + " + key + "=" + value.substr(0, 120);
    return text;
}

ZoneSetting::ZoneSetting(const char* zone)
{
    if (const char* old = std::getenv("TZ")) {
        old_ = old;
        hadOld_ = true;
    }
    if (zone)
        ::setenv("TZ", zone, 1);
    ::tzset();
}

ZoneSetting::~ZoneSetting()
{
    if (hadOld_)
        ::setenv("TZ", old_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

bool pngCrcsValid(const Bytes& bytes)
{
    for (const auto& chunk : format_fixtures::pngChunks(bytes))
        if (crc32(bytes.data() + chunk.start + 4, chunk.size - 8)
            != format_fixtures::getBigEndian(bytes, chunk.end() - 4, 4))
            return false;
    return true;
}

std::string shiftedDateText(const std::string& text, long long seconds)
{
    // Written back after timegm has normalised it, a valid date reads the same.
    std::tm fields{};
    const char* end = ::strptime(text.c_str(), "%Y:%m:%d %H:%M:%S", &fields);
    const std::time_t moved = end && !*end ? ::timegm(&fields) + seconds : 0;
    char out[32];
    if (!end || *end || !std::strftime(out, sizeof out, "%Y:%m:%d %H:%M:%S", &fields) || out != text
        || !::gmtime_r(&moved, &fields) || fields.tm_year < 1 - 1900 || fields.tm_year > 9999 - 1900)
        return {};
    std::strftime(out, sizeof out, "%Y:%m:%d %H:%M:%S", &fields);
    return out;
}

std::vector<std::string> pixelSignatures(const std::string& path)
{
    const CommandResult result = runCommand({"identify", "-format", "%#\\n", path});
    if (result.exitCode != 0)
        return {};
    return splitLines(result.out);
}

std::map<std::string, std::string> corpusFormats(const std::string& corpus)
{
    std::map<std::string, std::string> formats;
    std::ifstream in(corpus + "/SOURCES.tsv");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> columns;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            columns.push_back(field);
        if (columns.size() > 5)
            formats[columns[0]] = columns[5];
    }
    return formats;
}

} // namespace shotdate::fixtures
