#include "json_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

namespace shotdate::cli {
namespace {

FileReport report(std::string path, Reason reason, int error = 0)
{
    FileReport r;
    r.inPath = path;
    r.outPath = path;
    r.reason = reason;
    r.error = error;
    r.oldDate = "2012:05:03 13:45:12";
    if (isSuccess(reason))
        r.newDate = "2012:05:03 14:45:12";
    return r;
}

FileReport renamedInto(FileReport r, std::string outPath)
{
    r.outPath = std::move(outPath);
    r.renamed = true;
    return r;
}

FileReport withoutOldDate(FileReport r)
{
    r.oldDate.clear();
    return r;
}

FileReport withChanges(FileReport r, std::vector<DateChange> changes)
{
    r.changes = std::move(changes);
    return r;
}

struct RecordRow {
    std::string name;
    std::string record;
    std::string expected;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const RecordRow& row, std::ostream* os)
{
    *os << row.name;
}

class JsonRecord : public testing::TestWithParam<RecordRow> {};

TEST_P(JsonRecord, IsOneCompactLineAScriptCanRead)
{
    EXPECT_EQ(GetParam().record, GetParam().expected);
}

RunSummary summary(int rewritten, int passedOver, bool stopped, std::size_t unlisted)
{
    RunSummary s;
    s.rewritten = rewritten;
    s.passedOver = passedOver;
    s.stopped = stopped;
    s.listingProblems.resize(unlisted);
    return s;
}

const std::string kDates = R"("dates":[{"tag":"DateTimeOriginal","old":"2012:05:03 13:45:12","new":"2012:05:03 14:45:12"},)"
                           R"({"tag":"DateTimeDigitized","old":null,"new":"2012:05:03 14:45:12"}],"changes":[]})";

INSTANTIATE_TEST_SUITE_P(
    Table, JsonRecord,
    testing::Values(
        RecordRow{"Rewritten", fileRecord(report("p/a.jpg", Reason::Rewritten)),
                  R"({"type":"file","path":"p/a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,)"
                  R"("output":"p/a.jpg","renamed":false,)" + kDates},
        RecordRow{"DryRunRenamedIntoOutputFolder",
                  fileRecord(renamedInto(report("p/a.jpg", Reason::WouldRewrite), "out/a (2).jpg")),
                  R"({"type":"file","path":"p/a.jpg","outcome":"would-rewrite","reason":"would-rewrite",)"
                  R"("errno":null,"output":"out/a (2).jpg","renamed":true,)" + kDates},
        RecordRow{"DateAddedWhereThereWasNone", fileRecord(withoutOldDate(report("a.jpg", Reason::Rewritten))),
                  R"({"type":"file","path":"a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,)"
                  R"("output":"a.jpg","renamed":false,"dates":[{"tag":"DateTimeOriginal","old":null,)"
                  R"("new":"2012:05:03 14:45:12"},{"tag":"DateTimeDigitized","old":null,"new":"2012:05:03 14:45:12"}],"changes":[]})"},
        RecordRow{"ZoneOnlyListsItsChangesAndNoDates", fileRecord(withChanges(report("a.jpg", Reason::Rewritten),
                                                                   // only the zone: one tag changed, one added
                                                                   {{"EXIF:OffsetTime", "+01:00", "+09:00"},
                                                                    {"EXIF:OffsetTimeOriginal", "", "+09:00"}})),
                  R"({"type":"file","path":"a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,)"
                  R"("output":"a.jpg","renamed":false,"dates":[],"changes":[{"name":"EXIF:OffsetTime","old":"+01:00",)"
                  R"("new":"+09:00"},{"name":"EXIF:OffsetTimeOriginal","old":null,"new":"+09:00"}]})"},
        RecordRow{"EveryOtherCopyListed", fileRecord(withChanges(report("a.jpg", Reason::Rewritten),
                                                                         {{"EXIF:DateTimeOriginal", "2012:05:03 13:45:12",
                                                                           "2012:05:03 14:45:12"},
                                                                          {"XMP-xmp:CreateDate (a.xmp)", "2012-05-03T13:45:12+02:00",
                                                                           "2012-05-03T14:45:12+02:00"}})),
                  R"({"type":"file","path":"a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,)"
                  R"("output":"a.jpg","renamed":false,)" + kDates.substr(0, kDates.size() - 2)
                      + R"x({"name":"EXIF:DateTimeOriginal","old":"2012:05:03 13:45:12","new":"2012:05:03 14:45:12"},)x"
                      + R"x({"name":"XMP-xmp:CreateDate (a.xmp)","old":"2012-05-03T13:45:12+02:00",)x"
                      + R"("new":"2012-05-03T14:45:12+02:00"}]})"},
        RecordRow{"PassedOverWithErrno", fileRecord(report("p/b.jpg", Reason::Unreadable, EACCES)),
                  R"({"type":"file","path":"p/b.jpg","outcome":"passed-over","reason":"unreadable",)"
                  R"("errno":"EACCES","output":null,"renamed":false,"dates":[],"changes":[]})"},
        RecordRow{"QuotesAndControlCharactersEscaped", fileRecord(report("a\"b\n.jpg", Reason::NoExif)),
                  R"({"type":"file","path":"a\"b\n.jpg","outcome":"passed-over","reason":"no-exif",)"
                  R"("errno":null,"output":null,"renamed":false,"dates":[],"changes":[]})"},
        // Latin-1 "é": shown as U+FFFD, its bytes given exactly beside it.
        RecordRow{"NonUtf8NameKeepsItsBytes", fileRecord(report("caf\xe9.jpg", Reason::NoExif)),
                  "{\"type\":\"file\",\"path\":\"caf\xef\xbf\xbd.jpg\",\"path_base64\":\"Y2Fm6S5qcGc=\","
                  "\"outcome\":\"passed-over\",\"reason\":\"no-exif\",\"errno\":null,\"output\":null,"
                  "\"renamed\":false,\"dates\":[],\"changes\":[]}"},
        RecordRow{"UnlistedFolder", listingProblemRecord(ListingProblem{"p/locked", EACCES}),
                  R"({"type":"folder","path":"p/locked","outcome":"passed-over","reason":"cannot-list",)"
                  R"("errno":"EACCES"})"},
        RecordRow{"Summary", summaryRecord(summary(2, 1, false, 1), false, 1),
                  R"({"type":"summary","dry_run":false,"rewritten":2,"passed_over":1,"unlisted_folders":1,)"
                  R"("stopped":false,"exit":1})"},
        RecordRow{"StoppedDryRunSummary", summaryRecord(summary(5, 0, true, 0), true, 130),
                  R"({"type":"summary","dry_run":true,"rewritten":5,"passed_over":0,"unlisted_folders":0,)"
                  R"("stopped":true,"exit":130})"},
        RecordRow{"Base64Padding", base64("f") + " " + base64("fo") + " " + base64("foo") + " " + base64(""),
                  "Zg== Zm8= Zm9v "},
        RecordRow{"Utf8Detected",
                  std::to_string(isUtf8("写真.jpg")) + std::to_string(isUtf8("\xe5\x86.jpg"))
                      + std::to_string(isUtf8("\xc0\xaf")),
                  "100"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace shotdate::cli
