#include "json_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>

namespace shotdate::cli {

namespace {

using Json = nlohmann::ordered_json;  // keeps the fields in the documented order

// Dates are what the file held: the bytes of a damaged one may not be UTF-8.
std::string dump(const Json& record)
{
    return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void addPath(Json& record, const char* key, const std::string& path)
{
    record[key] = path;
    if (!isUtf8(path))
        record[std::string(key) + "_base64"] = base64(path);
}

Json errnoName(int error)
{
    if (error == 0)
        return nullptr;
    if (const char* name = ::strerrorname_np(error))
        return name;
    return error;
}

Json dateOrNull(const std::string& date)
{
    return date.empty() ? Json(nullptr) : Json(date);
}

} // namespace

std::string base64(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return out;
}

std::string fileRecord(const FileReport& report)
{
    // A file whose folder could not be synced stands in place all the same:
    // its outcome is "rewritten", its reason says what needs attention.
    const bool success = countsAsRewritten(report.reason);
    Json record;
    record["type"] = "file";
    addPath(record, "path", report.inPath);
    record["outcome"] = !success ? "passed-over" : report.reason == Reason::WouldRewrite ? "would-rewrite" : "rewritten";
    record["reason"] = reasonKey(report.reason);
    record["errno"] = errnoName(report.error);
    if (success)
        addPath(record, "output", report.outPath);
    else
        record["output"] = nullptr;
    record["renamed"] = success && report.renamed;
    Json dates = Json::array();
    // A run that only set the zone wrote neither date.
    const bool datesWritten = report.changes.empty()
        || std::any_of(report.changes.begin(), report.changes.end(),
                       [](const DateChange& change) { return change.name == "EXIF:DateTimeOriginal"; });
    if (success && datesWritten) {
        // Both fields get the same text. The run reports the old text of
        // DateTimeOriginal only; the other's is unknown here, hence null.
        dates.push_back({{"tag", "DateTimeOriginal"}, {"old", dateOrNull(report.oldDate)}, {"new", report.newDate}});
        dates.push_back({{"tag", "DateTimeDigitized"}, {"old", nullptr}, {"new", report.newDate}});
    }
    record["dates"] = std::move(dates);
    // Every copy of the date changed, as exiftool names it.
    Json changes = Json::array();
    if (success)
        for (const DateChange& change : report.changes)
            changes.push_back({{"name", change.name}, {"old", dateOrNull(change.oldValue)}, {"new", change.newValue}});
    record["changes"] = std::move(changes);
    return dump(record);
}

std::string listingProblemRecord(const ListingProblem& problem)
{
    Json record;
    record["type"] = "folder";
    addPath(record, "path", problem.path);
    record["outcome"] = "passed-over";
    record["reason"] = "cannot-list";
    record["errno"] = errnoName(problem.error);
    return dump(record);
}

std::string summaryRecord(const RunSummary& summary, bool dryRun, int exitStatus)
{
    Json record;
    record["type"] = "summary";
    record["dry_run"] = dryRun;
    record["rewritten"] = summary.rewritten;
    record["passed_over"] = summary.passedOver;
    record["unlisted_folders"] = summary.listingProblems.size();
    record["stopped"] = summary.stopped;
    record["exit"] = exitStatus;
    return dump(record);
}

} // namespace shotdate::cli
