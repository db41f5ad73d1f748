#include "gui_test_support.h"

#include "main_content_view.h"
#include "tiff_builder.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

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

void acceptAllPaths(MainContentView& view)
{
    view.setPathProbe([](const QString&, const std::optional<QString>&) { return true; });
}

} // namespace gui_test
