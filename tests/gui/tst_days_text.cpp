#include "days_text.h"

#include <QTest>

#include <limits>

class TestDaysText : public QObject {
    Q_OBJECT
private slots:
    void intValue_data();
    void intValue();
    void accepted_data();
    void accepted();
};

void TestDaysText::intValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QStringLiteral("12") << 12;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("digits then letters") << QStringLiteral("7x") << 7;
    QTest::newRow("12abc") << QStringLiteral("12abc") << 12;
    QTest::newRow("leading blanks") << QStringLiteral("  \t5") << 5;
    QTest::newRow("plus sign") << QStringLiteral("+8") << 8;
    QTest::newRow("minus sign") << QStringLiteral("-1") << -1;
    QTest::newRow("blank after sign stops") << QStringLiteral("- 1") << 0;
    QTest::newRow("no digits") << QStringLiteral("abc") << 0;
    QTest::newRow("letters first") << QStringLiteral("x7") << 0;
    QTest::newRow("full-width digits are not digits") << QStringLiteral("７") << 0;
    QTest::newRow("full-width blank not skipped") << QStringLiteral("\u30003") << 0;
    QTest::newRow("leading zeros") << QStringLiteral("007") << 7;
    QTest::newRow("decimal point stops") << QStringLiteral("3.9") << 3;
    QTest::newRow("clamped high") << QStringLiteral("99999999999999999999") << std::numeric_limits<int>::max();
    QTest::newRow("clamped low") << QStringLiteral("-99999999999999999999") << std::numeric_limits<int>::min();
    QTest::newRow("int max") << QStringLiteral("2147483647") << 2147483647;
    QTest::newRow("int min") << QStringLiteral("-2147483648") << std::numeric_limits<int>::min();
}

void TestDaysText::intValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(days_text::intValue(text), value);
}

void TestDaysText::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("0") << QStringLiteral("0") << true;
    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("366") << QStringLiteral("366") << true;
    QTest::newRow("367") << QStringLiteral("367") << false;
    QTest::newRow("-1") << QStringLiteral("-1") << false;
    QTest::newRow("two zeros") << QStringLiteral("00") << false;
    QTest::newRow("blank before zero") << QStringLiteral(" 0") << false;
    QTest::newRow("no digits") << QStringLiteral("abc") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("7x passes as 7") << QStringLiteral("7x") << true;
    QTest::newRow("blank before 7") << QStringLiteral(" 7") << true;
    QTest::newRow("huge") << QStringLiteral("4294967296") << false;
    QTest::newRow("minus zero") << QStringLiteral("-0") << false;
}

void TestDaysText::accepted()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QCOMPARE(days_text::accepted(text), ok);
}

QTEST_GUILESS_MAIN(TestDaysText)
#include "tst_days_text.moc"
