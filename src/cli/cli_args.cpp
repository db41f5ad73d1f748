#include "cli_args.h"

#include "date_values.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace shotdate::cli {

namespace {

enum class OptionId { Set, SetDate, SetTime, Shift, AllDates, FileTime, Zone, CleanTemp, Runs, Undo, Forget, Recursive, Output, DryRun, Verbose, Quiet, Json, Help, Version };

struct OptionInfo {
    OptionId id;
    char shortName;          // '\0': long form only
    std::string_view longName;
    bool takesValue;
};

constexpr OptionInfo kOptions[] = {
    {OptionId::Set, '\0', "set", true},
    {OptionId::SetDate, '\0', "set-date", true},
    {OptionId::SetTime, '\0', "set-time", true},
    {OptionId::Shift, '\0', "shift", true},
    {OptionId::AllDates, '\0', "all-dates", false},
    {OptionId::FileTime, '\0', "file-time", true},
    {OptionId::Zone, '\0', "zone", true},
    {OptionId::CleanTemp, '\0', "clean-temp", false},
    {OptionId::Runs, '\0', "runs", false},
    {OptionId::Undo, '\0', "undo", false},
    {OptionId::Forget, '\0', "forget", false},
    {OptionId::Recursive, 'r', "recursive", false},
    {OptionId::Output, 'o', "output", true},
    {OptionId::DryRun, 'n', "dry-run", false},
    {OptionId::Verbose, 'v', "verbose", false},
    {OptionId::Quiet, 'q', "quiet", false},
    {OptionId::Json, '\0', "json", false},
    {OptionId::Help, '\0', "help", false},
    {OptionId::Version, '\0', "version", false},
};

const OptionInfo* findLong(std::string_view name)
{
    for (const auto& option : kOptions)
        if (option.longName == name)
            return &option;
    return nullptr;
}

const OptionInfo* findShort(char name)
{
    for (const auto& option : kOptions)
        if (option.shortName != '\0' && option.shortName == name)
            return &option;
    return nullptr;
}

std::string displayName(const OptionInfo& option)
{
    return "--" + std::string(option.longName);
}

// Collects what the options say; turned into CliOptions once the whole line
// has been read, so that the order of options never matters.
class Collector {
public:
    void fail(std::string message)
    {
        if (error_.empty())
            error_ = std::move(message);
    }

    void apply(const OptionInfo& option, const std::optional<std::string>& value)
    {
        switch (option.id) {
        case OptionId::Set:
        case OptionId::SetDate:
        case OptionId::SetTime:
        case OptionId::Shift:
            applyDate(option, *value);
            break;
        case OptionId::AllDates:
            options_.settings.dates.allDates = true;
            break;
        case OptionId::FileTime:
            if (fileTimeGiven_)
                fail("--file-time is given more than once");
            else if (*value == "keep" || *value == "shooting")
                options_.settings.fileTime = *value == "keep" ? FileTimeRule::Keep : FileTimeRule::Shooting;
            else
                fail("--file-time: expected keep or shooting, got '" + *value + "'");
            fileTimeGiven_ = true;
            break;
        case OptionId::Zone:
            applyZone(*value);
            break;
        case OptionId::CleanTemp:
            cleanTemp_ = true;
            break;
        case OptionId::Runs:
        case OptionId::Undo:
        case OptionId::Forget:
            if (history_ && *history_ != option.id)
                fail("choose only one of --runs, --undo and --forget");
            history_ = option.id;
            break;
        case OptionId::Recursive:
            options_.settings.subfolders = true;
            break;
        case OptionId::Output:
            if (options_.settings.outputFolder)
                fail("--output is given more than once");
            else if (value->empty())
                fail("--output needs a folder, not an empty text");
            else
                options_.settings.outputFolder = *value;
            break;
        case OptionId::DryRun:
            options_.settings.dryRun = true;
            break;
        case OptionId::Verbose:
            verbose_ = true;
            break;
        case OptionId::Quiet:
            quiet_ = true;
            break;
        case OptionId::Json:
            options_.json = true;
            break;
        case OptionId::Help:
            help_ = true;
            break;
        case OptionId::Version:
            version_ = true;
            break;
        }
    }

    void addPath(std::string path) { paths_.push_back(std::move(path)); }

    ParseResult finish()
    {
        ParseResult result;
        if (help_ || version_) {
            result.ok = true;
            result.options.action = help_ ? Action::Help : Action::Version;
            return result;
        }
        if (history_ && error_.empty())
            return finishHistory();
        if (error_.empty()) {
            const bool rewriteOption = dateOption_ || options_.settings.dates.zoneMinutes
                || options_.settings.dates.allDates || fileTimeGiven_;
            if (cleanTemp_ && (rewriteOption || options_.settings.outputFolder || options_.settings.dryRun
                               || options_.json))
                fail("--clean-temp takes only folders (and -r): it rewrites nothing");
            else if (!dateOption_ && !options_.settings.dates.zoneMinutes && !cleanTemp_)
                fail("no new date: choose one of --set, --set-date, --set-time or --shift, or --zone");
            else if (paths_.empty())
                fail("no PATH: give the folders or files to rewrite");
            else if (std::find(paths_.begin(), paths_.end(), std::string()) != paths_.end())
                fail("PATH is empty");
            else if (verbose_ && quiet_)
                fail("--verbose and --quiet cannot be used together");
        }
        if (!error_.empty()) {
            result.error = error_;
            return result;
        }
        result.ok = true;
        result.options = options_;
        // --zone alone relabels the zone: every clock time stays as it is.
        result.options.settings.dates.datesChange = dateOption_.has_value() || cleanTemp_;
        result.options.action = cleanTemp_ ? Action::CleanTemp : Action::Run;
        result.options.settings.inputPath = paths_[0];
        result.options.settings.moreInputPaths.assign(paths_.begin() + 1, paths_.end());
        result.options.verbosity = verbose_ ? Verbosity::Verbose : quiet_ ? Verbosity::Quiet : Verbosity::Normal;
        return result;
    }

private:
    // --runs, --undo [RUN], --forget RUN: the journal of past runs. The run
    // is named where a PATH would stand.
    ParseResult finishHistory()
    {
        ParseResult result;
        const bool forget = *history_ == OptionId::Forget;
        const bool undo = *history_ == OptionId::Undo;
        const std::size_t maxPaths = *history_ == OptionId::Runs ? 0 : 1;
        if (dateOption_ || options_.settings.dates.zoneMinutes || options_.settings.dates.allDates || fileTimeGiven_
            || cleanTemp_ || options_.settings.outputFolder || options_.settings.dryRun
            || options_.settings.subfolders || (!undo && (options_.json || verbose_ || quiet_)))
            fail(std::string(forget ? "--forget" : undo ? "--undo" : "--runs")
                 + " takes no new date and no other option but -v, -q or --json with --undo");
        else if (paths_.size() > maxPaths)
            fail(maxPaths == 0 ? "--runs takes no PATH" : "give one run (as --runs lists them)");
        else if (forget && paths_.empty())
            fail("--forget needs a run (as --runs lists them)");
        else if (verbose_ && quiet_)
            fail("--verbose and --quiet cannot be used together");
        if (!error_.empty()) {
            result.error = error_;
            return result;
        }
        result.ok = true;
        result.options = options_;
        result.options.action = forget ? Action::Forget : undo ? Action::Undo : Action::Runs;
        result.options.runId = paths_.empty() ? std::string() : paths_[0];
        result.options.verbosity = verbose_ ? Verbosity::Verbose : quiet_ ? Verbosity::Quiet : Verbosity::Normal;
        return result;
    }

    void applyZone(const std::string& value)
    {
        if (options_.settings.dates.zoneMinutes)
            return fail("--zone is given more than once");
        auto parsed = parseZoneValue(value);
        if (auto* bad = std::get_if<DateValueError>(&parsed))
            return fail("--zone: " + bad->message);
        options_.settings.dates.zoneMinutes = std::get<std::int32_t>(parsed);
    }

    void applyDate(const OptionInfo& option, const std::string& value)
    {
        if (dateOption_) {
            fail("choose only one of --set, --set-date, --set-time and --shift (got " + *dateOption_ + " and "
                 + displayName(option) + ")");
            return;
        }
        dateOption_ = displayName(option);
        auto& dates = options_.settings.dates;
        const auto takeDate = [&](DateValue<LocalSeconds> parsed, DateMode mode) {
            if (auto* bad = std::get_if<DateValueError>(&parsed))
                return fail(displayName(option) + ": " + bad->message);
            dates.mode = std::int32_t(mode);
            dates.givenDate = std::get<LocalSeconds>(parsed);
        };
        switch (option.id) {
        case OptionId::Set:
            takeDate(parseDateTimeValue(value), DateMode::DateAndTime);
            break;
        case OptionId::SetDate:
            takeDate(parseDateValue(value), DateMode::DateOnly);
            break;
        case OptionId::SetTime:
            takeDate(parseTimeValue(value), DateMode::TimeOnly);
            break;
        default: {
            auto parsed = parseShiftValue(value);
            if (auto* bad = std::get_if<DateValueError>(&parsed))
                return fail(displayName(option) + ": " + bad->message);
            dates.mode = std::int32_t(DateMode::Shift);
            dates.shiftSeconds = std::get<std::int32_t>(parsed);
            break;
        }
        }
    }

    CliOptions options_;
    std::optional<std::string> dateOption_;
    std::vector<std::string> paths_;
    bool verbose_ = false;
    bool quiet_ = false;
    bool help_ = false;
    bool version_ = false;
    bool cleanTemp_ = false;
    std::optional<OptionId> history_;
    bool fileTimeGiven_ = false;
    std::string error_;
};

} // namespace

ParseResult parseArguments(const std::vector<std::string>& args)
{
    Collector collector;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            collector.addPath(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // The next argument is a value whatever it looks like: a shift back
        // in time starts with '-'.
        const auto nextValue = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (arg.starts_with("--")) {
            const auto equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const OptionInfo* option = findLong(name);
            if (!option) {
                collector.fail("unknown option '--" + name + "'");
                continue;
            }
            std::optional<std::string> value;
            if (equals != std::string::npos) {
                if (!option->takesValue) {
                    collector.fail(displayName(*option) + " takes no value");
                    continue;
                }
                value = arg.substr(equals + 1);
            } else if (option->takesValue) {
                value = nextValue();
                if (!value) {
                    collector.fail(displayName(*option) + " needs a value");
                    continue;
                }
            }
            collector.apply(*option, value);
            continue;
        }
        // A group of short options, "-rv"; an option with a value takes the
        // rest of the group ("-oDIR") or else the next argument.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionInfo* option = findShort(arg[k]);
            if (!option) {
                collector.fail("unknown option '-" + std::string(1, arg[k]) + "'");
                break;
            }
            if (!option->takesValue) {
                collector.apply(*option, std::nullopt);
                continue;
            }
            std::optional<std::string> value;
            if (k + 1 < arg.size())
                value = arg.substr(k + 1);
            else
                value = nextValue();
            if (!value)
                collector.fail("-" + std::string(1, option->shortName) + " needs a value");
            else
                collector.apply(*option, value);
            break;
        }
    }
    return collector.finish();
}

std::string usageText()
{
    return "Usage: shotdate-cli [options] PATH...\n"
           "       shotdate-cli --runs | --undo [RUN] | --forget RUN\n"
           "Rewrites the EXIF shooting dates (DateTimeOriginal and DateTimeDigitized) of the\n"
           "photos in each PATH, a folder or a single file. Several PATHs make one run with\n"
           "one summary; in place, a photo named twice is rewritten once.\n"
           "\n"
           "The new date, one of:\n"
           "      --set \"YYYY-MM-DD HH:MM:SS\"  give every photo this date and time\n"
           "      --set-date YYYY-MM-DD         this date, keeping each photo's time of day\n"
           "      --set-time HH:MM:SS           this time of day, keeping each photo's date\n"
           "      --shift [+|-][DAYS:]HH:MM:SS  move each photo's date forward (+) or back (-);\n"
           "                                    DAYS 0-366\n"
           "or only a zone, or a date and a zone:\n"
           "      --zone +HH:MM                 the zone the camera's clock was in (-12:00 to\n"
           "                                    +14:00, Z for +00:00): sets OffsetTimeOriginal\n"
           "                                    and OffsetTimeDigitized (with --all-dates also\n"
           "                                    OffsetTime and IPTC TimeCreated's zone), adding\n"
           "                                    them where missing; the clock time stays\n"
           "\n"
           "Options:\n"
           "      --all-dates    also move every other copy of the date: EXIF ModifyDate,\n"
           "                     the XMP and IPTC dates\n"
           "      --file-time keep|shooting\n"
           "                     keep each file's modification time (the default) or set\n"
           "                     it to the new shooting date, in this computer's zone\n"
           "  -r, --recursive    include the photos in subfolders\n"
           "  -o, --output DIR   write the new files into the folder DIR instead of\n"
           "                     replacing the originals\n"
           "  -n, --dry-run      check everything and show each photo's old and new date,\n"
           "                     but write nothing\n"
           "  -v, --verbose      show every file's outcome with its old and new date\n"
           "  -q, --quiet        show only the files that were passed over\n"
           "      --json         print on stdout one JSON object per file and a summary\n"
           "                     object last (JSON Lines), and nothing else; the other\n"
           "                     messages go to stderr\n"
           "      --clean-temp   remove, instead of rewriting, the hidden unfinished files\n"
           "                     (.shotdate-*.tmp) that a killed run left in each PATH\n"
           "                     (and below it with -r); the originals beside them are\n"
           "                     complete\n"
           "      --runs         list the runs kept in the journal (id, time, path, mode,\n"
           "                     files rewritten, the run that undid it)\n"
           "      --undo [RUN]   give the files of RUN (by default the latest run that is\n"
           "                     neither an undo nor undone) their old dates back; the\n"
           "                     undo of an undo is a redo\n"
           "      --forget RUN   delete the journal of RUN (it can no longer be undone)\n"
           "      --help         show this help\n"
           "      --version      show the version\n"
           "\n"
           "Options may come before, between or after the PATHs; \"--\" ends the options.\n"
           "Values may be given as --option=VALUE or --option VALUE.\n"
           "\n"
           "Ctrl-C stops after the current file. Exit status: 0 every file rewritten,\n"
           "1 some files passed over or need attention, 2 usage error (nothing touched),\n"
           "130 stopped.\n";
}

} // namespace shotdate::cli
