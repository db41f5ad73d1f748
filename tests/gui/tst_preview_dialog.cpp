#include "gui_test_support.h"
#include "preview_dialog.h"
#include "preview_runner.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace gui_test;

namespace {

shotdate::RunSettings settingsFor(const QString& folder)
{
    shotdate::RunSettings s;
    s.inputPath = QFile::encodeName(folder).toStdString();
    s.dates.mode = std::int32_t(shotdate::DateMode::DateAndTime);
    s.dates.givenDate = *shotdate::makeLocalSeconds(2021, 5, 6, 7, 8, 9);
    return s;
}

// A row's cells: file, folder, date now, new date, what the run would do.
QStringList rowTexts(const QTableWidget& table, int row)
{
    QStringList texts;
    for (int c = 0; c < table.columnCount(); ++c)
        texts.append(table.item(row, c)->text());
    return texts;
}

// The bytes of every file in a folder, to prove a preview wrote nothing.
QMap<QString, QByteArray> contents(const QString& folder)
{
    QMap<QString, QByteArray> all;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        all.insert(name, readFile(folder + u'/' + name));
    return all;
}

} // namespace

class TestPreviewDialog : public QObject {
    Q_OBJECT
private slots:
    // The dates the rows show are the engine's to compute; here, the rows,
    // the totals and the limit on rows.
    void rowsAndTotals_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("totals");
        // clang-format off
        QTest::newRow("with files passed over") << 3 << 5 << u"書き換えるもの：3件　書き換えないもの：2件（全5ファイル）"_s;
        QTest::newRow("more files than rows") << 503 << 500 << u"書き換えるもの：503件　書き換えないもの：2件（全505ファイル）\n最初の500件だけを表示しています。"_s;
        // clang-format on
    }

    void rowsAndTotals()
    {
        QFETCH(int, photos);
        QFETCH(int, rows);
        QFETCH(QString, totals);
        QTemporaryDir dir;
        const QString in = dir.filePath(u"入力"_s);
        QVERIFY(fillFolder(in, photos));
        const QString out = dir.filePath(u"out"_s);
        QVERIFY(QDir().mkpath(out));
        const auto before = contents(in);
        shotdate::RunSettings settings = settingsFor(in);
        settings.outputFolder = QFile::encodeName(out).toStdString();

        QWidget window;
        PreviewDialog preview(settings, &window);
        preview.start();
        QTRY_VERIFY_WITH_TIMEOUT(!preview.runner().isRunning(), 60000);
        QTRY_VERIFY(!preview.stopButton()->isEnabled());

        const QTableWidget& table = *preview.table();
        QCOMPARE(table.rowCount(), rows);
        QCOMPARE(preview.totalsLabel()->text(), totals);
        // In the run's order, by name.
        QCOMPARE(rowTexts(table, 0), (QStringList{u"0-メモ.txt"_s, in, QString(), QString(), u"画像ではありません"_s}));
        QCOMPARE(rowTexts(table, 1),
                 (QStringList{u"p001.jpg"_s, in, kOldDate, u"2021:05:06 07:08:09"_s, u"書き換えできます"_s}));
        // A preview writes nothing, anywhere.
        QCOMPARE(contents(in), before);
        QVERIFY(QDir(out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void stoppingEndsTheDryRun_data()
    {
        QTest::addColumn<bool>("closeIt");
        QTest::newRow("止める") << false;
        QTest::newRow("closing the preview") << true;
    }

    void stoppingEndsTheDryRun()
    {
        QFETCH(bool, closeIt);
        QTemporaryDir dir;
        const QString in = dir.filePath(u"入力"_s);
        QVERIFY(fillFolder(in, 300, false));
        const auto before = contents(in);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* preview = new PreviewDialog(settingsFor(in), &window);
        QPointer<PreviewDialog> guard(preview);
        preview->setAttribute(Qt::WA_DeleteOnClose);
        Gate gate(preview->runner(), 2); // held at the second file until the test has pressed
        preview->start();
        preview->open();
        QTRY_VERIFY(gate.held());
        QVERIFY(preview->stopButton()->isEnabled());
        QVERIFY(preview->progressBar()->isVisible());
        QCOMPARE(preview->progressBar()->maximum(), 300);

        if (closeIt)
            preview->reject();
        else
            preview->stopButton()->click();
        gate.open();
        if (closeIt) {
            QTRY_VERIFY(guard.isNull()); // closed, its worker joined
        } else {
            QTRY_VERIFY(!preview->stopButton()->isEnabled());
            QVERIFY(!preview->runner().isRunning());
            const QString text = preview->totalsLabel()->text();
            QVERIFY2(text.contains(u"止めました（300ファイル中"_s), qPrintable(text));
            QVERIFY(preview->table()->rowCount() < 300);
            QVERIFY(preview->isVisible()); // stopping does not close it
        }
        QCOMPARE(contents(in), before);
    }
};

QTEST_MAIN(TestPreviewDialog)
#include "tst_preview_dialog.moc"
