#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace shotdate::test {

// The tools the photo fixtures are made with.
inline const std::vector<std::string> kFixtureTools = {"convert", "exiftool"};

// A 16x16 JPEG made by ImageMagick; with `exifDate` ("yyyy:MM:dd HH:mm:ss")
// exiftool gives it the EXIF DateTimeOriginal (0x9003) and DateTimeDigitized
// (0x9004). False on failure.
bool makeJpeg(const std::string& path, const std::string& exifDate = {});

// The two EXIF dates as exiftool reads them back: {0x9003, 0x9004}; a
// missing one is left out.
std::vector<std::string> readDates(const std::string& path);

// DateTimeOriginal of every file in a folder (one exiftool run), by file name.
std::map<std::string, std::string> readFolderDates(const std::string& folder);

void writeTextFile(const std::string& path, const std::string& text);

// What a file looks like from outside: bytes and modification time.
struct FileState {
    std::string bytes;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};

// Every entry below `folder` (hidden ones too) by relative path.
std::map<std::string, FileState> snapshot(const std::string& folder);

} // namespace shotdate::test
