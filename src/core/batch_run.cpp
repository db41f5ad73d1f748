#include "batch_run.h"

#include "file_rewrite.h"
#include "path_text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <set>
#include <utility>

namespace shotdate {

namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// Within one run no file the run wrote and no input of the run is ever
// replaced by another file of the same run.
class OutputClaims {
public:
    explicit OutputClaims(const TargetList& list)
    {
        for (const auto& target : list.targets)
            if (const auto id = identityOf(target.inPath))
                inputs_.insert(*id);
    }

    bool taken(const std::string& path) const
    {
        if (paths_.count(path))
            return true;
        const auto id = identityOf(path);
        return id && (inputs_.count(*id) || written_.count(*id));
    }

    void claim(const std::string& path)
    {
        paths_.insert(path);
        if (const auto id = identityOf(path))
            written_.insert(*id);
    }

private:
    std::set<FileIdentity> inputs_;
    std::set<FileIdentity> written_;
    std::set<std::string> paths_;
};

} // namespace

SettingsError checkRunSettings(const RunSettings& settings)
{
    struct stat st {};
    if (settings.inputPath.empty()
        || (::stat(settings.inputPath.c_str(), &st) != 0 && ::lstat(settings.inputPath.c_str(), &st) != 0))
        return SettingsError::InputMissing;
    if (!settings.outputFolder)
        return SettingsError::None;
    const std::string& folder = *settings.outputFolder;
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0)
        return SettingsError::OutputMissing;
    if (!S_ISDIR(st.st_mode))
        return SettingsError::OutputNotFolder;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return SettingsError::OutputNotWritable;
    return SettingsError::None;
}

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

RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop, const RunCallbacks& callbacks)
{
    RunSummary summary;
    const TargetList list = getIchiran(settings.inputPath, settings.subfolders);
    if (callbacks.onTargets)
        callbacks.onTargets(list.targets.size());
    for (const auto& problem : list.problems) {
        summary.listingProblems.push_back(problem);
        if (callbacks.onListingProblem)
            callbacks.onListingProblem(problem);
    }

    OutputClaims claims(list);
    const FileRewriteOptions options{settings.dryRun};
    for (std::size_t i = 0; i < list.targets.size(); ++i) {
        if (stop.load()) {
            summary.stopped = true;
            break;
        }
        const Target& target = list.targets[i];
        FileReport report;
        report.index = i + 1;
        report.inPath = target.inPath;
        report.outPath = plannedOutputPath(settings, list, target);
        if (target.passOver) {
            report.reason = target.reason;
        } else {
            if (settings.outputFolder) {
                const std::string planned = report.outPath;
                for (int n = 2; claims.taken(report.outPath); ++n) {
                    report.outPath = joinPath(parentPath(planned), numberedFileName(lastPathComponent(planned), n));
                    report.renamed = true;
                }
            }
            FileRewrite result;
            try {
                result = rewriteFile(target.inPath, report.outPath, settings.dates, options);
            } catch (const std::bad_alloc&) {
                result.reason = Reason::TooLarge;
            } catch (...) {
                result.reason = Reason::Unreadable;
            }
            report.reason = result.reason;
            report.error = result.error;
            report.oldDate = result.oldDate;
            report.newDate = result.newDate;
        }

        if (isSuccess(report.reason)) {
            ++summary.rewritten;
            claims.claim(report.outPath);
            if (callbacks.onProgress)
                callbacks.onProgress(summary.rewritten, lastPathComponent(target.inPath));
        } else {
            ++summary.passedOver;
            summary.passedOverFiles.push_back(report);
        }
        if (callbacks.onFile)
            callbacks.onFile(report);
    }
    return summary;
}

} // namespace shotdate
