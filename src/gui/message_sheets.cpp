#include "message_sheets.h"

#include "closing_message_dialog.h"
#include "window_texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <utility>

// Q_INIT_RESOURCE cannot stand inside a namespace.
static void initGuiResources()
{
    Q_INIT_RESOURCE(shotdate_gui);
}

namespace message_sheets {
namespace {

struct TestState {
    QList<Shown> shown;
    std::deque<std::pair<bool, bool>> answers;
    bool pressPreview = false;
    bool pressUndo = false;
};

TestState* g_test = nullptr;

QString iconPath(Icon icon)
{
    switch (icon) {
    case Icon::Spacer:
        return QStringLiteral(":/icons/spacer.png");
    case Icon::Bickuri:
        return QStringLiteral(":/icons/m_bickuri_Mt.png");
    }
    return {};
}

QMessageBox* makeBox(QWidget* window, const QString& text, Icon icon)
{
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(QStringLiteral("ShotDate"));
    box->setText(text);
    box->setTextFormat(Qt::PlainText);
    box->setIconPixmap(iconPixmap(icon, window));
    return box;
}

} // namespace

QPixmap iconPixmap(Icon icon, const QWidget* forWidget)
{
    initGuiResources();
    // QIcon picks the @2x file on high-density screens.
    const QIcon qicon(iconPath(icon));
    const qreal ratio = forWidget ? forWidget->devicePixelRatioF() : 1.0;
    return qicon.pixmap(QSize(48, 48), ratio);
}

void showMessage(QWidget* window, const QString& text, Icon icon)
{
    if (g_test) {
        g_test->shown.append(Shown{false, text, icon, {}});
        return;
    }
    QMessageBox* box = makeBox(window, text, icon);
    QPushButton* close = box->addButton(window_texts::close(), QMessageBox::AcceptRole);
    box->setDefaultButton(close);
    box->setEscapeButton(close);
    box->open();
}

void showClosingMessage(QWidget* window, const ClosingMessage& message)
{
    if (g_test) {
        g_test->shown.append(
            Shown{false, message.text, message.icon, message.passedOver, false, message.details, bool(message.undo)});
        if (message.undo && std::exchange(g_test->pressUndo, false))
            QTimer::singleShot(0, window, [window, undo = message.undo] { askUndo(window, undo); });
        return;
    }
    auto* dialog = new ClosingMessageDialog(window, message.text, iconPixmap(message.icon, window), message.passedOver);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    if (!message.details.isEmpty())
        dialog->setDetails(message.details);
    if (message.undo) {
        QPushButton* undoButton = dialog->addButton(window_texts::undoButton());
        QObject::connect(undoButton, &QPushButton::clicked, dialog, [dialog, window, undo = message.undo] {
            dialog->accept();
            askUndo(window, undo);
        });
    }
    dialog->open();
}

QMessageBox* makeUndoQuestion(QWidget* window)
{
    QMessageBox* box = makeBox(window, window_texts::undoQuestion(), Icon::Bickuri);
    box->addButton(window_texts::undoButton(), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(window_texts::confirmCancel(), QMessageBox::RejectRole);
    // Undoing rewrites every file again: only a deliberate press does it.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

void askUndo(QWidget* window, std::function<void()> undo)
{
    if (g_test) {
        g_test->shown.append(Shown{true, window_texts::undoQuestion(), Icon::Bickuri, {}});
        if (g_test->answers.empty())
            return;
        const bool yes = g_test->answers.front().first;
        g_test->answers.pop_front();
        QTimer::singleShot(0, [undo = std::move(undo), yes] {
            if (yes && undo)
                undo();
        });
        return;
    }
    QMessageBox* box = makeUndoQuestion(window);
    QObject::connect(box, &QMessageBox::finished, box, [box, undo = std::move(undo)](int) {
        if (box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole && undo)
            undo();
    });
    box->open();
}

void askConfirmation(QWidget* window, const QString& text, ConfirmationAnswer answered, PreviewOpener preview,
                     const QString& details)
{
    if (g_test) {
        g_test->shown.append(Shown{true, text, Icon::Bickuri, {}, false, details});
        if (std::exchange(g_test->pressPreview, false) && preview)
            QTimer::singleShot(0, window, [window, preview] { preview(window); });
        if (g_test->answers.empty())
            return;
        const auto [run, dontShow] = g_test->answers.front();
        g_test->answers.pop_front();
        // Answered later, from the event loop, as a sheet would be.
        QTimer::singleShot(0, [answered = std::move(answered), run = run, dontShow = dontShow] {
            if (answered)
                answered(run, dontShow);
        });
        return;
    }
    QMessageBox* box = makeBox(window, text, Icon::Bickuri);
    QPushButton* run = box->addButton(window_texts::confirmRun(), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(window_texts::confirmCancel(), QMessageBox::RejectRole);
    box->setDefaultButton(run);
    box->setEscapeButton(cancel);
    if (!details.isEmpty())
        box->setDetailedText(details);
    auto* check = new QCheckBox(window_texts::dontShowAgain(), box);
    check->setChecked(false);
    box->setCheckBox(check);
    if (preview) {
        QPushButton* previewButton = box->addButton(window_texts::previewButton(), QMessageBox::ActionRole);
        // Every button of a message box closes it; this one must leave the
        // confirmation open behind the preview, so its click goes to us alone.
        if (auto* buttonBox = box->findChild<QDialogButtonBox*>())
            QObject::disconnect(previewButton, &QAbstractButton::clicked, buttonBox, nullptr);
        QObject::connect(previewButton, &QAbstractButton::clicked, box, [box, preview] { preview(box); });
    }
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, run, check, answered = std::move(answered)](int) {
                         const bool accepted = box->clickedButton() == run;
                         if (answered)
                             answered(accepted, check->isChecked());
                     });
    box->open();
}

TestAnswers::TestAnswers()
{
    Q_ASSERT(!g_test);
    g_test = new TestState;
}

TestAnswers::~TestAnswers()
{
    delete g_test;
    g_test = nullptr;
}

void showPreview(QDialog* preview)
{
    if (g_test) {
        g_test->shown.append(Shown{false, preview->windowTitle(), Icon::Spacer, {}, true});
        return;
    }
    preview->open();
}

void TestAnswers::answerNextConfirmation(bool run, bool dontShowAgain)
{
    g_test->answers.emplace_back(run, dontShowAgain);
}

void TestAnswers::pressPreviewOnNextConfirmation()
{
    g_test->pressPreview = true;
}

void TestAnswers::pressUndoOnNextClosingMessage()
{
    g_test->pressUndo = true;
}

const QList<Shown>& TestAnswers::shown() const
{
    return g_test->shown;
}

void TestAnswers::clearShown()
{
    g_test->shown.clear();
}

} // namespace message_sheets
