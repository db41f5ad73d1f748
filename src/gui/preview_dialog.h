#pragma once

#include "run/batch_run.h"

#include <QDialog>

class PreviewRunner;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The preview a user can open from the run confirmation: what a run with
// the current settings would do to the first files, computed as a dry run
// while the dialog is open. Closing it stops the dry run.
class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(const shotdate::RunSettings& settings, QWidget* parent);
    ~PreviewDialog() override;

    // Starts the dry run; the table fills as it goes.
    void start();

    PreviewRunner& runner() { return *runner_; }
    QTableWidget* table() const { return table_; }
    QLabel* totalsLabel() const { return totals_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* stopButton() const { return stop_; }

    void done(int result) override;

private:
    void takeUpdate();
    void showTotals();

    shotdate::RunSettings settings_;
    PreviewRunner* runner_;
    QTableWidget* table_;
    QLabel* totals_;
    QProgressBar* progress_;
    QPushButton* stop_;
    QPushButton* close_;
};
