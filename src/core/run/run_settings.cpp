#include "run/run_settings.h"

#include "io/file_probe.h"

namespace shotdate {

SettingsError checkRunSettings(const RunSettings& settings)
{
    struct stat st {};
    if (settings.inputPath.empty() || (!statPath(settings.inputPath, st) && !statPath(settings.inputPath, st, false)))
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
        settings.checkedInput = identityOf(settings.inputPath);
        if (settings.outputFolder)
            settings.checkedOutput = identityOf(*settings.outputFolder);
    }
    return error;
}

} // namespace shotdate
