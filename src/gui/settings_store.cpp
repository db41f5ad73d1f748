#include "settings_store.h"

#include <QSettings>
#include <QVariant>

namespace {

std::optional<QString> textValue(const QSettings& settings, const QString& key)
{
    const QVariant v = settings.value(key);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

int intValue(const QSettings& settings, const QString& key)
{
    bool ok = false;
    const int v = settings.value(key).toInt(&ok);
    return ok ? v : 0;
}

// Dates are stored as local-time values, so that the pickers show the same
// wall-clock time after a change of time zone. A value written in another
// form is read as the local time it stands for.
std::optional<QDateTime> dateValue(const QSettings& settings, const QString& key)
{
    const QVariant v = settings.value(key);
    if (v.metaType().id() != QMetaType::QDateTime)
        return std::nullopt;
    QDateTime dt = v.toDateTime();
    if (!dt.isValid())
        return std::nullopt;
    if (dt.timeSpec() != Qt::LocalTime)
        dt = dt.toLocalTime();
    return dt;
}

QDateTime asLocal(const QDateTime& dt)
{
    // Keep the wall-clock fields, whatever form the picker reported.
    return QDateTime(dt.date(), dt.time(), Qt::LocalTime);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("YES") : QStringLiteral("NO");
}

} // namespace

SettingsStore::SettingsStore(QSettings& settings)
    : settings_(settings)
{
}

LoadedSettings SettingsStore::load() const
{
    using namespace settings_keys;
    LoadedSettings s;
    s.inpPath = textValue(settings_, inpPath()).value_or(QString());
    s.subFolder = textValue(settings_, subFolder()) == QStringLiteral("YES");
    const std::optional<QString> betsu = textValue(settings_, betsuFolder());
    if (betsu == QStringLiteral("YES"))
        s.betsuFolder = StoredBetsuFolder::Yes;
    else if (betsu == QStringLiteral("NO"))
        s.betsuFolder = StoredBetsuFolder::No;
    s.outPath = textValue(settings_, outPath()).value_or(QString());
    s.shitei = intValue(settings_, shitei());
    s.shiteiNichiji = intValue(settings_, shiteiNichiji());
    s.shiteiHiduke = dateValue(settings_, shiteiHiduke());
    s.shiteiJikan = dateValue(settings_, shiteiJikan());
    s.jisaNissu = textValue(settings_, jisaNissu());
    s.jisaJikan = dateValue(settings_, jisaJikan());
    s.susumuModoru = intValue(settings_, susumuModoru());
    s.hyojiShinai = textValue(settings_, hyojiShinai());
    s.allDates = textValue(settings_, allDates()) == QStringLiteral("YES");
    return s;
}

void SettingsStore::saveRun(const RunSettingsValues& v)
{
    using namespace settings_keys;
    settings_.setValue(inpPath(), v.inpPath);
    settings_.setValue(subFolder(), yesNo(v.subFolder));
    settings_.setValue(betsuFolder(), yesNo(v.betsuFolder));
    settings_.setValue(outPath(), v.outPath);
    settings_.setValue(shitei(), v.shitei);
    settings_.setValue(shiteiNichiji(), v.shiteiNichiji);
    settings_.setValue(shiteiHiduke(), asLocal(v.shiteiHiduke));
    settings_.setValue(shiteiJikan(), asLocal(v.shiteiJikan));
    settings_.setValue(jisaNissu(), v.jisaNissu);
    settings_.setValue(jisaJikan(), asLocal(v.jisaJikan));
    settings_.setValue(susumuModoru(), v.susumuModoru);
    settings_.setValue(allDates(), yesNo(v.allDates));
    settings_.sync();
}

void SettingsStore::saveHyojiShinai(const QString& value)
{
    settings_.setValue(settings_keys::hyojiShinai(), value);
    settings_.sync();
}
