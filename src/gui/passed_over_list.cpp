#include "passed_over_list.h"

#include "reason_text.h"
#include "window_texts.h"

#include <QFile>
#include <QFileInfo>

namespace {

PassedOverRow rowFor(const std::string& path, const QString& reason)
{
    const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(path)));
    return PassedOverRow{info.fileName(), info.path(), reason};
}

} // namespace

QList<PassedOverRow> passedOverRows(const shotdate::RunSummary& summary)
{
    QList<PassedOverRow> rows;
    rows.reserve(qsizetype(summary.passedOverFiles.size() + summary.listingProblems.size()));
    for (const shotdate::FileReport& report : summary.passedOverFiles)
        rows.append(rowFor(report.inPath, reasonText(report.reason)));
    for (const shotdate::ListingProblem& problem : summary.listingProblems)
        rows.append(rowFor(problem.path, window_texts::folderUnreadable()));
    return rows;
}

QString passedOverTabText(const QList<PassedOverRow>& rows)
{
    QString text;
    for (const PassedOverRow& row : rows) {
        // A tab or line break inside a name would shift the columns of
        // every line after it.
        QStringList cells{row.fileName, row.folder, row.reason};
        for (QString& cell : cells)
            cell.replace(u'\t', u' ').replace(u'\n', u' ');
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}
