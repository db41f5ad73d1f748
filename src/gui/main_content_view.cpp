#include "main_content_view.h"

#include "clock.h"
#include "date_arguments.h"
#include "days_stepper.h"
#include "drop_path_field.h"
#include "message_sheets.h"
#include "passed_over_list.h"
#include "path_dialogs.h"
#include "preview_dialog.h"
#include "radio_group.h"
#include "run_controller.h"
#include "settings_store.h"
#include "window_texts.h"

#include "io/path_text.h"
#include "run/run_journal.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDateEdit>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimeEdit>
#include <QTimer>

#include <ctime>

MainContentView::MainContentView(QSettings& settings, QWidget* parent)
    : QWidget(parent)
    , c_(buildMainControls(this))
    , store_(new SettingsStore(settings))
    , run_(new RunController(this))
    , startTimer_(new QTimer(this))
    , pathProbe_(start_check::corePathProbe())
{
    startTimer_->setSingleShot(true);
    startTimer_->setInterval(10);
    connect(startTimer_, &QTimer::timeout, this, &MainContentView::beginRun);

    connect(c_.shiteiMatrix, &RadioGroup::clicked, this, &MainContentView::shitei);
    connect(c_.shiteiNichijiMatrix, &RadioGroup::clicked, this, &MainContentView::shiteiNichiji);
    connect(c_.HonjitsuButton, &QPushButton::clicked, this, &MainContentView::honjitsu);
    connect(c_.betsuFolderCheckBox, &QCheckBox::clicked, this, &MainContentView::betsuFolderChecked);
    connect(c_.OpenButton, &QPushButton::clicked, this, &MainContentView::open);
    connect(c_.OutFolderButton, &QPushButton::clicked, this, &MainContentView::outFolder);
    connect(c_.StartButton, &QPushButton::clicked, this, &MainContentView::start);
    connect(c_.StopButton, &QPushButton::clicked, this, &MainContentView::stop);

    connect(run_, &RunController::targetsCounted, this, [this](int total) {
        c_.progressBar->setRange(0, qMax(total, 1));
        c_.progressBar->setValue(0);
    });
    connect(run_, &RunController::progressed, this, &MainContentView::showProgress);
    connect(run_, &RunController::finished, this, &MainContentView::endRun);

    // Launch set-up.
    c_.jikkochuLabel->setVisible(false);
    c_.progressBar->setVisible(false);
    c_.StopButton->setEnabled(false);
    c_.setsumeiLabel->setText(window_texts::inputExplanation());
    strOutInit_ = window_texts::outInit();
    // The instruction text stands in the output field as its text, so the
    // field must be wide enough to show all of it.
    {
        const QFontMetrics fm(c_.OutPathLabel->font());
        const int width = fm.horizontalAdvance(strOutInit_) + 2 * fm.averageCharWidth() + 16;
        c_.OutPathLabel->setMinimumWidth(width);
        c_.InpPathLabel->setMinimumWidth(width / 2);
    }
    const QDateTime now = window_clock::now();
    c_.shiteiJikanPicker->setTime(now.time());
    c_.jisaNissuTextField->setText(QStringLiteral("0"));
    getNSUserDefaults();
}

MainContentView::~MainContentView()
{
    delete store_;
}

bool MainContentView::isRunning() const
{
    return run_->isRunning();
}

void MainContentView::getNSUserDefaults()
{
    const LoadedSettings s = store_->load();
    hyojiShinai_ = s.hyojiShinai;

    c_.InpPathLabel->setText(s.inpPath);
    c_.subfolerCheckBox->setChecked(s.subFolder);
    c_.allDatesCheckBox->setChecked(s.allDates);
    switch (s.betsuFolder) {
    case StoredBetsuFolder::Yes:
        c_.betsuFolderCheckBox->setChecked(true);
        c_.OutPathLabel->setText(s.outPath);
        break;
    case StoredBetsuFolder::No:
        c_.betsuFolderCheckBox->setChecked(false);
        c_.OutPathLabel->setText(QString());
        break;
    case StoredBetsuFolder::Absent:
        c_.betsuFolderCheckBox->setChecked(true);
        c_.OutPathLabel->setText(strOutInit_);
        break;
    }
    applyOutputFolderRule();

    // A stored tag that matches no button counts as absent.
    if (!c_.shiteiMatrix->selectTag(s.shitei))
        c_.shiteiMatrix->selectTag(0);
    if (!c_.shiteiNichijiMatrix->selectTag(s.shiteiNichiji))
        c_.shiteiNichijiMatrix->selectTag(0);
    c_.shiteiHidukePicker->setDateTime(s.shiteiHiduke.value_or(window_clock::now()));
    if (s.shiteiJikan)
        c_.shiteiJikanPicker->setTime(s.shiteiJikan->time());
    if (s.jisaNissu)
        c_.jisaNissuTextField->setText(*s.jisaNissu);
    if (s.jisaJikan)
        c_.jisaJikanPicker->setTime(s.jisaJikan->time());
    if (!c_.susumuModoruMatrix->selectTag(s.susumuModoru))
        c_.susumuModoruMatrix->selectTag(0);

    shitei();
}

void MainContentView::shitei()
{
    const bool fixed = c_.shiteiMatrix->selectedTag() == 0;
    c_.shiteiNichijiMatrix->setEnabled(fixed);
    c_.shiteiHidukePicker->setEnabled(fixed);
    c_.shiteiJikanPicker->setEnabled(fixed);
    c_.jisaNissuTextField->setEnabled(!fixed);
    c_.jisaNissuStepper->setEnabled(!fixed);
    c_.jisaJikanPicker->setEnabled(!fixed);
    c_.susumuModoruMatrix->setEnabled(!fixed);
    if (fixed)
        shiteiNichiji();
}

void MainContentView::shiteiNichiji()
{
    const int tag = c_.shiteiNichijiMatrix->selectedTag();
    c_.shiteiHidukePicker->setEnabled(tag == 0 || tag == 1);
    c_.shiteiJikanPicker->setEnabled(tag != 1);
    c_.HonjitsuButton->setEnabled(tag == 0 || tag == 1);
}

void MainContentView::honjitsu()
{
    c_.shiteiHidukePicker->setDateTime(window_clock::now());
}

void MainContentView::betsuFolderChecked()
{
    const bool on = c_.betsuFolderCheckBox->isChecked();
    c_.OutPathLabel->setText(on ? strOutInit_ : QString());
    applyOutputFolderRule();
}

void MainContentView::applyOutputFolderRule()
{
    const bool on = c_.betsuFolderCheckBox->isChecked();
    c_.OutFolderButton->setEnabled(on);
    c_.OutPathLabel->setEnabled(on);
    setOutputFieldInUse(on);
}

void MainContentView::setOutputFieldInUse(bool inUse)
{
    // White while the field is in use, grey when it is not; taken from the
    // style's own palette so a dark theme stays readable.
    const QPalette standard = QApplication::palette(c_.OutPathLabel);
    QPalette p = c_.OutPathLabel->palette();
    const QColor base = inUse ? standard.color(QPalette::Active, QPalette::Base)
                              : standard.color(QPalette::Active, QPalette::Window);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, base);
    c_.OutPathLabel->setPalette(p);
    c_.OutPathLabel->setProperty("inUse", inUse);
}

void MainContentView::open()
{
    auto* dialog = new InputPathDialog(window(), c_.InpPathLabel->text());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &InputPathDialog::pathChosen, this, [this](const QString& path) {
        c_.InpPathLabel->setText(path);
    });
    dialog->open();
}

void MainContentView::outFolder()
{
    const QString current = c_.OutPathLabel->text() == strOutInit_ ? QString() : c_.OutPathLabel->text();
    auto* dialog = new OutputFolderDialog(window(), current);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &OutputFolderDialog::folderChosen, this, [this](const QString& path) {
        c_.OutPathLabel->setText(path);
    });
    dialog->open();
}

void MainContentView::start()
{
    if (runPending_ || isRunning())
        return;

    start_check::Input input;
    input.inputPath = c_.InpPathLabel->text();
    input.outputText = c_.OutPathLabel->text();
    input.formatText = c_.FormatTextField->text();
    input.daysText = c_.jisaNissuTextField->text();
    input.outInit = strOutInit_;
    input.separateFolder = c_.betsuFolderCheckBox->isChecked();
    const start_check::Result result = start_check::check(input, pathProbe_);

    if (result.problem == start_check::Problem::Input) {
        message_sheets::showMessage(window(), start_check::message(result.problem), message_sheets::Icon::Bickuri);
        return;
    }
    if (result.problem == start_check::Problem::Days) {
        message_sheets::showMessage(window(), start_check::message(result.problem), message_sheets::Icon::Bickuri);
        c_.jisaNissuTextField->setText(result.daysText);
        return;
    }
    if (c_.jisaNissuTextField->text() != result.daysText)
        c_.jisaNissuTextField->setText(result.daysText);

    if (hyojiShinai_ == QStringLiteral("YES")) {
        jikko();
        return;
    }
    message_sheets::askConfirmation(window(), window_texts::confirmation(), [this](bool run, bool dontShowAgain) {
        if (!run)
            return;
        hyojiShinai_ = dontShowAgain ? QStringLiteral("YES") : QStringLiteral("NO");
        store_->saveHyojiShinai(*hyojiShinai_);
        scheduleRun();
    }, [this](QWidget* over) { openPreview(over); }, recentShiftDetails());
}

void MainContentView::openPreview(QWidget* over)
{
    auto* preview = new PreviewDialog(currentRunSettings(), over);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->start();
    message_sheets::showPreview(preview);
}

void MainContentView::stop()
{
    run_->requestStop();
}

void MainContentView::scheduleRun()
{
    if (runPending_ || isRunning())
        return;
    runPending_ = true;
    c_.StartButton->setEnabled(false);
    startTimer_->start();
}

void MainContentView::cancelPendingRun()
{
    if (!runPending_ || isRunning())
        return;
    startTimer_->stop();
    runPending_ = false;
    c_.StartButton->setEnabled(true);
}

void MainContentView::jikko()
{
    if (runPending_ || isRunning())
        return;
    runPending_ = true;
    c_.StartButton->setEnabled(false);
    beginRun();
}

void MainContentView::beginRun()
{
    if (!runPending_ || isRunning())
        return;

    undoing_ = false;
    showRunDisplay();

    const shotdate::RunSettings settings = currentRunSettings();
    emit runStarting();
    bool started = false;
    try {
        started = run_->start(settings);
    } catch (const std::exception&) {
        started = false;  // no thread to be had: end at once, with nothing done
    }
    runPending_ = false;
    // Saved once the worker is going, with the values it was given: the
    // save waits for the disk twice (the lock file and the settings, each
    // synced), and the photos need not wait for that.
    store_->saveRun(currentSettingsValues());
    if (!started) {
        shotdate::RunSummary none;
        none.stopped = true;
        endRun(none);
        return;
    }
    emit runStarted();
}

void MainContentView::showRunDisplay()
{
    c_.jikkochuLabel->setText(QString());
    c_.progressBar->setRange(0, 1);
    c_.progressBar->setValue(0);

    c_.jikkochuLabel->setVisible(true);
    c_.progressBar->setVisible(true);
    c_.StartButton->setEnabled(false);
    // Cleared before Stop can be pressed, so a press is never lost.
    run_->clearStop();
    c_.StopButton->setEnabled(true);
    MukoComponent();
}

void MainContentView::beginUndo(const std::string& runId)
{
    if (runPending_ || isRunning())
        return;
    undoing_ = true;
    const auto undone = shotdate::readJournal(shotdate::joinPath(shotdate::journalFolder(), runId + ".jsonl"));
    undoNote_ = undone && undone->header.output ? window_texts::replacedCannotReturn() : QString();
    showRunDisplay();
    emit runStarting();
    bool started = false;
    try {
        started = run_->startUndo(runId);
    } catch (const std::exception&) {
        started = false;
    }
    if (!started) {
        shotdate::RunSummary none;
        none.stopped = true;
        endRun(none);
        return;
    }
    emit runStarted();
}

QString MainContentView::recentShiftDetails() const
{
    const std::vector<shotdate::JournalRun> runs = shotdate::readAllJournals(shotdate::journalFolder(), true);
    QStringList lines;
    for (const shotdate::JournalRun* run : shotdate::recentShiftsOf(runs, currentRunSettings(), std::time(nullptr))) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(run->header.when);
        const std::int32_t seconds = run->header.shiftSeconds;
        const std::int32_t magnitude = seconds < 0 ? -seconds : seconds;
        QString shift = QStringLiteral("%1%2")
                            .arg(seconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                            .arg(QStringLiteral("%1:%2:%3")
                                     .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
                                     .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(magnitude % 60, 2, 10, QLatin1Char('0')));
        lines << window_texts::recentShift(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")), shift);
    }
    return lines.join(QLatin1Char('\n'));
}

void MainContentView::showProgress(int count, const QString& fileName, int filesDone)
{
    // Empty until the first file has been rewritten.
    if (count > 0)
        c_.jikkochuLabel->setText(window_texts::progress(count, fileName));
    c_.progressBar->setValue(qMin(filesDone, c_.progressBar->maximum()));
}

void MainContentView::endRun(const shotdate::RunSummary& summary)
{
    c_.jikkochuLabel->setVisible(false);
    c_.progressBar->setVisible(false);
    c_.StartButton->setEnabled(true);
    c_.StopButton->setEnabled(false);
    run_->clearStop();
    YukoComponent();

    if (!quitAfterRun_) {
        const QString text = summary.stopped ? window_texts::stopped(summary.rewritten)
                                             : window_texts::finished(summary.rewritten);
        message_sheets::ClosingMessage message{
            text, summary.stopped ? message_sheets::Icon::Bickuri : message_sheets::Icon::Spacer,
            passedOverRows(summary)};
        QStringList details;
        if (run_->lastJournalFailed())
            details << window_texts::journalFailed();
        if (undoing_ && !undoNote_.isEmpty())
            details << undoNote_;
        message.details = details.join(QLatin1Char('\n'));
        // An undo is offered once, for the run that just wrote; an undo's
        // own closing message offers none.
        const std::string runId = run_->lastRunId();
        if (!undoing_ && summary.rewritten > 0 && !runId.empty())
            message.undo = [this, runId] { beginUndo(runId); };
        message_sheets::showClosingMessage(window(), message);
    }
    emit runFinished(summary);
}

void MainContentView::setCaptionsDimmed(bool dimmed)
{
    for (QLabel* l : {c_.setsumeiLabel, c_.shiteiHidukeLabel, c_.shiteiJikanLabel, c_.jisaJikanLabel,
                      c_.jisaNissuLabel, c_.formatLabel, c_.daysUnitLabel})
        l->setEnabled(!dimmed);
}

// The controls a run locks, captions aside.
void MainContentView::setInputControlsEnabled(bool enabled)
{
    const std::initializer_list<QWidget*> controls = {
        c_.InpPathLabel, c_.OutPathLabel, c_.FormatTextField, c_.jikkochuLabel,
        c_.OpenButton, c_.OutFolderButton, c_.HonjitsuButton, c_.subfolerCheckBox,
        c_.betsuFolderCheckBox, c_.shiteiHidukePicker, c_.shiteiJikanPicker, c_.jisaJikanPicker, c_.jisaNissuTextField,
        c_.jisaNissuStepper, c_.allDatesCheckBox};
    for (QWidget* w : controls)
        w->setEnabled(enabled);
    for (RadioGroup* group : {c_.shiteiMatrix, c_.shiteiNichijiMatrix, c_.susumuModoruMatrix})
        group->setEnabled(enabled);
}

void MainContentView::MukoComponent()
{
    setInputControlsEnabled(false);
    setCaptionsDimmed(true);
}

void MainContentView::YukoComponent()
{
    setInputControlsEnabled(true);
    setCaptionsDimmed(false);
    shitei();
    // The output field and its button follow the check box again, also
    // after a run that wrote in place.
    applyOutputFolderRule();
}

RunSettingsValues MainContentView::currentSettingsValues() const
{
    RunSettingsValues v;
    v.inpPath = c_.InpPathLabel->text();
    v.subFolder = c_.subfolerCheckBox->isChecked();
    v.betsuFolder = c_.betsuFolderCheckBox->isChecked();
    v.outPath = c_.OutPathLabel->text();
    v.shitei = c_.shiteiMatrix->selectedTag();
    v.shiteiNichiji = c_.shiteiNichijiMatrix->selectedTag();
    v.shiteiHiduke = c_.shiteiHidukePicker->dateTime();
    v.shiteiJikan = c_.shiteiJikanPicker->dateTime();
    v.jisaNissu = c_.jisaNissuTextField->text();
    v.jisaJikan = c_.jisaJikanPicker->dateTime();
    v.susumuModoru = c_.susumuModoruMatrix->selectedTag();
    v.allDates = c_.allDatesCheckBox->isChecked();
    return v;
}

shotdate::RunSettings MainContentView::currentRunSettings() const
{
    DateControlValues d;
    d.shiteiTag = c_.shiteiMatrix->selectedTag();
    d.shiteiNichijiTag = c_.shiteiNichijiMatrix->selectedTag();
    d.hiduke = c_.shiteiHidukePicker->dateTime();
    d.jikan = c_.shiteiJikanPicker->dateTime();
    d.jisaNissu = c_.jisaNissuTextField->text();
    d.jisaJikan = c_.jisaJikanPicker->time();
    d.susumuModoruTag = c_.susumuModoruMatrix->selectedTag();

    shotdate::RunSettings s;
    s.inputPath = QFile::encodeName(c_.InpPathLabel->text()).toStdString();
    s.subfolders = c_.subfolerCheckBox->isChecked();
    if (c_.betsuFolderCheckBox->isChecked())
        s.outputFolder = QFile::encodeName(c_.OutPathLabel->text()).toStdString();
    s.dates = dateArgumentsFrom(d, window_clock::now());
    s.dates.allDates = c_.allDatesCheckBox->isChecked();
    return s;
}
