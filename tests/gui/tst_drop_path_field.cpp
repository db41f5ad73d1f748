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

// Whether the field takes a drag entering (QDragEnterEvent) or a drop (QDropEvent).
template <typename Event>
bool send(DropPathField& field, QMimeData* mime)
{
    Event event(QPoint(4, 4), Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(&field, &event);
    return event.isAccepted();
}

} // namespace

class TestDropPathField : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QDir d(dir_->path());
        QVERIFY(d.mkpath(u"フォルダ"_s));
        for (const QString& name : {u"写真.JPG"_s, u"b.txt"_s})
            QVERIFY(QFile(d.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(d.filePath(u"フォルダ"_s), d.filePath(u"link-to-folder"_s)));
        QVERIFY(QFile::link(d.filePath(u"写真.JPG"_s), d.filePath(u"link-to-file"_s)));
        QVERIFY(QFile::link(d.filePath(u"gone"_s), d.filePath(u"dangling"_s)));
    }

    void drops_data()
    {
        QTest::addColumn<QString>("field"); // "in" or "out", "in/N" the input field taking type N
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("accepted");

        const QStringList file{u"f:写真.JPG"_s};
        const QStringList folder{u"f:フォルダ"_s};
        const QString in = u"in"_s;
        const QString out = u"out"_s;
        // clang-format off
        QTest::newRow("input: a file") << in << true << file << true;
        QTest::newRow("input: a text file, any type") << in << true << QStringList{u"f:b.txt"_s} << true;
        QTest::newRow("input: a folder") << in << true << folder << true;
        QTest::newRow("input: a link to a folder") << in << true << QStringList{u"f:link-to-folder"_s} << true;
        QTest::newRow("input: a dangling link") << in << true << QStringList{u"f:dangling"_s} << false;
        QTest::newRow("input: two files") << in << true << QStringList{u"f:写真.JPG"_s, u"f:b.txt"_s} << false;
        QTest::newRow("input: a remote address") << in << true << QStringList{u"u:https://example.org/a.jpg"_s} << false;
        QTest::newRow("input: plain text naming a path") << in << true << QStringList{u"t:/tmp"_s} << false;
        QTest::newRow("input: disabled") << in << false << file << false;
        QTest::newRow("output: a folder") << out << true << folder << true;
        QTest::newRow("output: a file") << out << true << file << false;
        QTest::newRow("output: a link to a file") << out << true << QStringList{u"f:link-to-file"_s} << false;
        QTest::newRow("files only: a folder") << u"in/1"_s << true << folder << false;
        QTest::newRow("files only: a file") << u"in/1"_s << true << file << true;
        QTest::newRow("out of range: a folder") << u"in/-3"_s << true << folder << true;
        // clang-format on
    }

    void drops()
    {
        QFETCH(QString, field);
        QFETCH(bool, enabled);
        QFETCH(QStringList, items);
        QFETCH(bool, accepted);

        std::unique_ptr<DropPathField> f;
        if (field == u"out"_s)
            f = std::make_unique<UCFilePathTextField2>();
        else
            f = std::make_unique<UCFilePathTextField>();
        if (field.contains(u'/'))
            f->setAcceptableObjectType(field.section(u'/', 1).toInt());
        const QString before = u"このフィールドにフォルダをドラッグするか、上のボタンで指定してください"_s;
        f->setText(before);
        f->setEnabled(enabled);
        auto mime = makeMime(items, dir_->path());

        QCOMPARE(send<QDragEnterEvent>(*f, mime.get()), accepted);
        QCOMPARE(f->inDragging(), accepted);
        if (!accepted) {
            QCOMPARE(f->text(), before);
            return;
        }
        // A drag that leaves again changes nothing.
        QDragLeaveEvent leave;
        QApplication::sendEvent(f.get(), &leave);
        QVERIFY(!f->inDragging());
        QCOMPARE(f->text(), before);
        QVERIFY(send<QDragEnterEvent>(*f, mime.get()));
        QVERIFY(send<QDropEvent>(*f, mime.get()));
        QVERIFY(!f->inDragging());
        // Exactly the path the drag carried, replacing the whole text.
        QCOMPARE(f->text(), dir_->path() + u'/' + items.first().mid(2));
    }

    void cannotBeTypedInto()
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

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(TestDropPathField)
#include "tst_drop_path_field.moc"
