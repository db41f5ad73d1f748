#include "run/run_journal.h"

#include "dates/exif_text.h"
#include "io/file_system_identity.h"
#include "io/journal_file.h"
#include "io/json_line.h"
#include "io/path_text.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <tuple>
#include <utility>

namespace shotdate {

using nlohmann::json;

struct RunJournal::Impl {
    AppendOnlyFile file;
};

namespace {

constexpr int kVersion = 1;

std::string hexOf(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

std::vector<std::uint8_t> bytesOfHex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(std::uint8_t(digit(text[i]) << 4 | digit(text[i + 1])));
    return out;
}

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::string pathOf(const json& object, const std::string& key)
{
    if (object.contains(key + "_hex") && object[key + "_hex"].is_string()) {
        const auto bytes = bytesOfHex(object[key + "_hex"].get<std::string>());
        return std::string(bytes.begin(), bytes.end());
    }
    return object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : std::string();
}

std::optional<std::string> textOrNull(const json& value)
{
    return value.is_string() ? std::optional<std::string>(value.get<std::string>()) : std::nullopt;
}

void putStamp(JsonLine& line, std::string_view key, const FileStamp& stamp)
{
    line.open(key, '{')
        .number("device", stamp.device)
        .number("inode", stamp.inode)
        .number("size", stamp.size)
        .pair("ctime", stamp.ctimeSeconds, stamp.ctimeNanoseconds)
        .close('}');
}

// Paths are bytes; JSON holds UTF-8 text. A path that is not valid UTF-8
// is kept exactly in "<key>_hex" beside its readable form.
void putPath(JsonLine& line, const std::string& key, const std::string& path)
{
    line.text(key, path);
    if (!isUtf8(path))
        line.text(key + "_hex", hexOf(bytesOf(path)));
}

FileStamp stampOf(const json& value)
{
    FileStamp stamp;
    stamp.device = value.value("device", std::uint64_t(0));
    stamp.inode = value.value("inode", std::uint64_t(0));
    stamp.size = value.value("size", std::uint64_t(0));
    if (value.contains("ctime") && value["ctime"].is_array() && value["ctime"].size() == 2) {
        stamp.ctimeSeconds = value["ctime"][0].get<std::int64_t>();
        stamp.ctimeNanoseconds = value["ctime"][1].get<std::int64_t>();
    }
    return stamp;
}

std::string fileLine(const JournalFile& file)
{
    JsonLine line;
    line.text("type", "file");
    putPath(line, "path", file.path);
    putPath(line, "relative", file.relativePath);
    putStamp(line, "before", file.before);
    putStamp(line, "after", file.after);
    line.number("old_size", file.oldSize).boolean("laid_out", file.laidOut).open("ranges", '[');
    for (const ChangedRange& range : file.ranges)
        line.open('{')
            .number("offset", range.offset)
            .text("old", hexOf(range.oldBytes))
            .text("new", hexOf(range.newBytes))
            .close('}');
    line.close(']').open("dates", '[');
    for (const ChangedDate& date : file.dates)
        line.open('{')
            .text("name", date.name)
            .nullableText("old", date.oldValue)
            .nullableText("new", date.newValue)
            .close('}');
    line.close(']').boolean("replaced_other", file.replacedOther);
    if (file.inPlace) {
        const InPlaceRecord& patch = *file.inPlace;
        line.open("in_place", '{')
            .text("boot_id", patch.bootId)
            .number("offset", patch.offset)
            .text("old", hexOf(patch.oldBytes))
            .text("new", hexOf(patch.newBytes))
            .pair("atime", patch.accessSeconds, patch.accessNanoseconds)
            .pair("mtime", patch.modifySeconds, patch.modifyNanoseconds)
            .close('}');
    }
    return line.finish();
}

JournalFile fileOf(const json& value)
{
    JournalFile file;
    file.path = pathOf(value, "path");
    file.relativePath = pathOf(value, "relative");
    file.before = stampOf(value.value("before", json::object()));
    file.after = stampOf(value.value("after", json::object()));
    file.oldSize = value.value("old_size", std::uint64_t(0));
    file.laidOut = value.value("laid_out", false);
    file.replacedOther = value.value("replaced_other", false);
    for (const json& range : value.value("ranges", json::array()))
        file.ranges.push_back({range.value("offset", std::uint64_t(0)), bytesOfHex(range.value("old", "")),
                               bytesOfHex(range.value("new", ""))});
    for (const json& date : value.value("dates", json::array()))
        file.dates.push_back({date.value("name", ""), textOrNull(date["old"]), textOrNull(date["new"])});
    if (value.contains("in_place") && value["in_place"].is_object()) {
        const json& patch = value["in_place"];
        InPlaceRecord record;
        record.bootId = patch.value("boot_id", "");
        record.offset = patch.value("offset", std::uint64_t(0));
        record.oldBytes = bytesOfHex(patch.value("old", ""));
        record.newBytes = bytesOfHex(patch.value("new", ""));
        const auto times = [&](const char* key, std::int64_t& seconds, std::int64_t& nanoseconds) {
            const json pair = patch.value(key, json::array());
            if (pair.is_array() && pair.size() == 2) {
                seconds = pair[0].get<std::int64_t>();
                nanoseconds = pair[1].get<std::int64_t>();
            }
        };
        times("atime", record.accessSeconds, record.accessNanoseconds);
        times("mtime", record.modifySeconds, record.modifyNanoseconds);
        // A record whose spans disagree is no record: nothing could be replayed by it.
        if (record.oldBytes.size() == record.newBytes.size() && !record.oldBytes.empty())
            file.inPlace = std::move(record);
    }
    return file;
}

std::string headerLine(const JournalHeader& header)
{
    JsonLine line;
    line.text("type", "run")
        .number("version", kVersion)
        .text("id", header.id)
        .number("when", header.when)
        .number("when_ns", header.whenNanoseconds)
        .text("mode", header.mode)
        .nullableText("date", header.date)
        .number("shift_seconds", header.shiftSeconds)
        .boolean("subfolders", header.subfolders)
        .boolean("all_dates", header.allDates);
    if (header.zoneMinutes)
        line.number("zone_minutes", *header.zoneMinutes);
    else
        line.null("zone_minutes");
    line.open("file_system", '{').text("uuid", header.uuid).text("fsid", header.fsid);
    putPath(line, "mount_point", header.mountPoint);
    putPath(line, "path", header.mountRelative);
    line.close('}').nullableText("undoes", header.undoes).text("boot_id", header.bootId).open("inputs", '[');
    for (const std::string& input : header.inputs)
        line.element(input);
    line.close(']');
    if (!std::all_of(header.inputs.begin(), header.inputs.end(),
                     [](const std::string& input) { return isUtf8(input); })) {
        line.open("inputs_hex", '[');
        for (const std::string& input : header.inputs)
            line.element(hexOf(bytesOf(input)));
        line.close(']');
    }
    if (header.output)
        putPath(line, "output", *header.output);
    else
        line.null("output");
    return line.finish();
}

JournalHeader headerOf(const json& value)
{
    JournalHeader header;
    header.id = value.value("id", "");
    header.when = value.value("when", std::int64_t(0));
    header.whenNanoseconds = value.value("when_ns", std::int64_t(0));
    header.mode = value.value("mode", "");
    header.date = textOrNull(value.value("date", json()));
    header.shiftSeconds = value.value("shift_seconds", 0);
    header.subfolders = value.value("subfolders", false);
    header.allDates = value.value("all_dates", false);
    if (value.contains("zone_minutes") && value["zone_minutes"].is_number_integer())
        header.zoneMinutes = value["zone_minutes"].get<std::int32_t>();
    if (value.contains("inputs_hex") && value["inputs_hex"].is_array()) {
        for (const json& input : value["inputs_hex"]) {
            const auto bytes = bytesOfHex(input.is_string() ? input.get<std::string>() : std::string());
            header.inputs.emplace_back(bytes.begin(), bytes.end());
        }
    } else {
        header.inputs = value.value("inputs", std::vector<std::string>{});
    }
    if (value.contains("output") && value["output"].is_string())
        header.output = pathOf(value, "output");
    const json fs = value.value("file_system", json::object());
    header.uuid = fs.value("uuid", "");
    header.fsid = fs.value("fsid", "");
    header.mountPoint = pathOf(fs, "mount_point");
    header.mountRelative = pathOf(fs, "path");
    header.undoes = textOrNull(value.value("undoes", json()));
    header.bootId = value.value("boot_id", "");
    return header;
}

std::string newRunId(std::int64_t when)
{
    char stamp[32];
    const std::time_t seconds = std::time_t(when);
    struct tm utc {};
    gmtime_r(&seconds, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    std::random_device random;
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%04x", unsigned(random() & 0xffff));
    return std::string(stamp) + suffix;
}

std::string currentFolder()
{
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    return error ? std::string("/") : path.string();
}

std::string absoluteIn(const std::string& cwd, const std::string& path)
{
    if (path.starts_with("/"))
        return path;
    return joinPath(cwd, path);
}

bool isPathWithin(const std::string& path, const std::string& folder)
{
    return path == folder || path.starts_with(folder.ends_with("/") ? folder : folder + "/");
}

} // namespace

std::string journalFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return joinPath(joinPath(state, "shotdate"), "runs");
    const char* home = std::getenv("HOME");
    return joinPath(home != nullptr && home[0] != '\0' ? home : "/", ".local/state/shotdate/runs");
}

std::string RunJournal::absolute(const std::string& path) const
{
    return absoluteIn(cwd_, path);
}

std::unique_ptr<RunJournal> RunJournal::start(JournalHeader header, int& error)
{
    try {
        return startJournal(std::move(header), error);
    } catch (...) {
        error = ENOMEM;
        return nullptr;
    }
}

std::unique_ptr<RunJournal> RunJournal::startJournal(JournalHeader header, int& error)
{
    const std::string folder = journalFolder();
    error = makeFolders(folder, 0700);
    if (error != 0)
        return nullptr;
    std::unique_ptr<RunJournal> journal(new RunJournal);
    journal->impl_ = std::make_shared<Impl>();
    journal->cwd_ = currentFolder();
    journal->header_ = std::move(header);
    error = journal->impl_->file.create(folder, journal->header_.id + ".jsonl");
    if (error != 0)
        return nullptr;
    // Without the lock (a file system without flock) the run goes on: a
    // replay only touches records of an earlier boot, never a live run's.
    (void)journal->impl_->file.lock();
    journal->write(headerLine(journal->header_), true);
    error = journal->error_;
    if (error != 0)
        return nullptr;
    return journal;
}

void RunJournal::write(const std::string& lines, bool durable)
{
    if (error_ != 0)
        return;
    error_ = impl_->file.append(lines);
    if (error_ == 0 && durable)
        error_ = impl_->file.sync();
}

// The journal never stops a run: whatever goes wrong in it (memory, a
// value JSON cannot take) ends the journal, not the run.
void RunJournal::recordPrepared(std::vector<JournalFile*> files)
{
    if (files.empty() || error_ != 0)
        return;
    try {
        std::string lines;
        for (JournalFile* file : files) {
            file->path = absolute(file->path);
            lines += fileLine(*file);
        }
        write(lines, true);
    } catch (...) {
        error_ = ENOMEM;
    }
}

std::string journalDoneLine(const std::string& absolutePath, Reason reason)
{
    JsonLine line;
    line.text("type", "done").text("reason", reasonKey(reason));
    putPath(line, "path", absolutePath);
    return line.finish();
}

void RunJournal::recordDone(const std::string& path, Reason reason)
{
    try {
        write(journalDoneLine(absolute(path), reason), false);
    } catch (...) {
        error_ = ENOMEM;
    }
}

void RunJournal::finish(int rewritten, bool stopped)
{
    try {
        write(JsonLine().text("type", "end").number("rewritten", rewritten).boolean("stopped", stopped).finish(), true);
    } catch (...) {
        error_ = ENOMEM;
    }
}

std::string currentBootId()
{
    std::string boot;
    if (readWholeFile("/proc/sys/kernel/random/boot_id", boot, 64) != 0)
        return {};
    return boot.substr(0, boot.find('\n'));
}

JournalHeader journalHeaderFor(const RunSettings& settings, std::optional<std::string> undoes)
{
    JournalHeader header;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    header.when = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    header.whenNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() % 1000000000;
    header.id = newRunId(header.when);
    const DateArguments& dates = settings.dates;
    if (undoes) {
        header.mode = "undo";
    } else {
        switch (DateMode(dates.mode)) {
        case DateMode::DateAndTime: header.mode = "set"; break;
        case DateMode::DateOnly: header.mode = "set-date"; break;
        case DateMode::Shift: header.mode = "shift"; break;
        default: header.mode = "set-time"; break;
        }
        if (DateMode(dates.mode) != DateMode::Shift)
            header.date = formatExifDate(dates.givenDate);
        else
            header.shiftSeconds = dates.shiftSeconds;
    }
    header.undoes = std::move(undoes);
    header.bootId = currentBootId();
    header.subfolders = settings.subfolders;
    header.allDates = dates.allDates;
    header.zoneMinutes = dates.zoneMinutes;
    const std::string cwd = currentFolder();
    for (const std::string& input : runInputs(settings))
        header.inputs.push_back(absoluteIn(cwd, input));
    if (settings.outputFolder)
        header.output = absoluteIn(cwd, *settings.outputFolder);
    const std::string where = header.output ? *header.output : header.inputs.empty() ? cwd : header.inputs.front();
    const FileSystemIdentity fs = fileSystemOf(where);
    header.uuid = fs.uuid;
    header.fsid = fs.fsid;
    header.mountPoint = fs.mountPoint;
    header.mountRelative = fs.relativePath;
    return header;
}

std::optional<JournalRun> readJournal(const std::string& path, bool headerOnly)
{
    // The header is one short line (longer only with many or long input
    // paths); a run's files may be many megabytes.
    constexpr std::size_t kHeaderBytes = 4 * 1024, kLongestHeader = 64 * 1024;
    std::string text;
    if (readWholeFile(path, text, headerOnly ? kHeaderBytes : std::string::npos) != 0)
        return std::nullopt;
    if (headerOnly && text.find('\n') == std::string::npos && text.size() == kHeaderBytes
        && readWholeFile(path, text, kLongestHeader) != 0)
        return std::nullopt;
    if (headerOnly && text.find('\n') != std::string::npos)
        text.resize(text.find('\n') + 1);
    JournalRun run;
    run.path = path;
    bool headed = false;
    std::size_t start = 0;
    int done = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        // A line cut short by a crash is no record: it was never synced.
        if (end == std::string::npos)
            break;
        const json line =
            json::parse(text.begin() + std::ptrdiff_t(start), text.begin() + std::ptrdiff_t(end), nullptr, false);
        start = end + 1;
        if (!line.is_object())
            continue;
        // A damaged line (a value of the wrong type) is passed over like a cut one.
        try {
            const std::string type = line.value("type", "");
            if (type == "run") {
                run.header = headerOf(line);
                headed = true;
            } else if (type == "file") {
                run.files.push_back(fileOf(line));
            } else if (type == "done") {
                const std::string donePath = pathOf(line, "path");
                const std::string reason = line.value("reason", "");
                for (auto file = run.files.rbegin(); file != run.files.rend(); ++file)
                    if (file->path == donePath) {
                        file->done = reason == "rewritten" || reason == "rewritten-not-synced";
                        file->settled = true;
                        done += file->done ? 1 : 0;
                        break;
                    }
            } else if (type == "end") {
                run.ended = true;
                run.rewritten = line.value("rewritten", 0);
            }
        } catch (const json::exception&) {
        }
    }
    if (!headed || run.header.id.empty())
        return std::nullopt;
    if (!run.ended)
        run.rewritten = done;
    return run;
}

std::vector<JournalRun> readAllJournals(const std::string& folder, bool headersOnly)
{
    std::vector<JournalRun> runs;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".jsonl")
            continue;
        if (auto run = readJournal(entry.path().string(), headersOnly))
            runs.push_back(std::move(*run));
    }
    std::sort(runs.begin(), runs.end(), [](const JournalRun& a, const JournalRun& b) {
        return std::tie(a.header.when, a.header.whenNanoseconds, a.header.id)
            < std::tie(b.header.when, b.header.whenNanoseconds, b.header.id);
    });
    return runs;
}

std::optional<std::string> undoneBy(const std::vector<JournalRun>& runs, const std::string& id)
{
    // The latest undo that stands: an undo undone again (a redo) gives the
    // run its changes back.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
        if (run->header.undoes == id && !undoneBy(runs, run->header.id))
            return run->header.id;
    return std::nullopt;
}

const JournalRun* latestUndoable(const std::vector<JournalRun>& runs)
{
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
        if (!run->header.undoes && !undoneBy(runs, run->header.id))
            return &*run;
    return nullptr;
}

int forgetOldJournals(std::time_t now, int maxAgeDays, const std::string& folder)
{
    int removed = 0;
    for (const JournalRun& run : readAllJournals(folder, true))
        if (run.header.when < std::int64_t(now) - std::int64_t(maxAgeDays) * 86400 && removeFile(run.path) == 0)
            ++removed;
    return removed;
}

int forgetJournal(const std::string& id, const std::string& folder)
{
    if (id.empty() || id.find('/') != std::string::npos || id.starts_with("."))
        return ENOENT;
    return removeFile(joinPath(folder, id + ".jsonl"));
}

std::vector<const JournalRun*> recentShiftsOf(const std::vector<JournalRun>& runs, const RunSettings& settings,
                                              std::time_t now)
{
    std::vector<const JournalRun*> found;
    const std::string cwd = currentFolder();
    std::vector<std::string> inputs;
    // A single photo named as an input, by what stands there now: device,
    // inode and size, since a freed inode number is soon given to a new file.
    std::vector<std::array<std::uint64_t, 3>> inputFiles;
    for (const std::string& input : runInputs(settings)) {
        inputs.push_back(absoluteIn(cwd, input));
        struct stat st {};
        if (::stat(inputs.back().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            inputFiles.push_back({std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size)});
    }
    for (const JournalRun& run : runs) {
        if (run.header.mode != "shift" || run.header.when < std::int64_t(now) - 86400 || undoneBy(runs, run.header.id))
            continue;
        // A run's files lie below its output folder or its inputs: unless
        // those meet ours, only a photo named here by another name can be one
        // of them, and only then is the whole journal worth reading (a large
        // run's is megabytes).
        const std::vector<std::string> earlier =
            run.header.output ? std::vector<std::string>{*run.header.output} : run.header.inputs;
        const bool inputsMeet = std::any_of(inputs.begin(), inputs.end(), [&](const std::string& input) {
            return std::any_of(earlier.begin(), earlier.end(), [&](const std::string& folder) {
                return isPathWithin(input, folder) || isPathWithin(folder, input);
            });
        });
        if (!inputsMeet && inputFiles.empty())
            continue;
        std::optional<JournalRun> whole;
        if (run.files.empty() && !run.ended)
            whole = readJournal(run.path);
        const std::vector<JournalFile>& files = whole ? whole->files : run.files;
        const bool touches = std::any_of(files.begin(), files.end(), [&](const JournalFile& file) {
            if (!file.done)
                return false;
            // The same file by its path, or reached now by another name.
            const std::array<std::uint64_t, 3> written{file.after.device, file.after.inode, file.after.size};
            return std::any_of(inputs.begin(), inputs.end(),
                               [&](const std::string& input) { return isPathWithin(file.path, input); })
                || std::find(inputFiles.begin(), inputFiles.end(), written) != inputFiles.end();
        });
        if (touches)
            found.push_back(&run);
    }
    return found;
}

} // namespace shotdate
