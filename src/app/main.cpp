#include "app_delegate.h"

#include "main_window.h"
#include "termination_signals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The settings live under these names (~/.config/ShotDate/ShotDate.conf).
    QCoreApplication::setOrganizationName(QStringLiteral("ShotDate"));
    QCoreApplication::setApplicationName(QStringLiteral("ShotDate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SHOTDATE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("shotdate"));
    QApplication::setWindowIcon(applicationIcon());

    // Qt's own dialog texts (the file chooser, "Show Details...") in the
    // same language as ours.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

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
