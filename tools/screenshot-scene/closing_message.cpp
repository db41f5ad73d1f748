// The window as tools/screenshot shows it at the end of a run: opens on the
// folder it is given with the settings file it is given, presses 開始 once
// the window is up, and leaves the closing message on screen until killed.
//   shotdate_closing_scene <settings.ini> <folder>
#include "main_content_view.h"
#include "main_window.h"
#include "qt_translations.h"
#include "settings_store.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    installQtJapaneseTexts(app);
    QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    settings.setValue(settings_keys::inpPath(), QString::fromLocal8Bit(argv[2]));
    settings.setValue(settings_keys::subFolder(), QStringLiteral("YES"));
    settings.setValue(settings_keys::betsuFolder(), QStringLiteral("NO"));
    settings.setValue(settings_keys::shitei(), 1);  // shift each photo's own date
    settings.setValue(settings_keys::jisaNissu(), QStringLiteral("1"));
    settings.setValue(settings_keys::hyojiShinai(), QStringLiteral("YES"));

    MainWindow window(settings);
    window.setWindowIcon(applicationIcon());
    window.adjustSize();
    window.show();
    QTimer::singleShot(500, window.contentView()->controls().StartButton, &QPushButton::click);
    return QApplication::exec();
}
