#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace {

// Qt 6.4's Japanese catalogue lacks the chooser's type names for folders and
// the like (Qt 6 moved them to a new class); without these the type column
// reads "Folder" beside Japanese file types.
class FileTypeTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const char* const texts[][2] = {
            {"Folder", "フォルダ"}, {"Drive", "ドライブ"}, {"Shortcut", "ショートカット"}, {"Unknown", "不明"}};
        for (const auto& text : texts) {
            if (std::strcmp(sourceText, text[0]) == 0)
                return QString::fromUtf8(text[1]);
        }
        return {};
    }
};

} // namespace

bool installQtJapaneseTexts(QCoreApplication& app)
{
    // Parented to the application so they live as long as the texts are used.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    // The translator installed last is asked first.
    return QCoreApplication::installTranslator(translator)
           && QCoreApplication::installTranslator(new FileTypeTexts(&app));
}
