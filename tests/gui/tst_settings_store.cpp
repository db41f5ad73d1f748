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

using namespace gui_test;
using namespace Qt::StringLiterals;

namespace {

QDateTime fixedNow()
{
    return QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15));
}

// Every control the store fills, as one text, so that a row also proves
// that a value went to no other control.
QString loadedState(const MainContentView& view)
{
    const MainControls& c = view.controls();
    const bool grey = c.OutPathLabel->palette().color(QPalette::Base)
        == QApplication::palette(c.OutPathLabel).color(QPalette::Window);
    return u"in=%1|sub=%2|all=%3|betsu=%4|out=%5|outOn=%6|grey=%7|shitei=%8|nichiji=%9"_s.arg(c.InpPathLabel->text())
               .arg(c.subfolerCheckBox->isChecked())
               .arg(c.allDatesCheckBox->isChecked())
               .arg(c.betsuFolderCheckBox->isChecked())
               .arg(c.OutPathLabel->text())
               .arg(c.OutPathLabel->isEnabled())
               .arg(grey)
               .arg(c.shiteiMatrix->selectedTag())
               .arg(c.shiteiNichijiMatrix->selectedTag())
        + u"|susumu=%1|date=%2|time=%3|days=%4|jisa=%5|hyoji=%6"_s.arg(c.susumuModoruMatrix->selectedTag())
              .arg(c.shiteiHidukePicker->date().toString(Qt::ISODate), c.shiteiJikanPicker->time().toString(),
                   c.jisaNissuTextField->text(), c.jisaJikanPicker->time().toString(),
                   view.hyojiShinai().value_or(u"(none)"_s));
}

// The state of an empty store with `changes` ("field=value|...") in place.
QString defaultsWith(const QString& changes)
{
    QStringList fields = (u"in=|sub=0|all=0|betsu=1|out="_s + window_texts::outInit()
                          + u"|outOn=1|grey=0|shitei=0|nichiji=0|susumu=0|date=2024-02-29|time=13:14:15|days=0"
                            u"|jisa=00:00:00|hyoji=(none)"_s)
                             .split(u'|');
    for (const QString& change : changes.split(u'|', Qt::SkipEmptyParts))
        for (QString& field : fields)
            if (field.section(u'=', 0, 0) == change.section(u'=', 0, 0))
                field = change;
    return fields.join(u'|');
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        window_clock::setSourceForTests(&fixedNow);
    }

    void storedValuesLoad_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("changes"); // from an empty store's state
        const auto row = [](const char* name, const QString& key, const QVariant& value, const QString& changes) {
            QTest::newRow(name) << QVariantMap{{key, value}} << changes;
        };
        // The values as a run stores them come back in the round trip below;
        // here, what the window makes of the other values, one row a key.
        // The fixed date is now, not Qt's 2000-01-01.
        // clang-format off
        QTest::newRow("empty store gives the defaults") << QVariantMap() << QString();
        row("SUB_FOLDER yes in lower case is off", u"SUB_FOLDER"_s, u"yes"_s, QString());
        row("ALL_DATES YES is on", u"ALL_DATES"_s, u"YES"_s, u"all=1"_s);
        row("ALL_DATES 1 is off", u"ALL_DATES"_s, 1, QString());
        row("BETSU_FOLDER maybe counts as absent", u"BETSU_FOLDER"_s, u"maybe"_s, QString());
        QTest::newRow("BETSU_FOLDER NO with a stored OUT_PATH: empty, disabled, grey") << QVariantMap{{u"BETSU_FOLDER"_s, u"NO"_s}, {u"OUT_PATH"_s, u"/写真/出力"_s}} << u"betsu=0|out=|outOn=0|grey=1"_s;
        row("BETSU_FOLDER YES without OUT_PATH shows an empty field", u"BETSU_FOLDER"_s, u"YES"_s, u"out="_s);
        row("SHITEI that matches no button", u"SHITEI"_s, 7, QString());
        row("SHITEI not a number", u"SHITEI"_s, u"abc"_s, QString());
        row("SHITEI_NICHIJI that matches no button", u"SHITEI_NICHIJI"_s, 5, QString());
        row("SUSUMU_MODORU that matches no button", u"SUSUMU_MODORU"_s, 3, QString());
        row("SHITEI_HIDUKE not a date gives now", u"SHITEI_HIDUKE"_s, u"yesterday"_s, QString());
        row("JISA_NISSU longer than 16 characters is shown whole", u"JISA_NISSU"_s, u"00000000000000000000012"_s, u"days=00000000000000000000012"_s);
        row("HYOJI_SHINAI YES", u"HYOJI_SHINAI"_s, u"YES"_s, u"hyoji=YES"_s);
        // clang-format on
    }

    void storedValuesLoad()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, changes);
        QTemporaryDir dir;
        {
            auto writer = temporarySettings(dir);
            for (auto it = stored.begin(); it != stored.end(); ++it)
                writer->setValue(it.key(), it.value());
        }
        auto settings = temporarySettings(dir);
        MainContentView view(*settings);
        QCOMPARE(loadedState(view), defaultsWith(changes));
        QCOMPARE(settings->allKeys().size(), stored.size()); // loading stores nothing
        QVERIFY(!view.controls().StopButton->isEnabled() && view.controls().jikkochuLabel->isHidden());
    }

    // What a run stores, in the forms a store kept by an earlier version holds
    // (YES/NO, local dates and times without a zone), comes back in a new
    // window, the days text as typed.
    void roundTripThroughARun()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(u"in"_s);
        const QString out = dir.filePath(u"out"_s);
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
        auto settings = temporarySettings(dir);
        message_sheets::TestAnswers answers;
        {
            MainContentView view(*settings);
            const MainControls& c = view.controls();
            c.InpPathLabel->setText(in);
            c.subfolerCheckBox->setChecked(true);
            c.OutPathLabel->setText(out);
            c.shiteiNichijiMatrix->button(2)->click();
            c.shiteiMatrix->button(1)->click();
            c.jisaNissuTextField->setText(u"12abc"_s);
            c.jisaJikanPicker->setTime(QTime(2, 3, 4));
            c.susumuModoruMatrix->button(1)->click();
            c.shiteiHidukePicker->setDateTime(QDateTime(QDate(2019, 8, 7), QTime(8, 9, 10)));
            c.shiteiJikanPicker->setTime(QTime(6, 5, 4));
            answers.answerNextConfirmation(true, false);
            c.StartButton->click();
            QTRY_COMPARE(answers.shown().size(), 2); // confirmation, then the closing message
            QTRY_VERIFY(!view.isRunning() && !view.isRunPending());
            QCOMPARE(answers.shown().at(1).text, window_texts::finished(0));
            QCOMPARE(c.jisaNissuTextField->text(), u"12abc"_s);
        }
        QSettings raw(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        QStringList forms;
        for (const QString& key : raw.allKeys())
            forms << key + u'=' + raw.value(key).toString();
        QCOMPARE(forms,
                 (QStringList{u"ALL_DATES=NO"_s, u"BETSU_FOLDER=YES"_s, u"HYOJI_SHINAI=NO"_s, u"INP_PATH="_s + in,
                              u"JISA_JIKAN=2000-01-01T02:03:04.000"_s, u"JISA_NISSU=12abc"_s, u"OUT_PATH="_s + out,
                              u"SHITEI=1"_s, u"SHITEI_HIDUKE=2019-08-07T08:09:10.000"_s,
                              u"SHITEI_JIKAN=2000-01-01T06:05:04.000"_s, u"SHITEI_NICHIJI=2"_s, u"SUB_FOLDER=YES"_s,
                              u"SUSUMU_MODORU=1"_s}));
        for (const QString& key : {u"SHITEI_HIDUKE"_s, u"SHITEI_JIKAN"_s, u"JISA_JIKAN"_s}) {
            const QVariant d = raw.value(key);
            QVERIFY2(d.metaType().id() == QMetaType::QDateTime, qPrintable(key));
            QCOMPARE(d.toDateTime().timeSpec(), Qt::LocalTime);
        }
        MainContentView again(*settings);
        QCOMPARE(loadedState(again),
                 defaultsWith(u"in=%1|sub=1|out=%2|shitei=1|nichiji=2|susumu=1|date=2019-08-07"
                              u"|time=06:05:04|days=12abc|jisa=02:03:04|hyoji=NO"_s.arg(in, out)));
        // Shift mode came back with its controls enabled.
        QVERIFY(again.controls().jisaNissuTextField->isEnabled());
        QVERIFY(!again.controls().shiteiHidukePicker->isEnabled());
    }
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
