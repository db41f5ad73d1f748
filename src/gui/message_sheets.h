#pragma once

#include "passed_over_list.h"

#include <QList>
#include <QPixmap>
#include <QString>

#include <functional>

class QDialog;
class QMessageBox;
class QWidget;

// Every message the window shows goes through here: window-modal dialogs
// that open without blocking the event loop and report back through a
// callback. Tests answer them in advance instead (TestAnswers), so no test
// ever waits on a dialog.
namespace message_sheets {

enum class Icon {
    Spacer,     // the completion message
    Bickuri,    // errors, the confirmation, the stopped message
};

QPixmap iconPixmap(Icon icon, const QWidget* forWidget = nullptr);

// A message with the one button "閉じる".
void showMessage(QWidget* window, const QString& text, Icon icon);

// The message at the end of a run: its text with the count, and the table
// of what was passed over. A later action on the run (a button beside
// "閉じる", which stays the default) belongs here as a field.
struct ClosingMessage {
    QString text;
    Icon icon = Icon::Spacer;
    QList<PassedOverRow> passedOver;
    QString details {}; // lines below the text (the journal could not be written, ...)
    // When set, the button "元に戻す" beside "閉じる": it asks once
    // (askUndo) and calls this when the answer is yes.
    std::function<void()> undo {};
};
void showClosingMessage(QWidget* window, const ClosingMessage& message);

// The run confirmation with its check box "次回からは表示しない".
// `answered(run, dontShowAgain)` is called on the UI thread once the user
// has answered.
using ConfirmationAnswer = std::function<void(bool run, bool dontShowAgain)>;
// With `preview`, the confirmation also has the button "プレビュー…", which
// calls it with the dialog to open the preview over and leaves the
// confirmation open.
using PreviewOpener = std::function<void(QWidget* over)>;
void askConfirmation(QWidget* window, const QString& text, ConfirmationAnswer answered,
                     PreviewOpener preview = {}, const QString& details = {});

// "今回の変更を元に戻しますか？" with "元に戻す" and "キャンセル" (the
// default); `undo` runs when the answer is yes. Tests answer it as a
// confirmation.
void askUndo(QWidget* window, std::function<void()> undo);
// The question as it would open (for tests to look at its buttons).
QMessageBox* makeUndoQuestion(QWidget* window);

// Opens the preview (window-modal over `over`). Under TestAnswers it is
// recorded and left closed; the test looks at the dialog itself.
void showPreview(QDialog* preview);

// What a test saw.
struct Shown {
    bool confirmation = false;
    QString text;
    Icon icon = Icon::Spacer;
    QList<PassedOverRow> passedOver;
    bool preview = false;
    QString details {}; // a confirmation's details, a closing message's lines below the text
    bool undoOffered = false; // a closing message with "元に戻す"
};

// While one exists, nothing is shown on screen: messages are recorded, and
// confirmations take the answers queued with answerNextConfirmation (one
// each; without one the confirmation is recorded and left unanswered).
// Answers arrive through the event loop, as a real user's would.
class TestAnswers {
public:
    TestAnswers();
    ~TestAnswers();
    TestAnswers(const TestAnswers&) = delete;
    TestAnswers& operator=(const TestAnswers&) = delete;

    void answerNextConfirmation(bool run, bool dontShowAgain);
    // The next confirmation has its preview button pressed first (before
    // its answer, if one is queued).
    void pressPreviewOnNextConfirmation();
    // The next closing message that offers "元に戻す" has it pressed.
    void pressUndoOnNextClosingMessage();
    const QList<Shown>& shown() const;
    void clearShown();
};

} // namespace message_sheets
