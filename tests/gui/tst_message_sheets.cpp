#include "closing_message_dialog.h"
#include "message_sheets.h"
#include "passed_over_table.h"
#include "window_texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
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
    void closingMessage_data();
    void closingMessage();
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
    QTest::newRow("input error") << window_texts::inputError() << int(Icon::Bickuri);
    QTest::newRow("days error") << window_texts::daysError() << int(Icon::Bickuri);
}

void TestMessageSheets::messageIsWindowModalWithOneCloseButton()
{
    QFETCH(QString, text);
    QFETCH(int, icon);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    message_sheets::showMessage(&window, text, Icon(icon));
    QMessageBox* box = openBox(window);
    QVERIFY(box);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QCOMPARE(buttonTexts(box), QStringList{QStringLiteral("閉じる")});
    QVERIFY(!box->iconPixmap().isNull());
    QPointer<QMessageBox> guard(box);
    box->defaultButton()->click();
    QTRY_VERIFY(guard.isNull());  // closed and gone
}

void TestMessageSheets::closingMessage_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("folder");
    const QString deep = QStringLiteral("/home/写真/2024年の旅行").repeated(12);
    QTest::newRow("nothing passed over: no table") << 0 << QString();
    QTest::newRow("a tab in a name") << 3 << QStringLiteral("/写真");
    QTest::newRow("24 files") << 24 << QStringLiteral("/home/user/写真/2024年の旅行");
    QTest::newRow("a folder wider than the screen") << 24 << deep;
}

void TestMessageSheets::closingMessage()
{
    QFETCH(int, count);
    QFETCH(QString, folder);
    QList<PassedOverRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')), folder, QStringLiteral("EXIFなし")});
    if (count == 3)
        rows[1].fileName = QStringLiteral("a\tb.jpg");
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    message_sheets::showClosingMessage(&window, {window_texts::finished(5), Icon::Spacer, rows});
    ClosingMessageDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = window.findChild<ClosingMessageDialog*>()) && dialog->isVisible());
    QCOMPARE(dialog->text(), QStringLiteral("完了しました。\n\n計5ファイル"));
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(dialog->closeButton()->text(), QStringLiteral("閉じる"));
    // A button added later for another action leaves "閉じる" the default.
    dialog->addButton(QStringLiteral("元に戻す"));
    QVERIFY(dialog->closeButton()->isDefault());

    if (count == 0) {
        QVERIFY(!dialog->table() && !dialog->copyButton());
    } else {
        PassedOverTable* table = dialog->table();
        QVERIFY(table);
        QCOMPARE(dialog->tableTitle()->text(), QStringLiteral("書き換えなかったもの（%1件）").arg(count));
        QCOMPARE(table->rowCount(), count);
        QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("フォルダ"));
        QCOMPARE(table->item(count - 1, 0)->text(), rows.last().fileName);
        // Within the screen, every column in view without sideways scrolling,
        // and the user can make it larger.
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY2(dialog->width() <= screen.width() && dialog->height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(dialog->width()).arg(dialog->height())));
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        QVERIFY(dialog->isSizeGripEnabled() && dialog->maximumWidth() > dialog->width());

        dialog->copyButton()->click();
        const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), count);
        QCOMPARE(lines.first(), QStringLiteral("IMG_0000.JPG\t%1\tEXIFなし").arg(folder));
        if (count == 3)
            QCOMPARE(lines.at(1), QStringLiteral("a b.jpg\t%1\tEXIFなし").arg(folder));
        // Select-all and copy from the keyboard give the same lines; one row
        // selected gives that row.
        QGuiApplication::clipboard()->clear();
        table->setFocus();
        QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts), lines);
        table->clearSelection();
        table->selectRow(count - 1);
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), lines.last() + u'\n');
    }
    QPointer<ClosingMessageDialog> guard(dialog);
    QTest::keyClick(dialog, Qt::Key_Return);
    QTRY_VERIFY(guard.isNull());
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
    const QList<PassedOverRow> rows{{QStringLiteral("a.txt"), QStringLiteral("/f"), QStringLiteral("r")}};
    message_sheets::showClosingMessage(&window, {QStringLiteral("x"), Icon::Spacer, rows});
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
    QVERIFY(window.findChildren<ClosingMessageDialog*>().isEmpty());
    QCOMPARE(answers.shown().size(), 3);
    QCOMPARE(answers.shown().at(0).passedOver, rows);
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
