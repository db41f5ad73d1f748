#include "app_delegate.h"

#include "main_window.h"
#include "qt_translations.h"
#include "termination_signals.h"
#include "run/patch_replay.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Patches an earlier boot left unfinished, before the window can read a
// file: a torn span is put right. Said on stderr only; never stops the start.
void finishTornPatches()
{
    for (const shotdate::ReplayOutcome& outcome : shotdate::replayUnfinishedPatches()) {
        const char* path = outcome.path.c_str();
        switch (outcome.kind) {
        case shotdate::ReplayOutcome::Kind::Replayed:
            std::fprintf(stderr, "shotdate: finished the new date cut short by a power loss: %s\n", path);
            break;
        case shotdate::ReplayOutcome::Kind::ForeignBytes:
            std::fprintf(stderr, "shotdate: a date cut short by a power loss was changed since, left as it is: %s\n",
                         path);
            break;
        case shotdate::ReplayOutcome::Kind::Failed:
            std::fprintf(stderr, "shotdate: could not finish a date cut short by a power loss: %s: %s\n", path,
                         std::strerror(outcome.error));
            break;
        case shotdate::ReplayOutcome::Kind::NotSameFile: break;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    finishTornPatches();
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
