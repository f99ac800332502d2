// A run as one JSON line: every text escaped so the line stays one valid object.
#include "journal/journal_query.h"

#include <gtest/gtest.h>

namespace zentor::test {
namespace {

TEST(JournalQuery, JsonEscapesEveryTextAndMarksUnfinishedRuns) {
    JournalRun run;
    run.runId = "r\"1";
    run.startTime = "2026-12-01T10:00:00+03:00";
    run.folder = "C:\\work\\цех";
    run.record.command = "update";
    run.record.serial = "14v071510";
    run.record.note = "line\nbreak\ttab \x01 end";
    const std::string json = RunJson(run, std::nullopt);
    EXPECT_EQ(json.find('\n'), std::string::npos);
    EXPECT_NE(json.find(R"("run":"r\"1")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("folder":"C:\\work\\цех")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("note":"line\nbreak\ttab \u0001 end")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("result":"unfinished")"), std::string::npos) << json;
    EXPECT_EQ(json.find("backup_sha256"), std::string::npos);
    EXPECT_EQ(json.find("duration_ms"), std::string::npos);
}

TEST(JournalQuery, Sha256Text) {
    const std::string hex64 = "0123456789abcdefABCDEF0123456789abcdef0123456789abcdef0123456789";
    const struct {
        std::string text;
        bool sha;
    } cases[] = {
        {hex64, true},
        {hex64.substr(1), false},
        {hex64.substr(1) + "0", true},
        {hex64.substr(1).insert(10, "g"), false},
        {"prog_c.bin", false},
    };
    for (const auto& c : cases) EXPECT_EQ(LooksLikeSha256(c.text), c.sha) << c.text;
}

}  // namespace
}  // namespace zentor::test
