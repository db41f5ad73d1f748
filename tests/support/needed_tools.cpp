#include "needed_tools.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace shotdate::fixtures {

namespace {

bool onPath(const std::string& name)
{
    const char* pathVariable = std::getenv("PATH");
    std::istringstream folders(pathVariable ? pathVariable : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string packageOf(const std::string& tool)
{
    static const std::map<std::string, std::string> kPackages = {
        {"convert", "imagemagick"}, {"identify", "imagemagick"},      {"exiftool", "libimage-exiftool-perl"},
        {"exiv2", "exiv2"},         {"heif-enc", "libheif-examples"}, {"avifenc", "libavif-bin"},
        {"avifdec", "libavif-bin"}, {"cjxl", "libjxl-tools"},         {"djxl", "libjxl-tools"},
        {"pngcheck", "pngcheck"},
    };
    const auto found = kPackages.find(tool);
    return found == kPackages.end() ? "?" : found->second;
}

} // namespace

std::string missingTools(const std::vector<std::string>& names)
{
    std::string missing;
    for (const auto& name : names)
        if (!onPath(name))
            missing += (missing.empty() ? "" : ", ") + name;
    return missing;
}

std::string missingToolsReason(const std::vector<std::string>& names)
{
    std::string packages;
    for (const auto& name : names)
        if (!onPath(name))
            packages += (packages.empty() ? "" : ", ") + packageOf(name);
    return packages.empty() ? std::string()
                            : "needs " + missingTools(names) + " on PATH (Debian packages " + packages
            + "; tools/install-deps installs them): skipped";
}

} // namespace shotdate::fixtures
