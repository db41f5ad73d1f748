#include "drop_path_field.h"
#include "gui_test_support.h"
#include "main_content_view.h"
#include "message_sheets.h"
#include "preview_dialog.h"
#include "preview_runner.h"
#include "radio_group.h"
#include "run_controller.h"
#include "window_texts.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeEdit>

using namespace Qt::StringLiterals;

using namespace gui_test;

namespace {

const QString kNewDate = u"2021:05:06 07:08:09"_s;

// The core puts files in place in batches and reports each batch after it
// is in place, so a hook in the reports holds the worker between batches.
// Lists in the stop tests are longer than any batch, so that a stop always
// leaves files untouched.
constexpr int kLongList = 300;

// Every control of an idle window in fixed date mode, the separate folder off.
const QString kUnlocked =
    QStringLiteral("in open format note sub separate allDates mode dateLabel daysLabel start variants date time today");

// How many photos of the long list hold the new date after a stop, when
// the stop fell between files: exactly the first ones, at least one and not
// all, none damaged and no temporary file left. -1 otherwise.
int stoppedPrefix(const QString& folder)
{
    int rewritten = 0;
    bool gap = false;
    for (int i = 1; i <= kLongList; ++i) {
        const bool changed = fileHoldsDate(photoPath(folder, i), kNewDate);
        if (changed == fileHoldsDate(photoPath(folder, i), kOldDate) || (changed && gap))
            return -1; // neither or both: damaged; or a file left out before a rewritten one
        rewritten += changed ? 1 : 0;
        gap = gap || !changed;
    }
    const QStringList temporaries =
        QDir(folder).entryList({u".shotdate-*"_s}, QDir::Files | QDir::Hidden | QDir::System);
    return rewritten >= 1 && rewritten < kLongList && temporaries.isEmpty() ? rewritten : -1;
}

} // namespace

class TestWindowRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        in_ = dir_->filePath(u"入力"_s);
        QVERIFY(QDir().mkpath(in_) && QDir().mkpath(dir_->filePath(u"out"_s)));
        settings_ = temporarySettings(*dir_);
        // No confirmation, unless a test asks for one.
        settings_->setValue(u"HYOJI_SHINAI"_s, u"YES"_s);
        answers_ = std::make_unique<message_sheets::TestAnswers>();
        // Each test's run journals in its own folder.
        qputenv("XDG_STATE_HOME", dir_->filePath(u"state"_s).toLocal8Bit());
    }

    void cleanup()
    {
        answers_.reset();
        settings_.reset();
        dir_.reset();
    }

    // Which files a run rewrites, and how, is the engine's test; here, what
    // the window shows of it. The preview opens from the confirmation and
    // leaves the answer to it; what the preview shows is its own test.
    void wholeRunReports()
    {
        QVERIFY(fillFolder(in_, 3));
        settings_->remove(u"HYOJI_SHINAI"_s);
        MainContentView view(*settings_);
        const MainControls& c = view.controls();
        setFixedDate(c, in_);

        QStringList labelTexts;
        connect(&view.runController(), &RunController::progressed, this,
                [&] { labelTexts.append(c.jikkochuLabel->text()); });
        QString atStart; // the controls enabled, and the label shown and empty
        connect(&view, &MainContentView::runStarted, this, [&] {
            atStart = enabledControls(c) + u'|' + c.jikkochuLabel->text() + u'|'
                + (c.jikkochuLabel->isHidden() ? u"hidden"_s : u"shown"_s);
        });
        view.show();

        answers_->pressPreviewOnNextConfirmation();
        answers_->answerNextConfirmation(true, false);
        c.StartButton->click();
        QTRY_COMPARE(answers_->shown().size(), 3);
        QVERIFY(!view.isRunning() && !view.isRunPending());
        QVERIFY(answers_->shown().at(0).confirmation && answers_->shown().at(1).preview);
        PreviewDialog* preview = view.findChild<PreviewDialog*>();
        QVERIFY(preview);
        QTRY_VERIFY_WITH_TIMEOUT(preview->runner().counts().finished, 20000);
        QCOMPARE(preview->runner().counts().total, 5);

        const message_sheets::Shown closing = answers_->shown().at(2);
        QCOMPARE(closing.text, u"完了しました。\n\n計3ファイル"_s);
        QCOMPARE(closing.icon, message_sheets::Icon::Spacer);
        // Files passed over are listed with their reasons.
        const QList<PassedOverRow> passedOver{{u"0-メモ.txt"_s, in_, u"画像ではありません"_s},
                                              {u"z-noexif.jpg"_s, in_, u"EXIFなし"_s}};
        QCOMPARE(closing.passedOver, passedOver);

        QCOMPARE(atStart, u"stop||shown"_s);
        // Empty until the first success, then the count and the file's name.
        while (!labelTexts.isEmpty() && labelTexts.first().isEmpty())
            labelTexts.removeFirst();
        QVERIFY(!labelTexts.isEmpty());
        for (const QString& t : labelTexts)
            QVERIFY2(t.startsWith(u"実行中：\n"_s), qPrintable(t));
        QCOMPARE(c.jikkochuLabel->text(), u"実行中：\n3ファイル目\n\np003.jpg"_s);

        // Restored afterwards; the separate folder is off.
        QVERIFY(c.jikkochuLabel->isHidden());
        QCOMPARE(enabledControls(c), kUnlocked);
        QVERIFY(!view.runController().stopRequested());
    }

    // The output folder and the box for every copy of the date reach the
    // run; what the engine then writes is its own test.
    void optionsReachTheRun_data()
    {
        QTest::addColumn<bool>("separate");
        QTest::addColumn<bool>("allDates");
        QTest::newRow("in place, every copy: the sidecar's date moves too") << false << true;
        QTest::newRow("in place, the box off: the sidecar is not written") << false << false;
        QTest::newRow("into the output folder") << true << false;
    }

    void optionsReachTheRun()
    {
        QFETCH(bool, separate);
        QFETCH(bool, allDates);
        const QString sidecar = in_ + u"/IMG_1.xmp"_s;
        QVERIFY(writeFile(in_ + u"/IMG_1.JPG"_s, jpegWithExif(kOldDate)));
        const QByteArray sidecarText =
            QByteArrayLiteral("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                              "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                              "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'"
                              " xmp:CreateDate='2010-01-02T03:04:05'/></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>");
        QVERIFY(writeFile(sidecar, sidecarText));
        QVERIFY(writeFile(in_ + u"/.hidden.jpg"_s, jpegWithExif(kOldDate)));
        // An older file of the same name in the output folder is replaced.
        const QString out = dir_->filePath(u"out"_s);
        QVERIFY(writeFile(out + u"/IMG_1.JPG"_s, QByteArrayLiteral("an older file")));
        MainContentView view(*settings_);
        const MainControls& c = view.controls();
        setFixedDate(c, in_);
        if (c.allDatesCheckBox->isChecked() != allDates)
            c.allDatesCheckBox->click();
        if (separate) {
            c.betsuFolderCheckBox->click();
            c.OutPathLabel->setText(out);
        }
        c.StartButton->click();
        QTRY_COMPARE(answers_->shown().size(), 1);
        QCOMPARE(answers_->shown().first().text, window_texts::finished(2));
        QCOMPARE(fileHoldsDate(out + u"/IMG_1.JPG"_s, kNewDate), separate);
        QCOMPARE(QFile::exists(out + u"/.hidden.jpg"_s), separate);
        QByteArray expected = sidecarText;
        if (allDates)
            expected.replace("2010-01-02T03:04:05", "2021-05-06T07:08:09");
        QCOMPARE(readFile(sidecar), expected);
    }

    void stopBetweenOrDuringFiles_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<int>("stopAt"); // the target whose report holds the worker; 0: as the run starts
        QTest::addColumn<QString>("message"); // "": stopped, counting the files rewritten
        // The folder: 0-メモ.txt, the photos p001.jpg..., z-noexif.jpg.
        QTest::newRow("mid-run: the count is the files rewritten, not tried") << kLongList << 2 << QString();
        QTest::newRow("before the first file") << 2 << 0 << window_texts::stopped(0);
        QTest::newRow("during the last file: finished, full count") << 2 << 4 << window_texts::finished(2);
    }

    void stopBetweenOrDuringFiles()
    {
        QFETCH(int, photos);
        QFETCH(int, stopAt);
        QFETCH(QString, message);
        QVERIFY(fillFolder(in_, photos));
        MainContentView view(*settings_);
        const MainControls& c = view.controls();
        setFixedDate(c, in_);
        Gate gate(view.runController(), std::size_t(stopAt));
        QMetaObject::Connection stopAtStart;
        if (stopAt == 0)
            stopAtStart = connect(&view, &MainContentView::runStarting, &view, &MainContentView::stop);
        c.StartButton->click();
        if (stopAt != 0) {
            QTRY_VERIFY_WITH_TIMEOUT(gate.held(), 20000);
            // Locked while the worker is held.
            QVERIFY(view.isRunning());
            QCOMPARE(enabledControls(c), u"stop"_s);
            QVERIFY(!c.jikkochuLabel->isHidden() && !c.progressBar->isHidden());
            QTRY_COMPARE(c.progressBar->maximum(), photos + 2);
            c.StopButton->click();
            gate.open();
        }
        QTRY_COMPARE(answers_->shown().size(), 1);
        if (message.isEmpty()) {
            const int rewritten = stoppedPrefix(in_);
            QVERIFY(rewritten > 0);
            message = u"中止しました。\n\n計%1ファイル実行"_s.arg(rewritten);
            QCOMPARE(answers_->shown().first().icon, message_sheets::Icon::Bickuri);
        }
        QCOMPARE(answers_->shown().first().text, message);
        QCOMPARE(enabledControls(c), kUnlocked);
        QVERIFY(c.jikkochuLabel->isHidden());
        QVERIFY(!view.runController().stopRequested());

        // The next run starts afresh: its count is its own (the files already
        // done rewritten to the same date again).
        disconnect(stopAtStart);
        answers_->clearShown();
        view.runController().setFileHookForTests({});
        c.StartButton->click();
        QTRY_COMPARE(answers_->shown().size(), 1);
        QCOMPARE(answers_->shown().first().text, window_texts::finished(photos));
    }

    void progressIsCoalesced()
    {
        // Many quick files while the UI thread is busy: the window receives a
        // handful of progress reports, not one per file.
        for (int i = 0; i < 2000; ++i)
            QVERIFY(writeFile(in_ + u"/n%1.txt"_s.arg(i, 4, 10, QLatin1Char('0')), QByteArrayLiteral("x")));
        MainContentView view(*settings_);
        setFixedDate(view.controls(), in_);
        Gate gate(view.runController(), 2000);
        view.controls().StartButton->click();
        // The UI thread does not look at its queue until the worker is at the
        // last file.
        for (const QDeadlineTimer deadline(60000); !gate.held(); QThread::msleep(5))
            QVERIFY(!deadline.hasExpired());
        gate.open();
        QTRY_COMPARE(answers_->shown().size(), 1);
        QCOMPARE(answers_->shown().first().text, window_texts::finished(0));
        const int deliveries = view.runController().progressDeliveries();
        QVERIFY2(deliveries >= 1 && deliveries <= 3, qPrintable(QString::number(deliveries)));
    }

    void closingProcessExitsCleanly_data()
    {
        QTest::addColumn<bool>("midRun");
        QTest::newRow("idle window") << false;
        QTest::newRow("during a run") << true;
    }

    void closingProcessExitsCleanly()
    {
        QFETCH(bool, midRun);
        if (midRun)
            QVERIFY(fillFolder(in_, kLongList));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(CLOSE_MID_RUN_CHILD), {dir_->filePath(u"child.ini"_s), midRun ? in_ : u"-"_s});
        QVERIFY(child.waitForStarted());
        // A window that does not quit when closed leaves the child running.
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        // The child closed its window during the run: what was being written
        // is complete, the rest untouched, nothing half-written anywhere.
        QVERIFY(!midRun || stoppedPrefix(in_) > 0);
    }

    void undoFromTheClosingMessage_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<bool>("answer"); // to "今回の変更を元に戻しますか？"
        QTest::newRow("rewritten, undone") << 2 << true;
        QTest::newRow("rewritten, undo cancelled") << 2 << false;
        QTest::newRow("nothing rewritten: no undo offered") << 0 << false;
    }

    void undoFromTheClosingMessage()
    {
        QFETCH(int, photos);
        QFETCH(bool, answer);
        QVERIFY(fillFolder(in_, photos));
        MainContentView view(*settings_);
        setFixedDate(view.controls(), in_);
        answers_->pressUndoOnNextClosingMessage();
        answers_->answerNextConfirmation(answer, false);
        view.controls().StartButton->click();
        QTRY_VERIFY(!answers_->shown().isEmpty() && !view.isRunning());
        QCOMPARE(answers_->shown().first().undoOffered, photos > 0);
        if (photos == 0)
            return;
        // The question, then (when answered yes) the undo's own closing
        // message, counting the files put back; what they hold again is the
        // undo's own test.
        QTRY_COMPARE(answers_->shown().size(), answer ? 3 : 2);
        QCOMPARE(answers_->shown().at(1).text, u"今回の変更を元に戻しますか？"_s);
        QTRY_VERIFY(!view.isRunning());
        QCOMPARE(answers_->shown().size(), answer ? 3 : 2);
        if (answer) {
            const message_sheets::Shown closing = answers_->shown().at(2);
            QCOMPARE(closing.text, window_texts::finished(photos));
            QVERIFY(!closing.undoOffered);
            QVERIFY(view.controls().StartButton->isEnabled());
        }

        // The question as it opens: キャンセル is the default and Escape's.
        QWidget parent;
        std::unique_ptr<QMessageBox> box(message_sheets::makeUndoQuestion(&parent));
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(box->defaultButton()->text(), u"キャンセル"_s);
        QCOMPARE(box->escapeButton(), box->defaultButton());
    }

    // An hour's shift, then a fixed date over the same files: the second
    // confirmation notes the first run.
    void confirmationDetailsNoteARecentShift()
    {
        QVERIFY(fillFolder(in_, 1));
        settings_->remove(u"HYOJI_SHINAI"_s);
        MainContentView view(*settings_);
        const MainControls& c = view.controls();
        setFixedDate(c, in_);
        c.shiteiMatrix->button(1)->click();
        c.jisaJikanPicker->setTime(QTime(1, 0));
        answers_->answerNextConfirmation(true, false);
        c.StartButton->click();
        QTRY_COMPARE(answers_->shown().size(), 2);
        QCOMPARE(answers_->shown().at(1).text, window_texts::finished(1));
        c.shiteiMatrix->button(0)->click();
        c.StartButton->click();
        QTRY_COMPARE(answers_->shown().size(), 3);
        const message_sheets::Shown confirmation = answers_->shown().last();
        QCOMPARE(confirmation.text, window_texts::confirmation()); // its wording stays
        QVERIFY2(confirmation.details.contains(u"+01:00:00ずらした実行があります（24時間以内）"_s),
                 qPrintable(confirmation.details));
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<message_sheets::TestAnswers> answers_;
    QString in_;
};

QTEST_MAIN(TestWindowRun)
#include "tst_window_run.moc"
