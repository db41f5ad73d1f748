#include "drop_path_field.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

// What a drag carries, written with names relative to the test folder.
//   "f:NAME" local item, "u:URL" any address, "t:TEXT" plain text.
std::unique_ptr<QMimeData> makeMime(const QStringList& items, const QString& base)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& item : items) {
        const QString rest = item.mid(2);
        if (item.startsWith(QStringLiteral("f:")))
            urls.append(QUrl::fromLocalFile(base + u'/' + rest));
        else if (item.startsWith(QStringLiteral("u:")))
            urls.append(QUrl(rest));
        else if (item.startsWith(QStringLiteral("t:")))
            mime->setText(rest);
    }
    if (!urls.isEmpty())
        mime->setUrls(urls);
    return mime;
}

bool sendEnter(DropPathField& field, QMimeData* mime)
{
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(&field, &enter);
    return enter.isAccepted();
}

bool sendDrop(DropPathField& field, QMimeData* mime)
{
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(&field, &drop);
    return drop.isAccepted();
}

} // namespace

class TestDropPathField : public QObject {
    Q_OBJECT
private slots:
    void init();
    void drops_data();
    void drops();
    void enterAndLeaveLeavesTextAndHighlight();
    void acceptableTypeRule_data();
    void acceptableTypeRule();
    void cannotBeTypedInto();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestDropPathField::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QDir d(dir_->path());
    QVERIFY(d.mkpath(QStringLiteral("フォルダ")));
    QVERIFY(d.mkpath(QStringLiteral("other")));
    for (const QString& name : {QStringLiteral("写真.JPG"), QStringLiteral("b.txt")}) {
        QFile f(d.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(d.filePath(QStringLiteral("フォルダ")), d.filePath(QStringLiteral("link-to-folder"))));
    QVERIFY(QFile::link(d.filePath(QStringLiteral("写真.JPG")), d.filePath(QStringLiteral("link-to-file"))));
    QVERIFY(QFile::link(d.filePath(QStringLiteral("gone")), d.filePath(QStringLiteral("dangling"))));
}

void TestDropPathField::drops_data()
{
    QTest::addColumn<bool>("outputField");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("accepted");

    const QStringList file{QStringLiteral("f:写真.JPG")};
    const QStringList folder{QStringLiteral("f:フォルダ")};
    QTest::newRow("input: a file") << false << true << file << true;
    QTest::newRow("input: a text file, any type") << false << true << QStringList{QStringLiteral("f:b.txt")} << true;
    QTest::newRow("input: a folder") << false << true << folder << true;
    QTest::newRow("input: a link to a folder") << false << true << QStringList{QStringLiteral("f:link-to-folder")} << true;
    QTest::newRow("input: a dangling link") << false << true << QStringList{QStringLiteral("f:dangling")} << false;
    QTest::newRow("input: nothing there") << false << true << QStringList{QStringLiteral("f:missing.jpg")} << false;
    QTest::newRow("input: two files") << false << true << QStringList{QStringLiteral("f:写真.JPG"), QStringLiteral("f:b.txt")} << false;
    QTest::newRow("input: a file and a folder") << false << true << QStringList{QStringLiteral("f:写真.JPG"), QStringLiteral("f:フォルダ")} << false;
    QTest::newRow("input: a remote address") << false << true << QStringList{QStringLiteral("u:https://example.org/a.jpg")} << false;
    QTest::newRow("input: a local and a remote address") << false << true << QStringList{QStringLiteral("f:写真.JPG"), QStringLiteral("u:sftp://host/a.jpg")} << false;
    QTest::newRow("input: plain text naming a path") << false << true << QStringList{QStringLiteral("t:/tmp")} << false;
    QTest::newRow("input: nothing at all") << false << true << QStringList{} << false;
    QTest::newRow("input: disabled") << false << false << file << false;
    QTest::newRow("output: a folder") << true << true << folder << true;
    QTest::newRow("output: a link to a folder") << true << true << QStringList{QStringLiteral("f:link-to-folder")} << true;
    QTest::newRow("output: a file") << true << true << file << false;
    QTest::newRow("output: a link to a file") << true << true << QStringList{QStringLiteral("f:link-to-file")} << false;
    QTest::newRow("output: two folders") << true << true << QStringList{QStringLiteral("f:フォルダ"), QStringLiteral("f:other")} << false;
    QTest::newRow("output: disabled") << true << false << folder << false;
}

void TestDropPathField::drops()
{
    QFETCH(bool, outputField);
    QFETCH(bool, enabled);
    QFETCH(QStringList, items);
    QFETCH(bool, accepted);

    std::unique_ptr<DropPathField> field;
    if (outputField)
        field = std::make_unique<UCFilePathTextField2>();
    else
        field = std::make_unique<UCFilePathTextField>();
    const QString before = QStringLiteral("このフィールドにフォルダをドラッグするか、上のボタンで指定してください");
    field->setText(before);
    field->setEnabled(enabled);
    auto mime = makeMime(items, dir_->path());

    QCOMPARE(sendEnter(*field, mime.get()), accepted);
    QCOMPARE(field->inDragging(), accepted);
    if (!accepted) {
        QCOMPARE(field->text(), before);
        return;
    }
    QVERIFY(sendDrop(*field, mime.get()));
    QVERIFY(!field->inDragging());
    // Exactly the path the drag carried, replacing the whole text.
    QCOMPARE(field->text(), dir_->path() + u'/' + items.first().mid(2));
}

void TestDropPathField::enterAndLeaveLeavesTextAndHighlight()
{
    UCFilePathTextField field;
    field.setText(QStringLiteral("/before"));
    auto mime = makeMime({QStringLiteral("f:フォルダ")}, dir_->path());
    QVERIFY(sendEnter(field, mime.get()));
    QVERIFY(field.inDragging());
    QDragLeaveEvent leave;
    QApplication::sendEvent(&field, &leave);
    QVERIFY(!field.inDragging());
    QCOMPARE(field.text(), QStringLiteral("/before"));
}

void TestDropPathField::acceptableTypeRule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("files only: a folder") << 1 << QStringLiteral("f:フォルダ") << false;
    QTest::newRow("files only: a file") << 1 << QStringLiteral("f:写真.JPG") << true;
    QTest::newRow("folders only: a file") << 2 << QStringLiteral("f:写真.JPG") << false;
    QTest::newRow("out of range: a file") << 9 << QStringLiteral("f:写真.JPG") << true;
    QTest::newRow("out of range: a folder") << -3 << QStringLiteral("f:フォルダ") << true;
}

void TestDropPathField::acceptableTypeRule()
{
    QFETCH(int, type);
    QFETCH(QString, item);
    QFETCH(bool, accepted);
    UCFilePathTextField field;
    field.setAcceptableObjectType(type);
    auto mime = makeMime({item}, dir_->path());
    QCOMPARE(field.acceptableObject(mime.get()), accepted);
}

void TestDropPathField::cannotBeTypedInto()
{
    UCFilePathTextField field;
    field.setText(QStringLiteral("/photos"));
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setFocus();
    QTest::keyClicks(&field, QStringLiteral("abc"));
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.text(), QStringLiteral("/photos"));
}

QTEST_MAIN(TestDropPathField)
#include "tst_drop_path_field.moc"
