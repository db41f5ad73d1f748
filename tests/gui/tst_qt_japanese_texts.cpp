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
    QTest::newRow("message box details button") << QStringLiteral("details") << QStringLiteral("詳細を表示...");
    QTest::newRow("chooser column: name") << QStringLiteral("column0") << QStringLiteral("名前");
    QTest::newRow("chooser column: size") << QStringLiteral("column1") << QStringLiteral("サイズ");
    QTest::newRow("chooser column: type") << QStringLiteral("column2") << QStringLiteral("タイプ");
    QTest::newRow("chooser column: date modified") << QStringLiteral("column3") << QStringLiteral("更新日");
    QTest::newRow("chooser back button tooltip") << QStringLiteral("backButton") << QStringLiteral("戻る");
    QTest::newRow("chooser detail view tooltip") << QStringLiteral("detailModeButton") << QStringLiteral("詳細表示");
    QTest::newRow("chooser type of a folder") << QStringLiteral("folderType") << QStringLiteral("フォルダ");
}

void TestQtJapaneseTexts::qtTextsAreJapanese()
{
    QFETCH(QString, where);
    QFETCH(QString, expected);
    QString actual;
    if (where == QStringLiteral("details")) {
        QMessageBox box;
        box.setText(QStringLiteral("完了しました。"));
        box.setDetailedText(QStringLiteral("x"));
        box.show();
        for (QAbstractButton* b : box.buttons()) {
            if (box.buttonRole(b) == QMessageBox::ActionRole)
                actual = b->text();
        }
    } else {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        InputPathDialog dialog(nullptr, dir.path());
        dialog.show();
        if (where == QStringLiteral("folderType")) {
            auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model);
            const QModelIndex sub = model->index(dir.filePath(QStringLiteral("sub")), 2);
            QTRY_VERIFY(!sub.data().toString().isEmpty());
            actual = sub.data().toString();
        } else if (where.startsWith(QStringLiteral("column"))) {
            auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
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
