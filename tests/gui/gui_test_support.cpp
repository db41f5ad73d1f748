#include "gui_test_support.h"

#include "days_stepper.h"
#include "drop_path_field.h"
#include "main_content_view.h"
#include "radio_group.h"
#include "tiff_builder.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

namespace gui_test {

QByteArray jpegWithExif(const QString& exifDate)
{
    using namespace shotdate::testing_support;
    const std::string date = exifDate.toStdString();
    const Bytes jpeg = jpegWith(date.empty() ? Bytes{} : exifTiff(date, date));
    return QByteArray(reinterpret_cast<const char*>(jpeg.data()), qsizetype(jpeg.size()));
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString photoPath(const QString& folder, int i)
{
    return folder + QStringLiteral("/p%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
}

bool fillFolder(const QString& folder, int photos, bool others)
{
    bool ok = QDir().mkpath(folder);
    const QByteArray jpeg = jpegWithExif(kOldDate);
    for (int i = 1; i <= photos; ++i)
        ok = ok && writeFile(photoPath(folder, i), jpeg);
    if (others)
        ok = ok && writeFile(folder + QStringLiteral("/0-メモ.txt"), QByteArrayLiteral("not an image"))
            && writeFile(folder + QStringLiteral("/z-noexif.jpg"), jpegWithExif());
    return ok;
}

void setFixedDate(const MainControls& c, const QString& input)
{
    c.InpPathLabel->setText(input);
    if (c.betsuFolderCheckBox->isChecked())
        c.betsuFolderCheckBox->click();
    c.shiteiMatrix->button(0)->click();
    c.shiteiNichijiMatrix->button(0)->click();
    c.shiteiHidukePicker->setDate(QDate(2021, 5, 6));
    c.shiteiJikanPicker->setTime(QTime(7, 8, 9));
}

QString enabledControls(const MainControls& c)
{
    // clang-format off
    const std::pair<const char*, bool> controls[] = {
        {"in", c.InpPathLabel->isEnabled()}, {"open", c.OpenButton->isEnabled()},
        {"format", c.FormatTextField->isEnabled()}, {"note", c.setsumeiLabel->isEnabled()},
        {"sub", c.subfolerCheckBox->isEnabled()}, {"separate", c.betsuFolderCheckBox->isEnabled()},
        {"allDates", c.allDatesCheckBox->isEnabled()}, {"mode", c.shiteiMatrix->isEnabled()},
        {"dateLabel", c.shiteiHidukeLabel->isEnabled()}, {"daysLabel", c.jisaNissuLabel->isEnabled()},
        {"start", c.StartButton->isEnabled()}, {"stop", c.StopButton->isEnabled()},
        {"variants", c.shiteiNichijiMatrix->isEnabled()}, {"date", c.shiteiHidukePicker->isEnabled()},
        {"time", c.shiteiJikanPicker->isEnabled()}, {"today", c.HonjitsuButton->isEnabled()},
        {"days", c.jisaNissuTextField->isEnabled()}, {"stepper", c.jisaNissuStepper->isEnabled()},
        {"shift", c.jisaJikanPicker->isEnabled()}, {"direction", c.susumuModoruMatrix->isEnabled()},
        {"out", c.OutPathLabel->isEnabled()}, {"outButton", c.OutFolderButton->isEnabled()}};
    // clang-format on
    QStringList names;
    for (const auto& [name, enabled] : controls)
        if (enabled)
            names << QString::fromLatin1(name);
    return names.join(u' ');
}

} // namespace gui_test
