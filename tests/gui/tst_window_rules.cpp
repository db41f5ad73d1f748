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

#include <unistd.h>

using namespace Qt::StringLiterals;
using shotdate::Reason;

namespace {

QString show(shotdate::LocalSeconds t)
{
    return QString::fromStdString(shotdate::formatExifDate(t).value_or("refused"));
}

QString problemName(start_check::Problem p)
{
    return p == start_check::Problem::None ? u"none"_s : p == start_check::Problem::Input ? u"input"_s : u"days"_s;
}

// The answer of `rule` to the arguments `a`, as text. Paths of the "same" and
// "probe" rules are under `dir`: in/sub, in/a.jpg, out, locked (not
// writable), link-to-in.
QString answer(const QString& rule, const QStringList& a, const QTemporaryDir& dir)
{
    const QString outInit = window_texts::outInit();
    if (rule == u"days")
        return u"%1 %2"_s.arg(days_text::intValue(a[0])).arg(days_text::accepted(a[0]) ? u"ok"_s : u"refused"_s);
    if (rule == u"check") { // input|output|format|days|separate
        const auto r =
            start_check::check({a[0], a[1] == u"<init>"_s ? outInit : a[1], a[2], a[3], outInit, a[4] == u"on"_s},
                               [](const QString&, const std::optional<QString>&) { return true; });
        return problemName(r.problem) + u' ' + r.daysText;
    }
    const auto full = [&](const QString& p) { return p.isEmpty() ? p : dir.path() + u'/' + p; };
    if (rule == u"same") {
        const bool ab = start_check::samePlace(full(a[0]), full(a[1]));
        return ab != start_check::samePlace(full(a[1]), full(a[0])) ? u"one way only"_s : ab ? u"same"_s : u"apart"_s;
    }
    if (rule == u"probe") { // input|output, "-" for none
        const auto out = a[1] == u"-"_s ? std::nullopt : std::optional<QString>(full(a[1]));
        return start_check::corePathProbe()(full(a[0]), out) ? u"usable"_s : u"refused"_s;
    }
    if (rule == u"message")
        return start_check::message(start_check::Problem(a[0].toInt()));
    if (rule == u"dates") { // shitei|nichiji|days|jisa|susumu|date picker valid
        // A picker date that cannot be written must not turn into some other real date.
        const DateControlValues v{a[0].toInt(),
                                  a[1].toInt(),
                                  QDateTime(a[5] == u"no date"_s ? QDate() : QDate(2021, 5, 6), QTime(22, 33, 44)),
                                  QDateTime(QDate(2000, 1, 1), QTime(7, 8, 9)),
                                  a[2],
                                  QTime::fromString(a[3]),
                                  a[4].toInt()};
        const auto d = dateArgumentsFrom(v, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
        const bool shift = d.mode == std::int32_t(shotdate::DateMode::Shift);
        return u"%1 %2"_s.arg(d.mode).arg(shift ? QString::number(d.shiftSeconds) : show(d.givenDate));
    }
    if (rule == u"time only") // the time of day stays right without a date
        return show(shotdate::joinDateAndTime(*shotdate::makeLocalSeconds(2012, 5, 3, 0, 0, 0),
                                              toLocalSeconds(QDate(), QTime::fromString(a[0]))));
    return u"no such rule"_s;
}

} // namespace

class TestWindowRules : public QObject {
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("args"); // separated by '|'
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& rule, const QString& args, const QString& expected) {
            QTest::newRow(name) << rule << args << expected;
        };
        const QString days = u"days"_s;
        const QString check = u"check"_s;
        const QString same = u"same"_s;
        const QString probe = u"probe"_s;
        const QString dates = u"dates"_s;
        const QString shift = QString::number(int(shotdate::DateMode::Shift)) + u' ';
        const QString max = QString::number(shotdate::kMaxShiftSeconds);
        // clang-format off
        // The days text: its value (as C's atoi, clamped) and whether Start takes it.
        row("days plain", days, u"12"_s, u"12 ok"_s);
        row("days empty", days, QString(), u"0 refused"_s);
        row("days 12abc passes as 12", days, u"12abc"_s, u"12 ok"_s);
        row("days after blanks", days, u"  \t5"_s, u"5 ok"_s);
        row("days plus sign", days, u"+8"_s, u"8 ok"_s);
        row("days minus sign", days, u"-1"_s, u"-1 refused"_s);
        row("days blank after sign stops", days, u"- 1"_s, u"0 refused"_s);
        row("days letters first", days, u"x7"_s, u"0 refused"_s);
        row("days full-width digits are not digits", days, u"７"_s, u"0 refused"_s);
        row("days full-width blank not skipped", days, u"\u30003"_s, u"0 refused"_s);
        row("days leading zeros", days, u"007"_s, u"7 ok"_s);
        row("days decimal point stops", days, u"3.9"_s, u"3 ok"_s);
        row("days clamped high", days, u"99999999999999999999"_s, u"2147483647 refused"_s);
        row("days clamped low", days, u"-99999999999999999999"_s, u"-2147483648 refused"_s);
        row("days 0", days, u"0"_s, u"0 ok"_s);
        row("days 366", days, u"366"_s, u"366 ok"_s);
        row("days 367", days, u"367"_s, u"367 refused"_s);
        row("days two zeros", days, u"00"_s, u"0 refused"_s);
        row("days past 32 bits", days, u"4294967296"_s, u"2147483647 refused"_s);
        // The check before a run: paths before days, and what stays in the days field.
        row("check all fine", check, u"/photos/2024|/photos/out|yyyy|3|on"_s, u"none 3"_s);
        row("check input empty, days bad too", check, u"|/photos/out|yyyy|abc|on"_s, u"input abc"_s);
        row("check separate on, output empty", check, u"/photos/2024||yyyy|0|on"_s, u"input 0"_s);
        row("check separate off, output empty", check, u"/photos/2024||yyyy|0|off"_s, u"none 0"_s);
        row("check format empty", check, u"/photos/2024|/photos/out||0|on"_s, u"input 0"_s);
        row("check output is the instruction text", check, u"/photos/2024|<init>|yyyy|0|on"_s, u"input 0"_s);
        row("check output equals input", check, u"/photos/2024|/photos/2024|yyyy|0|on"_s, u"input 0"_s);
        row("check output equals input, separate off", check, u"/photos/2024|/photos/2024|yyyy|0|off"_s, u"input 0"_s);
        row("check days empty becomes 0", check, u"/photos/2024|/photos/out|yyyy||on"_s, u"none 0"_s);
        row("check days 367", check, u"/photos/2024|/photos/out|yyyy|367|on"_s, u"days 0"_s);
        row("check days without digits", check, u"/photos/2024|/photos/out|yyyy|abc|on"_s, u"days 0"_s);
        row("check days 12abc kept as typed", check, u"/photos/2024|/photos/out|yyyy|12abc|on"_s, u"none 12abc"_s);
        // Whether output and input are one place, both ways round.
        row("same text", same, u"in|in"_s, u"same"_s);
        row("same: trailing slash", same, u"in|in/"_s, u"same"_s);
        row("same: dot dot", same, u"in|out/../in"_s, u"same"_s);
        row("same: doubled slash", same, u"in|out//../in"_s, u"same"_s);
        row("same: symbolic link", same, u"in|link-to-in"_s, u"same"_s);
        row("same: missing spelled twice", same, u"gone|gone/"_s, u"same"_s);
        row("different folders", same, u"in|out"_s, u"apart"_s);
        row("sub folder is not the same", same, u"in|in/sub"_s, u"apart"_s);
        row("empty output", same, u"in|"_s, u"apart"_s);
        // The paths on disk, as the core sees them.
        row("probe folder in place", probe, u"in|-"_s, u"usable"_s);
        row("probe file in place", probe, u"in/a.jpg|-"_s, u"usable"_s);
        row("probe missing input", probe, u"nothing-here|-"_s, u"refused"_s);
        row("probe folder to folder", probe, u"in|out"_s, u"usable"_s);
        row("probe output missing", probe, u"in|no-such-folder"_s, u"refused"_s);
        row("probe output is a file", probe, u"in|in/a.jpg"_s, u"refused"_s);
        row("probe output not writable", probe, u"in|locked"_s, u"refused"_s);
        row("message for the paths", u"message"_s, QString::number(int(start_check::Problem::Input)), u"対象データ、オプションのフォルダまたはファイルの設定を確認してください。"_s);
        row("message for the days", u"message"_s, QString::number(int(start_check::Problem::Days)), u"日数を確認してください。0〜366日のみです。"_s);
        row("no message without a problem", u"message"_s, QString::number(int(start_check::Problem::None)), QString());
        // The dates the controls stand for: the mode and the date given, or the shift in seconds.
        row("fixed date and time joins date and time pickers", dates, u"0|0|0|00:00:00|0|"_s, u"0 2021:05:06 07:08:09"_s);
        row("fixed date only passes the date picker", dates, u"0|1|0|00:00:00|0|"_s, u"1 2021:05:06 22:33:44"_s);
        row("fixed date and time, no valid date: refused", dates, u"0|0|0|00:00:00|0|no date"_s, u"0 refused"_s);
        row("fixed date only, no valid date: refused", dates, u"0|1|0|00:00:00|0|no date"_s, u"1 refused"_s);
        row("fixed time only passes the time picker", dates, u"0|2|0|00:00:00|0|"_s, u"2 2000:01:01 07:08:09"_s);
        row("shift of nothing", dates, u"1|0|0|00:00:00|0|"_s, shift + u"0"_s);
        row("shift back one day and an hour", dates, u"1|0|1|01:00:00|1|"_s, shift + u"-90000"_s);
        row("shift forward the most", dates, u"1|2|366|23:59:59|0|"_s, shift + max);
        row("shift back the most", dates, u"1|0|366|23:59:59|1|"_s, shift + u'-' + max);
        row("days read as intValue", dates, u"1|0|7x|00:00:30|0|"_s, shift + u"604830"_s);
        row("other shift tag is forward", dates, u"1|0|2|00:00:00|5|"_s, shift + u"172800"_s);
        row("any shitei tag but 0 shifts", dates, u"3|0|0|00:01:00|0|"_s, shift + u"60"_s);
        row("time only without a date", u"time only"_s, u"07:08:09"_s, u"2012:05:03 07:08:09"_s);
        // clang-format on
    }

    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, args);
        QFETCH(QString, expected);
        if (args.endsWith(u"|locked"_s) && ::geteuid() == 0)
            QSKIP("running as root: every folder is writable");
        QTemporaryDir dir;
        QDir d(dir.path());
        QVERIFY(d.mkpath(u"in/sub"_s) && d.mkpath(u"out"_s) && d.mkpath(u"locked"_s));
        QVERIFY(QFile(dir.filePath(u"in/a.jpg"_s)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dir.filePath(u"in"_s), dir.filePath(u"link-to-in"_s)));
        QFile::setPermissions(dir.filePath(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner);
        const QString got = answer(rule, args.split(u'|'), dir);
        QFile::setPermissions(dir.filePath(u"locked"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(got, expected);
    }

    // From the first to the last reason the core knows today: each its own
    // words, in Japanese, not the core's key.
    void everyReasonHasItsOwnText()
    {
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
