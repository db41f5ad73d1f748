#pragma once

#include <QString>

// The window's fixed messages. They are part of how the program talks to its
// users and are compared by tests, so they live in one place.
namespace window_texts {

inline QString outInit()
{
    return QStringLiteral("このフィールドにフォルダをドラッグするか、上のボタンで指定してください");
}

inline QString inputExplanation()
{
    return QStringLiteral("上のフィールドにフォルダまたはファイルを\nドラッグするか、右のボタンで指定してください");
}

inline QString inputError()
{
    return QStringLiteral("対象データ、オプションのフォルダまたはファイルの設定を確認してください。");
}

inline QString daysError()
{
    return QStringLiteral("日数を確認してください。0〜366日のみです。");
}

inline QString confirmation()
{
    return QStringLiteral("実行しますか？\n実行後は元に戻せません。別フォルダに出力するかバックアップを取ることをお勧めします。");
}

inline QString confirmRun() { return QStringLiteral("実行する"); }
inline QString confirmCancel() { return QStringLiteral("キャンセル"); }
inline QString dontShowAgain() { return QStringLiteral("次回からは表示しない"); }
inline QString close() { return QStringLiteral("閉じる"); }
inline QString copy() { return QStringLiteral("コピー"); }

// The closing message's list of what was not rewritten.
inline QString passedOverTitle(int count)
{
    return QStringLiteral("書き換えなかったもの（%1件）").arg(count);
}
inline QString fileNameColumn() { return QStringLiteral("ファイル名"); }
inline QString folderColumn() { return QStringLiteral("フォルダ"); }
inline QString reasonColumn() { return QStringLiteral("理由"); }
inline QString folderUnreadable() { return QStringLiteral("フォルダを読み込めません"); }

inline QString progress(int count, const QString& fileName)
{
    // One-pass substitution: a file name may itself contain "%1".
    return QStringLiteral("実行中：\n%1ファイル目\n\n%2").arg(QString::number(count), fileName);
}

inline QString finished(int count)
{
    return QStringLiteral("完了しました。\n\n計%1ファイル").arg(count);
}

inline QString stopped(int count)
{
    return QStringLiteral("中止しました。\n\n計%1ファイル実行").arg(count);
}

} // namespace window_texts
