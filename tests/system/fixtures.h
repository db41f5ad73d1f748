#pragma once

// Test images made on the spot by ImageMagick and exiftool, the outside
// tools (exiftool, exiv2, identify) that read results back independently of
// the engine, and one check of a rewritten photo built on them. Nothing
// here links Exiv2: a fault in the engine's own reading must not hide
// itself in its checks.

#include "child_process.h"
#include "file_bytes.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace shotdate::fixtures {

using CommandResult = test::ProcessResult;

// Runs a program found on PATH with these arguments, no shell involved
// (exit code 127 when it cannot be started).
CommandResult runCommand(const std::vector<std::string>& argv);

// Runs one step of a fixture's making; false, with what went wrong in `error`, on failure.
bool runStep(const std::vector<std::string>& argv, std::string& error);

std::vector<std::string> splitLines(const std::string& text);

// Paths of files below `folder` (any depth) whose names look like our
// temporary files (".shotdate-<16 hex>.tmp").
std::vector<std::string> leftoverTemporaryFiles(const std::string& folder);

// The shooting date every fixture with a usable date carries. 29 February
// makes shifts and date-only changes cross a month end.
inline constexpr const char* kFixtureDate = "2020:02:29 23:30:15";
// A different date for IFD0's ModifyDate, which must survive unchanged.
inline constexpr const char* kFixtureModifyDate = "2019:01:02 03:04:05";

enum class Fixture {
    JpegLittleEndian, // both dates as 20-byte values, II byte order
    JpegBigEndian, // both dates, MM byte order
    TiffThreePages, // both dates, three images in the IFD chain
    TiffNamedJpg, // a one-page TIFF with both dates, named .jpg
    PngExif, // both dates in an eXIf chunk
    WebpExif, // both dates in an EXIF chunk
    JpegNoExif, // no APP1 at all
    JpegIfd0Only, // EXIF with IFD0 (Make) but no Exif IFD
    JpegExifNoDates, // an Exif IFD without either date
    JpegOriginalOnly, // DateTimeOriginal only, plus a thumbnail and XMP
    TiffOriginalOnly, // three pages, DateTimeOriginal only
    PngOriginalOnly, // eXIf chunk with DateTimeOriginal only
    WebpOriginalOnly, // EXIF chunk with DateTimeOriginal only
    JpegLastDay, // both dates "9999:12:31 23:30:00"
    TextNamedJpg, // a text file named .jpg
};

// The file name a fixture gets (its extension is what a user would see).
std::string fixtureFileName(Fixture fixture);

// The DateTimeOriginal text the fixture stores, "" when it has none.
std::string fixtureStoredDate(Fixture fixture);

// How a rewrite may change a file besides its two dates.
enum class Layout {
    Patched, // only the date values (and a PNG eXIf chunk's CRC) change
    Appended, // a TIFF given a missing date: the old bytes stay but for the Exif IFD offset; an IFD goes at the end
    LaidOut, // the metadata written anew: positions move, every other JPEG segment, PNG or WebP chunk stays
};

// How a fixture's missing date is added.
Layout fixtureLayout(Fixture fixture);

// A small picture with some structure, so that a changed pixel changes the
// signature; with more pages, each unlike the others.
bool makePicture(const std::string& path, int pages, std::string& error, const std::string& size = "24x16");

// An exiftool run making the assignments in the file.
std::vector<std::string> exiftoolWrite(const std::vector<std::string>& assignments, const std::string& path);

struct MadeFixture {
    std::string path; // set on success
    std::string error; // what went wrong otherwise
};

// Creates the fixture inside `folder` under fixtureFileName().
MadeFixture makeFixture(Fixture fixture, const std::string& folder);

// Every tag exiftool finds in a file ("Group1:Tag" and value, as
// `exiftool -args -G3:1 -a -n` prints them, duplicates kept, in file order).
// Tags of embedded documents read "DocN:Group1:Tag".
using TagList = std::vector<std::pair<std::string, std::string>>;

// Reads all tags of the given files and folders (folders recursively) in
// one exiftool run. The key of each file is its path as Directory/FileName,
// with the paths spelled as they were given.
std::map<std::string, TagList> readAllTags(const std::vector<std::string>& paths);

// The first value of a tag, "" when absent.
std::string tagValue(const TagList& tags, const std::string& key);

std::vector<std::string> tagValues(const TagList& tags, const std::string& key);

// What must be equal between an original and its rewrite: every tag except
// the two dates, what is derived from them, and the file system's view.
// `ignoreLayout` drops offsets too, for files whose metadata was laid out
// again.
TagList comparableTags(const TagList& tags, bool ignoreLayout);

// The tags one list has and the other lacks, one per line, for a failure message.
std::string describeTagDifferences(const TagList& before, const TagList& after);

// The two dates as exiv2 reads them: key -> value for
// Exif.Photo.DateTimeOriginal and Exif.Photo.DateTimeDigitized.
std::map<std::string, std::string> exiv2Dates(const std::string& path);

// Offsets where `after` differs from `before` other than in a stored date
// (the 20 bytes from each place where one of `dateTexts` occurs in
// `before`) or in the CRC of a PNG eXIf chunk. Files of different sizes
// give {SIZE_MAX}. `halves`: each 10-byte half of a date value may lie
// apart (an Exif item split over two HEIF extents).
std::vector<std::size_t> changesOutsideDates(const Bytes& before, const Bytes& after,
                                             const std::vector<std::string>& dateTexts, bool halves = false);

// Where `text` occurs in `bytes`, overlaps included; none for an empty text.
std::vector<std::size_t> occurrences(const Bytes& bytes, const std::string& text);

// The CRC-32 that PNG keeps over each chunk, worked out here rather than
// by the engine.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

// True when the file is no PNG or every chunk's CRC is right.
bool pngCrcsValid(const Bytes& bytes);

// "yyyy:MM:dd HH:mm:ss" moved by `seconds`, worked out here rather than by
// the engine; "" when the text is no valid date or the result leaves years
// 1-9999.
std::string shiftedDateText(const std::string& text, long long seconds);

// One pixel signature per image the file holds, from `identify -format '%#\n'`.
// Empty when identify cannot decode the file.
std::vector<std::string> pixelSignatures(const std::string& path);

// How the pixels are read back where ImageMagick 6 has no decoder. None: a
// raw file nothing here decodes.
enum class Decoder { Identify, IdentifyAsTiff, Avifdec, Djxl, None };
const char* decoderTool(Decoder decoder);

// What a faithful rewrite of a photo looks like to the outside tools.
struct Faithful {
    std::string oldDate = {}; // both fields' value before
    std::string newDate = {}; // both fields' value after
    Layout layout = Layout::Patched;
    Decoder decoder = Decoder::Identify;
    bool exiv2Reads = true; // false: exiv2 0.27 may not read this layout; checked only where it does
    std::vector<std::string> laterCopies = {}; // further values of each date, which stay
    std::vector<std::pair<std::size_t, std::size_t>> untouched = {}; // (start, length): another structure's bytes
};

// Checks `rewritten` against `original` with tools that share no code with
// the engine: both dates read back as `newDate` by exiftool and exiv2, the
// format, every other tag and the pixels stay, and the bytes change only
// as `layout` allows.
void expectFaithfulRewrite(const std::string& original, const std::string& rewritten, const Faithful& expect);

// Sets TZ for a scope.
class ZoneSetting {
public:
    explicit ZoneSetting(const char* zone);
    ~ZoneSetting();
    ZoneSetting(const ZoneSetting&) = delete;
    ZoneSetting& operator=(const ZoneSetting&) = delete;

private:
    std::string old_;
    bool hadOld_ = false;
};

// The camera corpus: file name -> the format column of its SOURCES.tsv.
std::map<std::string, std::string> corpusFormats(const std::string& corpus);

} // namespace shotdate::fixtures
