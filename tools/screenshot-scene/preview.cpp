// Opens the real window over a folder of sample photos, presses Start and
// then "プレビュー…" in the confirmation, for tools/screenshot to capture the
// preview. Prints "ready" once the preview has its totals; quits when the
// preview or the window is closed.
//   shotdate_preview_scene <settings.ini> <folder of photos>
#include "drop_path_field.h"
#include "main_content_view.h"
#include "main_window.h"
#include "preview_dialog.h"
#include "preview_runner.h"
#include "radio_group.h"
#include "window_texts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimeEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    MainWindow window(settings);
    const MainControls& c = window.contentView()->controls();
    c.InpPathLabel->setText(folder);
    if (c.betsuFolderCheckBox->isChecked())
        c.betsuFolderCheckBox->click();
    c.shiteiMatrix->button(1)->click();
    c.jisaNissuTextField->setText(QStringLiteral("1"));
    c.jisaJikanPicker->setTime(QTime(2, 0, 0));
    window.adjustSize();
    window.show();

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        for (auto* box : window.findChildren<QMessageBox*>()) {
            for (QAbstractButton* b : box->buttons())
                if (b->text() == window_texts::previewButton() && box->isVisible() && !box->findChild<PreviewDialog*>())
                    b->click();
        }
        if (auto* preview = window.findChild<PreviewDialog*>()) {
            if (preview->runner().counts().finished && preview->isVisible()) {
                std::printf("ready\n");
                std::fflush(stdout);
                poll.stop();
                QObject::connect(preview, &QObject::destroyed, &app, &QApplication::quit);
            }
        }
    });
    poll.start(100);
    QTimer::singleShot(300, c.StartButton, &QPushButton::click);
    return QApplication::exec();
}
