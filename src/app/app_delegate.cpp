#include "app_delegate.h"

#include "main_window.h"

AppDelegate::AppDelegate()
    : window_(std::make_unique<MainWindow>(settings_))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    window_->adjustSize();
    window_->show();
}
