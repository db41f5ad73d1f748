#include "drop_path_field.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// What a drag carries, written with names relative to the test folder.
//   "f:NAME" local item, "u:URL" any address, "t:TEXT" plain text.
std::unique_ptr<QMimeData> makeMime(const QStringList& items, const QString& base)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& item : items) {
        const QString rest = item.mid(2);
        if (item.startsWith(u"f:"_s))
            urls.append(QUrl::fromLocalFile(base + u'/' + rest));
        else if (item.startsWith(u"u:"_s))
            urls.append(QUrl(rest));
        else if (item.startsWith(u"t:"_s))
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
    QVERIFY(d.mkpath(u"フォルダ"_s));
    QVERIFY(d.mkpath(u"other"_s));
    for (const QString& name : {u"写真.JPG"_s, u"b.txt"_s}) {
        QFile f(d.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(d.filePath(u"フォルダ"_s), d.filePath(u"link-to-folder"_s)));
    QVERIFY(QFile::link(d.filePath(u"写真.JPG"_s), d.filePath(u"link-to-file"_s)));
    QVERIFY(QFile::link(d.filePath(u"gone"_s), d.filePath(u"dangling"_s)));
}

void TestDropPathField::drops_data()
{
    QTest::addColumn<bool>("outputField");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("accepted");

    const QStringList file{u"f:写真.JPG"_s};
    const QStringList folder{u"f:フォルダ"_s};
    QTest::newRow("input: a file") << false << true << file << true;
    QTest::newRow("input: a text file, any type") << false << true << QStringList{u"f:b.txt"_s} << true;
    QTest::newRow("input: a folder") << false << true << folder << true;
    QTest::newRow("input: a link to a folder") << false << true << QStringList{u"f:link-to-folder"_s} << true;
    QTest::newRow("input: a dangling link") << false << true << QStringList{u"f:dangling"_s} << false;
    QTest::newRow("input: nothing there") << false << true << QStringList{u"f:missing.jpg"_s} << false;
    QTest::newRow("input: two files") << false << true << QStringList{u"f:写真.JPG"_s, u"f:b.txt"_s} << false;
    QTest::newRow("input: a file and a folder")
        << false << true << QStringList{u"f:写真.JPG"_s, u"f:フォルダ"_s} << false;
    QTest::newRow("input: a remote address") << false << true << QStringList{u"u:https://example.org/a.jpg"_s} << false;
    QTest::newRow("input: a local and a remote address")
        << false << true << QStringList{u"f:写真.JPG"_s, u"u:sftp://host/a.jpg"_s} << false;
    QTest::newRow("input: plain text naming a path") << false << true << QStringList{u"t:/tmp"_s} << false;
    QTest::newRow("input: nothing at all") << false << true << QStringList{} << false;
    QTest::newRow("input: disabled") << false << false << file << false;
    QTest::newRow("output: a folder") << true << true << folder << true;
    QTest::newRow("output: a link to a folder") << true << true << QStringList{u"f:link-to-folder"_s} << true;
    QTest::newRow("output: a file") << true << true << file << false;
    QTest::newRow("output: a link to a file") << true << true << QStringList{u"f:link-to-file"_s} << false;
    QTest::newRow("output: two folders") << true << true << QStringList{u"f:フォルダ"_s, u"f:other"_s} << false;
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
    const QString before = u"このフィールドにフォルダをドラッグするか、上のボタンで指定してください"_s;
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
    field.setText(u"/before"_s);
    auto mime = makeMime({u"f:フォルダ"_s}, dir_->path());
    QVERIFY(sendEnter(field, mime.get()));
    QVERIFY(field.inDragging());
    QDragLeaveEvent leave;
    QApplication::sendEvent(&field, &leave);
    QVERIFY(!field.inDragging());
    QCOMPARE(field.text(), u"/before"_s);
}

void TestDropPathField::acceptableTypeRule_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("files only: a folder") << 1 << u"f:フォルダ"_s << false;
    QTest::newRow("files only: a file") << 1 << u"f:写真.JPG"_s << true;
    QTest::newRow("folders only: a file") << 2 << u"f:写真.JPG"_s << false;
    QTest::newRow("out of range: a file") << 9 << u"f:写真.JPG"_s << true;
    QTest::newRow("out of range: a folder") << -3 << u"f:フォルダ"_s << true;
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
    field.setText(u"/photos"_s);
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setFocus();
    QTest::keyClicks(&field, u"abc"_s);
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.text(), u"/photos"_s);
}

QTEST_MAIN(TestDropPathField)
#include "tst_drop_path_field.moc"
