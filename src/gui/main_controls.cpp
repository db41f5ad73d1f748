#include "main_controls.h"

#include "days_stepper.h"
#include "drop_path_field.h"
#include "radio_group.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

QRadioButton* radio(const QString& text, RadioGroup* group, int tag, QWidget* parent)
{
    auto* b = new QRadioButton(text, parent);
    group->addButton(b, tag);
    return b;
}

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

// Indents the controls that belong to a radio choice under its button.
int indentUnder(const QWidget* w)
{
    return QFontMetrics(w->font()).horizontalAdvance(QStringLiteral("日時"));
}

} // namespace

MainControls buildMainControls(QWidget* view)
{
    MainControls c;

    // Target: folder or file.
    auto* targetBox = new QGroupBox(QStringLiteral("対象"), view);
    c.InpPathLabel = new UCFilePathTextField(targetBox);
    c.InpPathLabel->setObjectName(QStringLiteral("InpPathLabel"));
    c.InpPathLabel->setAccessibleName(QStringLiteral("対象のフォルダまたはファイル"));
    c.OpenButton = new QPushButton(QStringLiteral("選択…(&O)"), targetBox);
    c.setsumeiLabel = new QLabel(targetBox);
    c.setsumeiLabel->setWordWrap(false);
    c.subfolerCheckBox = new QCheckBox(QStringLiteral("サブフォルダ内のファイルも対象にする(&U)"), targetBox);
    {
        auto* g = new QGridLayout(targetBox);
        g->addWidget(c.InpPathLabel, 0, 0);
        g->addWidget(c.OpenButton, 0, 1);
        g->addWidget(c.setsumeiLabel, 1, 0, 1, 2);
        g->addWidget(c.subfolerCheckBox, 2, 0, 1, 2);
        g->setColumnStretch(0, 1);
    }

    // Output: in place, or a separate folder.
    auto* outputBox = new QGroupBox(QStringLiteral("出力先"), view);
    c.betsuFolderCheckBox = new QCheckBox(QStringLiteral("別のフォルダに出力する(&B)"), outputBox);
    c.OutFolderButton = new QPushButton(QStringLiteral("出力フォルダを選択…(&F)"), outputBox);
    c.OutPathLabel = new UCFilePathTextField2(outputBox);
    c.OutPathLabel->setObjectName(QStringLiteral("OutPathLabel"));
    c.OutPathLabel->setAccessibleName(QStringLiteral("出力フォルダ"));
    {
        auto* g = new QGridLayout(outputBox);
        g->addWidget(c.betsuFolderCheckBox, 0, 0);
        g->addWidget(c.OutFolderButton, 0, 1, Qt::AlignRight);
        g->addWidget(c.OutPathLabel, 1, 0, 1, 2);
        g->setColumnStretch(0, 1);
    }

    // The new date.
    auto* dateBox = new QGroupBox(QStringLiteral("新しい撮影日時"), view);
    c.shiteiMatrix = new RadioGroup(view);
    c.shiteiNichijiMatrix = new RadioGroup(view);
    c.susumuModoruMatrix = new RadioGroup(view);
    c.allDatesCheckBox = new QCheckBox(QStringLiteral("XMP・IPTC・サイドカーの日付も合わせる"), dateBox);
    auto* fixedRadio = radio(QStringLiteral("日時を指定する(&D)"), c.shiteiMatrix, 0, dateBox);
    auto* shiftRadio = radio(QStringLiteral("元の日時からずらす(&H)"), c.shiteiMatrix, 1, dateBox);
    auto* bothRadio = radio(QStringLiteral("日付と時刻"), c.shiteiNichijiMatrix, 0, dateBox);
    auto* dateOnlyRadio = radio(QStringLiteral("日付のみ"), c.shiteiNichijiMatrix, 1, dateBox);
    auto* timeOnlyRadio = radio(QStringLiteral("時刻のみ"), c.shiteiNichijiMatrix, 2, dateBox);

    c.shiteiHidukePicker = new QDateEdit(dateBox);
    // A QDateEdit built without a date keeps UTC: every local date and time
    // handed to it would be converted, and east of Greenwich the day shown
    // would be yesterday's until the morning.
    c.shiteiHidukePicker->setTimeSpec(Qt::LocalTime);
    c.shiteiHidukePicker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    c.shiteiHidukePicker->setCalendarPopup(true);
    c.shiteiHidukePicker->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    c.shiteiHidukePicker->setAccessibleName(QStringLiteral("指定する日付"));
    c.shiteiHidukePicker->setMinimumWidth(
        QFontMetrics(c.shiteiHidukePicker->font()).horizontalAdvance(QStringLiteral("0000/00/00")) + 48);
    c.HonjitsuButton = new QPushButton(QStringLiteral("今日(&T)"), dateBox);
    c.HonjitsuButton->setToolTip(QStringLiteral("日付を今日にする"));
    c.shiteiJikanPicker = new QTimeEdit(dateBox);
    c.shiteiJikanPicker->setTimeSpec(Qt::LocalTime);
    c.shiteiJikanPicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    c.shiteiJikanPicker->setAccessibleName(QStringLiteral("指定する時刻"));
    c.shiteiHidukeLabel = caption(QStringLiteral("日付："), c.shiteiHidukePicker, dateBox);
    c.shiteiJikanLabel = caption(QStringLiteral("時刻："), c.shiteiJikanPicker, dateBox);

    c.jisaNissuTextField = new QLineEdit(dateBox);
    c.jisaNissuTextField->setObjectName(QStringLiteral("jisaNissuTextField"));
    c.jisaNissuTextField->setAccessibleName(QStringLiteral("ずらす日数"));
    c.jisaNissuTextField->setAlignment(Qt::AlignRight);
    c.jisaNissuTextField->setFixedWidth(
        QFontMetrics(c.jisaNissuTextField->font()).horizontalAdvance(QStringLiteral("00000")) + 16);
    c.jisaNissuTextField->setToolTip(QStringLiteral("0〜366日（↑↓キーで増減）"));
    c.jisaNissuStepper = new DaysStepper(c.jisaNissuTextField, dateBox);
    c.daysUnitLabel = new QLabel(QStringLiteral("日"), dateBox);
    c.jisaJikanPicker = new QTimeEdit(dateBox);
    c.jisaJikanPicker->setTimeSpec(Qt::LocalTime);
    c.jisaJikanPicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    c.jisaJikanPicker->setTime(QTime(0, 0, 0));
    c.jisaJikanPicker->setAccessibleName(QStringLiteral("ずらす時間"));
    c.jisaNissuLabel = caption(QStringLiteral("日数："), c.jisaNissuTextField, dateBox);
    c.jisaJikanLabel = caption(QStringLiteral("時間："), c.jisaJikanPicker, dateBox);
    auto* forwardRadio = radio(QStringLiteral("進める（後の日時へ）"), c.susumuModoruMatrix, 0, dateBox);
    auto* backRadio = radio(QStringLiteral("戻す（前の日時へ）"), c.susumuModoruMatrix, 1, dateBox);

    c.FormatTextField = new QLineEdit(QStringLiteral("yyyy:MM:dd HH:mm:ss"), dateBox);
    c.FormatTextField->setObjectName(QStringLiteral("FormatTextField"));
    // Fixed: an empty one would make every start fail.
    c.FormatTextField->setReadOnly(true);
    c.FormatTextField->setFocusPolicy(Qt::NoFocus);
    {
        // Looks like the fixed value it is, not like a field to type into.
        QPalette p = c.FormatTextField->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        c.FormatTextField->setPalette(p);
    }
    c.FormatTextField->setToolTip(QStringLiteral("EXIFの撮影日時（DateTimeOriginal）とデジタル化日時（DateTimeDigitized）に書き込む形式"));
    c.formatLabel = caption(QStringLiteral("書き込む形式："), c.FormatTextField, dateBox);

    {
        const int indent = indentUnder(dateBox);
        auto* v = new QVBoxLayout(dateBox);

        v->addWidget(fixedRadio);
        auto* fixedGrid = new QGridLayout;
        fixedGrid->setContentsMargins(indent, 0, 0, 0);
        auto* variants = new QHBoxLayout;
        variants->addWidget(bothRadio);
        variants->addWidget(dateOnlyRadio);
        variants->addWidget(timeOnlyRadio);
        variants->addStretch(1);
        fixedGrid->addLayout(variants, 0, 0, 1, 4);
        fixedGrid->addWidget(c.shiteiHidukeLabel, 1, 0);
        fixedGrid->addWidget(c.shiteiHidukePicker, 1, 1);
        fixedGrid->addWidget(c.HonjitsuButton, 1, 2);
        fixedGrid->addWidget(c.shiteiJikanLabel, 2, 0);
        fixedGrid->addWidget(c.shiteiJikanPicker, 2, 1);
        fixedGrid->setColumnStretch(3, 1);
        v->addLayout(fixedGrid);

        v->addSpacing(6);
        v->addWidget(shiftRadio);
        auto* shiftGrid = new QGridLayout;
        shiftGrid->setContentsMargins(indent, 0, 0, 0);
        auto* daysRow = new QHBoxLayout;
        daysRow->setSpacing(2);
        daysRow->addWidget(c.jisaNissuTextField);
        daysRow->addWidget(c.jisaNissuStepper);
        daysRow->addSpacing(4);
        daysRow->addWidget(c.daysUnitLabel);
        daysRow->addStretch(1);
        shiftGrid->addWidget(c.jisaNissuLabel, 0, 0);
        shiftGrid->addLayout(daysRow, 0, 1);
        shiftGrid->addWidget(c.jisaJikanLabel, 1, 0);
        auto* timeRow = new QHBoxLayout;
        timeRow->addWidget(c.jisaJikanPicker);
        timeRow->addStretch(1);
        shiftGrid->addLayout(timeRow, 1, 1);
        auto* direction = new QHBoxLayout;
        direction->addWidget(forwardRadio);
        direction->addWidget(backRadio);
        direction->addStretch(1);
        shiftGrid->addLayout(direction, 2, 1);
        shiftGrid->setColumnStretch(2, 1);
        v->addLayout(shiftGrid);

        v->addSpacing(6);
        auto* formatRow = new QHBoxLayout;
        formatRow->addWidget(c.formatLabel);
        formatRow->addWidget(c.FormatTextField, 1);
        v->addLayout(formatRow);

        v->addSpacing(6);
        v->addWidget(c.allDatesCheckBox);
    }

    // Progress and the two buttons.
    c.jikkochuLabel = new QLabel(view);
    c.jikkochuLabel->setObjectName(QStringLiteral("jikkochuLabel"));
    c.jikkochuLabel->setTextFormat(Qt::PlainText);
    c.jikkochuLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A long file name is cut at the edge instead of widening the window.
    c.jikkochuLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    c.jikkochuLabel->setMinimumHeight(QFontMetrics(c.jikkochuLabel->font()).lineSpacing() * 4 + 4);
    c.progressBar = new QProgressBar(view);
    c.progressBar->setTextVisible(true);
    c.progressBar->setFormat(QStringLiteral("%v / %m"));
    c.progressBar->setRange(0, 1);
    c.progressBar->setValue(0);
    for (QWidget* w : {static_cast<QWidget*>(c.jikkochuLabel), static_cast<QWidget*>(c.progressBar)}) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);  // the window keeps its shape around a run
        w->setSizePolicy(p);
    }
    c.StopButton = new QPushButton(QStringLiteral("中止(&C)"), view);
    c.StartButton = new QPushButton(QStringLiteral("開始(&S)"), view);
    c.StartButton->setDefault(true);
    c.StartButton->setMinimumWidth(c.StartButton->sizeHint().width() + 24);

    auto* root = new QVBoxLayout(view);
    root->addWidget(targetBox);
    root->addWidget(outputBox);
    root->addWidget(dateBox);
    auto* bottom = new QHBoxLayout;
    auto* progressColumn = new QVBoxLayout;
    progressColumn->addWidget(c.jikkochuLabel);
    progressColumn->addWidget(c.progressBar);
    bottom->addLayout(progressColumn, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(c.StopButton);
    buttonRow->addWidget(c.StartButton);
    buttons->addLayout(buttonRow);
    bottom->addLayout(buttons);
    root->addLayout(bottom);

    // Keyboard order follows the page from top to bottom.
    QWidget* order[] = {c.InpPathLabel, c.OpenButton, c.subfolerCheckBox, c.betsuFolderCheckBox,
                        c.OutFolderButton, c.OutPathLabel, fixedRadio, bothRadio, dateOnlyRadio,
                        timeOnlyRadio, c.shiteiHidukePicker, c.HonjitsuButton, c.shiteiJikanPicker,
                        shiftRadio, c.jisaNissuTextField, c.jisaJikanPicker, forwardRadio, backRadio,
                        c.allDatesCheckBox, c.StopButton, c.StartButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    return c;
}
