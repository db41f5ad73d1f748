#include "run/output_names.h"

#include "io/held_folder.h"
#include "io/path_text.h"

namespace shotdate {

std::string numberedFileName(const std::string& fileName, int number)
{
    const std::string suffix = " (" + std::to_string(number) + ")";
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return fileName + suffix;
    return fileName.substr(0, dot) + suffix + fileName.substr(dot);
}

std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target)
{
    if (!settings.outputFolder)
        return target.inPath;
    if (list.singleFile)
        return joinPath(*settings.outputFolder, lastPathComponent(settings.inputPath));
    return joinPath(*settings.outputFolder, settings.subfolders ? lastPathComponent(target.relative) : target.relative);
}

OutputClaims::OutputClaims(const TargetList& list, int outputFd) : outputFd_(outputFd)
{
    for (const auto& target : list.targets)
        if (!target.passOver)
            inputs_.insert(target.identity);
}

bool OutputClaims::taken(const std::string& name) const
{
    if (names_.count(name))
        return true;
    struct stat st {};
    if (outputFd_ < 0 || !statEntry(outputFd_, name, st, true))
        return false;
    const FileIdentity id{st.st_dev, st.st_ino};
    return inputs_.count(id) || written_.count(id);
}

void OutputClaims::claimWritten(const std::string& name)
{
    struct stat st {};
    if (outputFd_ >= 0 && statEntry(outputFd_, name, st, true))
        written_.insert(FileIdentity{st.st_dev, st.st_ino});
}

} // namespace shotdate
