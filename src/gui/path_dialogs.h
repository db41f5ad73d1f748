#pragma once

#include <QFileDialog>

class QPushButton;

// The input chooser: a folder or a file. Qt has no native dialog that picks
// either, so this is Qt's own dialog: its own button takes a selected file
// and opens a selected folder to look inside, and "このフォルダを選択"
// beside it takes the folder on show.
class InputPathDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit InputPathDialog(QWidget* parent = nullptr, const QString& startPath = {});

    // The filters on offer, the first one selected. Extensions match in any
    // letter case.
    static QStringList inputNameFilters();

    QPushButton* chooseFolderButton() const { return chooseFolder_; }

signals:
    void pathChosen(const QString& path);

private:
    void choose(const QString& path);

    QPushButton* chooseFolder_;
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
