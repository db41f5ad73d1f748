#pragma once

#include "passed_over_list.h"

#include <QTableWidget>

// The list of files a run passed over: name, folder, reason. Rows can be
// selected (Ctrl+A selects all) and Ctrl+C copies them as tab-separated
// lines.
class PassedOverTable : public QTableWidget {
    Q_OBJECT
public:
    explicit PassedOverTable(const QList<PassedOverRow>& rows, QWidget* parent = nullptr);

    // The whole content without scrolling, at most `limit`; a folder column
    // too wide for it is narrowed (its text elided in the middle, whole in
    // its tool tip).
    QSize fitTo(QSize limit);
    QSize sizeHint() const override { return fitted_; }

    // The selected rows, or every row when none is selected.
    QString textToCopy() const;
    void copyToClipboard() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSize contentSize() const;

    QList<PassedOverRow> rows_;
    QSize fitted_;
};
