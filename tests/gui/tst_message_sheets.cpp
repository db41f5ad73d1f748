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
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

using message_sheets::Icon;

namespace {

// Opened without blocking: the call has returned, and the box shows up from
// the event loop.
QMessageBox* openBox(QWidget& window)
{
    QMessageBox* box = nullptr;
    return QTest::qWaitFor([&] { return (box = window.findChild<QMessageBox*>()) && box->isVisible(); }) ? box
                                                                                                         : nullptr;
}

QStringList buttonTexts(QMessageBox* box)
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
    QFAIL(qPrintable(u"no button "_s + text));
}

} // namespace

class TestMessageSheets : public QObject {
    Q_OBJECT
private slots:
    void messageIsWindowModalWithOneCloseButton()
    {
        const QString text = window_texts::inputError();
        QWidget window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        message_sheets::showMessage(&window, text, Icon::Bickuri);
        QMessageBox* box = openBox(window);
        QVERIFY(box);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(buttonTexts(box), QStringList{u"閉じる"_s});
        QVERIFY(!box->iconPixmap().isNull());
        QPointer<QMessageBox> guard(box);
        box->defaultButton()->click();
        QTRY_VERIFY(guard.isNull()); // closed and gone
    }

    void closingMessage_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("folder");
        const QString deep = u"/home/写真/2024年の旅行"_s.repeated(12);
        QTest::newRow("nothing passed over: no table") << 0 << QString();
        QTest::newRow("a tab in a name") << 3 << u"/写真"_s;
        QTest::newRow("a folder wider than the screen") << 24 << deep;
    }

    void closingMessage()
    {
        QFETCH(int, count);
        QFETCH(QString, folder);
        QList<PassedOverRow> rows;
        for (int i = 0; i < count; ++i)
            rows.append({u"IMG_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0')), folder, u"EXIFなし"_s});
        if (count == 3)
            rows[1].fileName = u"a\tb.jpg"_s;
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        message_sheets::showClosingMessage(&window, {window_texts::finished(5), Icon::Spacer, rows});
        ClosingMessageDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = window.findChild<ClosingMessageDialog*>()) && dialog->isVisible());
        QCOMPARE(dialog->text(), u"完了しました。\n\n計5ファイル"_s);
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->closeButton()->text(), u"閉じる"_s);
        // A button added later for another action leaves "閉じる" the default.
        dialog->addButton(u"元に戻す"_s);
        QVERIFY(dialog->closeButton()->isDefault());

        if (count == 0) {
            QVERIFY(!dialog->table() && !dialog->copyButton());
        } else {
            PassedOverTable* table = dialog->table();
            QVERIFY(table);
            QCOMPARE(dialog->tableTitle()->text(), u"書き換えなかったもの（%1件）"_s.arg(count));
            QCOMPARE(table->rowCount(), count);
            QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), u"フォルダ"_s);
            QCOMPARE(table->item(count - 1, 0)->text(), rows.last().fileName);
            // Within the screen, every column in view without sideways scrolling,
            // and the user can make it larger.
            const QRect screen = window.screen()->availableGeometry();
            QVERIFY2(dialog->width() <= screen.width() && dialog->height() <= screen.height(),
                     qPrintable(u"%1x%2"_s.arg(dialog->width()).arg(dialog->height())));
            QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
            QVERIFY(dialog->isSizeGripEnabled() && dialog->maximumWidth() > dialog->width());

            dialog->copyButton()->click();
            const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), count);
            QCOMPARE(lines.first(), u"IMG_0000.JPG\t%1\tEXIFなし"_s.arg(folder));
            if (count == 3)
                QCOMPARE(lines.at(1), u"a b.jpg\t%1\tEXIFなし"_s.arg(folder));
            // Copy from the keyboard gives the rows selected.
            table->setFocus();
            table->selectRow(count - 1);
            QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(), lines.last() + u'\n');
        }
        QPointer<ClosingMessageDialog> guard(dialog);
        QTest::keyClick(dialog, Qt::Key_Return);
        QTRY_VERIFY(guard.isNull());
    }

    void confirmation_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QString>("answer"); // a button's text, or "Escape"
        QTest::addColumn<bool>("preview"); // offered, and pressed before the answer
        const QString run = u"実行する"_s;
        const QString cancel = u"キャンセル"_s;
        QTest::newRow("run, box ticked") << true << run << false;
        QTest::newRow("cancel") << false << cancel << false;
        QTest::newRow("escape cancels") << false << u"Escape"_s << false;
        QTest::newRow("preview, then run") << false << run << true;
    }

    void confirmation()
    {
        QFETCH(bool, tick);
        QFETCH(QString, answer);
        QFETCH(bool, preview);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        int calls = 0;
        bool gotRun = false;
        bool gotTick = false;
        QList<QWidget*> previewedOver;
        message_sheets::askConfirmation(
            &window, window_texts::confirmation(),
            [&](bool run, bool dontShow) {
                ++calls;
                gotRun = run;
                gotTick = dontShow;
            },
            preview ? message_sheets::PreviewOpener([&](QWidget* over) { previewedOver.append(over); })
                    : message_sheets::PreviewOpener());
        QCOMPARE(calls, 0);
        QMessageBox* box = openBox(window);
        QVERIFY(box);
        // The wording itself, not only whatever window_texts holds.
        QCOMPARE(
            box->text(),
            u"実行しますか？\n実行後は元に戻せません。別フォルダに出力するかバックアップを取ることをお勧めします。"_s);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QVERIFY(box->checkBox());
        QCOMPARE(box->checkBox()->text(), u"次回からは表示しない"_s);
        QVERIFY(!box->checkBox()->isChecked());
        QStringList buttons{u"キャンセル"_s, u"実行する"_s};
        if (preview)
            buttons.append(u"プレビュー…"_s);
        buttons.sort();
        QCOMPARE(buttonTexts(box), buttons);
        QCOMPARE(box->defaultButton()->text(), u"実行する"_s);
        box->checkBox()->setChecked(tick);
        if (preview) {
            clickButton(box, u"プレビュー…"_s);
            // The preview opens over the confirmation, which stays open and unanswered.
            QTRY_COMPARE(previewedOver, QList<QWidget*>{box});
            QPointer<QMessageBox> stillThere(box);
            QTest::qWait(50);
            QVERIFY2(stillThere && box->isVisible(), "the preview button closed the confirmation");
            QCOMPARE(calls, 0);
        }
        if (answer == u"Escape"_s)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            clickButton(box, answer);
        QTRY_COMPARE(calls, 1);
        QCOMPARE(gotRun, answer == u"実行する"_s);
        QCOMPARE(gotTick, tick);
    }
};

QTEST_MAIN(TestMessageSheets)
#include "tst_message_sheets.moc"
