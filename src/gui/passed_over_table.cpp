#include "passed_over_table.h"

#include "window_texts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

enum Column { NameColumn, FolderColumn, ReasonColumn, ColumnCount };

QTableWidgetItem* readOnlyItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

PassedOverTable::PassedOverTable(const QList<PassedOverRow>& rows, QWidget* parent)
    : QTableWidget(int(rows.size()), ColumnCount, parent)
    , rows_(rows)
{
    setHorizontalHeaderLabels(
        {window_texts::fileNameColumn(), window_texts::folderColumn(), window_texts::reasonColumn()});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTextElideMode(Qt::ElideMiddle);
    setWordWrap(false);
    setAlternatingRowColors(true);
    verticalHeader()->setVisible(false);
    // One fixed row height: measuring every row would take seconds for a
    // run that passed over thousands of files.
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int r = 0; r < rows.size(); ++r) {
        setItem(r, NameColumn, readOnlyItem(rows[r].fileName));
        QTableWidgetItem* folder = readOnlyItem(rows[r].folder);
        folder->setToolTip(rows[r].folder);
        setItem(r, FolderColumn, folder);
        setItem(r, ReasonColumn, readOnlyItem(rows[r].reason));
    }
    resizeColumnsToContents();

    fitted_ = contentSize();
}

QSize PassedOverTable::contentSize() const
{
    int width = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < ColumnCount; ++c)
        width += columnWidth(c);
    int height = 2 * frameWidth() + horizontalHeader()->sizeHint().height();
    for (int r = 0; r < rowCount(); ++r)
        height += rowHeight(r);
    return {width, height};
}

QSize PassedOverTable::fitTo(QSize limit)
{
    const QSize content = contentSize();
    if (content.width() > limit.width()) {
        // The folder column takes whatever width the others leave, now and
        // when the user resizes the dialog.
        const int excess = content.width() - limit.width();
        const int minimum = fontMetrics().averageCharWidth() * 12;
        setColumnWidth(FolderColumn, std::max(minimum, columnWidth(FolderColumn) - excess));
        horizontalHeader()->setStretchLastSection(false);
        horizontalHeader()->setSectionResizeMode(FolderColumn, QHeaderView::Stretch);
    }
    fitted_ = contentSize().boundedTo(limit);
    updateGeometry();
    return fitted_;
}

QString PassedOverTable::textToCopy() const
{
    QList<int> selected;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        selected.append(index.row());
    if (selected.isEmpty())
        return passedOverTabText(rows_);
    std::sort(selected.begin(), selected.end());
    QList<PassedOverRow> rows;
    for (int r : selected)
        rows.append(rows_[r]);
    return passedOverTabText(rows);
}

void PassedOverTable::copyToClipboard() const
{
    QGuiApplication::clipboard()->setText(textToCopy());
}

void PassedOverTable::keyPressEvent(QKeyEvent* event)
{
    // The view's own copy takes only the current cell.
    if (event->matches(QKeySequence::Copy)) {
        copyToClipboard();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}
