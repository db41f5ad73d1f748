#include "date_arguments.h"

#include <QTest>

namespace {

QString show(shotdate::LocalSeconds t)
{
    return QString::fromStdString(shotdate::formatExifDate(t).value_or("(out of range)"));
}

} // namespace

class TestDateArguments : public QObject {
    Q_OBJECT
private slots:
    void modes_data();
    void modes();
    void invalidPickerDateIsRefusedNotGuessed_data();
    void invalidPickerDateIsRefusedNotGuessed();
};

void TestDateArguments::modes_data()
{
    QTest::addColumn<int>("shitei");
    QTest::addColumn<int>("nichiji");
    QTest::addColumn<QString>("days");
    QTest::addColumn<QTime>("jisa");
    QTest::addColumn<int>("susumu");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("given");  // "" when not looked at
    QTest::addColumn<int>("shift");

    const QTime zero(0, 0, 0);
    QTest::newRow("fixed date and time joins date and time pickers")
        << 0 << 0 << QStringLiteral("0") << zero << 0 << 0 << QStringLiteral("2021:05:06 07:08:09") << 0;
    QTest::newRow("fixed date only passes the date picker")
        << 0 << 1 << QStringLiteral("0") << zero << 0 << 1 << QStringLiteral("2021:05:06 22:33:44") << 0;
    QTest::newRow("fixed time only passes the time picker")
        << 0 << 2 << QStringLiteral("0") << zero << 0 << 2 << QStringLiteral("2000:01:01 07:08:09") << 0;
    QTest::newRow("shift of nothing") << 1 << 0 << QStringLiteral("0") << zero << 0 << 99 << QString() << 0;
    QTest::newRow("shift back one day and an hour")
        << 1 << 0 << QStringLiteral("1") << QTime(1, 0, 0) << 1 << 99 << QString() << -(86400 + 3600);
    QTest::newRow("shift forward the most")
        << 1 << 2 << QStringLiteral("366") << QTime(23, 59, 59) << 0 << 99 << QString()
        << int(shotdate::kMaxShiftSeconds);
    QTest::newRow("shift back the most")
        << 1 << 0 << QStringLiteral("366") << QTime(23, 59, 59) << 1 << 99 << QString()
        << -int(shotdate::kMaxShiftSeconds);
    QTest::newRow("days read as intValue") << 1 << 0 << QStringLiteral("7x") << QTime(0, 0, 30) << 0 << 99
                                           << QString() << 7 * 86400 + 30;
    QTest::newRow("other shift tag is forward") << 1 << 0 << QStringLiteral("2") << zero << 5 << 99 << QString()
                                                << 2 * 86400;
    QTest::newRow("any shitei tag but 0 shifts") << 3 << 0 << QStringLiteral("0") << QTime(0, 1, 0) << 0 << 99
                                                 << QString() << 60;
}

void TestDateArguments::modes()
{
    QFETCH(int, shitei);
    QFETCH(int, nichiji);
    QFETCH(QString, days);
    QFETCH(QTime, jisa);
    QFETCH(int, susumu);
    QFETCH(int, mode);
    QFETCH(QString, given);
    QFETCH(int, shift);

    DateControlValues v;
    v.shiteiTag = shitei;
    v.shiteiNichijiTag = nichiji;
    v.hiduke = QDateTime(QDate(2021, 5, 6), QTime(22, 33, 44));
    v.jikan = QDateTime(QDate(2000, 1, 1), QTime(7, 8, 9));
    v.jisaNissu = days;
    v.jisaJikan = jisa;
    v.susumuModoruTag = susumu;
    const auto args = dateArgumentsFrom(v, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
    QCOMPARE(args.mode, mode);
    QCOMPARE(args.shiftSeconds, shift);
    if (!given.isEmpty())
        QCOMPARE(show(args.givenDate), given);
}

void TestDateArguments::invalidPickerDateIsRefusedNotGuessed_data()
{
    QTest::addColumn<int>("nichiji");
    QTest::addColumn<QString>("given");
    // A date that cannot be written must not turn into some other real date.
    QTest::newRow("date and time") << 0 << QStringLiteral("(out of range)");
    QTest::newRow("date only") << 1 << QStringLiteral("(out of range)");
}

void TestDateArguments::invalidPickerDateIsRefusedNotGuessed()
{
    QFETCH(int, nichiji);
    QFETCH(QString, given);
    DateControlValues v;
    v.shiteiTag = 0;
    v.shiteiNichijiTag = nichiji;
    v.hiduke = QDateTime(QDate(), QTime(22, 33, 44));
    v.jikan = QDateTime(QDate(2000, 1, 1), QTime(7, 8, 9));
    const auto args = dateArgumentsFrom(v, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
    QCOMPARE(show(args.givenDate), given);
    // Time only takes nothing but the time of day, which stays right.
    const shotdate::LocalSeconds timeOnly = toLocalSeconds(QDate(), QTime(7, 8, 9));
    QCOMPARE(show(shotdate::joinDateAndTime(*shotdate::makeLocalSeconds(2012, 5, 3, 0, 0, 0), timeOnly)),
             QStringLiteral("2012:05:03 07:08:09"));
}

QTEST_GUILESS_MAIN(TestDateArguments)
#include "tst_date_arguments.moc"
