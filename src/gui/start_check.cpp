#include "start_check.h"

#include "days_text.h"
#include "window_texts.h"

#include "run/batch_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace start_check {

PathProbe corePathProbe()
{
    return [](const QString& inputPath, const std::optional<QString>& outputFolder) {
        shotdate::RunSettings settings;
        settings.inputPath = QFile::encodeName(inputPath).toStdString();
        if (outputFolder)
            settings.outputFolder = QFile::encodeName(*outputFolder).toStdString();
        return shotdate::checkRunSettings(settings) == shotdate::SettingsError::None;
    };
}

bool samePlace(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    const QString ca = fa.canonicalFilePath();
    const QString cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    // Something that does not exist yet still cannot be the other by another
    // spelling of the same text.
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

Result check(const Input& input, const PathProbe& probe)
{
    Result result;
    result.daysText = input.daysText;

    const bool pathsWrong = input.inputPath.isEmpty()
                            || (input.outputText.isEmpty() && input.separateFolder)
                            || input.formatText.isEmpty()
                            || input.outputText == input.outInit
                            || samePlace(input.inputPath, input.outputText);
    if (pathsWrong) {
        result.problem = Problem::Input;
        return result;
    }
    const std::optional<QString> outputFolder =
        input.separateFolder ? std::optional<QString>(input.outputText) : std::nullopt;
    if (probe && !probe(input.inputPath, outputFolder)) {
        result.problem = Problem::Input;
        return result;
    }

    if (result.daysText.isEmpty())
        result.daysText = QStringLiteral("0");
    if (!days_text::accepted(result.daysText)) {
        result.problem = Problem::Days;
        result.daysText = QStringLiteral("0");
    }
    return result;
}

QString message(Problem problem)
{
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::Input:
        return window_texts::inputError();
    case Problem::Days:
        return window_texts::daysError();
    }
    return {};
}

} // namespace start_check
