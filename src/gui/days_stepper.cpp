#include "days_stepper.h"

#include "days_text.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QToolButton* makeArrow(Qt::ArrowType arrow, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    // The keys in the field do the same; the arrows need no stop of their own
    // in the tab order.
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    b->setFixedWidth(18);
    return b;
}

} // namespace

DaysStepper::DaysStepper(QLineEdit* field, QWidget* parent)
    : QWidget(parent)
    , field_(field)
    , up_(makeArrow(Qt::UpArrow, this))
    , down_(makeArrow(Qt::DownArrow, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    up_->setToolTip(QStringLiteral("日数を増やす（↑キー）"));
    down_->setToolTip(QStringLiteral("日数を減らす（↓キー）"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    field_->installEventFilter(this);
}

void DaysStepper::stepBy(int steps)
{
    if (!isEnabled())
        return;
    const int current = std::clamp(days_text::intValue(field_->text()), 0, days_text::kMaxDays);
    const int next = std::clamp(current + steps, 0, days_text::kMaxDays);
    field_->setText(QString::number(next));
}

bool DaysStepper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            stepBy(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) {
            stepBy(key->key() == Qt::Key_PageUp ? 10 : -10);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
