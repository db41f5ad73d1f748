#include "gui_test_support.h"

#include "days_stepper.h"
#include "drop_path_field.h"
#include "main_content_view.h"
#include "radio_group.h"
#include "tiff_builder.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeEdit>

namespace gui_test {
namespace {

// The two dates as 20-byte values in an Exif IFD, as a camera stores them.
QByteArray exifSegment(const QString& exifDate)
{
    using namespace shotdate::testing_support;
    const std::string date = exifDate.toStdString();
    const Bytes segment = exifApp1(exifTiff(date, date));
    return QByteArray(reinterpret_cast<const char*>(segment.data()), qsizetype(segment.size()));
}

} // namespace

QByteArray jpegWithoutExif()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

QByteArray jpegWithExif(const QString& exifDate)
{
    QByteArray jpeg = jpegWithoutExif();
    if (jpeg.size() < 2)
        return {};
    // Right after the start-of-image marker, where readers look first.
    jpeg.insert(2, exifSegment(exifDate));
    return jpeg;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool fileHoldsDate(const QString& path, const QString& exifDate)
{
    return readFile(path).contains(exifDate.toLatin1());
}

std::unique_ptr<QSettings> temporarySettings(const QTemporaryDir& dir, const QString& name)
{
    return std::make_unique<QSettings>(dir.filePath(name), QSettings::IniFormat);
}

int temporaryFilesIn(const QString& folder)
{
    int n = 0;
    QDirIterator it(folder, {QStringLiteral(".shotdate-*")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
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
