#pragma once

#include <QList>
#include <QPixmap>
#include <QString>

#include <functional>

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

// A message with the one button "閉じる". `details` fills the expandable
// detail area when not empty.
void showMessage(QWidget* window, const QString& text, Icon icon, const QString& details = {});

// The run confirmation with its check box "次回からは表示しない".
// `answered(run, dontShowAgain)` is called on the UI thread once the user
// has answered.
using ConfirmationAnswer = std::function<void(bool run, bool dontShowAgain)>;
void askConfirmation(QWidget* window, const QString& text, ConfirmationAnswer answered);

// What a test saw.
struct Shown {
    bool confirmation = false;
    QString text;
    QString details;
    Icon icon = Icon::Spacer;
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
    const QList<Shown>& shown() const;
    void clearShown();
};

} // namespace message_sheets
