#include "clock.h"
#include "days_stepper.h"
#include "drop_path_field.h"
#include "gui_test_support.h"
#include "main_content_view.h"
#include "message_sheets.h"
#include "path_dialogs.h"
#include "qt_translations.h"
#include "radio_group.h"
#include "window_texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeView>

using namespace gui_test;
using namespace Qt::StringLiterals;

namespace {

QDateTime fixedNow()
{
    return QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58));
}

} // namespace

class TestMainContentView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        window_clock::setSourceForTests(&fixedNow);
        QVERIFY2(installQtJapaneseTexts(*QCoreApplication::instance()),
                 "qtbase_ja.qm did not load: install qt6-translations-l10n (tools/install-deps)");
    }

    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir(dir_->path()).mkpath(u"in/sub"_s) && QDir(dir_->path()).mkpath(u"out"_s));
        settings_ = temporarySettings(*dir_);
        answers_ = std::make_unique<message_sheets::TestAnswers>();
        view_ = std::make_unique<MainContentView>(*settings_);
    }

    void cleanup()
    {
        if (view_)
            QTRY_VERIFY(!view_->isRunning());
        view_.reset();
        answers_.reset();
        settings_.reset();
        dir_.reset();
    }

    void enablingRules_data()
    {
        QTest::addColumn<int>("variant"); // shiteiNichiji tag clicked first
        QTest::addColumn<int>("mode"); // shitei tag clicked then
        QTest::addColumn<bool>("separate");
        QTest::addColumn<bool>("afterRun"); // lock and unlock as a run does
        QTest::addColumn<QString>("options"); // enabled after the controls every mode has

        // clang-format off
        QTest::newRow("fixed, date and time") << 0 << 0 << true << false << u"variants date time today out outButton"_s;
        QTest::newRow("fixed, date only") << 1 << 0 << true << false << u"variants date today out outButton"_s;
        QTest::newRow("fixed, time only") << 2 << 0 << true << false << u"variants time out outButton"_s;
        QTest::newRow("shift after date and time keeps today on") << 0 << 1 << true << false << u"today days stepper shift direction out outButton"_s;
        QTest::newRow("shift after time only keeps today off") << 2 << 1 << true << false << u"days stepper shift direction out outButton"_s;
        QTest::newRow("separate folder off") << 0 << 0 << false << false << u"variants date time today"_s;
        QTest::newRow("after a run: fixed, time only") << 2 << 0 << true << true << u"variants time out outButton"_s;
        QTest::newRow("after a run in shift mode today is on") << 2 << 1 << true << true << u"today days stepper shift direction out outButton"_s;
        QTest::newRow("after a run with the separate folder off it stays off") << 0 << 0 << false << true << u"variants date time today"_s;
        QTest::newRow("after a run in shift mode, separate folder off") << 1 << 1 << false << true << u"today days stepper shift direction"_s;
        // clang-format on
    }

    void enablingRules()
    {
        QFETCH(int, variant);
        QFETCH(int, mode);
        QFETCH(bool, separate);
        QFETCH(bool, afterRun);
        QFETCH(QString, options);
        const MainControls& c = view_->controls();
        const QString everyMode = u"in open format note sub separate allDates mode dateLabel daysLabel start "_s;

        c.shiteiNichijiMatrix->button(variant)->click();
        c.shiteiMatrix->button(mode)->click();
        if (c.betsuFolderCheckBox->isChecked() != separate)
            c.betsuFolderCheckBox->click();
        if (afterRun) {
            view_->MukoComponent();
            QCOMPARE(enabledControls(c), u"start"_s); // the run itself swaps Start for Stop
            view_->YukoComponent();
        }
        QCOMPARE(enabledControls(c), everyMode + options);

        // Back to the fixed mode: the pickers follow the variant still selected.
        if (mode != 0) {
            c.shiteiMatrix->button(0)->click();
            QCOMPARE(c.shiteiHidukePicker->isEnabled(), variant != 2);
            QCOMPARE(c.shiteiJikanPicker->isEnabled(), variant != 1);
            QCOMPARE(c.HonjitsuButton->isEnabled(), variant != 2);
        }
    }

    void separateFolderOffAndOnShowsTheInstruction()
    {
        const MainControls& c = withPaths();
        const auto field = [&] { // its text, whether in use, whether in the usual colour
            const QColor usual = QApplication::palette(c.OutPathLabel).color(QPalette::Base);
            return u"%1|%2|%3"_s.arg(c.OutPathLabel->text())
                .arg(c.OutPathLabel->property("inUse").toBool())
                .arg(c.OutPathLabel->palette().color(QPalette::Base) == usual);
        };
        c.betsuFolderCheckBox->click();
        QCOMPARE(field(), u"|0|0"_s);
        c.betsuFolderCheckBox->click();
        QCOMPARE(field(), window_texts::outInit() + u"|1|1"_s);
    }

    void honjitsuSetsTheWholeDateEvenWhenDisabled()
    {
        const MainControls& c = view_->controls();
        c.shiteiHidukePicker->setDateTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
        c.shiteiJikanPicker->setTime(QTime(7, 7, 7));
        c.shiteiNichijiMatrix->button(0)->click();
        c.shiteiMatrix->button(1)->click();
        QVERIFY(!c.shiteiHidukePicker->isEnabled());
        QVERIFY(c.HonjitsuButton->isEnabled());
        // Early morning in Japan (the tests run with TZ=Asia/Tokyo) is still
        // yesterday in UTC: the picker must show the local date.
        window_clock::setSourceForTests([] { return QDateTime(QDate(2024, 1, 1), QTime(0, 30)); });
        c.HonjitsuButton->click();
        window_clock::setSourceForTests(&fixedNow);
        QCOMPARE(c.shiteiHidukePicker->date(), QDate(2024, 1, 1));
        QCOMPARE(c.shiteiHidukePicker->time(), QTime(0, 30));
        QCOMPARE(c.shiteiJikanPicker->time(), QTime(7, 7, 7));
    }

    void stepperStepsWithinRange_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("after");
        QTest::newRow("up from 0") << u"0"_s << 1 << u"1"_s;
        QTest::newRow("down from 0 stays") << u"0"_s << -1 << u"0"_s;
        QTest::newRow("up from 366 stays") << u"366"_s << 1 << u"366"_s;
        QTest::newRow("up from 12abc") << u"12abc"_s << 1 << u"13"_s;
        QTest::newRow("up from 999") << u"999"_s << 1 << u"366"_s;
        QTest::newRow("down from -5") << u"-5"_s << -1 << u"0"_s;
    }

    void stepperStepsWithinRange()
    {
        QFETCH(QString, text);
        QFETCH(int, steps);
        QFETCH(QString, after);
        const MainControls& c = view_->controls();
        c.shiteiMatrix->button(1)->click();
        for (const bool keys : {false, true}) { // the stepper's buttons, then the keys in the field
            c.jisaNissuTextField->setText(text);
            if (keys)
                QTest::keyClick(c.jisaNissuTextField, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
            else
                (steps > 0 ? c.jisaNissuStepper->upButton() : c.jisaNissuStepper->downButton())->click();
            QCOMPARE(c.jisaNissuTextField->text(), after);
        }
    }

    void startCheckInTheWindow_data()
    {
        QTest::addColumn<QString>("input"); // relative to the test folder; "" for empty
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("separate");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("message"); // "" for the confirmation
        QTest::addColumn<QString>("daysAfter");

        // Each rule on its own is start_check's test; here, that the window
        // hands it its fields and the real paths, and shows the answer.
        const QString in = window_texts::inputError();
        const QString days = window_texts::daysError();
        const QString out = u"out"_s;
        const QString zero = u"0"_s;
        // clang-format off
        QTest::newRow("no input") << QString() << out << true << u"x"_s << in << u"x"_s;
        QTest::newRow("input does not exist") << u"gone"_s << out << true << zero << in << zero;
        QTest::newRow("days 367") << u"in"_s << out << true << u"367"_s << days << zero;
        QTest::newRow("separate off, file in place") << u"file.jpg"_s << QString() << false << u"366"_s << QString() << u"366"_s;
        // clang-format on
    }

    void startCheckInTheWindow()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(bool, separate);
        QFETCH(QString, days);
        QFETCH(QString, message);
        QFETCH(QString, daysAfter);
        QVERIFY(writeFile(dir_->filePath(u"file.jpg"_s), QByteArrayLiteral("x")));

        const MainControls& c = view_->controls();
        auto full = [&](const QString& p) { return p.isEmpty() ? p : dir_->path() + u'/' + p; };
        if (c.betsuFolderCheckBox->isChecked() != separate)
            c.betsuFolderCheckBox->click();
        c.InpPathLabel->setText(full(input));
        c.OutPathLabel->setText(full(output));
        c.jisaNissuTextField->setText(days);

        c.StartButton->click();
        QCOMPARE(answers_->shown().size(), 1);
        const message_sheets::Shown shown = answers_->shown().first();
        QCOMPARE(shown.confirmation, message.isEmpty());
        QCOMPARE(shown.text, message.isEmpty() ? window_texts::confirmation() : message);
        QVERIFY(message.isEmpty() || shown.icon == message_sheets::Icon::Bickuri);
        QCOMPARE(c.jisaNissuTextField->text(), daysAfter);
        // Neither an error nor an unanswered confirmation stores or starts anything.
        QTest::qWait(30);
        QVERIFY(settings_->allKeys().isEmpty());
        QVERIFY(!view_->isRunning());
        QVERIFY(!view_->isRunPending() && c.StartButton->isEnabled());
    }

    void confirmationAnswers_data()
    {
        QTest::addColumn<bool>("run");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QString>("stored"); // HYOJI_SHINAI afterwards, "" for absent
        QTest::addColumn<bool>("asksAgain");
        QTest::newRow("cancel with the box ticked stores nothing") << false << true << QString() << true;
        QTest::newRow("cancel") << false << false << QString() << true;
        QTest::newRow("run with the box ticked") << true << true << u"YES"_s << false;
        QTest::newRow("run without the box") << true << false << u"NO"_s << true;
    }

    void confirmationAnswers()
    {
        QFETCH(bool, run);
        QFETCH(bool, tick);
        QFETCH(QString, stored);
        QFETCH(bool, asksAgain);
        const MainControls& c = withPaths();

        answers_->answerNextConfirmation(run, tick);
        c.StartButton->click();
        if (run) {
            QTRY_COMPARE(answers_->shown().size(), 2);
            QCOMPARE(answers_->shown().at(1).text, window_texts::finished(0));
            QCOMPARE(settings_->value(u"INP_PATH"_s).toString(), dir_->filePath(u"in"_s));
        } else {
            QTest::qWait(50);
            QCOMPARE(answers_->shown().size(), 1);
            QVERIFY(!settings_->contains(u"INP_PATH"_s));
            QVERIFY(c.StartButton->isEnabled());
        }
        QCOMPARE(settings_->value(u"HYOJI_SHINAI"_s).toString(), stored);

        // The next Start; a new window reads the stored answer as the run
        // tests' settings show.
        answers_->clearShown();
        c.StartButton->click();
        QCOMPARE(!answers_->shown().isEmpty() && answers_->shown().first().confirmation, asksAgain);
    }

    void oneRunOnlyWhilePendingOrRunning()
    {
        const MainControls& c = withPaths();
        answers_->answerNextConfirmation(true, false);
        answers_->answerNextConfirmation(true, false);
        // While running, neither a second start nor jikko does anything.
        int started = 0;
        connect(view_.get(), &MainContentView::runStarted, this, [&] {
            ++started;
            QVERIFY(!c.StartButton->isEnabled());
            view_->jikko();
            view_->start();
        });
        c.StartButton->click();
        // Answered: from here on the run is scheduled (the short timer has not
        // fired yet), and nothing starts a second.
        for (int i = 0; i < 100000 && !view_->isRunPending() && !view_->isRunning(); ++i)
            QCoreApplication::processEvents();
        QVERIFY(view_->isRunPending());
        QVERIFY(!c.StartButton->isEnabled());
        view_->jikko();
        view_->start();
        QCOMPARE(answers_->shown().size(), 1); // no second confirmation
        QTRY_VERIFY(!view_->isRunning() && !view_->isRunPending());
        QCOMPARE(started, 1);
        QTRY_COMPARE(answers_->shown().size(), 2);

        // jikko called directly twice in a row: one run.
        answers_->clearShown();
        view_->jikko();
        view_->jikko();
        QTRY_COMPARE(answers_->shown().size(), 1);
        QCOMPARE(started, 2);
    }

    void inputDialogTakesFoldersAndFiles_data()
    {
        // Steps under in/: a name selects it, "選択" presses the dialog's own
        // button, "このフォルダを選択" the one beside it.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("chosen"); // under in/; "" for in/ itself
        // clang-format off
        QTest::newRow("このフォルダを選択 takes the folder on show") << QStringList{u"このフォルダを選択"_s} << QString();
        QTest::newRow("選択 on a file takes it") << QStringList{u"写真.JPG"_s, u"選択"_s} << u"写真.JPG"_s;
        QTest::newRow("選択 on a folder opens it, then このフォルダを選択") << QStringList{u"sub"_s, u"選択"_s, u"このフォルダを選択"_s} << u"sub"_s;
        QTest::newRow("open a folder, then a file in it") << QStringList{u"sub"_s, u"選択"_s, u"sub/別.jpg"_s, u"選択"_s} << u"sub/別.jpg"_s;
        // clang-format on
    }

    void inputDialogTakesFoldersAndFiles()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, chosen);
        const QString in = dir_->filePath(u"in"_s);
        QVERIFY(writeFile(in + u"/写真.JPG"_s, QByteArrayLiteral("x")));
        QVERIFY(writeFile(in + u"/sub/別.jpg"_s, QByteArrayLiteral("x")));
        view_->show();
        view_->controls().InpPathLabel->setText(in + u"/写真.JPG"_s);
        view_->controls().OpenButton->click();
        InputPathDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = view_->findChild<InputPathDialog*>()) != nullptr);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->directory().absolutePath(), in);
        QVERIFY(dialog->nameFilters().first().startsWith(u"書き換えできる画像"_s));

        QPointer<InputPathDialog> guard(dialog);
        auto* buttons = dialog->findChild<QDialogButtonBox*>(u"buttonBox"_s);
        QVERIFY(buttons);
        QVERIFY(buttons->buttons().contains(dialog->chooseFolderButton()));
        for (const QString& step : steps) {
            QVERIFY(guard && guard->isVisible()); // open until the last step
            if (step == u"このフォルダを選択"_s) {
                QCOMPARE(dialog->chooseFolderButton()->text(), step);
                dialog->chooseFolderButton()->click();
            } else if (step == u"選択"_s) {
                QPushButton* own = buttons->button(QDialogButtonBox::Open);
                QTRY_VERIFY(own->isEnabled());
                own->click();
            } else {
                dialog->selectFile(in + u'/' + step);
            }
        }
        QTRY_COMPARE(view_->controls().InpPathLabel->text(), chosen.isEmpty() ? in : in + u'/' + chosen);
        QTRY_VERIFY(guard.isNull() || !guard->isVisible());
    }

    // The chooser lists images whatever the letter case of their names; Qt
    // draws some of its texts, such as its headers: they must come out in
    // Japanese on a machine set up by tools/install-deps.
    void inputDialogListsImagesInJapanese()
    {
        for (const QString& name : {u"A.JPG"_s, u"b.jpeg"_s, u"c.Tif"_s, u"d.txt"_s, u"e.PNG"_s})
            QVERIFY(writeFile(dir_->filePath(u"in/"_s + name), QByteArrayLiteral("x")));
        InputPathDialog dialog(nullptr, dir_->filePath(u"in"_s));
        dialog.show();
        auto* tree = dialog.findChild<QTreeView*>(u"treeView"_s);
        auto* list = dialog.findChild<QListView*>(u"listView"_s);
        QVERIFY(tree && list);
        QCOMPARE(tree->model()->headerData(3, Qt::Horizontal).toString(), u"更新日"_s);
        auto* model = qobject_cast<QFileSystemModel*>(list->model());
        QVERIFY(model);
        auto visibleNames = [&] {
            QStringList names;
            const QModelIndex root = list->rootIndex();
            for (int r = 0; r < model->rowCount(root); ++r)
                names.append(model->index(r, 0, root).data().toString());
            names.sort();
            return names;
        };
        QTRY_COMPARE(visibleNames(), (QStringList{u"A.JPG"_s, u"b.jpeg"_s, u"c.Tif"_s, u"e.PNG"_s, u"sub"_s}));
        dialog.selectNameFilter(u"JPG (*.jpg)"_s);
        QTRY_COMPARE(visibleNames(), (QStringList{u"A.JPG"_s, u"sub"_s}));
        dialog.selectNameFilter(u"TIFF (*.tif *.tiff)"_s);
        QTRY_COMPARE(visibleNames(), (QStringList{u"c.Tif"_s, u"sub"_s}));
    }

    void outputDialogTakesFolders()
    {
        view_->show();
        view_->controls().OutFolderButton->click();
        OutputFolderDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = view_->findChild<OutputFolderDialog*>()) != nullptr);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        dialog->setDirectory(dir_->path());
        dialog->selectFile(dir_->filePath(u"out"_s));
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_COMPARE(view_->controls().OutPathLabel->text(), dir_->filePath(u"out"_s));
    }

private:
    // The window's controls with the test's input and output folders set.
    const MainControls& withPaths()
    {
        const MainControls& c = view_->controls();
        c.InpPathLabel->setText(dir_->filePath(u"in"_s));
        c.OutPathLabel->setText(dir_->filePath(u"out"_s));
        return c;
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<MainContentView> view_;
    std::unique_ptr<message_sheets::TestAnswers> answers_;
};

QTEST_MAIN(TestMainContentView)
#include "tst_main_content_view.moc"
