#include "start_check.h"
#include "window_texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using start_check::Problem;

Q_DECLARE_METATYPE(start_check::Problem)

namespace {

const QString kIn = QStringLiteral("/photos/2024");
const QString kOut = QStringLiteral("/photos/out");

bool anyPathGoes(const QString&, const std::optional<QString>&)
{
    return true;
}

} // namespace

class TestStartCheck : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void probeSeesTheOutputOnlyWithASeparateFolder();
    void failingProbeIsTheInputError();
    void samePlace_data();
    void samePlace();
    void corePathProbe_data();
    void corePathProbe();
    void messages();
};

void TestStartCheck::rules_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("days");
    QTest::addColumn<bool>("separate");
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<QString>("daysAfter");

    const QString init = window_texts::outInit();
    const QString fmt = QStringLiteral("yyyy:MM:dd HH:mm:ss");
    QTest::newRow("all fine") << kIn << kOut << fmt << QStringLiteral("3") << true << Problem::None << QStringLiteral("3");
    QTest::newRow("input empty, days bad too") << QString() << kOut << fmt << QStringLiteral("abc") << true << Problem::Input << QStringLiteral("abc");
    QTest::newRow("separate on, output empty") << kIn << QString() << fmt << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("separate off, output empty") << kIn << QString() << fmt << QStringLiteral("0") << false << Problem::None << QStringLiteral("0");
    QTest::newRow("format empty") << kIn << kOut << QString() << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("output is the instruction text") << kIn << init << fmt << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("output equals input") << kIn << kIn << fmt << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("output equals input, separate off") << kIn << kIn << fmt << QStringLiteral("0") << false << Problem::Input << QStringLiteral("0");
    QTest::newRow("output equals input with trailing slash") << kIn << kIn + u'/' << fmt << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("output equals input through ..") << kIn << QStringLiteral("/photos/x/../2024") << fmt << QStringLiteral("0") << true << Problem::Input << QStringLiteral("0");
    QTest::newRow("days empty becomes 0") << kIn << kOut << fmt << QString() << true << Problem::None << QStringLiteral("0");
    QTest::newRow("days 1") << kIn << kOut << fmt << QStringLiteral("1") << true << Problem::None << QStringLiteral("1");
    QTest::newRow("days 366") << kIn << kOut << fmt << QStringLiteral("366") << true << Problem::None << QStringLiteral("366");
    QTest::newRow("days 367") << kIn << kOut << fmt << QStringLiteral("367") << true << Problem::Days << QStringLiteral("0");
    QTest::newRow("days -1") << kIn << kOut << fmt << QStringLiteral("-1") << true << Problem::Days << QStringLiteral("0");
    QTest::newRow("days 00") << kIn << kOut << fmt << QStringLiteral("00") << true << Problem::Days << QStringLiteral("0");
    QTest::newRow("days blank then 0") << kIn << kOut << fmt << QStringLiteral(" 0") << true << Problem::Days << QStringLiteral("0");
    QTest::newRow("days without digits") << kIn << kOut << fmt << QStringLiteral("abc") << true << Problem::Days << QStringLiteral("0");
    QTest::newRow("days 7x kept as typed") << kIn << kOut << fmt << QStringLiteral("7x") << true << Problem::None << QStringLiteral("7x");
    QTest::newRow("days 12abc kept as typed") << kIn << kOut << fmt << QStringLiteral("12abc") << true << Problem::None << QStringLiteral("12abc");
}

void TestStartCheck::rules()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, format);
    QFETCH(QString, days);
    QFETCH(bool, separate);
    QFETCH(Problem, problem);
    QFETCH(QString, daysAfter);

    start_check::Input in{input, output, format, days, window_texts::outInit(), separate};
    const start_check::Result r = start_check::check(in, anyPathGoes);
    QCOMPARE(r.problem, problem);
    QCOMPARE(r.daysText, daysAfter);
}

void TestStartCheck::probeSeesTheOutputOnlyWithASeparateFolder()
{
    std::optional<QString> seenOutput = QStringLiteral("untouched");
    QString seenInput;
    auto probe = [&](const QString& i, const std::optional<QString>& o) {
        seenInput = i;
        seenOutput = o;
        return true;
    };
    start_check::check({kIn, QString(), QStringLiteral("f"), QStringLiteral("0"), window_texts::outInit(), false}, probe);
    QCOMPARE(seenInput, kIn);
    QVERIFY(!seenOutput.has_value());
    start_check::check({kIn, kOut, QStringLiteral("f"), QStringLiteral("0"), window_texts::outInit(), true}, probe);
    QCOMPARE(seenOutput, std::optional<QString>(kOut));
}

void TestStartCheck::failingProbeIsTheInputError()
{
    // Paths come before days: a missing input with bad days is still the
    // input error, and the days field is left alone.
    const auto r = start_check::check({kIn, kOut, QStringLiteral("f"), QStringLiteral("abc"), window_texts::outInit(), true},
                                      [](const QString&, const std::optional<QString>&) { return false; });
    QCOMPARE(r.problem, Problem::Input);
    QCOMPARE(r.daysText, QStringLiteral("abc"));
}

void TestStartCheck::samePlace_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("same text") << QStringLiteral("in") << QStringLiteral("in") << true;
    QTest::newRow("trailing slash") << QStringLiteral("in") << QStringLiteral("in/") << true;
    QTest::newRow("dot dot") << QStringLiteral("in") << QStringLiteral("out/../in") << true;
    QTest::newRow("doubled slash") << QStringLiteral("in") << QStringLiteral("out//../in") << true;
    QTest::newRow("symbolic link") << QStringLiteral("in") << QStringLiteral("link-to-in") << true;
    QTest::newRow("different folders") << QStringLiteral("in") << QStringLiteral("out") << false;
    QTest::newRow("sub folder is not the same") << QStringLiteral("in") << QStringLiteral("in/sub") << false;
    QTest::newRow("missing spelled twice") << QStringLiteral("gone") << QStringLiteral("gone/") << true;
    QTest::newRow("empty output") << QStringLiteral("in") << QString() << false;
}

void TestStartCheck::samePlace()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in/sub")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("in")), dir.filePath(QStringLiteral("link-to-in"))));
    auto full = [&](const QString& p) { return p.isEmpty() ? p : dir.path() + u'/' + p; };
    QCOMPARE(start_check::samePlace(full(a), full(b)), same);
    QCOMPARE(start_check::samePlace(full(b), full(a)), same);
}

void TestStartCheck::corePathProbe_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");  // "-" for no separate folder
    QTest::addColumn<bool>("usable");
    QTest::newRow("folder in place") << QStringLiteral("in") << QStringLiteral("-") << true;
    QTest::newRow("file in place") << QStringLiteral("in/a.jpg") << QStringLiteral("-") << true;
    QTest::newRow("missing input") << QStringLiteral("nothing-here") << QStringLiteral("-") << false;
    QTest::newRow("folder to folder") << QStringLiteral("in") << QStringLiteral("out") << true;
    QTest::newRow("output missing") << QStringLiteral("in") << QStringLiteral("no-such-folder") << false;
    QTest::newRow("output is a file") << QStringLiteral("in") << QStringLiteral("in/a.jpg") << false;
    QTest::newRow("output not writable") << QStringLiteral("in") << QStringLiteral("locked") << false;
}

void TestStartCheck::corePathProbe()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(bool, usable);
    if (output == QStringLiteral("locked") && ::geteuid() == 0)
        QSKIP("running as root: every folder is writable");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("locked")));
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
    QFile f(dir.filePath(QStringLiteral("in/a.jpg")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();

    const std::optional<QString> out =
        output == QStringLiteral("-") ? std::nullopt : std::optional<QString>(dir.filePath(output));
    QCOMPARE(start_check::corePathProbe()(dir.filePath(input), out), usable);
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestStartCheck::messages()
{
    QCOMPARE(start_check::message(Problem::Input),
             QStringLiteral("対象データ、オプションのフォルダまたはファイルの設定を確認してください。"));
    QCOMPARE(start_check::message(Problem::Days), QStringLiteral("日数を確認してください。0〜366日のみです。"));
    QVERIFY(start_check::message(Problem::None).isEmpty());
}

QTEST_GUILESS_MAIN(TestStartCheck)
#include "tst_start_check.moc"
