#pragma once

class DaysStepper;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;
class QWidget;
class RadioGroup;
class UCFilePathTextField;
class UCFilePathTextField2;

// The window's controls, by the names the rest of the program knows them
// by. The window owns them; this only points at them.
struct MainControls {
    UCFilePathTextField* InpPathLabel = nullptr;
    UCFilePathTextField2* OutPathLabel = nullptr;
    QLineEdit* FormatTextField = nullptr;
    QLabel* jikkochuLabel = nullptr;
    QLabel* setsumeiLabel = nullptr;
    QLabel* shiteiHidukeLabel = nullptr;
    QLabel* shiteiJikanLabel = nullptr;
    QLabel* jisaJikanLabel = nullptr;
    QLabel* jisaNissuLabel = nullptr;
    QPushButton* OpenButton = nullptr;
    QPushButton* OutFolderButton = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* HonjitsuButton = nullptr;
    QCheckBox* subfolerCheckBox = nullptr;
    QCheckBox* allDatesCheckBox = nullptr;
    QCheckBox* betsuFolderCheckBox = nullptr;
    RadioGroup* shiteiMatrix = nullptr;
    RadioGroup* shiteiNichijiMatrix = nullptr;
    RadioGroup* susumuModoruMatrix = nullptr;
    QDateEdit* shiteiHidukePicker = nullptr;
    QTimeEdit* shiteiJikanPicker = nullptr;
    QTimeEdit* jisaJikanPicker = nullptr;
    QLineEdit* jisaNissuTextField = nullptr;
    DaysStepper* jisaNissuStepper = nullptr;

    // Beyond the classic set: files done of all targets during a run.
    QProgressBar* progressBar = nullptr;
    // Captions that go dim with the others during a run.
    QLabel* formatLabel = nullptr;
    QLabel* daysUnitLabel = nullptr;
};

// Creates every control inside `view` and lays them out.
MainControls buildMainControls(QWidget* view);
