#pragma once

#include <QObject>

class QAbstractButton;
class QButtonGroup;
class QRadioButton;

// A group of radio buttons chosen by tag, wherever in the layout the buttons
// stand. The tags are the values the settings store and the run read.
class RadioGroup : public QObject {
    Q_OBJECT
public:
    explicit RadioGroup(QObject* parent = nullptr);

    void addButton(QRadioButton* button, int tag);
    QAbstractButton* button(int tag) const;

    // -1 when none is selected.
    int selectedTag() const;
    // False, and nothing changes, when no button carries the tag.
    bool selectTag(int tag);

    void setEnabled(bool enabled);
    // True when every button is enabled.
    bool isEnabled() const;

signals:
    // Only on the user's clicks, not on selectTag.
    void clicked(int tag);

private:
    QButtonGroup* group_;
};
