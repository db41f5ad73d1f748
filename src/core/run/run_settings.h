#pragma once

#include "dates/date_rule.h"
#include "io/file_probe.h"

#include <optional>
#include <string>

namespace shotdate {

struct RunSettings {
    std::string inputPath; // a folder or one file
    bool subfolders = false;
    std::optional<std::string> outputFolder; // nullopt: rewrite in place
    DateArguments dates;
    bool dryRun = false;
    // What the start check found at the input and output paths. A run opens
    // each once and refuses to work in anything else that took its place.
    std::optional<FileIdentity> checkedInput;
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

SettingsError checkRunSettings(const RunSettings& settings);

// The same check, noting in `settings` the folders it found.
SettingsError checkAndNoteRunSettings(RunSettings& settings);

} // namespace shotdate
