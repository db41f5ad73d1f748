#include "reason_text.h"

using shotdate::Reason;

QString reasonText(Reason reason)
{
    switch (reason) {
    case Reason::Rewritten:
        return QStringLiteral("書き換えました");
    case Reason::WouldRewrite:
        return QStringLiteral("書き換えできます");
    case Reason::NotFound:
        return QStringLiteral("ファイルが見つかりません");
    case Reason::NotRegularFile:
        return QStringLiteral("通常のファイルではありません");
    case Reason::DanglingLink:
        return QStringLiteral("リンク先がありません");
    case Reason::Unreadable:
        return QStringLiteral("読み込めません");
    case Reason::TooLarge:
        return QStringLiteral("ファイルが大きすぎます");
    case Reason::ChangedWhileReading:
        return QStringLiteral("読み込み中に変更されました");
    case Reason::NotAnImage:
        return QStringLiteral("画像ではありません");
    case Reason::NoExif:
        return QStringLiteral("EXIFなし");
    case Reason::NoFileDate:
        return QStringLiteral("撮影日時がありません");
    case Reason::BadFileDate:
        return QStringLiteral("日付が読めません");
    case Reason::DateOutOfRange:
        return QStringLiteral("日付が範囲外になります");
    case Reason::CannotAddDate:
        return QStringLiteral("この形式では日付を追加できません");
    case Reason::UnsupportedFormat:
        return QStringLiteral("この形式は書き換えできません");
    case Reason::VerifyFailed:
        return QStringLiteral("検証で不一致がありました");
    case Reason::WriteFailed:
        return QStringLiteral("書き込みできません");
    case Reason::SameFileTwice:
        return QStringLiteral("同じファイルを二度は書き換えません");
    case Reason::RenameFailed:
        return QStringLiteral("置き換えできません");
    case Reason::RewrittenNotSynced:
        return QStringLiteral("書き換えましたが、フォルダを同期できませんでした");
    case Reason::CannotKeepOwner:
        return QStringLiteral("所有者を保てません");
    case Reason::CannotKeepAttributes:
        return QStringLiteral("拡張属性を保てません");
    case Reason::LinkOutside:
        return QStringLiteral("リンク先が対象フォルダの外にあります");
    case Reason::FolderGone:
        return QStringLiteral("フォルダがなくなりました");
    case Reason::DatesChangedSince:
        return QStringLiteral("その後に日付が変更されています");
    case Reason::CannotRestoreCopies:
        return QStringLiteral("ほかの日付の写しを元に戻せません");
    case Reason::NotChangedByRun:
        return QStringLiteral("このファイルは変更されていません");
    case Reason::CannotChangeCopy:
        return QStringLiteral("XMPの日付を書き換える余地がありません");
    case Reason::BoxPastEnd:
        return QStringLiteral("動画の構造が壊れています（ボックスがファイルの終わりを越えています）");
    case Reason::MovieHeaderTooLarge:
        return QStringLiteral("動画のヘッダーが大きすぎます（64 MiB 超）");
    }
    // A reason added to the core later still gets a readable line.
    const std::string_view key = shotdate::reasonKey(reason);
    return QStringLiteral("書き換えできません（%1）")
        .arg(QString::fromUtf8(key.data(), qsizetype(key.size())));
}
