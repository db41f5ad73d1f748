#pragma once

#include "passed_over_list.h"

#include <QDialog>
#include <QPixmap>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class PassedOverTable;

// The message that ends a run: its text and count, and, when the run passed
// files over, their table with its title and a copy button. Resizable, and
// sized to the table within the screen. "閉じる" is the default button and
// Escape's; buttons added later (addButton) sit beside it and never take
// that place.
class ClosingMessageDialog : public QDialog {
    Q_OBJECT
public:
    ClosingMessageDialog(QWidget* parent, const QString& text, const QPixmap& icon,
                         const QList<PassedOverRow>& passedOver);

    QPushButton* addButton(const QString& text);
    // Lines below the text (what the run's journal could not do, ...).
    void setDetails(const QString& details);

    QString text() const;
    QPushButton* closeButton() const { return close_; }
    QPushButton* copyButton() const { return copy_; }      // null without a table
    PassedOverTable* table() const { return table_; }      // null without a table
    QLabel* tableTitle() const { return tableTitle_; }     // null without a table

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fitToScreen();

    QLabel* text_;
    QDialogButtonBox* buttons_;
    QPushButton* close_;
    QPushButton* copy_ = nullptr;
    PassedOverTable* table_ = nullptr;
    QLabel* tableTitle_ = nullptr;
    bool fitted_ = false;
};
