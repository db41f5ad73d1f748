#pragma once

#include "run/batch_run.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

struct MainControls;

namespace gui_test {

// A small JPEG whose EXIF block holds DateTimeOriginal and DateTimeDigitized
// as `exifDate` ("yyyy:MM:dd HH:mm:ss"); without a date, no EXIF block at all.
QByteArray jpegWithExif(const QString& exifDate = {});
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// The date the photos of fillFolder hold.
inline const QString kOldDate = QStringLiteral("2010:01:02 03:04:05");
QString photoPath(const QString& folder, int i); // p001.jpg onwards
// Makes `folder` with `photos` photos; with `others`, also a text file sorted
// before them (0-メモ.txt) and a JPEG without EXIF after them (z-noexif.jpg),
// both passed over by a run, so that a run's first report is no success.
bool fillFolder(const QString& folder, int photos, bool others = true);
// Whether the file's bytes hold this date text.
inline bool fileHoldsDate(const QString& path, const QString& exifDate)
{
    return readFile(path).contains(exifDate.toLatin1());
}

// A settings store in its own temporary file; never the user's.
inline std::unique_ptr<QSettings> temporarySettings(const QTemporaryDir& dir)
{
    return std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
}

// The window set to write the fixed date 2021:05:06 07:08:09 over `input`, in place.
void setFixedDate(const MainControls& c, const QString& input);

// The window's controls that are enabled, by short names in a fixed order,
// so that a test compares the whole window's state at once.
QString enabledControls(const MainControls& c);

// Holds a worker (the window's run or the preview's) at the file with one
// index until the test opens it. It opens for good when it goes out of
// scope, so that a test that fails meanwhile never leaves the worker waiting.
class Gate {
public:
    template <typename Worker>
    Gate(Worker& worker, std::size_t atIndex)
    {
        worker.setFileHookForTests([state = state_, atIndex](const shotdate::FileReport& report) {
            if (report.index != atIndex)
                return;
            state->store(Held);
            state->wait(Held);
        });
    }
    ~Gate() { open(); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    bool held() const { return state_->load() == Held; }
    void open()
    {
        state_->store(Open);
        state_->notify_all();
    }

private:
    enum { Waiting, Held, Open };
    std::shared_ptr<std::atomic<int>> state_ = std::make_shared<std::atomic<int>>(Waiting);
};

} // namespace gui_test
