#include "reason_text.h"

#include <QSet>
#include <QTest>

using shotdate::Reason;

class TestReasonText : public QObject {
    Q_OBJECT
private slots:
    void knownWords_data();
    void knownWords();
    void everyReasonHasItsOwnText();
};

void TestReasonText::knownWords_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("text");
    QTest::newRow("no exif") << int(Reason::NoExif) << QStringLiteral("EXIFなし");
    QTest::newRow("bad date") << int(Reason::BadFileDate) << QStringLiteral("日付が読めません");
    QTest::newRow("write failed") << int(Reason::WriteFailed) << QStringLiteral("書き込みできません");
    QTest::newRow("not an image") << int(Reason::NotAnImage) << QStringLiteral("画像ではありません");
    QTest::newRow("link outside") << int(Reason::LinkOutside)
                                  << QStringLiteral("リンク先が対象フォルダの外にあります");
}

void TestReasonText::knownWords()
{
    QFETCH(int, reason);
    QFETCH(QString, text);
    QCOMPARE(reasonText(Reason(reason)), text);
}

void TestReasonText::everyReasonHasItsOwnText()
{
    // From the first to the last reason the core knows today.
    QSet<QString> seen;
    for (int r = int(Reason::Rewritten); r <= int(Reason::MovieHeaderTooLarge); ++r) {
        const QString text = reasonText(Reason(r));
        QVERIFY2(!text.isEmpty(), qPrintable(QString::number(r)));
        QVERIFY2(!seen.contains(text), qPrintable(text));
        // Japanese, not the core's key.
        QVERIFY2(text.toUtf8().size() > text.size(), qPrintable(text));
        seen.insert(text);
    }
}

QTEST_GUILESS_MAIN(TestReasonText)
#include "tst_reason_text.moc"
