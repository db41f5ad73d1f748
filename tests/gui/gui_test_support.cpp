#include "gui_test_support.h"

#include "main_content_view.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

namespace gui_test {
namespace {

void put16(QByteArray& b, quint16 v)
{
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}

void put32(QByteArray& b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

void putEntry(QByteArray& b, quint16 tag, quint16 type, quint32 count, quint32 value)
{
    put16(b, tag);
    put16(b, type);
    put32(b, count);
    put32(b, value);
}

// Little-endian TIFF: IFD0 with only the pointer to the Exif IFD, which
// holds the two dates as 20-byte ASCII values.
QByteArray exifSegment(const QString& exifDate)
{
    QByteArray tiff;
    tiff.append("II", 2);
    put16(tiff, 42);
    put32(tiff, 8);
    // IFD0 at 8: one entry.
    put16(tiff, 1);
    const quint32 exifIfd = 8 + 2 + 12 + 4;
    putEntry(tiff, 0x8769, 4, 1, exifIfd);
    put32(tiff, 0);
    // Exif IFD: two entries.
    const quint32 data = exifIfd + 2 + 2 * 12 + 4;
    put16(tiff, 2);
    putEntry(tiff, 0x9003, 2, 20, data);
    putEntry(tiff, 0x9004, 2, 20, data + 20);
    put32(tiff, 0);
    QByteArray date = exifDate.toLatin1();
    date.resize(19);
    date.append('\0');
    tiff.append(date);
    tiff.append(date);

    QByteArray segment;
    segment.append(char(0xff));
    segment.append(char(0xe1));
    const int length = 2 + 6 + int(tiff.size());
    segment.append(char(length >> 8));
    segment.append(char(length & 0xff));
    segment.append("Exif\0\0", 6);
    segment.append(tiff);
    return segment;
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
