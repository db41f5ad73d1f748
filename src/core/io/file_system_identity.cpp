#include "io/file_system_identity.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace shotdate {

namespace {

// mountinfo escapes blanks and backslashes in paths as \ooo.
std::string unescapeMountPath(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string octal = text.substr(i + 1, 3);
            if (octal.find_first_not_of("01234567") == std::string::npos) {
                out += char(std::stoi(octal, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The mount point of device `device` that holds `path` (the longest match);
// with an empty path, the first mount of the device.
std::optional<std::string> mountPointOf(dev_t device, const std::string& path)
{
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    std::optional<std::string> best;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point;
        fields >> id >> parent >> numbers >> root >> point;
        unsigned major = 0, minor = 0;
        if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2 || makedev(major, minor) != device)
            continue;
        point = unescapeMountPath(point);
        if (path.empty())
            return point;
        const bool inside = point == "/" || path == point || path.starts_with(point + "/");
        if (inside && (!best || point.size() > best->size()))
            best = point;
    }
    return best;
}

} // namespace

FileSystemIdentity fileSystemOf(const std::string& path)
{
    FileSystemIdentity identity;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return identity;
    struct statfs fs {};
    if (::statfs(path.c_str(), &fs) == 0) {
        unsigned words[2] = {};
        static_assert(sizeof words == sizeof fs.f_fsid);
        __builtin_memcpy(words, &fs.f_fsid, sizeof words);
        char text[17];
        std::snprintf(text, sizeof text, "%08x%08x", words[0], words[1]);
        identity.fsid = text;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/disk/by-uuid", error)) {
        struct stat node {};
        if (::stat(entry.path().c_str(), &node) == 0 && S_ISBLK(node.st_mode) && node.st_rdev == st.st_dev) {
            identity.uuid = entry.path().filename().string();
            break;
        }
    }
    if (const auto point = mountPointOf(st.st_dev, path)) {
        identity.mountPoint = *point;
        if (path.size() > point->size())
            identity.relativePath = path.substr(*point == "/" ? 1 : point->size() + 1);
    }
    return identity;
}

std::optional<std::string> mountPointOfUuid(const std::string& uuid)
{
    if (uuid.empty() || uuid.find('/') != std::string::npos)
        return std::nullopt;
    struct stat node {};
    if (::stat(("/dev/disk/by-uuid/" + uuid).c_str(), &node) != 0 || !S_ISBLK(node.st_mode))
        return std::nullopt;
    return mountPointOf(node.st_rdev, "");
}

} // namespace shotdate
