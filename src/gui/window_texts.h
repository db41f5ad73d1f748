#pragma once

#include <QString>
#include <QStringList>

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

// Undo from the closing message, and what the journal of runs has to say.
inline QString undoButton() { return QStringLiteral("元に戻す"); }
inline QString undoQuestion() { return QStringLiteral("今回の変更を元に戻しますか？"); }
inline QString journalFailed()
{
    return QStringLiteral("この実行の記録を書き込めなかったため、元に戻すことはできません。");
}
inline QString replacedCannotReturn()
{
    return QStringLiteral("出力フォルダで置き換えたファイルは元に戻せません。");
}
inline QString recentShift(const QString& when, const QString& shift)
{
    return QStringLiteral("%1に、同じファイルの日付を%2ずらした実行があります（24時間以内）。").arg(when, shift);
}

} // namespace window_texts

// The preview opened from the run confirmation.
namespace window_texts {

inline QString previewButton() { return QStringLiteral("プレビュー…"); }
inline QString previewTitle() { return QStringLiteral("ShotDate — プレビュー"); }
inline QString previewStop() { return QStringLiteral("止める"); }
inline QString unreadableFolder() { return QStringLiteral("フォルダを読み込めません"); }

inline QStringList previewColumns()
{
    return {QStringLiteral("ファイル名"), QStringLiteral("フォルダ"), QStringLiteral("元の撮影日時"),
            QStringLiteral("新しい撮影日時"), QStringLiteral("結果")};
}

inline QString previewChecking(int done, int total)
{
    return QStringLiteral("調べています（%1／%2ファイル）。プレビューでは何も書き換えません。").arg(done).arg(total);
}

// wouldRewrite and passedOver of `total` files; `stoppedAt` files checked
// when the preview was stopped early, -1 when it went to the end.
inline QString previewTotals(int wouldRewrite, int passedOver, int total, int stoppedAt)
{
    QString text = QStringLiteral("書き換えるもの：%1件　書き換えないもの：%2件").arg(wouldRewrite).arg(passedOver);
    if (stoppedAt >= 0)
        text += QStringLiteral("\n止めました（%1ファイル中%2ファイルまで調べました）").arg(total).arg(stoppedAt);
    else
        text += QStringLiteral("（全%1ファイル）").arg(total);
    return text;
}

inline QString previewRowsCut(int shown)
{
    return QStringLiteral("最初の%1件だけを表示しています。").arg(shown);
}

} // namespace window_texts
