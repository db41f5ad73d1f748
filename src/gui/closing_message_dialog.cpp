#include "closing_message_dialog.h"

#include "passed_over_table.h"
#include "window_texts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

ClosingMessageDialog::ClosingMessageDialog(QWidget* parent, const QString& text, const QPixmap& icon,
                                           const QList<PassedOverRow>& passedOver)
    : QDialog(parent)
    , text_(new QLabel(text))
    , buttons_(new QDialogButtonBox(Qt::Horizontal))
    , close_(buttons_->addButton(window_texts::close(), QDialogButtonBox::AcceptRole))
{
    setWindowTitle(QStringLiteral("ShotDate"));
    text_->setTextFormat(Qt::PlainText);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* iconLabel = new QLabel;
    iconLabel->setPixmap(icon);
    iconLabel->setAlignment(Qt::AlignTop);

    auto* message = new QHBoxLayout;
    message->addWidget(iconLabel);
    message->addSpacing(12);
    message->addWidget(text_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message);

    if (!passedOver.isEmpty()) {
        tableTitle_ = new QLabel(window_texts::passedOverTitle(int(passedOver.size())));
        table_ = new PassedOverTable(passedOver);
        tableTitle_->setBuddy(table_);
        copy_ = new QPushButton(window_texts::copy());
        copy_->setAutoDefault(false);
        connect(copy_, &QPushButton::clicked, table_, &PassedOverTable::copyToClipboard);
        auto* titleRow = new QHBoxLayout;
        titleRow->addWidget(tableTitle_, 1);
        titleRow->addWidget(copy_);
        layout->addSpacing(8);
        layout->addLayout(titleRow);
        layout->addWidget(table_, 1);
        setSizeGripEnabled(true);
    } else {
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
    layout->addWidget(buttons_);

    close_->setDefault(true);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QPushButton* ClosingMessageDialog::addButton(const QString& text)
{
    QPushButton* button = buttons_->addButton(text, QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    close_->setDefault(true);
    return button;
}

void ClosingMessageDialog::setDetails(const QString& details)
{
    auto* label = new QLabel(details);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->insertWidget(1, label);
}

QString ClosingMessageDialog::text() const
{
    return text_->text();
}

void ClosingMessageDialog::showEvent(QShowEvent* event)
{
    if (!fitted_) {
        fitted_ = true;
        fitToScreen();
    }
    QDialog::showEvent(event);
}

void ClosingMessageDialog::fitToScreen()
{
    if (!table_)
        return;
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const QSize available = screen->availableGeometry().size();
    // Room for the dialog's own frame, margins, text and buttons around the table.
    const QSize around = sizeHint() - table_->sizeHint();
    const QSize limit(available.width() * 9 / 10 - around.width(), available.height() * 8 / 10 - around.height());
    table_->fitTo(limit.expandedTo(QSize(200, 120)));
    resize(sizeHint().boundedTo(available));
}
