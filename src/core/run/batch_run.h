#pragma once

#include "dates/exif_date.h"
#include "run/reason.h"
#include "run/target_list.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {

struct RunSettings {
    std::string inputPath;                   // a folder or one file
    bool subfolders = false;
    std::optional<std::string> outputFolder; // nullopt: rewrite in place
    DateArguments dates;
    bool dryRun = false;
};

// Why a run is refused before anything is touched.
enum class SettingsError {
    None,
    InputMissing,          // nothing at the input path
    OutputMissing,         // the output folder does not exist
    OutputNotFolder,       // the output path is not a folder
    OutputNotWritable,     // the output folder cannot be written
};

SettingsError checkRunSettings(const RunSettings& settings);

// What became of one target.
struct FileReport {
    std::size_t index = 0;       // 1-based position in the target list
    std::string inPath;
    std::string outPath;         // where the new file went (or would have gone)
    Reason reason = Reason::Rewritten;
    int error = 0;               // errno where one applies
    std::string oldDate;
    std::string newDate;
    bool renamed = false;        // the output got a numbered name to avoid replacing a file of this run
};

// Called on the worker thread. Any of them may be empty.
struct RunCallbacks {
    std::function<void(std::size_t targetCount)> onTargets;
    // After each target, success or not.
    std::function<void(const FileReport&)> onFile;
    // After each success: the count so far and the input's file name,
    // the two values of the progress text.
    std::function<void(int count, const std::string& fileName)> onProgress;
    std::function<void(const ListingProblem&)> onListingProblem;
};

struct RunSummary {
    int rewritten = 0;           // cntKaisu
    int passedOver = 0;
    bool stopped = false;        // the stop flag was found set before a file
    std::vector<FileReport> passedOverFiles;
    std::vector<ListingProblem> listingProblems;
};

// The whole run: list the targets, then rewrite them one after another.
// `stop` is tested before each file; a file whose rewrite has begun is
// always finished. Never throws.
RunSummary runBatch(const RunSettings& settings, const std::atomic<bool>& stop,
                    const RunCallbacks& callbacks = {});

// The output path of one target, before the clash rule: in place the input
// itself; with an output folder, the folder joined with the entry (a deep
// run writes flat: the file name only).
std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target);

// "IMG_0001.JPG", 2 -> "IMG_0001 (2).JPG"; names without an extension get the suffix at the end.
std::string numberedFileName(const std::string& fileName, int number);

} // namespace shotdate
