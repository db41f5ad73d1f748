#pragma once

#include "main_controls.h"
#include "start_check.h"

#include "run/batch_run.h"

#include <QString>
#include <QWidget>

#include <optional>

class QSettings;
class QTimer;
class RunController;
class SettingsStore;
struct RunSettingsValues;

// The window's content and its controller: the controls, the handlers that
// keep them consistent, the saved settings, the start check and the run.
class MainContentView : public QWidget {
    Q_OBJECT
public:
    // `settings` is the store the window loads from and saves to; it must
    // outlive the view.
    explicit MainContentView(QSettings& settings, QWidget* parent = nullptr);
    ~MainContentView() override;

    const MainControls& controls() const { return c_; }
    RunController& runController() { return *run_; }

    bool isRunPending() const { return runPending_; }
    bool isRunning() const;
    const std::optional<QString>& hyojiShinai() const { return hyojiShinai_; }
    const QString& strOutInit() const { return strOutInit_; }

    // Tests replace the check of the paths on disk.
    void setPathProbe(start_check::PathProbe probe) { pathProbe_ = std::move(probe); }

    // After the current run, no closing message: the window is going away.
    void setQuitAfterRun(bool quit) { quitAfterRun_ = quit; }
    // Drops a run scheduled by the confirmation that has not started yet.
    void cancelPendingRun();

public slots:
    void shitei();
    void shiteiNichiji();
    void honjitsu();
    void betsuFolderChecked();
    void open();
    void outFolder();
    void start();
    void stop();
    // Starts a run now, unless one is pending or running.
    void jikko();
    void MukoComponent();
    void YukoComponent();

signals:
    // The worker is about to start: the controls are locked, the stop flag
    // clear. A stop requested now is seen before the first file.
    void runStarting();
    void runStarted();
    void runFinished(const shotdate::RunSummary& summary);

private:
    void getNSUserDefaults();
    void applyOutputFolderRule();
    void setOutputFieldInUse(bool inUse);
    void setCaptionsDimmed(bool dimmed);
    void setInputControlsEnabled(bool enabled);
    void scheduleRun();
    void openPreview(QWidget* over);
    void beginRun();
    // The run's display while it goes: progress, Stop, the controls locked.
    void showRunDisplay();
    // Undoes the run `runId` with the same progress, Stop and closing
    // message; nothing is saved.
    void beginUndo(const std::string& runId);
    QString recentShiftDetails() const;
    void endRun(const shotdate::RunSummary& summary);
    void showProgress(int count, const QString& fileName, int filesDone);
    RunSettingsValues currentSettingsValues() const;
    shotdate::RunSettings currentRunSettings() const;

    MainControls c_;
    SettingsStore* store_;
    RunController* run_;
    QTimer* startTimer_;
    start_check::PathProbe pathProbe_;
    QString strOutInit_;
    std::optional<QString> hyojiShinai_;
    bool runPending_ = false;
    bool quitAfterRun_ = false;
    bool undoing_ = false; // the run going (or just ended) is an undo
    QString undoNote_; // for the undo's closing message
};
