#pragma once

#include "dates/date_rule.h"
#include "io/file_probe.h"

#include <optional>
#include <string>
#include <vector>

namespace shotdate {

// What becomes of a rewritten file's modification time.
enum class FileTimeRule {
    Keep, // the original's, as always
    Shooting, // the new shooting date, as wall-clock time in the computer's zone
};

struct RunSettings {
    std::string inputPath; // a folder or one file
    // Further folders or files for the same run (the shell's expansion of
    // IMG_*.JPG): listed after `inputPath`, each as it would be on its own.
    std::vector<std::string> moreInputPaths;
    bool subfolders = false;
    std::optional<std::string> outputFolder; // nullopt: rewrite in place
    DateArguments dates;
    bool dryRun = false;
    FileTimeRule fileTime = FileTimeRule::Keep;
    // What the start check found at the input paths (in runInputs() order)
    // and the output folder. A run opens each once and refuses to work in
    // anything else that took its place.
    std::vector<std::optional<FileIdentity>> checkedInputs;
    std::optional<FileIdentity> checkedOutput;
};

// Why a run is refused before anything is touched.
enum class SettingsError {
    None,
    InputMissing, // nothing at the input path
    OutputMissing, // the output folder does not exist
    OutputNotFolder, // the output path is not a folder
    OutputNotWritable, // the output folder cannot be written
};

// `inputPath` and then `moreInputPaths`.
std::vector<std::string> runInputs(const RunSettings& settings);

// The first input with nothing at its path (an empty text included), to be
// named when the run is refused with InputMissing.
std::optional<std::string> missingInput(const RunSettings& settings);

SettingsError checkRunSettings(const RunSettings& settings);

// The same check, noting in `settings` the folders it found.
SettingsError checkAndNoteRunSettings(RunSettings& settings);

} // namespace shotdate
