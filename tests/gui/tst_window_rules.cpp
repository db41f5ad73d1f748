// The window's rules that need no window: the days text, the check before a
// run, the dates the controls stand for and the reasons' words.
#include "date_arguments.h"
#include "days_text.h"
#include "reason_text.h"
#include "start_check.h"
#include "window_texts.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <unistd.h>

using namespace Qt::StringLiterals;
using shotdate::Reason;
using start_check::Problem;

Q_DECLARE_METATYPE(start_check::Problem)

namespace {

const QString kIn = u"/photos/2024"_s;
const QString kOut = u"/photos/out"_s;
const QString kFormat = u"yyyy:MM:dd HH:mm:ss"_s;
const QString kRefused = u"(out of range)"_s; // what show() gives for no date

start_check::Result check(const QString& input, const QString& output, const QString& format, const QString& days,
                          bool separate, const start_check::PathProbe& probe)
{
    return start_check::check({input, output, format, days, window_texts::outInit(), separate}, probe);
}

bool anyPathGoes(const QString&, const std::optional<QString>&)
{
    return true;
}

QString show(shotdate::LocalSeconds t)
{
    return QString::fromStdString(shotdate::formatExifDate(t).value_or(kRefused.toStdString()));
}

} // namespace

class TestWindowRules : public QObject {
    Q_OBJECT
private slots:
    void daysIntValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        const int max = std::numeric_limits<int>::max();
        const int min = std::numeric_limits<int>::min();
        // clang-format off
        QTest::newRow("plain") << u"12"_s << 12;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("12abc") << u"12abc"_s << 12;
        QTest::newRow("leading blanks") << u"  \t5"_s << 5;
        QTest::newRow("plus sign") << u"+8"_s << 8;
        QTest::newRow("minus sign") << u"-1"_s << -1;
        QTest::newRow("blank after sign stops") << u"- 1"_s << 0;
        QTest::newRow("letters first") << u"x7"_s << 0;
        QTest::newRow("full-width digits are not digits") << u"７"_s << 0;
        QTest::newRow("full-width blank not skipped") << u"\u30003"_s << 0;
        QTest::newRow("leading zeros") << u"007"_s << 7;
        QTest::newRow("decimal point stops") << u"3.9"_s << 3;
        QTest::newRow("clamped high") << u"99999999999999999999"_s << max;
        QTest::newRow("clamped low") << u"-99999999999999999999"_s << min;
        QTest::newRow("int max") << u"2147483647"_s << max;
        QTest::newRow("int min") << u"-2147483648"_s << min;
        // clang-format on
    }

    void daysIntValue()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(days_text::intValue(text), value);
    }

    void daysAccepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        // clang-format off
        QTest::newRow("0") << u"0"_s << true;
        QTest::newRow("366") << u"366"_s << true;
        QTest::newRow("367") << u"367"_s << false;
        QTest::newRow("-1") << u"-1"_s << false;
        QTest::newRow("two zeros") << u"00"_s << false;
        QTest::newRow("blank before zero") << u" 0"_s << false;
        QTest::newRow("no digits") << u"abc"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("7x passes as 7") << u"7x"_s << true;
        QTest::newRow("blank before 7") << u" 7"_s << true;
        QTest::newRow("huge") << u"4294967296"_s << false;
        QTest::newRow("minus zero") << u"-0"_s << false;
        // clang-format on
    }

    void daysAccepted()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QCOMPARE(days_text::accepted(text), ok);
    }

    // Which days texts pass is the days rules' own table above; here, how the
    // check orders paths and days and what it leaves in the days field.
    void rules_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("separate");
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<QString>("daysAfter");
        const QString init = window_texts::outInit();
        const QString zero = u"0"_s;
        // clang-format off
        QTest::newRow("all fine") << kIn << kOut << kFormat << u"3"_s << true << Problem::None << u"3"_s;
        QTest::newRow("input empty, days bad too") << QString() << kOut << kFormat << u"abc"_s << true << Problem::Input << u"abc"_s;
        QTest::newRow("separate on, output empty") << kIn << QString() << kFormat << zero << true << Problem::Input << zero;
        QTest::newRow("separate off, output empty") << kIn << QString() << kFormat << zero << false << Problem::None << zero;
        QTest::newRow("format empty") << kIn << kOut << QString() << zero << true << Problem::Input << zero;
        QTest::newRow("output is the instruction text") << kIn << init << kFormat << zero << true << Problem::Input << zero;
        QTest::newRow("output equals input") << kIn << kIn << kFormat << zero << true << Problem::Input << zero;
        QTest::newRow("output equals input, separate off") << kIn << kIn << kFormat << zero << false << Problem::Input << zero;
        QTest::newRow("output equals input through ..") << kIn << u"/photos/x/../2024"_s << kFormat << zero << true << Problem::Input << zero;
        QTest::newRow("days empty becomes 0") << kIn << kOut << kFormat << QString() << true << Problem::None << zero;
        QTest::newRow("days 367") << kIn << kOut << kFormat << u"367"_s << true << Problem::Days << zero;
        QTest::newRow("days without digits") << kIn << kOut << kFormat << u"abc"_s << true << Problem::Days << zero;
        QTest::newRow("days 12abc kept as typed") << kIn << kOut << kFormat << u"12abc"_s << true << Problem::None << u"12abc"_s;
        // clang-format on
    }

    void rules()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, format);
        QFETCH(QString, days);
        QFETCH(bool, separate);
        QFETCH(Problem, problem);
        QFETCH(QString, daysAfter);
        const start_check::Result r = check(input, output, format, days, separate, anyPathGoes);
        QCOMPARE(r.problem, problem);
        QCOMPARE(r.daysText, daysAfter);
    }

    void samePlace_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("same text") << u"in"_s << u"in"_s << true;
        QTest::newRow("trailing slash") << u"in"_s << u"in/"_s << true;
        QTest::newRow("dot dot") << u"in"_s << u"out/../in"_s << true;
        QTest::newRow("doubled slash") << u"in"_s << u"out//../in"_s << true;
        QTest::newRow("symbolic link") << u"in"_s << u"link-to-in"_s << true;
        QTest::newRow("different folders") << u"in"_s << u"out"_s << false;
        QTest::newRow("sub folder is not the same") << u"in"_s << u"in/sub"_s << false;
        QTest::newRow("missing spelled twice") << u"gone"_s << u"gone/"_s << true;
        QTest::newRow("empty output") << u"in"_s << QString() << false;
    }

    void samePlace()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"in/sub"_s) && QDir(dir.path()).mkpath(u"out"_s));
        QVERIFY(QFile::link(dir.filePath(u"in"_s), dir.filePath(u"link-to-in"_s)));
        auto full = [&](const QString& p) { return p.isEmpty() ? p : dir.path() + u'/' + p; };
        QCOMPARE(start_check::samePlace(full(a), full(b)), same);
        QCOMPARE(start_check::samePlace(full(b), full(a)), same);
    }

    void corePathProbe_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output"); // "-" for no separate folder
        QTest::addColumn<bool>("usable");
        QTest::newRow("folder in place") << u"in"_s << u"-"_s << true;
        QTest::newRow("file in place") << u"in/a.jpg"_s << u"-"_s << true;
        QTest::newRow("missing input") << u"nothing-here"_s << u"-"_s << false;
        QTest::newRow("folder to folder") << u"in"_s << u"out"_s << true;
        QTest::newRow("output missing") << u"in"_s << u"no-such-folder"_s << false;
        QTest::newRow("output is a file") << u"in"_s << u"in/a.jpg"_s << false;
        QTest::newRow("output not writable") << u"in"_s << u"locked"_s << false;
    }

    void corePathProbe()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(bool, usable);
        if (output == u"locked"_s && ::geteuid() == 0)
            QSKIP("running as root: every folder is writable");
        QTemporaryDir dir;
        for (const QString& folder : {u"in"_s, u"out"_s, u"locked"_s})
            QVERIFY(QDir(dir.path()).mkpath(folder));
        QFile::setPermissions(dir.filePath(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner);
        QFile f(dir.filePath(u"in/a.jpg"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const auto out = output == u"-"_s ? std::nullopt : std::optional<QString>(dir.filePath(output));
        QCOMPARE(start_check::corePathProbe()(dir.filePath(input), out), usable);
        QFile::setPermissions(dir.filePath(u"locked"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void messages()
    {
        QCOMPARE(start_check::message(Problem::Input),
                 u"対象データ、オプションのフォルダまたはファイルの設定を確認してください。"_s);
        QCOMPARE(start_check::message(Problem::Days), u"日数を確認してください。0〜366日のみです。"_s);
        QVERIFY(start_check::message(Problem::None).isEmpty());
    }

    void modes_data()
    {
        QTest::addColumn<int>("shitei");
        QTest::addColumn<int>("nichiji");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QTime>("jisa");
        QTest::addColumn<int>("susumu");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("given"); // "" when not looked at
        QTest::addColumn<int>("shift");
        const QTime zero(0, 0, 0);
        const QTime most(23, 59, 59);
        const int max = int(shotdate::kMaxShiftSeconds);
        // clang-format off
        QTest::newRow("fixed date and time joins date and time pickers") << 0 << 0 << u"0"_s << zero << 0 << 0 << u"2021:05:06 07:08:09"_s << 0;
        QTest::newRow("fixed date only passes the date picker") << 0 << 1 << u"0"_s << zero << 0 << 1 << u"2021:05:06 22:33:44"_s << 0;
        QTest::newRow("fixed date and time, no valid date: refused") << 0 << 0 << u"0"_s << zero << 0 << 0 << kRefused << 0;
        QTest::newRow("fixed date only, no valid date: refused") << 0 << 1 << u"0"_s << zero << 0 << 1 << kRefused << 0;
        QTest::newRow("fixed time only passes the time picker") << 0 << 2 << u"0"_s << zero << 0 << 2 << u"2000:01:01 07:08:09"_s << 0;
        QTest::newRow("shift of nothing") << 1 << 0 << u"0"_s << zero << 0 << 99 << QString() << 0;
        QTest::newRow("shift back one day and an hour") << 1 << 0 << u"1"_s << QTime(1, 0, 0) << 1 << 99 << QString() << -(86400 + 3600);
        QTest::newRow("shift forward the most") << 1 << 2 << u"366"_s << most << 0 << 99 << QString() << max;
        QTest::newRow("shift back the most") << 1 << 0 << u"366"_s << most << 1 << 99 << QString() << -max;
        QTest::newRow("days read as intValue") << 1 << 0 << u"7x"_s << QTime(0, 0, 30) << 0 << 99 << QString() << 7 * 86400 + 30;
        QTest::newRow("other shift tag is forward") << 1 << 0 << u"2"_s << zero << 5 << 99 << QString() << 2 * 86400;
        QTest::newRow("any shitei tag but 0 shifts") << 3 << 0 << u"0"_s << QTime(0, 1, 0) << 0 << 99 << QString() << 60;
        // clang-format on
    }

    void modes()
    {
        QFETCH(int, shitei);
        QFETCH(int, nichiji);
        QFETCH(QString, days);
        QFETCH(QTime, jisa);
        QFETCH(int, susumu);
        QFETCH(int, mode);
        QFETCH(QString, given);
        QFETCH(int, shift);
        // A picker date that cannot be written must not turn into some other real date.
        const DateControlValues v{shitei,
                                  nichiji,
                                  QDateTime(given == kRefused ? QDate() : QDate(2021, 5, 6), QTime(22, 33, 44)),
                                  QDateTime(QDate(2000, 1, 1), QTime(7, 8, 9)),
                                  days,
                                  jisa,
                                  susumu};
        const auto args = dateArgumentsFrom(v, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
        QCOMPARE(args.mode, mode);
        QCOMPARE(args.shiftSeconds, shift);
        if (!given.isEmpty())
            QCOMPARE(show(args.givenDate), given);
    }

    // Time only takes nothing but the time of day, which stays right without a date.
    void timeOfDayWithoutADate()
    {
        const shotdate::LocalSeconds timeOnly = toLocalSeconds(QDate(), QTime(7, 8, 9));
        QCOMPARE(show(shotdate::joinDateAndTime(*shotdate::makeLocalSeconds(2012, 5, 3, 0, 0, 0), timeOnly)),
                 u"2012:05:03 07:08:09"_s);
    }

    void everyReasonHasItsOwnText()
    {
        QCOMPARE(reasonText(Reason::NoExif), u"EXIFなし"_s);
        QCOMPARE(reasonText(Reason::BadFileDate), u"日付が読めません"_s);
        QCOMPARE(reasonText(Reason::WriteFailed), u"書き込みできません"_s);
        QCOMPARE(reasonText(Reason::NotAnImage), u"画像ではありません"_s);
        QCOMPARE(reasonText(Reason::LinkOutside), u"リンク先が対象フォルダの外にあります"_s);
        // From the first to the last reason the core knows today: each its own
        // words, in Japanese, not the core's key.
        QSet<QString> seen;
        for (int r = int(Reason::Rewritten); r <= int(Reason::MovieHeaderTooLarge); ++r) {
            const QString text = reasonText(Reason(r));
            QVERIFY2(!text.isEmpty() && !seen.contains(text), qPrintable(text));
            QVERIFY2(text.toUtf8().size() > text.size(), qPrintable(text));
            seen.insert(text);
        }
    }
};

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_window_rules.moc"
