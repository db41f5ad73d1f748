#include "run/output_names.h"

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
        return joinPath(*settings.outputFolder, lastPathComponent(target.inPath)); // the input path itself
    return joinPath(*settings.outputFolder, settings.subfolders ? lastPathComponent(target.relative) : target.relative);
}

OutputClaims::OutputClaims(const std::vector<TargetList>& lists)
{
    for (const auto& list : lists)
        for (const auto& target : list.targets)
            if (const auto id = identityOf(target.inPath))
                inputs_.insert(*id);
}

bool OutputClaims::taken(const std::string& path) const
{
    if (paths_.count(path))
        return true;
    const auto id = identityOf(path);
    return id && (inputs_.count(*id) || written_.count(*id));
}

void OutputClaims::claimWritten(const std::string& path)
{
    if (const auto id = identityOf(path))
        written_.insert(*id);
}

} // namespace shotdate
