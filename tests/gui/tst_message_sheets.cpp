#include "message_sheets.h"
#include "window_texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWidget>

using message_sheets::Icon;

namespace {

QMessageBox* openBox(QWidget& window)
{
    QMessageBox* found = nullptr;
    // Opened without blocking: the call has returned, and the box shows up
    // from the event loop.
    for (int i = 0; i < 200 && !found; ++i) {
        for (QMessageBox* b : window.findChildren<QMessageBox*>()) {
            if (b->isVisible())
                found = b;
        }
        if (!found)
            QTest::qWait(10);
    }
    return found;
}

QStringList buttonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* b : box->buttons()) {
        if (box->buttonRole(b) != QMessageBox::ActionRole)  // "Show Details..." is Qt's own
            texts.append(b->text());
    }
    texts.sort();
    return texts;
}

QStringList allButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts.append(b->text());
    texts.sort();
    return texts;
}

void clickButton(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text)
            return b->click();
    QFAIL(qPrintable(QStringLiteral("no button ") + text));
}

} // namespace

class TestMessageSheets : public QObject {
    Q_OBJECT
private slots:
    void messageIsWindowModalWithOneCloseButton_data();
    void messageIsWindowModalWithOneCloseButton();
    void confirmation_data();
    void confirmation();
    void escapeCancels();
    void testAnswersShowNothing();
    void iconsAreDrawn();
};

void TestMessageSheets::messageIsWindowModalWithOneCloseButton_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("details");
    QTest::newRow("finished") << window_texts::finished(3) << int(Icon::Spacer) << QString();
    QTest::newRow("stopped with details") << window_texts::stopped(2) << int(Icon::Bickuri)
                                          << QStringLiteral("/a/b.txt：画像ではありません");
    QTest::newRow("input error") << window_texts::inputError() << int(Icon::Bickuri) << QString();
}

void TestMessageSheets::messageIsWindowModalWithOneCloseButton()
{
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(QString, details);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    message_sheets::showMessage(&window, text, Icon(icon), details);
    QMessageBox* box = openBox(window);
    QVERIFY(box);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QCOMPARE(buttonTexts(box), QStringList{QStringLiteral("閉じる")});
    QCOMPARE(box->detailedText(), details);
    QVERIFY(!box->iconPixmap().isNull());
    QPointer<QMessageBox> guard(box);
    box->defaultButton()->click();
    QTRY_VERIFY(guard.isNull());  // closed and gone
}

void TestMessageSheets::confirmation_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("pressRun");
    QTest::addColumn<bool>("preview");  // offered, and pressed before the answer
    QTest::newRow("run, box ticked") << true << true << false;
    QTest::newRow("run, box not ticked") << false << true << false;
    QTest::newRow("cancel, box ticked") << true << false << false;
    QTest::newRow("cancel") << false << false << false;
    QTest::newRow("preview, then run") << false << true << true;
    QTest::newRow("preview, then cancel") << true << false << true;
}

void TestMessageSheets::confirmation()
{
    QFETCH(bool, tick);
    QFETCH(bool, pressRun);
    QFETCH(bool, preview);
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    int calls = 0;
    bool gotRun = false;
    bool gotTick = false;
    QList<QWidget*> previewedOver;
    message_sheets::askConfirmation(&window, window_texts::confirmation(), [&](bool run, bool dontShow) {
        ++calls;
        gotRun = run;
        gotTick = dontShow;
    }, preview ? message_sheets::PreviewOpener([&](QWidget* over) { previewedOver.append(over); })
               : message_sheets::PreviewOpener());
    QCOMPARE(calls, 0);
    QMessageBox* box = openBox(window);
    QVERIFY(box);
    QCOMPARE(box->text(), window_texts::confirmation());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QVERIFY(box->checkBox());
    QCOMPARE(box->checkBox()->text(), QStringLiteral("次回からは表示しない"));
    QVERIFY(!box->checkBox()->isChecked());
    QStringList buttons{QStringLiteral("キャンセル"), QStringLiteral("実行する")};
    if (preview)
        buttons.append(QStringLiteral("プレビュー…"));
    buttons.sort();
    QCOMPARE(allButtonTexts(box), buttons);
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("実行する"));
    box->checkBox()->setChecked(tick);
    if (preview) {
        clickButton(box, QStringLiteral("プレビュー…"));
        // The preview opens over the confirmation, which stays open and unanswered.
        QTRY_COMPARE(previewedOver, QList<QWidget*>{box});
        QPointer<QMessageBox> stillThere(box);
        QTest::qWait(50);
        QVERIFY2(stillThere && box->isVisible(), "the preview button closed the confirmation");
        QCOMPARE(calls, 0);
    }
    clickButton(box, pressRun ? QStringLiteral("実行する") : QStringLiteral("キャンセル"));
    QTRY_COMPARE(calls, 1);
    QCOMPARE(gotRun, pressRun);
    QCOMPARE(gotTick, tick);
}

void TestMessageSheets::escapeCancels()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int calls = 0;
    bool gotRun = true;
    message_sheets::askConfirmation(&window, window_texts::confirmation(), [&](bool run, bool) {
        ++calls;
        gotRun = run;
    });
    QMessageBox* box = openBox(window);
    QVERIFY(box);
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_COMPARE(calls, 1);
    QVERIFY(!gotRun);
}

void TestMessageSheets::testAnswersShowNothing()
{
    QWidget window;
    message_sheets::TestAnswers answers;
    message_sheets::showMessage(&window, QStringLiteral("x"), Icon::Spacer, QStringLiteral("d"));
    int calls = 0;
    message_sheets::askConfirmation(&window, QStringLiteral("unanswered"), [&](bool, bool) { ++calls; });
    answers.answerNextConfirmation(true, true);
    bool run = false;
    bool tick = false;
    message_sheets::askConfirmation(&window, QStringLiteral("answered"), [&](bool r, bool t) {
        ++calls;
        run = r;
        tick = t;
    });
    QCOMPARE(calls, 0);  // answers arrive through the event loop
    QTRY_COMPARE(calls, 1);
    QVERIFY(run && tick);
    QVERIFY(window.findChildren<QMessageBox*>().isEmpty());
    QCOMPARE(answers.shown().size(), 3);
    QCOMPARE(answers.shown().at(0).details, QStringLiteral("d"));
    QVERIFY(answers.shown().at(1).confirmation);
}

void TestMessageSheets::iconsAreDrawn()
{
    for (Icon icon : {Icon::Spacer, Icon::Bickuri}) {
        const QPixmap p = message_sheets::iconPixmap(icon);
        QVERIFY(!p.isNull());
        QCOMPARE(p.size(), QSize(48, 48));
    }
    QVERIFY(message_sheets::iconPixmap(Icon::Spacer).toImage() != message_sheets::iconPixmap(Icon::Bickuri).toImage());
}

QTEST_MAIN(TestMessageSheets)
#include "tst_message_sheets.moc"
