#include "app_delegate.h"

#include "main_window.h"
#include "qt_translations.h"
#include "termination_signals.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The settings live under these names (~/.config/ShotDate/ShotDate.conf).
    QCoreApplication::setOrganizationName(QStringLiteral("ShotDate"));
    QCoreApplication::setApplicationName(QStringLiteral("ShotDate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SHOTDATE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("shotdate"));
    QApplication::setWindowIcon(applicationIcon());

    if (!installQtJapaneseTexts(app))
        qWarning("Qt's Japanese texts (qtbase_ja) are not installed: Qt's own dialog texts stay in English");

    int result = 0;
    {
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                         [&delegate] { delegate.window()->close(); });
        result = QApplication::exec();
    }
    return result;
}
