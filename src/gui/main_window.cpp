#include "main_window.h"

#include "main_content_view.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QKeySequence>

// Q_INIT_RESOURCE cannot stand inside a namespace.
static void initWindowResources()
{
    Q_INIT_RESOURCE(shotdate_gui);
}

QIcon applicationIcon()
{
    initWindowResources();
    QIcon icon;
    for (int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/shotdate-%1.png").arg(size), QSize(size, size));
    return icon;
}

MainWindow::MainWindow(QSettings& settings, QWidget* parent)
    : QMainWindow(parent)
    , view_(new MainContentView(settings, this))
{
    setWindowTitle(QStringLiteral("ShotDate — 撮影日時の一括変更"));
    setWindowIcon(applicationIcon());
    setCentralWidget(view_);

    auto* quit = new QAction(this);
    quit->setShortcuts(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    connect(view_, &MainContentView::runFinished, this, [this] {
        if (closeAfterRun_)
            close();
    });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    view_->cancelPendingRun();
    if (view_->isRunning()) {
        // Never cut a file off: stop before the next one, close afterwards.
        closeAfterRun_ = true;
        view_->setQuitAfterRun(true);
        view_->stop();
        event->ignore();
        return;
    }
    event->accept();
}
