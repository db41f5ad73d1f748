#include "clock.h"
#include "drop_path_field.h"
#include "gui_test_support.h"
#include "main_content_view.h"
#include "message_sheets.h"
#include "radio_group.h"
#include "settings_store.h"
#include "window_texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <ctime>

using namespace gui_test;

namespace {

QDateTime fixedNow()
{
    return QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15));
}

void setZone(const char* zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void emptyStoreGivesTheDefaults();
    void oddStoredValues_data();
    void oddStoredValues();
    void runStoresTwelveKeysInTheirForms();
    void roundTripThroughARun();
    void datesKeepTheirClockTimeAcrossZones();
    void daysTextComesBackAsTyped();
};

void TestSettingsStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    window_clock::setSourceForTests(&fixedNow);
}

void TestSettingsStore::cleanupTestCase()
{
    window_clock::setSourceForTests(nullptr);
}

void TestSettingsStore::emptyStoreGivesTheDefaults()
{
    QTemporaryDir dir;
    auto settings = temporarySettings(dir);
    MainContentView view(*settings);
    const MainControls& c = view.controls();

    QCOMPARE(c.InpPathLabel->text(), QString());
    QVERIFY(!c.subfolerCheckBox->isChecked());
    QVERIFY(!c.allDatesCheckBox->isChecked());
    QVERIFY(c.betsuFolderCheckBox->isChecked());
    QCOMPARE(c.OutPathLabel->text(), window_texts::outInit());
    QVERIFY(c.OutPathLabel->isEnabled());
    QCOMPARE(c.OutPathLabel->property("inUse").toBool(), true);
    QVERIFY(c.OutFolderButton->isEnabled());
    QCOMPARE(c.shiteiMatrix->selectedTag(), 0);
    QCOMPARE(c.shiteiNichijiMatrix->selectedTag(), 0);
    QCOMPARE(c.susumuModoruMatrix->selectedTag(), 0);
    // The fixed date is now, not Qt's 2000-01-01.
    QCOMPARE(c.shiteiHidukePicker->date(), fixedNow().date());
    QVERIFY(!view.hyojiShinai().has_value());
    QVERIFY(!c.StopButton->isEnabled());
    QVERIFY(c.jikkochuLabel->isHidden());
    QCOMPARE(c.setsumeiLabel->text(), window_texts::inputExplanation());
    QVERIFY(!c.FormatTextField->text().isEmpty());
    QVERIFY(c.FormatTextField->isReadOnly());
    // Loading stores nothing.
    QVERIFY(settings->allKeys().isEmpty());

    // And the next Start asks first.
    message_sheets::TestAnswers answers;
    acceptAllPaths(view);
    c.InpPathLabel->setText(dir.path());
    c.betsuFolderCheckBox->click();  // off: write in place
    c.StartButton->click();
    QCOMPARE(answers.shown().size(), 1);
    QVERIFY(answers.shown().first().confirmation);
    QCOMPARE(answers.shown().first().text, window_texts::confirmation());
}

void TestSettingsStore::oddStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("SUB_FOLDER yes in lower case is off")
        << QStringLiteral("SUB_FOLDER") << QVariant(QStringLiteral("yes")) << QStringLiteral("subfolder") << QVariant(false);
    QTest::newRow("SUB_FOLDER YES is on")
        << QStringLiteral("SUB_FOLDER") << QVariant(QStringLiteral("YES")) << QStringLiteral("subfolder") << QVariant(true);
    QTest::newRow("ALL_DATES YES is on")
        << QStringLiteral("ALL_DATES") << QVariant(QStringLiteral("YES")) << QStringLiteral("allDates") << QVariant(true);
    QTest::newRow("ALL_DATES yes in lower case is off")
        << QStringLiteral("ALL_DATES") << QVariant(QStringLiteral("yes")) << QStringLiteral("allDates") << QVariant(false);
    QTest::newRow("ALL_DATES 1 is off") << QStringLiteral("ALL_DATES") << QVariant(1) << QStringLiteral("allDates") << QVariant(false);
    QTest::newRow("BETSU_FOLDER maybe counts as absent")
        << QStringLiteral("BETSU_FOLDER") << QVariant(QStringLiteral("maybe")) << QStringLiteral("outText") << QVariant(window_texts::outInit());
    QTest::newRow("BETSU_FOLDER yes in lower case counts as absent")
        << QStringLiteral("BETSU_FOLDER") << QVariant(QStringLiteral("yes")) << QStringLiteral("betsu") << QVariant(true);
    QTest::newRow("BETSU_FOLDER NO with a stored OUT_PATH: empty, disabled, grey")
        << QStringLiteral("BETSU_FOLDER") << QVariant(QVariantMap{{QStringLiteral("BETSU_FOLDER"), QStringLiteral("NO")},
                                                                   {QStringLiteral("OUT_PATH"), QStringLiteral("/写真/出力")}})
        << QStringLiteral("outField") << QVariant(QStringLiteral("text= enabled=0 grey=1"));
    QTest::newRow("BETSU_FOLDER YES without OUT_PATH shows an empty field")
        << QStringLiteral("BETSU_FOLDER") << QVariant(QStringLiteral("YES")) << QStringLiteral("outText") << QVariant(QString());
    QTest::newRow("SHITEI that matches no button") << QStringLiteral("SHITEI") << QVariant(7) << QStringLiteral("shitei") << QVariant(0);
    QTest::newRow("SHITEI negative") << QStringLiteral("SHITEI") << QVariant(-1) << QStringLiteral("shitei") << QVariant(0);
    QTest::newRow("SHITEI not a number") << QStringLiteral("SHITEI") << QVariant(QStringLiteral("abc")) << QStringLiteral("shitei") << QVariant(0);
    QTest::newRow("SHITEI 1") << QStringLiteral("SHITEI") << QVariant(1) << QStringLiteral("shitei") << QVariant(1);
    QTest::newRow("SHITEI_NICHIJI that matches no button")
        << QStringLiteral("SHITEI_NICHIJI") << QVariant(5) << QStringLiteral("nichiji") << QVariant(0);
    QTest::newRow("SHITEI_NICHIJI 2") << QStringLiteral("SHITEI_NICHIJI") << QVariant(2) << QStringLiteral("nichiji") << QVariant(2);
    QTest::newRow("SUSUMU_MODORU that matches no button")
        << QStringLiteral("SUSUMU_MODORU") << QVariant(3) << QStringLiteral("susumu") << QVariant(0);
    QTest::newRow("SUSUMU_MODORU 1") << QStringLiteral("SUSUMU_MODORU") << QVariant(1) << QStringLiteral("susumu") << QVariant(1);
    QTest::newRow("SHITEI_HIDUKE not a date gives now")
        << QStringLiteral("SHITEI_HIDUKE") << QVariant(QStringLiteral("yesterday")) << QStringLiteral("hiduke") << QVariant(fixedNow().date());
    QTest::newRow("SHITEI_HIDUKE a date")
        << QStringLiteral("SHITEI_HIDUKE") << QVariant(QDateTime(QDate(1999, 12, 31), QTime(1, 2, 3))) << QStringLiteral("hiduke") << QVariant(QDate(1999, 12, 31));
    QTest::newRow("JISA_NISSU not a number is shown as stored")
        << QStringLiteral("JISA_NISSU") << QVariant(QStringLiteral("12abc")) << QStringLiteral("days") << QVariant(QStringLiteral("12abc"));
    QTest::newRow("JISA_NISSU longer than 16 characters is shown whole")
        << QStringLiteral("JISA_NISSU") << QVariant(QStringLiteral("00000000000000000000012")) << QStringLiteral("days")
        << QVariant(QStringLiteral("00000000000000000000012"));
    QTest::newRow("JISA_JIKAN a date")
        << QStringLiteral("JISA_JIKAN") << QVariant(QDateTime(QDate(2000, 1, 1), QTime(4, 5, 6))) << QStringLiteral("jisa") << QVariant(QTime(4, 5, 6));
    QTest::newRow("HYOJI_SHINAI YES") << QStringLiteral("HYOJI_SHINAI") << QVariant(QStringLiteral("YES")) << QStringLiteral("hyoji") << QVariant(QStringLiteral("YES"));
}

void TestSettingsStore::oddStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, what);
    QFETCH(QVariant, expected);

    QTemporaryDir dir;
    {
        auto writer = temporarySettings(dir);
        // A map stands for several keys stored together.
        if (value.typeId() == QMetaType::QVariantMap) {
            const QVariantMap keys = value.toMap();
            for (auto it = keys.begin(); it != keys.end(); ++it)
                writer->setValue(it.key(), it.value());
        } else {
            writer->setValue(key, value);
        }
        writer->sync();
    }
    auto settings = temporarySettings(dir);
    MainContentView view(*settings);
    const MainControls& c = view.controls();
    QVariant actual;
    if (what == QStringLiteral("subfolder"))
        actual = c.subfolerCheckBox->isChecked();
    else if (what == QStringLiteral("allDates"))
        actual = c.allDatesCheckBox->isChecked();
    else if (what == QStringLiteral("betsu"))
        actual = c.betsuFolderCheckBox->isChecked();
    else if (what == QStringLiteral("outText"))
        actual = c.OutPathLabel->text();
    else if (what == QStringLiteral("outField"))
        actual = QStringLiteral("text=%1 enabled=%2 grey=%3")
                     .arg(c.OutPathLabel->text())
                     .arg(int(c.OutPathLabel->isEnabled()))
                     .arg(int(c.OutPathLabel->palette().color(QPalette::Base)
                              == QApplication::palette(c.OutPathLabel).color(QPalette::Window)));
    else if (what == QStringLiteral("shitei"))
        actual = c.shiteiMatrix->selectedTag();
    else if (what == QStringLiteral("nichiji"))
        actual = c.shiteiNichijiMatrix->selectedTag();
    else if (what == QStringLiteral("susumu"))
        actual = c.susumuModoruMatrix->selectedTag();
    else if (what == QStringLiteral("hiduke"))
        actual = c.shiteiHidukePicker->date();
    else if (what == QStringLiteral("days"))
        actual = c.jisaNissuTextField->text();
    else if (what == QStringLiteral("jisa"))
        actual = c.jisaJikanPicker->time();
    else if (what == QStringLiteral("hyoji"))
        actual = view.hyojiShinai().value_or(QStringLiteral("(none)"));
    QCOMPARE(actual, expected);
}

void TestSettingsStore::runStoresTwelveKeysInTheirForms()
{
    QTemporaryDir dir;
    auto settings = temporarySettings(dir);
    SettingsStore store(*settings);
    RunSettingsValues v;
    v.inpPath = QStringLiteral("/写真/入力");
    v.subFolder = true;
    v.betsuFolder = false;
    v.outPath = QString();
    v.shitei = 1;
    v.shiteiNichiji = 2;
    v.shiteiHiduke = QDateTime(QDate(2020, 3, 4), QTime(5, 6, 7));
    v.shiteiJikan = QDateTime(QDate(2000, 1, 1), QTime(8, 9, 10));
    v.jisaNissu = QStringLiteral("12abc");
    v.jisaJikan = QDateTime(QDate(2000, 1, 1), QTime(1, 2, 3));
    v.susumuModoru = 1;
    v.allDates = true;
    store.saveRun(v);

    QSettings raw(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    QCOMPARE(raw.allKeys().size(), 12);
    QCOMPARE(raw.value(QStringLiteral("ALL_DATES")).toString(), QStringLiteral("YES"));
    QVERIFY(!raw.contains(QStringLiteral("HYOJI_SHINAI")));
    QCOMPARE(raw.value(QStringLiteral("INP_PATH")).toString(), v.inpPath);
    QCOMPARE(raw.value(QStringLiteral("SUB_FOLDER")).toString(), QStringLiteral("YES"));
    QCOMPARE(raw.value(QStringLiteral("BETSU_FOLDER")).toString(), QStringLiteral("NO"));
    QCOMPARE(raw.value(QStringLiteral("OUT_PATH")).toString(), QString());
    QCOMPARE(raw.value(QStringLiteral("SHITEI")).toInt(), 1);
    QCOMPARE(raw.value(QStringLiteral("SHITEI_NICHIJI")).toInt(), 2);
    QCOMPARE(raw.value(QStringLiteral("SUSUMU_MODORU")).toInt(), 1);
    QCOMPARE(raw.value(QStringLiteral("JISA_NISSU")).toString(), QStringLiteral("12abc"));
    for (const QString& key : {QStringLiteral("SHITEI_HIDUKE"), QStringLiteral("SHITEI_JIKAN"), QStringLiteral("JISA_JIKAN")}) {
        const QVariant d = raw.value(key);
        QVERIFY2(d.metaType().id() == QMetaType::QDateTime, qPrintable(key));
        QCOMPARE(d.toDateTime().timeSpec(), Qt::LocalTime);
    }
    QCOMPARE(raw.value(QStringLiteral("SHITEI_HIDUKE")).toDateTime(), v.shiteiHiduke);

    store.saveHyojiShinai(QStringLiteral("NO"));
    QSettings raw2(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    QCOMPARE(raw2.value(QStringLiteral("HYOJI_SHINAI")).toString(), QStringLiteral("NO"));
}

void TestSettingsStore::roundTripThroughARun()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    auto settings = temporarySettings(dir);
    message_sheets::TestAnswers answers;
    {
        MainContentView view(*settings);
        const MainControls& c = view.controls();
        c.InpPathLabel->setText(dir.filePath(QStringLiteral("in")));
        c.subfolerCheckBox->setChecked(true);
        c.allDatesCheckBox->setChecked(true);
        c.OutPathLabel->setText(dir.filePath(QStringLiteral("out")));
        c.shiteiMatrix->button(1)->click();
        c.jisaNissuTextField->setText(QStringLiteral("5"));
        c.jisaJikanPicker->setTime(QTime(2, 3, 4));
        c.susumuModoruMatrix->button(1)->click();
        c.shiteiHidukePicker->setDate(QDate(2019, 8, 7));
        c.shiteiJikanPicker->setTime(QTime(6, 5, 4));
        view.jikko();
        QTRY_VERIFY(!view.isRunning() && !view.isRunPending());
        QTRY_COMPARE(answers.shown().size(), 1);
        QCOMPARE(answers.shown().first().text, window_texts::finished(0));
    }
    MainContentView again(*settings);
    const MainControls& c = again.controls();
    QCOMPARE(c.InpPathLabel->text(), dir.filePath(QStringLiteral("in")));
    QVERIFY(c.subfolerCheckBox->isChecked());
    QVERIFY(c.allDatesCheckBox->isChecked());
    QVERIFY(c.betsuFolderCheckBox->isChecked());
    QCOMPARE(c.OutPathLabel->text(), dir.filePath(QStringLiteral("out")));
    QCOMPARE(c.shiteiMatrix->selectedTag(), 1);
    QCOMPARE(c.jisaNissuTextField->text(), QStringLiteral("5"));
    QCOMPARE(c.jisaJikanPicker->time(), QTime(2, 3, 4));
    QCOMPARE(c.susumuModoruMatrix->selectedTag(), 1);
    QCOMPARE(c.shiteiHidukePicker->date(), QDate(2019, 8, 7));
    QCOMPARE(c.shiteiJikanPicker->time(), QTime(6, 5, 4));
    // Shift mode came back with its controls enabled.
    QVERIFY(c.jisaNissuTextField->isEnabled());
    QVERIFY(!c.shiteiHidukePicker->isEnabled());
}

void TestSettingsStore::datesKeepTheirClockTimeAcrossZones()
{
    const QByteArray oldZone = qgetenv("TZ");
    QTemporaryDir dir;
    setZone("Asia/Tokyo");
    {
        auto settings = temporarySettings(dir);
        SettingsStore store(*settings);
        RunSettingsValues v;
        v.shiteiHiduke = QDateTime(QDate(2022, 7, 1), QTime(9, 30, 0));
        v.shiteiJikan = QDateTime(QDate(2000, 1, 1), QTime(23, 45, 6));
        v.jisaJikan = QDateTime(QDate(2000, 1, 1), QTime(0, 0, 1));
        store.saveRun(v);
    }
    setZone("America/New_York");
    auto settings = temporarySettings(dir);
    const LoadedSettings loaded = SettingsStore(*settings).load();
    if (oldZone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    ::tzset();
    QVERIFY(loaded.shiteiHiduke && loaded.shiteiJikan && loaded.jisaJikan);
    QCOMPARE(loaded.shiteiHiduke->date(), QDate(2022, 7, 1));
    QCOMPARE(loaded.shiteiHiduke->time(), QTime(9, 30, 0));
    QCOMPARE(loaded.shiteiJikan->time(), QTime(23, 45, 6));
    QCOMPARE(loaded.jisaJikan->time(), QTime(0, 0, 1));
}

void TestSettingsStore::daysTextComesBackAsTyped()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in")));
    auto settings = temporarySettings(dir);
    message_sheets::TestAnswers answers;
    {
        MainContentView view(*settings);
        acceptAllPaths(view);
        const MainControls& c = view.controls();
        c.InpPathLabel->setText(dir.filePath(QStringLiteral("in")));
        c.betsuFolderCheckBox->click();
        c.shiteiMatrix->button(1)->click();
        c.jisaNissuTextField->setText(QStringLiteral("12abc"));
        answers.answerNextConfirmation(true, false);
        c.StartButton->click();
        QTRY_COMPARE(answers.shown().size(), 2);  // confirmation, then the closing message
        QTRY_VERIFY(!view.isRunning());
        QCOMPARE(c.jisaNissuTextField->text(), QStringLiteral("12abc"));
    }
    MainContentView again(*settings);
    QCOMPARE(again.controls().jisaNissuTextField->text(), QStringLiteral("12abc"));
    QCOMPARE(again.hyojiShinai(), std::optional<QString>(QStringLiteral("NO")));
}

QTEST_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
