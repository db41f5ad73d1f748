#pragma once

#include <QLineEdit>
#include <QStringList>

class QMimeData;

// A path field that takes one file-system item dragged onto it and shows its
// full path. The user does not type into it: paths come only from drops and
// from the choose dialogs, so no relative or mistyped path reaches a run.
class DropPathField : public QLineEdit {
    Q_OBJECT
public:
    // Which items a field takes. Values outside these act as AnyItem.
    enum AcceptableObjectType { AnyItem = 0, FilesOnly = 1, FoldersOnly = 2 };

    explicit DropPathField(int acceptableObjectType, QWidget* parent = nullptr);

    void setAcceptableObjectType(int type) { _nAcceptableObjectType = type; }
    int acceptableObjectType() const { return _nAcceptableObjectType; }
    bool inDragging() const { return _bInDragging; }

    // The local paths a drag carries; empty when it carries anything that is
    // not a local file-system item (remote addresses, plain text).
    static QStringList fileListInMimeData(const QMimeData* mime);
    // One existing item of the kind this field takes.
    bool acceptableObject(const QMimeData* mime) const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setInDragging(bool inDragging);

    int _nAcceptableObjectType;
    bool _bInDragging = false;
};

// The input field: a folder or a file.
class UCFilePathTextField : public DropPathField {
    Q_OBJECT
public:
    explicit UCFilePathTextField(QWidget* parent = nullptr)
        : DropPathField(AnyItem, parent)
    {
    }
};

// The output field: folders only.
class UCFilePathTextField2 : public DropPathField {
    Q_OBJECT
public:
    explicit UCFilePathTextField2(QWidget* parent = nullptr)
        : DropPathField(FoldersOnly, parent)
    {
    }
};
