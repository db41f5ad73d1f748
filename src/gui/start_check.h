#pragma once

#include <QString>

#include <functional>
#include <optional>

// What Start checks before a run, as a function of the window's texts, so it
// can be tested without a window.
namespace start_check {

enum class Problem { None, Input, Days };

struct Input {
    QString inputPath;    // text of the input field
    QString outputText;   // text of the output field
    QString formatText;   // text of the format field
    QString daysText;     // text of the days field
    QString outInit;      // the output field's instruction text
    bool separateFolder = false;
};

struct Result {
    Problem problem = Problem::None;
    // What the days field holds afterwards: "0" for an empty field (once the
    // paths passed) and after a days error, otherwise the text unchanged.
    QString daysText;
};

// Whether the input exists and, when given, the output folder is a writable
// folder. The window uses the core's check; tests give their own.
using PathProbe = std::function<bool(const QString& inputPath, const std::optional<QString>& outputFolder)>;

PathProbe corePathProbe();

// True when two path texts name the same place: the same text, or the same
// item once both are resolved (trailing slash, "..", symbolic links).
bool samePlace(const QString& a, const QString& b);

Result check(const Input& input, const PathProbe& probe);

// The message a problem shows; empty for Problem::None.
QString message(Problem problem);

} // namespace start_check
