#pragma once

#include <QFileDialog>

// The input chooser: a folder or a file. Qt has no native dialog that picks
// either, so this is Qt's own dialog, where the choose button takes the
// selected item whatever its kind (double-clicking a folder still opens it),
// and with nothing selected takes the folder on show.
class InputPathDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit InputPathDialog(QWidget* parent = nullptr, const QString& startPath = {});

    // The filters on offer, the first one selected. Extensions match in any
    // letter case.
    static QStringList inputNameFilters();

    // The item the choose button would take now.
    QString currentChoice() const;

signals:
    void pathChosen(const QString& path);

public slots:
    void accept() override;
};

// The output chooser: folders only.
class OutputFolderDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit OutputFolderDialog(QWidget* parent = nullptr, const QString& startPath = {});

signals:
    void folderChosen(const QString& path);

public slots:
    void accept() override;
};
