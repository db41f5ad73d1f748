#include "path_dialogs.h"
#include "qt_translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

// Qt draws some texts of the window itself: they must come out in Japanese,
// not in English, on a machine set up by tools/install-deps.
class TestQtJapaneseTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void qtTextsAreJapanese_data();
    void qtTextsAreJapanese();
};

void TestQtJapaneseTexts::initTestCase()
{
    QVERIFY2(installQtJapaneseTexts(*QCoreApplication::instance()),
             "qtbase_ja.qm did not load: install qt6-translations-l10n (tools/install-deps)");
}

void TestQtJapaneseTexts::qtTextsAreJapanese_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("expected");
    // One text of each kind: Qt's own widgets, the chooser's header and
    // buttons, and the file types the chooser names.
    QTest::newRow("message box details button") << u"details"_s << u"詳細を表示..."_s;
    QTest::newRow("chooser column: date modified") << u"column3"_s << u"更新日"_s;
    QTest::newRow("chooser back button tooltip") << u"backButton"_s << u"戻る"_s;
    QTest::newRow("chooser type of a folder") << u"folderType"_s << u"フォルダ"_s;
}

void TestQtJapaneseTexts::qtTextsAreJapanese()
{
    QFETCH(QString, where);
    QFETCH(QString, expected);
    QString actual;
    if (where == u"details"_s) {
        QMessageBox box;
        box.setText(u"完了しました。"_s);
        box.setDetailedText(u"x"_s);
        box.show();
        for (QAbstractButton* b : box.buttons()) {
            if (box.buttonRole(b) == QMessageBox::ActionRole)
                actual = b->text();
        }
    } else {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"sub"_s));
        InputPathDialog dialog(nullptr, dir.path());
        dialog.show();
        if (where == u"folderType"_s) {
            auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model);
            const QModelIndex sub = model->index(dir.filePath(u"sub"_s), 2);
            QTRY_VERIFY(!sub.data().toString().isEmpty());
            actual = sub.data().toString();
        } else if (where.startsWith(u"column"_s)) {
            auto* tree = dialog.findChild<QTreeView*>(u"treeView"_s);
            QVERIFY(tree);
            actual = tree->model()->headerData(where.back().digitValue(), Qt::Horizontal).toString();
        } else {
            auto* button = dialog.findChild<QToolButton*>(where);
            QVERIFY(button);
            actual = button->toolTip();
        }
    }
    QCOMPARE(actual, expected);
}

QTEST_MAIN(TestQtJapaneseTexts)
#include "tst_qt_japanese_texts.moc"
