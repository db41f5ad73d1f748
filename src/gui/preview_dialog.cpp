#include "preview_dialog.h"

#include "preview_runner.h"
#include "reason_text.h"
#include "window_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>

namespace {

enum Column { FileName, Folder, OldDate, NewDate, Outcome };

QString pathText(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Date fields hold ASCII; anything else in them is shown, not trusted.
QString dateText(const std::string& date)
{
    return QString::fromLatin1(date.data(), qsizetype(date.size()));
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

PreviewDialog::PreviewDialog(const shotdate::RunSettings& settings, QWidget* parent)
    : QDialog(parent)
    , settings_(settings)
    , runner_(new PreviewRunner(this))
    , table_(new QTableWidget(0, int(window_texts::previewColumns().size()), this))
    , totals_(new QLabel(this))
    , progress_(new QProgressBar(this))
    , stop_(new QPushButton(window_texts::previewStop(), this))
    , close_(new QPushButton(window_texts::close(), this))
{
    setWindowTitle(window_texts::previewTitle());
    setWindowModality(Qt::WindowModal);
    setSizeGripEnabled(true);

    table_->setHorizontalHeaderLabels(window_texts::previewColumns());
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    table_->horizontalHeader()->setStretchLastSection(true);

    totals_->setText(window_texts::previewChecking(0, 0));
    totals_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    close_->setAutoDefault(false);
    stop_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addStretch(0);  // holds the buttons at the right once the bar is gone
    buttons->addWidget(stop_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(totals_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    resize(820, 480);

    connect(stop_, &QPushButton::clicked, runner_, &PreviewRunner::requestStop);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(runner_, &PreviewRunner::updated, this, &PreviewDialog::takeUpdate);
    connect(runner_, &PreviewRunner::finished, this, [this] {
        takeUpdate();
        showTotals();
        progress_->setVisible(false);
        stop_->setEnabled(false);
        table_->resizeColumnsToContents();
        // Sized to its content, the last column takes up the rest again.
        table_->horizontalHeader()->setStretchLastSection(false);
        table_->horizontalHeader()->setStretchLastSection(true);
    });
}

void PreviewDialog::start()
{
    bool started = false;
    try {
        started = runner_->start(settings_);
    } catch (const std::exception&) {
        // No thread to be had: an empty preview, the confirmation still works.
    }
    if (!started) {
        showTotals();
        progress_->setVisible(false);
        stop_->setEnabled(false);
    }
}

PreviewDialog::~PreviewDialog() = default;

void PreviewDialog::done(int result)
{
    // Nothing left to look at: the dry run ends after the file in hand.
    runner_->requestStop();
    QDialog::done(result);
}

void PreviewDialog::takeUpdate()
{
    const std::vector<PreviewRunner::Row> rows = runner_->takeNewRows();
    const PreviewRunner::Counts counts = runner_->counts();
    if (!rows.empty()) {
        const bool firstRows = table_->rowCount() == 0;
        table_->setUpdatesEnabled(false);
        for (const PreviewRunner::Row& row : rows) {
            const int r = table_->rowCount();
            table_->insertRow(r);
            const QFileInfo path(pathText(row.path));
            table_->setItem(r, FileName, cell(row.unreadableFolder ? QString() : path.fileName()));
            table_->setItem(r, Folder, cell(row.unreadableFolder ? path.filePath() : path.path()));
            table_->setItem(r, OldDate, cell(dateText(row.oldDate)));
            table_->setItem(r, NewDate, cell(dateText(row.newDate)));
            table_->setItem(r, Outcome,
                            cell(row.unreadableFolder ? window_texts::unreadableFolder() : reasonText(row.reason)));
        }
        table_->setUpdatesEnabled(true);
        if (firstRows)
            table_->resizeColumnsToContents();
    }
    progress_->setRange(0, qMax(counts.total, 1));
    progress_->setValue(qMin(counts.done, progress_->maximum()));
    if (!counts.finished)
        totals_->setText(window_texts::previewChecking(counts.done, counts.total));
}

void PreviewDialog::showTotals()
{
    const PreviewRunner::Counts counts = runner_->counts();
    QString text = window_texts::previewTotals(counts.wouldRewrite, counts.passedOver, counts.total,
                                               counts.stopped ? counts.done : -1);
    if (counts.wouldRewrite + counts.passedOver > counts.rows)
        text += u'\n' + window_texts::previewRowsCut(counts.rows);
    totals_->setText(text);
}
