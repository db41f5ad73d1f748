// Runs the real window in a process of its own, starts a run, closes the
// window during the run and exits with whatever the application's event
// loop returns. With "-" for the folder, closes the idle window instead.
//   close_mid_run_child <settings.ini> <input folder | ->
#include "gui_test_support.h"
#include "main_content_view.h"
#include "main_window.h"
#include "message_sheets.h"
#include "run_controller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QThread>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    settings.setValue(QStringLiteral("HYOJI_SHINAI"), QStringLiteral("YES"));
    message_sheets::TestAnswers answers; // a stray message must not wait for a user

    MainWindow window(settings);
    if (QByteArray(argv[2]) == "-") {
        window.show();
        QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
        return QApplication::exec();
    }
    MainContentView& view = *window.contentView();
    const MainControls& c = view.controls();
    gui_test::setFixedDate(c, QString::fromLocal8Bit(argv[2]));

    RunController& run = view.runController();
    // At the second target (the first image, just written): ask the window
    // to close, and hold the worker until the close has asked it to stop.
    run.setFileHookForTests([&run, &window](const shotdate::FileReport& report) {
        if (report.index != 2)
            return;
        QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
        QElapsedTimer t;
        t.start();
        while (!run.stopRequested() && t.elapsed() < 30000)
            QThread::msleep(2);
    });
    window.show();
    QMetaObject::invokeMethod(c.StartButton, &QPushButton::click, Qt::QueuedConnection);
    const int result = QApplication::exec();
    return answers.shown().isEmpty() ? result : 3;
}
