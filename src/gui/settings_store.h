#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class QSettings;

// The thirteen keys of the saved settings. Their names and value forms are
// what earlier versions stored, so existing settings keep working.
namespace settings_keys {
inline QString inpPath() { return QStringLiteral("INP_PATH"); }
inline QString subFolder() { return QStringLiteral("SUB_FOLDER"); }
inline QString betsuFolder() { return QStringLiteral("BETSU_FOLDER"); }
inline QString outPath() { return QStringLiteral("OUT_PATH"); }
inline QString shitei() { return QStringLiteral("SHITEI"); }
inline QString shiteiNichiji() { return QStringLiteral("SHITEI_NICHIJI"); }
inline QString shiteiHiduke() { return QStringLiteral("SHITEI_HIDUKE"); }
inline QString shiteiJikan() { return QStringLiteral("SHITEI_JIKAN"); }
inline QString jisaNissu() { return QStringLiteral("JISA_NISSU"); }
inline QString jisaJikan() { return QStringLiteral("JISA_JIKAN"); }
inline QString susumuModoru() { return QStringLiteral("SUSUMU_MODORU"); }
inline QString hyojiShinai() { return QStringLiteral("HYOJI_SHINAI"); }
inline QString allDates() { return QStringLiteral("ALL_DATES"); }
} // namespace settings_keys

// What a run stores: the controls' values as they stand when it starts.
struct RunSettingsValues {
    QString inpPath;
    bool subFolder = false;
    bool betsuFolder = false;
    QString outPath;
    int shitei = 0;
    int shiteiNichiji = 0;
    QDateTime shiteiHiduke;
    QDateTime shiteiJikan;
    QString jisaNissu;
    QDateTime jisaJikan;
    int susumuModoru = 0;
    bool allDates = false;
};

enum class StoredBetsuFolder { Yes, No, Absent };  // any other text counts as absent

// What the window finds at launch. Absent values are left for the window to
// fill with its own defaults.
struct LoadedSettings {
    QString inpPath;                      // "" when absent
    bool subFolder = false;               // exactly "YES"
    StoredBetsuFolder betsuFolder = StoredBetsuFolder::Absent;
    QString outPath;
    int shitei = 0;                       // 0 when absent or not a number
    int shiteiNichiji = 0;
    std::optional<QDateTime> shiteiHiduke;  // local time
    std::optional<QDateTime> shiteiJikan;
    std::optional<QString> jisaNissu;
    std::optional<QDateTime> jisaJikan;
    int susumuModoru = 0;
    std::optional<QString> hyojiShinai;
    bool allDates = false;                // exactly "YES"
};

// Reads and writes the keys on a settings store that the caller owns (the
// application's own one, or a temporary one in tests).
class SettingsStore {
public:
    explicit SettingsStore(QSettings& settings);

    LoadedSettings load() const;
    // Twelve keys, every run, whatever the mode.
    void saveRun(const RunSettingsValues& values);
    // "YES" or "NO", from the confirmation only.
    void saveHyojiShinai(const QString& value);

private:
    QSettings& settings_;
};
