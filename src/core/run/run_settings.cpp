#include "run/run_settings.h"

#include "io/file_probe.h"

namespace shotdate {

std::vector<std::string> runInputs(const RunSettings& settings)
{
    std::vector<std::string> inputs{settings.inputPath};
    inputs.insert(inputs.end(), settings.moreInputPaths.begin(), settings.moreInputPaths.end());
    return inputs;
}

std::optional<std::string> missingInput(const RunSettings& settings)
{
    struct stat st {};
    for (const std::string& input : runInputs(settings))
        // A dangling link is there: the run reports it as passed over.
        if (input.empty() || (!statPath(input, st) && !statPath(input, st, false)))
            return input;
    return std::nullopt;
}

SettingsError checkRunSettings(const RunSettings& settings)
{
    struct stat st {};
    if (missingInput(settings))
        return SettingsError::InputMissing;
    if (!settings.outputFolder)
        return SettingsError::None;
    const std::string& folder = *settings.outputFolder;
    if (folder.empty() || !statPath(folder, st))
        return SettingsError::OutputMissing;
    if (!S_ISDIR(st.st_mode))
        return SettingsError::OutputNotFolder;
    if (!folderWritable(folder))
        return SettingsError::OutputNotWritable;
    return SettingsError::None;
}

SettingsError checkAndNoteRunSettings(RunSettings& settings)
{
    const SettingsError error = checkRunSettings(settings);
    if (error == SettingsError::None) {
        settings.checkedInputs.clear();
        for (const std::string& input : runInputs(settings))
            settings.checkedInputs.push_back(identityOf(input));
        if (settings.outputFolder)
            settings.checkedOutput = identityOf(*settings.outputFolder);
    }
    return error;
}

} // namespace shotdate
