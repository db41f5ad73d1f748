#include "fixtures.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>

extern char** environ;

namespace shotdate::fixtures {

namespace fs = std::filesystem;

CommandResult runCommand(const std::vector<std::string>& argv)
{
    CommandResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    // Both streams are drained together: a tool that fills one pipe while
    // we wait on the other would never finish.
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (spawned == 0 && open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, std::size_t(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (spawned != 0) {
        result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return result;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
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
    for (const auto& r : kRecipes)
        if (r.fixture == fixture)
            return r;
    std::abort();
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

std::string tagValue(const TagList& tags, const std::string& key)
{
    for (const auto& [name, value] : tags)
        if (name == key)
            return value;
    return {};
}

std::vector<std::string> tagValues(const TagList& tags, const std::string& key)
{
    std::vector<std::string> values;
    for (const auto& [name, value] : tags)
        if (name == key)
            values.push_back(value);
    return values;
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

namespace {

std::uint32_t readBigEndian32(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 | std::uint32_t(bytes[at + 2]) << 8
        | std::uint32_t(bytes[at + 3]);
}

bool isPng(const Bytes& bytes)
{
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

// Calls `visit(typeOffset, dataLength)` for each complete chunk of a PNG.
template <typename Visit>
void forEachPngChunk(const Bytes& bytes, Visit visit)
{
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const std::size_t length = readBigEndian32(bytes, at);
        if (length > bytes.size() - at - 12)
            return;
        visit(at + 4, length);
        at += 12 + length;
    }
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

} // namespace

std::size_t countOccurrences(const Bytes& bytes, const std::string& text)
{
    return occurrences(bytes, text).size();
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
    if (isPng(before)) {
        forEachPngChunk(before, [&](std::size_t type, std::size_t length) {
            if (std::equal(before.begin() + std::ptrdiff_t(type), before.begin() + std::ptrdiff_t(type + 4), "eXIf"))
                std::fill_n(allowed.begin() + std::ptrdiff_t(type + 4 + length), 4, true);
        });
    }
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
    if (!isPng(bytes))
        return true;
    bool valid = true;
    forEachPngChunk(bytes, [&](std::size_t type, std::size_t length) {
        if (crc32(bytes.data() + type, length + 4) != readBigEndian32(bytes, type + 4 + length))
            valid = false;
    });
    return valid;
}

std::string shiftedDateText(const std::string& text, long long seconds)
{
    using namespace std::chrono;
    int fields[6];
    if (text.size() != 19
        || std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &fields[0], &fields[1], &fields[2], &fields[3],
                       &fields[4], &fields[5])
            != 6)
        return {};
    for (const std::size_t digit : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u})
        if (text[digit] < '0' || text[digit] > '9')
            return {};
    const year_month_day date{year{fields[0]}, month{unsigned(fields[1])}, day{unsigned(fields[2])}};
    if (fields[0] < 1 || !date.ok() || fields[3] > 23 || fields[4] > 59 || fields[5] > 59)
        return {};
    const auto moved = sys_days{date} + hours{fields[3]} + minutes{fields[4]} + std::chrono::seconds{fields[5]}
        + std::chrono::seconds{seconds};
    const auto movedDay = floor<days>(moved);
    const year_month_day newDate{movedDay};
    const hh_mm_ss time{moved - movedDay};
    if (int(newDate.year()) < 1 || int(newDate.year()) > 9999)
        return {};
    char out[32];
    std::snprintf(out, sizeof out, "%04d:%02u:%02u %02d:%02d:%02d", int(newDate.year()), unsigned(newDate.month()),
                  unsigned(newDate.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return out;
}

std::vector<std::string> pixelSignatures(const std::string& path)
{
    const CommandResult result = runCommand({"identify", "-format", "%#\\n", path});
    if (result.exitCode != 0)
        return {};
    return splitLines(result.out);
}

// file name -> the format column of SOURCES.tsv
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
