#include "radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

RadioGroup::RadioGroup(QObject* parent)
    : QObject(parent)
    , group_(new QButtonGroup(this))
{
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

void RadioGroup::addButton(QRadioButton* button, int tag)
{
    group_->addButton(button, tag);
}

QAbstractButton* RadioGroup::button(int tag) const
{
    return group_->button(tag);
}

int RadioGroup::selectedTag() const
{
    return group_->checkedId();
}

bool RadioGroup::selectTag(int tag)
{
    QAbstractButton* b = group_->button(tag);
    if (!b)
        return false;
    b->setChecked(true);
    return true;
}

void RadioGroup::setEnabled(bool enabled)
{
    const auto buttons = group_->buttons();
    for (QAbstractButton* b : buttons)
        b->setEnabled(enabled);
}

bool RadioGroup::isEnabled() const
{
    const auto buttons = group_->buttons();
    for (QAbstractButton* b : buttons) {
        if (!b->isEnabled())
            return false;
    }
    return !buttons.isEmpty();
}
