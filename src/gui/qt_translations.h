#pragma once

class QCoreApplication;

// Qt's own texts (the file chooser's columns and menus, a message box's
// "Show Details...") in Japanese, like the rest of the window. Returns
// false when Qt's Japanese catalogue (Debian: qt6-translations-l10n) is
// not installed; the window then works with those texts in English.
bool installQtJapaneseTexts(QCoreApplication& app);
