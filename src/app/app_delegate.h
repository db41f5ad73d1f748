#pragma once

#include <QSettings>

#include <memory>

class MainWindow;

// Sets the application up and holds its one window.
class AppDelegate {
public:
    AppDelegate();
    ~AppDelegate();

    void applicationDidFinishLaunching();
    MainWindow* window() const { return window_.get(); }

private:
    QSettings settings_;
    std::unique_ptr<MainWindow> window_;
};
