// Drives the window's own run path without a display, for the benchmark:
// the real MainContentView, its start check and its worker thread, over a
// folder in place (or into OUTPUT), shifting every photo by one hour.
//
//   window_run_bench FOLDER [OUTPUT]
//
// Prints the closing message and, on a second line, "run seconds: S", the
// time from the Start click to the closing message (without Qt's own
// start-up); exits 0 when the run finished.
#include "drop_path_field.h"
#include "main_content_view.h"
#include "main_controls.h"
#include "message_sheets.h"
#include "radio_group.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: window_run_bench FOLDER [OUTPUT]\n");
        return 2;
    }
    // No confirmation. Written as a plain file, as a user's settings stand on
    // disk at launch: through QSettings it would cost a synced write of its
    // own that no user's window makes before Start.
    QTemporaryDir settingsDir;
    const QString settingsPath = settingsDir.filePath(QStringLiteral("settings.ini"));
    {
        QFile file(settingsPath);
        if (!file.open(QIODevice::WriteOnly) || file.write("[General]\nHYOJI_SHINAI=YES\n") < 0)
            return 2;
    }
    QSettings settings(settingsPath, QSettings::IniFormat);
    message_sheets::TestAnswers answers;

    MainContentView view(settings);
    const MainControls& c = view.controls();
    c.InpPathLabel->setText(QString::fromLocal8Bit(argv[1]));
    if (c.betsuFolderCheckBox->isChecked() != (argc == 3))
        c.betsuFolderCheckBox->click();
    if (argc == 3)
        c.OutPathLabel->setText(QString::fromLocal8Bit(argv[2]));
    c.subfolerCheckBox->setChecked(true);
    c.shiteiMatrix->button(1)->click();
    c.jisaNissuTextField->setText(QStringLiteral("0"));
    c.jisaJikanPicker->setTime(QTime(1, 0, 0));

    int status = 1;
    QElapsedTimer clock;
    // Taken as the closing message is recorded, not by polling for it: a
    // timer waking the UI thread every few milliseconds is a cost of the
    // driver, not of the window.
    QObject::connect(&view, &MainContentView::runFinished, &app, [&] {
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const QString text = answers.shown().isEmpty() ? QString() : answers.shown().first().text;
        std::printf("%s\n", text.toUtf8().constData());
        std::printf("run seconds: %.3f\n", seconds);
        status = text.startsWith(QStringLiteral("完了しました。")) ? 0 : 1;
        app.quit();
    });
    QTimer::singleShot(0, &app, [&] {
        clock.start();
        c.StartButton->click();
    });
    app.exec();
    return status;
}
