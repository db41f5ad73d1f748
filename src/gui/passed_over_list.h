#pragma once

#include "run/batch_run.h"

#include <QList>
#include <QString>

// One line of the closing message's list of what a run did not rewrite.
struct PassedOverRow {
    QString fileName;
    QString folder;
    QString reason;  // the window's own words (reason_text)

    bool operator==(const PassedOverRow&) const = default;
};

// The files passed over, then the folders that could not be read, in the
// order the run met them.
QList<PassedOverRow> passedOverRows(const shotdate::RunSummary& summary);

// Rows as tab-separated lines (name, folder, reason), as a spreadsheet or a
// text editor takes them from the clipboard.
QString passedOverTabText(const QList<PassedOverRow>& rows);
