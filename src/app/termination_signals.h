#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP (a logout, `kill`) into a polite request on the
// UI thread, so the window can close as when its close button is pressed:
// the run stops after the file in hand and no unfinished copy is left.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
