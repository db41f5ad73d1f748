#include "photo_fixtures.h"

#include "child_process.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace shotdate::test {

namespace fs = std::filesystem;

bool makeJpeg(const std::string& path, const std::string& exifDate)
{
    if (runProcess("convert", {"-size", "16x16", "xc:red", path}).exitCode != 0)
        return false;
    if (exifDate.empty())
        return true;
    // exiftool's own name for 0x9004 is CreateDate; its "DateTimeDigitized"
    // is an XMP tag, which would leave the EXIF field out.
    return runProcess("exiftool", {"-q", "-overwrite_original", "-ExifIFD:DateTimeOriginal=" + exifDate,
                                   "-ExifIFD:CreateDate=" + exifDate, path})
               .exitCode
        == 0;
}

std::vector<std::string> readDates(const std::string& path)
{
    const ProcessResult result =
        runProcess("exiftool", {"-s3", "-ExifIFD:DateTimeOriginal", "-ExifIFD:CreateDate", path});
    std::vector<std::string> lines;
    std::stringstream text(result.out);
    std::string line;
    while (std::getline(text, line))
        lines.push_back(line);
    return lines;
}

std::map<std::string, std::string> readFolderDates(const std::string& folder)
{
    // -T: one tab-separated line per file; "-" where the tag is missing.
    const ProcessResult result = runProcess("exiftool", {"-q", "-T", "-FileName", "-ExifIFD:DateTimeOriginal", folder});
    std::map<std::string, std::string> dates;
    std::stringstream text(result.out);
    std::string line;
    while (std::getline(text, line)) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos)
            dates[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return dates;
}

void writeTextFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::map<std::string, FileState> snapshot(const std::string& folder)
{
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        FileState state;
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) == 0)
            state.mtimeNs = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            state.bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[fs::relative(entry.path(), folder).string()] = std::move(state);
    }
    return files;
}

} // namespace shotdate::test
