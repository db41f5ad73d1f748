#pragma once

#include <QMainWindow>

class MainContentView;
class QSettings;

// The application's one window. Closing it ends the application; during a
// run the current file is finished first (the run stops before the next
// one), then the window closes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QSettings& settings, QWidget* parent = nullptr);

    MainContentView* contentView() const { return view_; }
    bool isClosingAfterRun() const { return closeAfterRun_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainContentView* view_;
    bool closeAfterRun_ = false;
};

// The application's icon, from the built-in resources.
QIcon applicationIcon();
