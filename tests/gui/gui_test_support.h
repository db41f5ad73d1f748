#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class MainContentView;
struct MainControls;
class QSettings;
class QTemporaryDir;

namespace gui_test {

// A small real JPEG whose EXIF block holds DateTimeOriginal and
// DateTimeDigitized as `exifDate` ("yyyy:MM:dd HH:mm:ss"). Without a date,
// a JPEG with no EXIF block at all.
QByteArray jpegWithExif(const QString& exifDate);
QByteArray jpegWithoutExif();
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Whether the file's bytes hold this date text.
bool fileHoldsDate(const QString& path, const QString& exifDate);

// A settings store in its own temporary file; never the user's.
std::unique_ptr<QSettings> temporarySettings(const QTemporaryDir& dir,
                                             const QString& name = QStringLiteral("settings.ini"));

// Files our safe write path leaves behind if something goes wrong.
int temporaryFilesIn(const QString& folder);

// The window's controls that are enabled, by short names in a fixed order,
// so that a test compares the whole window's state at once.
QString enabledControls(const MainControls& c);

// Answers "yes, the paths exist" so that tests of the window's own rules
// need no real files.
void acceptAllPaths(MainContentView& view);

} // namespace gui_test
