#include "clock.h"
#include "days_stepper.h"
#include "drop_path_field.h"
#include "gui_test_support.h"
#include "main_content_view.h"
#include "message_sheets.h"
#include "path_dialogs.h"
#include "radio_group.h"
#include "window_texts.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFile>
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

using namespace gui_test;

namespace {

QDateTime fixedNow()
{
    return QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58));
}

// The enabled state of the option controls, as one comparable text.
QString optionStates(const MainControls& c)
{
    auto on = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    return QStringLiteral("variants%1 date%2 time%3 today%4 days%5 stepper%6 shift%7 direction%8 out%9 outButton%10")
        .arg(on(c.shiteiNichijiMatrix->isEnabled()), on(c.shiteiHidukePicker->isEnabled()),
             on(c.shiteiJikanPicker->isEnabled()), on(c.HonjitsuButton->isEnabled()),
             on(c.jisaNissuTextField->isEnabled()), on(c.jisaNissuStepper->isEnabled()),
             on(c.jisaJikanPicker->isEnabled()), on(c.susumuModoruMatrix->isEnabled()),
             on(c.OutPathLabel->isEnabled()))
        .arg(on(c.OutFolderButton->isEnabled()));
}

} // namespace

class TestMainContentView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void enablingRules_data();
    void enablingRules();
    void separateFolderOffAndOnShowsTheInstruction();
    void honjitsuSetsTheWholeDateEvenWhenDisabled();
    void stepperStepsWithinRange_data();
    void stepperStepsWithinRange();

    void startCheckInTheWindow_data();
    void startCheckInTheWindow();
    void confirmationAnswers_data();
    void confirmationAnswers();
    void confirmationSkippedAfterYes();
    void oneRunOnlyWhilePendingOrRunning();

    void inputDialogTakesFoldersAndFiles_data();
    void inputDialogTakesFoldersAndFiles();
    void inputDialogFilterIgnoresLetterCase();
    void outputDialogTakesFolders();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<MainContentView> view_;
    std::unique_ptr<message_sheets::TestAnswers> answers_;
};

void TestMainContentView::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    window_clock::setSourceForTests(&fixedNow);
}

void TestMainContentView::cleanupTestCase()
{
    window_clock::setSourceForTests(nullptr);
}

void TestMainContentView::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("in/sub")));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("out")));
    settings_ = temporarySettings(*dir_);
    answers_ = std::make_unique<message_sheets::TestAnswers>();
    view_ = std::make_unique<MainContentView>(*settings_);
}

void TestMainContentView::cleanup()
{
    if (view_)
        QTRY_VERIFY(!view_->isRunning());
    view_.reset();
    answers_.reset();
    settings_.reset();
    dir_.reset();
}

void TestMainContentView::enablingRules_data()
{
    QTest::addColumn<int>("variant");     // shiteiNichiji tag clicked first
    QTest::addColumn<int>("mode");        // shitei tag clicked then
    QTest::addColumn<bool>("separate");
    QTest::addColumn<bool>("afterRun");   // lock and unlock as a run does
    QTest::addColumn<QString>("states");

    // variants date time today days stepper shift direction out outButton
    QTest::newRow("fixed, date and time") << 0 << 0 << true << false
        << QStringLiteral("variants1 date1 time1 today1 days0 stepper0 shift0 direction0 out1 outButton1");
    QTest::newRow("fixed, date only") << 1 << 0 << true << false
        << QStringLiteral("variants1 date1 time0 today1 days0 stepper0 shift0 direction0 out1 outButton1");
    QTest::newRow("fixed, time only") << 2 << 0 << true << false
        << QStringLiteral("variants1 date0 time1 today0 days0 stepper0 shift0 direction0 out1 outButton1");
    QTest::newRow("shift after date and time keeps today on") << 0 << 1 << true << false
        << QStringLiteral("variants0 date0 time0 today1 days1 stepper1 shift1 direction1 out1 outButton1");
    QTest::newRow("shift after time only keeps today off") << 2 << 1 << true << false
        << QStringLiteral("variants0 date0 time0 today0 days1 stepper1 shift1 direction1 out1 outButton1");
    QTest::newRow("separate folder off") << 0 << 0 << false << false
        << QStringLiteral("variants1 date1 time1 today1 days0 stepper0 shift0 direction0 out0 outButton0");
    QTest::newRow("after a run: fixed, time only") << 2 << 0 << true << true
        << QStringLiteral("variants1 date0 time1 today0 days0 stepper0 shift0 direction0 out1 outButton1");
    QTest::newRow("after a run in shift mode today is on") << 2 << 1 << true << true
        << QStringLiteral("variants0 date0 time0 today1 days1 stepper1 shift1 direction1 out1 outButton1");
    QTest::newRow("after a run with the separate folder off it stays off") << 0 << 0 << false << true
        << QStringLiteral("variants1 date1 time1 today1 days0 stepper0 shift0 direction0 out0 outButton0");
    QTest::newRow("after a run in shift mode, separate folder off") << 1 << 1 << false << true
        << QStringLiteral("variants0 date0 time0 today1 days1 stepper1 shift1 direction1 out0 outButton0");
}

void TestMainContentView::enablingRules()
{
    QFETCH(int, variant);
    QFETCH(int, mode);
    QFETCH(bool, separate);
    QFETCH(bool, afterRun);
    QFETCH(QString, states);
    const MainControls& c = view_->controls();

    c.shiteiNichijiMatrix->button(variant)->click();
    c.shiteiMatrix->button(mode)->click();
    if (c.betsuFolderCheckBox->isChecked() != separate)
        c.betsuFolderCheckBox->click();
    if (afterRun) {
        view_->MukoComponent();
        for (QWidget* w : {static_cast<QWidget*>(c.InpPathLabel), static_cast<QWidget*>(c.OutPathLabel),
                           static_cast<QWidget*>(c.FormatTextField), static_cast<QWidget*>(c.OpenButton),
                           static_cast<QWidget*>(c.OutFolderButton), static_cast<QWidget*>(c.HonjitsuButton),
                           static_cast<QWidget*>(c.subfolerCheckBox), static_cast<QWidget*>(c.betsuFolderCheckBox),
                           static_cast<QWidget*>(c.shiteiHidukePicker), static_cast<QWidget*>(c.shiteiJikanPicker),
                           static_cast<QWidget*>(c.jisaJikanPicker), static_cast<QWidget*>(c.jisaNissuTextField),
                           static_cast<QWidget*>(c.jisaNissuStepper), static_cast<QWidget*>(c.setsumeiLabel),
                           static_cast<QWidget*>(c.shiteiHidukeLabel), static_cast<QWidget*>(c.jisaNissuLabel),
                           static_cast<QWidget*>(c.allDatesCheckBox)})
            QVERIFY2(!w->isEnabled(), w->metaObject()->className());
        QVERIFY(!c.shiteiMatrix->isEnabled());
        QVERIFY(!c.shiteiNichijiMatrix->isEnabled());
        QVERIFY(!c.susumuModoruMatrix->isEnabled());
        view_->YukoComponent();
        QVERIFY(c.InpPathLabel->isEnabled());
        QVERIFY(c.FormatTextField->isEnabled());
        QVERIFY(c.setsumeiLabel->isEnabled());
        QVERIFY(c.subfolerCheckBox->isEnabled());
        QVERIFY(c.betsuFolderCheckBox->isEnabled());
        QVERIFY(c.allDatesCheckBox->isEnabled());
        QVERIFY(c.shiteiMatrix->isEnabled());
    }
    QCOMPARE(optionStates(c), states);

    // Back to the fixed mode: the pickers follow the variant still selected.
    if (mode != 0) {
        c.shiteiMatrix->button(0)->click();
        QCOMPARE(c.shiteiHidukePicker->isEnabled(), variant != 2);
        QCOMPARE(c.shiteiJikanPicker->isEnabled(), variant != 1);
        QCOMPARE(c.HonjitsuButton->isEnabled(), variant != 2);
    }
}

void TestMainContentView::separateFolderOffAndOnShowsTheInstruction()
{
    const MainControls& c = view_->controls();
    c.OutPathLabel->setText(dir_->filePath(QStringLiteral("out")));
    c.betsuFolderCheckBox->click();
    QCOMPARE(c.OutPathLabel->text(), QString());
    QCOMPARE(c.OutPathLabel->property("inUse").toBool(), false);
    QVERIFY(c.OutPathLabel->palette().color(QPalette::Base) != QApplication::palette(c.OutPathLabel).color(QPalette::Base));
    c.betsuFolderCheckBox->click();
    QCOMPARE(c.OutPathLabel->text(), window_texts::outInit());
    QCOMPARE(c.OutPathLabel->property("inUse").toBool(), true);
    QCOMPARE(c.OutPathLabel->palette().color(QPalette::Base), QApplication::palette(c.OutPathLabel).color(QPalette::Base));
}

void TestMainContentView::honjitsuSetsTheWholeDateEvenWhenDisabled()
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

void TestMainContentView::stepperStepsWithinRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("after");
    QTest::newRow("up from 0") << QStringLiteral("0") << 1 << QStringLiteral("1");
    QTest::newRow("down from 0 stays") << QStringLiteral("0") << -1 << QStringLiteral("0");
    QTest::newRow("up from 366 stays") << QStringLiteral("366") << 1 << QStringLiteral("366");
    QTest::newRow("up from 12abc") << QStringLiteral("12abc") << 1 << QStringLiteral("13");
    QTest::newRow("up from 999") << QStringLiteral("999") << 1 << QStringLiteral("366");
    QTest::newRow("down from -5") << QStringLiteral("-5") << -1 << QStringLiteral("0");
}

void TestMainContentView::stepperStepsWithinRange()
{
    QFETCH(QString, text);
    QFETCH(int, steps);
    QFETCH(QString, after);
    const MainControls& c = view_->controls();
    c.shiteiMatrix->button(1)->click();
    c.jisaNissuTextField->setText(text);
    if (steps > 0)
        c.jisaNissuStepper->upButton()->click();
    else
        c.jisaNissuStepper->downButton()->click();
    QCOMPARE(c.jisaNissuTextField->text(), after);
    // The keys in the field do the same.
    c.jisaNissuTextField->setText(text);
    QTest::keyClick(c.jisaNissuTextField, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(c.jisaNissuTextField->text(), after);
}

void TestMainContentView::startCheckInTheWindow_data()
{
    QTest::addColumn<QString>("input");     // relative to the test folder; "" for empty
    QTest::addColumn<QString>("output");    // "<init>" for the instruction text
    QTest::addColumn<bool>("separate");
    QTest::addColumn<QString>("days");
    QTest::addColumn<QString>("message");   // "" for the confirmation
    QTest::addColumn<QString>("daysAfter");

    const QString in = window_texts::inputError();
    const QString days = window_texts::daysError();
    QTest::newRow("no input") << QString() << QStringLiteral("out") << true << QStringLiteral("x") << in << QStringLiteral("x");
    QTest::newRow("output not chosen") << QStringLiteral("in") << QStringLiteral("<init>") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output empty, separate on") << QStringLiteral("in") << QString() << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output is the input") << QStringLiteral("in") << QStringLiteral("in") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output is the input with a slash") << QStringLiteral("in") << QStringLiteral("in/") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output is the input through ..") << QStringLiteral("in") << QStringLiteral("in/sub/..") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("input does not exist") << QStringLiteral("gone") << QStringLiteral("out") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output does not exist") << QStringLiteral("in") << QStringLiteral("no-such") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("output is a file") << QStringLiteral("in") << QStringLiteral("file.jpg") << true << QStringLiteral("0") << in << QStringLiteral("0");
    QTest::newRow("days 367") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral("367") << days << QStringLiteral("0");
    QTest::newRow("days -1") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral("-1") << days << QStringLiteral("0");
    QTest::newRow("days 00") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral("00") << days << QStringLiteral("0");
    QTest::newRow("days blank then 0") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral(" 0") << days << QStringLiteral("0");
    QTest::newRow("days letters") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral("abc") << days << QStringLiteral("0");
    QTest::newRow("days empty becomes 0 and passes") << QStringLiteral("in") << QStringLiteral("out") << true << QString() << QString() << QStringLiteral("0");
    QTest::newRow("days 7x passes as typed") << QStringLiteral("in") << QStringLiteral("out") << true << QStringLiteral("7x") << QString() << QStringLiteral("7x");
    QTest::newRow("separate off, file in place") << QStringLiteral("file.jpg") << QString() << false << QStringLiteral("366") << QString() << QStringLiteral("366");
}

void TestMainContentView::startCheckInTheWindow()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(bool, separate);
    QFETCH(QString, days);
    QFETCH(QString, message);
    QFETCH(QString, daysAfter);
    QVERIFY(writeFile(dir_->filePath(QStringLiteral("file.jpg")), QByteArrayLiteral("x")));

    const MainControls& c = view_->controls();
    auto full = [&](const QString& p) { return p.isEmpty() ? p : dir_->path() + u'/' + p; };
    if (c.betsuFolderCheckBox->isChecked() != separate)
        c.betsuFolderCheckBox->click();
    c.InpPathLabel->setText(full(input));
    c.OutPathLabel->setText(output == QStringLiteral("<init>") ? window_texts::outInit() : full(output));
    c.jisaNissuTextField->setText(days);

    c.StartButton->click();
    QCOMPARE(answers_->shown().size(), 1);
    const message_sheets::Shown shown = answers_->shown().first();
    if (message.isEmpty()) {
        QVERIFY(shown.confirmation);
        QCOMPARE(shown.text, window_texts::confirmation());
    } else {
        QVERIFY(!shown.confirmation);
        QCOMPARE(shown.text, message);
        QCOMPARE(shown.icon, message_sheets::Icon::Bickuri);
    }
    QCOMPARE(c.jisaNissuTextField->text(), daysAfter);
    // Neither an error nor an unanswered confirmation stores or starts anything.
    QTest::qWait(30);
    QVERIFY(settings_->allKeys().isEmpty());
    QVERIFY(!view_->isRunning());
    QVERIFY(!view_->isRunPending());
    QVERIFY(c.StartButton->isEnabled());
    QVERIFY(c.InpPathLabel->isEnabled());
}

void TestMainContentView::confirmationAnswers_data()
{
    QTest::addColumn<bool>("run");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("stored");   // HYOJI_SHINAI afterwards, "" for absent
    QTest::addColumn<bool>("asksAgain");
    QTest::newRow("cancel with the box ticked stores nothing") << false << true << QString() << true;
    QTest::newRow("cancel") << false << false << QString() << true;
    QTest::newRow("run with the box ticked") << true << true << QStringLiteral("YES") << false;
    QTest::newRow("run without the box") << true << false << QStringLiteral("NO") << true;
}

void TestMainContentView::confirmationAnswers()
{
    QFETCH(bool, run);
    QFETCH(bool, tick);
    QFETCH(QString, stored);
    QFETCH(bool, asksAgain);
    const MainControls& c = view_->controls();
    c.InpPathLabel->setText(dir_->filePath(QStringLiteral("in")));
    c.OutPathLabel->setText(dir_->filePath(QStringLiteral("out")));

    answers_->answerNextConfirmation(run, tick);
    c.StartButton->click();
    if (run) {
        QTRY_VERIFY(view_->isRunning() || answers_->shown().size() == 2);
        QTRY_VERIFY(!view_->isRunning());
        QTRY_COMPARE(answers_->shown().size(), 2);
        QCOMPARE(answers_->shown().at(1).text, window_texts::finished(0));
        QCOMPARE(settings_->value(QStringLiteral("INP_PATH")).toString(), dir_->filePath(QStringLiteral("in")));
    } else {
        QTest::qWait(50);
        QCOMPARE(answers_->shown().size(), 1);
        QVERIFY(!settings_->contains(QStringLiteral("INP_PATH")));
        QVERIFY(c.StartButton->isEnabled());
    }
    QCOMPARE(settings_->value(QStringLiteral("HYOJI_SHINAI")).toString(), stored);

    // The next Start, in this window and in a new one.
    answers_->clearShown();
    c.StartButton->click();
    QCOMPARE(!answers_->shown().isEmpty() && answers_->shown().first().confirmation, asksAgain);
    QTRY_VERIFY(!view_->isRunning());
    answers_->clearShown();
    MainContentView again(*settings_);
    again.controls().InpPathLabel->setText(dir_->filePath(QStringLiteral("in")));
    again.controls().OutPathLabel->setText(dir_->filePath(QStringLiteral("out")));
    again.controls().StartButton->click();
    QCOMPARE(!answers_->shown().isEmpty() && answers_->shown().first().confirmation, asksAgain);
    QTRY_VERIFY(!again.isRunning());
}

void TestMainContentView::confirmationSkippedAfterYes()
{
    settings_->setValue(QStringLiteral("HYOJI_SHINAI"), QStringLiteral("YES"));
    view_ = std::make_unique<MainContentView>(*settings_);
    const MainControls& c = view_->controls();
    c.InpPathLabel->setText(dir_->filePath(QStringLiteral("in")));
    c.OutPathLabel->setText(dir_->filePath(QStringLiteral("out")));
    c.StartButton->click();
    // Started at once, with no confirmation in between.
    QVERIFY(answers_->shown().isEmpty() || !answers_->shown().first().confirmation);
    QTRY_COMPARE(answers_->shown().size(), 1);
    QCOMPARE(answers_->shown().first().text, window_texts::finished(0));
}

void TestMainContentView::oneRunOnlyWhilePendingOrRunning()
{
    const MainControls& c = view_->controls();
    c.InpPathLabel->setText(dir_->filePath(QStringLiteral("in")));
    c.OutPathLabel->setText(dir_->filePath(QStringLiteral("out")));
    int started = 0;
    connect(view_.get(), &MainContentView::runStarted, this, [&] { ++started; });

    answers_->answerNextConfirmation(true, false);
    answers_->answerNextConfirmation(true, false);
    // While running, neither a second start nor jikko does anything.
    connect(view_.get(), &MainContentView::runStarted, this, [&] {
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
    QCOMPARE(answers_->shown().size(), 1);  // no second confirmation
    QTRY_VERIFY(!view_->isRunning() && !view_->isRunPending());
    QCOMPARE(started, 1);
    QTRY_COMPARE(answers_->shown().size(), 2);

    // jikko called directly twice in a row: one run.
    answers_->clearShown();
    view_->jikko();
    view_->jikko();
    QTRY_VERIFY(!view_->isRunning());
    QCOMPARE(started, 2);
    QTRY_COMPARE(answers_->shown().size(), 1);
}

void TestMainContentView::inputDialogTakesFoldersAndFiles_data()
{
    // Steps under in/: a name selects it, "選択" presses the dialog's own
    // button, "このフォルダを選択" the one beside it.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("chosen");  // under in/; the start value when nothing was chosen
    QTest::addColumn<QString>("shown");   // the folder on show when the dialog stays open
    const QString start = QStringLiteral("写真.JPG");
    QTest::newRow("このフォルダを選択 takes the folder on show")
        << QStringList{QStringLiteral("このフォルダを選択")} << QString() << QString();
    QTest::newRow("選択 on a file takes it") << QStringList{start, QStringLiteral("選択")} << start << QString();
    QTest::newRow("選択 on a folder opens it")
        << QStringList{QStringLiteral("sub"), QStringLiteral("選択")} << start << QStringLiteral("sub");
    QTest::newRow("open a folder, then このフォルダを選択")
        << QStringList{QStringLiteral("sub"), QStringLiteral("選択"), QStringLiteral("このフォルダを選択")}
        << QStringLiteral("sub") << QString();
    QTest::newRow("open a folder, then a file in it")
        << QStringList{QStringLiteral("sub"), QStringLiteral("選択"), QStringLiteral("sub/別.jpg"), QStringLiteral("選択")}
        << QStringLiteral("sub/別.jpg") << QString();
}

void TestMainContentView::inputDialogTakesFoldersAndFiles()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, chosen);
    QFETCH(QString, shown);
    const QString in = dir_->filePath(QStringLiteral("in"));
    QVERIFY(writeFile(in + QStringLiteral("/写真.JPG"), QByteArrayLiteral("x")));
    QVERIFY(writeFile(in + QStringLiteral("/sub/別.jpg"), QByteArrayLiteral("x")));
    view_->show();
    view_->controls().InpPathLabel->setText(in + QStringLiteral("/写真.JPG"));
    view_->controls().OpenButton->click();
    InputPathDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = view_->findChild<InputPathDialog*>()) != nullptr);
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(dialog->directory().absolutePath(), in);
    const QStringList filters = dialog->nameFilters();
    QVERIFY(filters.first().startsWith(QStringLiteral("書き換えできる画像")));
    for (const QString& ext : {QStringLiteral("*.tif"), QStringLiteral("*.png"), QStringLiteral("*.webp"),
                               QStringLiteral("*.heic"), QStringLiteral("*.dng"), QStringLiteral("*.raf"),
                               QStringLiteral("*.crw"), QStringLiteral("*.mov"), QStringLiteral("*.mp4"),
                               QStringLiteral("*.m4v"), QStringLiteral("*.3gp")})
        QVERIFY2(filters.first().contains(ext), qPrintable(ext));
    for (const QString& name : {QStringLiteral("JPG ("), QStringLiteral("JPEG ("), QStringLiteral("TIFF (")}) {
        QVERIFY2(std::any_of(filters.begin(), filters.end(), [&](const QString& f) { return f.startsWith(name); }),
                 qPrintable(name));
    }

    QPointer<InputPathDialog> guard(dialog);
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QVERIFY(buttons->buttons().contains(dialog->chooseFolderButton()));
    for (const QString& step : steps) {
        QVERIFY(guard);
        if (step == QStringLiteral("このフォルダを選択")) {
            QCOMPARE(dialog->chooseFolderButton()->text(), step);
            dialog->chooseFolderButton()->click();
        } else if (step == QStringLiteral("選択")) {
            QPushButton* own = buttons->button(QDialogButtonBox::Open);
            QTRY_VERIFY(own->isEnabled());
            own->click();
        } else {
            dialog->selectFile(in + u'/' + step);
        }
    }
    const QString expected = chosen.isEmpty() ? in : in + u'/' + chosen;
    QTRY_COMPARE(view_->controls().InpPathLabel->text(), expected);
    if (shown.isEmpty()) {
        QTRY_VERIFY(guard.isNull() || !guard->isVisible());
    } else {
        QVERIFY(guard && guard->isVisible());
        QTRY_COMPARE(dialog->directory().absolutePath(), in + u'/' + shown);
        dialog->reject();
    }
}

void TestMainContentView::inputDialogFilterIgnoresLetterCase()
{
    for (const QString& name : {QStringLiteral("A.JPG"), QStringLiteral("b.jpeg"), QStringLiteral("c.Tif"),
                                QStringLiteral("d.txt"), QStringLiteral("e.PNG")})
        QVERIFY(writeFile(dir_->filePath(QStringLiteral("in/") + name), QByteArrayLiteral("x")));
    InputPathDialog dialog(nullptr, dir_->filePath(QStringLiteral("in")));
    dialog.show();
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    QVERIFY(list);
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
    const QStringList images{QStringLiteral("A.JPG"), QStringLiteral("b.jpeg"), QStringLiteral("c.Tif"),
                             QStringLiteral("e.PNG"), QStringLiteral("sub")};
    QTRY_COMPARE(visibleNames(), images);
    dialog.selectNameFilter(QStringLiteral("JPG (*.jpg)"));
    QTRY_COMPARE(visibleNames(), (QStringList{QStringLiteral("A.JPG"), QStringLiteral("sub")}));
    dialog.selectNameFilter(QStringLiteral("TIFF (*.tif *.tiff)"));
    QTRY_COMPARE(visibleNames(), (QStringList{QStringLiteral("c.Tif"), QStringLiteral("sub")}));
}

void TestMainContentView::outputDialogTakesFolders()
{
    view_->show();
    view_->controls().OutFolderButton->click();
    OutputFolderDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = view_->findChild<OutputFolderDialog*>()) != nullptr);
    QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    dialog->setDirectory(dir_->path());
    dialog->selectFile(dir_->filePath(QStringLiteral("out")));
    QMetaObject::invokeMethod(dialog, "accept");
    QTRY_COMPARE(view_->controls().OutPathLabel->text(), dir_->filePath(QStringLiteral("out")));
}

QTEST_MAIN(TestMainContentView)
#include "tst_main_content_view.moc"
