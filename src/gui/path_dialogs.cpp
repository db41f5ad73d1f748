#include "path_dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

namespace {

// Where a dialog opens: the folder of the path already chosen, when it
// still exists.
QString startFolder(const QString& startPath)
{
    if (startPath.isEmpty())
        return QDir::homePath();
    const QFileInfo info(startPath);
    if (info.isDir())
        return info.absoluteFilePath();
    if (info.exists())
        return info.absolutePath();
    return QDir::homePath();
}

} // namespace

InputPathDialog::InputPathDialog(QWidget* parent, const QString& startPath)
    : QFileDialog(parent, QStringLiteral("対象のフォルダまたはファイルを選択"), startFolder(startPath))
    , chooseFolder_(new QPushButton(QStringLiteral("このフォルダを選択"), this))
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(inputNameFilters());
    selectNameFilter(inputNameFilters().first());
    setLabelText(QFileDialog::Accept, QStringLiteral("選択"));
    setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    setLabelText(QFileDialog::LookIn, QStringLiteral("場所："));
    setLabelText(QFileDialog::FileName, QStringLiteral("名前："));
    setLabelText(QFileDialog::FileType, QStringLiteral("種類："));
    const QFileInfo start(startPath);
    if (!startPath.isEmpty() && start.exists() && !start.isDir())
        selectFile(start.absoluteFilePath());

    // Qt's own button (ExistingFile mode) opens a folder and takes a file.
    connect(this, &QFileDialog::fileSelected, this, &InputPathDialog::choose);
    chooseFolder_->setAutoDefault(false);
    if (auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
        buttons->addButton(chooseFolder_, QDialogButtonBox::ActionRole);
    connect(chooseFolder_, &QPushButton::clicked, this, [this] {
        choose(directory().absolutePath());
        QDialog::accept();
    });
}

void InputPathDialog::choose(const QString& path)
{
    emit pathChosen(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QStringList InputPathDialog::inputNameFilters()
{
    // Qt's own dialog matches these patterns without regard to letter case,
    // so "*.jpg" also shows IMG_0001.JPG.
    return {
        QStringLiteral("書き換えできる画像と動画 (*.jpg *.jpeg *.jpe *.tif *.tiff *.png *.webp *.heic *.heif *.avif "
                       "*.jxl *.dng *.nef *.nrw *.cr2 *.cr3 *.arw *.sr2 *.srw *.pef *.orf *.rw2 *.3fr *.erf "
                       "*.kdc *.mef *.mos *.iiq *.raf *.crw *.mov *.mp4 *.m4v *.3gp)"),
        QStringLiteral("JPG (*.jpg)"),
        QStringLiteral("JPEG (*.jpeg *.jpg *.jpe)"),
        QStringLiteral("TIFF (*.tif *.tiff)"),
        QStringLiteral("動画 (*.mov *.mp4 *.m4v *.3gp)"),
        QStringLiteral("すべてのファイル (*)"),
    };
}

OutputFolderDialog::OutputFolderDialog(QWidget* parent, const QString& startPath)
    : QFileDialog(parent, QStringLiteral("出力フォルダを選択"), startFolder(startPath))
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    setLabelText(QFileDialog::Accept, QStringLiteral("選択"));
    setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    setLabelText(QFileDialog::LookIn, QStringLiteral("場所："));
    setLabelText(QFileDialog::FileName, QStringLiteral("フォルダ："));
}

void OutputFolderDialog::accept()
{
    const QStringList files = selectedFiles();
    const QString choice = files.isEmpty() ? directory().absolutePath() : files.first();
    const QFileInfo info(choice);
    if (!info.isDir())
        return;
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    QDialog::accept();
    emit folderChosen(path);
}
