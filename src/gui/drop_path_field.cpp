#include "drop_path_field.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

DropPathField::DropPathField(int acceptableObjectType, QWidget* parent)
    : QLineEdit(parent)
    , _nAcceptableObjectType(acceptableObjectType)
{
    setReadOnly(true);
    setAcceptDrops(true);
    // Long paths do not fit; the whole path is one hover away.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { setToolTip(text); });
}

QStringList DropPathField::fileListInMimeData(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    QStringList paths;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

bool DropPathField::acceptableObject(const QMimeData* mime) const
{
    const QStringList paths = fileListInMimeData(mime);
    if (paths.size() != 1)
        return false;
    // QFileInfo follows a symbolic link, so a link is judged by its target.
    const QFileInfo info(paths.first());
    if (!info.exists())
        return false;
    switch (_nAcceptableObjectType) {
    case FilesOnly:
        return !info.isDir();
    case FoldersOnly:
        return info.isDir();
    default:
        return true;
    }
}

void DropPathField::dragEnterEvent(QDragEnterEvent* event)
{
    if (!isEnabled() || !acceptableObject(event->mimeData())) {
        event->ignore();
        return;
    }
    setInDragging(true);
    event->acceptProposedAction();
}

void DropPathField::dragMoveEvent(QDragMoveEvent* event)
{
    // The answer given on entering holds while the drag moves inside.
    if (_bInDragging)
        event->acceptProposedAction();
    else
        event->ignore();
}

void DropPathField::dragLeaveEvent(QDragLeaveEvent* event)
{
    setInDragging(false);
    event->accept();
}

void DropPathField::dropEvent(QDropEvent* event)
{
    const QStringList paths = fileListInMimeData(event->mimeData());
    if (!_bInDragging || paths.size() != 1) {
        setInDragging(false);
        event->ignore();
        return;
    }
    setText(paths.first());
    setInDragging(false);
    event->acceptProposedAction();
}

void DropPathField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!_bInDragging)
        return;
    QPainter painter(this);
    QPen pen(palette().color(QPalette::Highlight));
    pen.setWidthF(2.0);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Along the inside edge of the whole field.
    painter.drawRect(QRectF(rect()).adjusted(1.0, 1.0, -1.0, -1.0));
}

void DropPathField::setInDragging(bool inDragging)
{
    if (_bInDragging == inDragging)
        return;
    _bInDragging = inDragging;
    update();
}
