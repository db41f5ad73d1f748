#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// Up and down arrows beside the days field. The field stays a plain text
// field (a typed "12abc" is kept as typed); the arrows and the Up/Down keys
// in the field step the number it reads as, within 0 to 366.
class DaysStepper : public QWidget {
    Q_OBJECT
public:
    explicit DaysStepper(QLineEdit* field, QWidget* parent = nullptr);

    void stepBy(int steps);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* field_;
    QToolButton* up_;
    QToolButton* down_;
};
