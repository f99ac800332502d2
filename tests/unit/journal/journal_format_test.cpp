// The journal's CSV: quoting round trip, header and BOM, malformed records, and
// the SHA-256 used for the image fields.
#include <gtest/gtest.h>

#include <string>

#include "common/sha256.h"
#include "journal/journal.h"

namespace zentor {
namespace {

JournalLine SampleEnd() {
    JournalLine line;
    line.time = "2026-12-10T16:20:44+03:00";
    line.computer = "ЦЕХ-3";
    line.event = JournalEvent::End;
    line.runId = "18c5-1-1";
    line.folder = "C:\\Линия 1";
    RunRecord& r = line.record;
    r.command = "update";
    r.mode = "keep";
    r.port = "COM3";
    r.baud = 115200;
    r.address = 7;
    r.model = "14";
    r.serial = "14v071510";
    r.programName = "prog_c.bin";
    r.programSha256 = std::string(64, 'a');
    r.dataSource = "backup/14v071510_20261210-162044_data.bin";
    r.dataSha256 = std::string(64, 'b');
    r.backupPath = "backup/14v071510_20261210-162044_data.bin";
    r.phase = RunPhase::Data;
    r.result = RunResult::Unconfirmed;
    r.unconfirmed = 3;
    r.note = "нет ответа";
    line.durationMs = 12345;
    return line;
}

void ExpectSame(const JournalLine& a, const JournalLine& b) {
    EXPECT_EQ(a.time, b.time);
    EXPECT_EQ(a.computer, b.computer);
    EXPECT_EQ(a.event, b.event);
    EXPECT_EQ(a.runId, b.runId);
    EXPECT_EQ(a.folder, b.folder);
    EXPECT_EQ(a.record.command, b.record.command);
    EXPECT_EQ(a.record.mode, b.record.mode);
    EXPECT_EQ(a.record.port, b.record.port);
    EXPECT_EQ(a.record.baud, b.record.baud);
    EXPECT_EQ(a.record.address, b.record.address);
    EXPECT_EQ(a.record.model, b.record.model);
    EXPECT_EQ(a.record.serial, b.record.serial);
    EXPECT_EQ(a.record.programName, b.record.programName);
    EXPECT_EQ(a.record.programSha256, b.record.programSha256);
    EXPECT_EQ(a.record.dataSource, b.record.dataSource);
    EXPECT_EQ(a.record.dataSha256, b.record.dataSha256);
    EXPECT_EQ(a.record.backupPath, b.record.backupPath);
    EXPECT_EQ(a.record.phase, b.record.phase);
    EXPECT_EQ(a.record.result, b.record.result);
    EXPECT_EQ(a.record.unconfirmed, b.record.unconfirmed);
    EXPECT_EQ(a.record.note, b.record.note);
}

TEST(JournalFormat, FieldsSurviveQuotingRoundTrip) {
    // Each note holds something the separator, the quoting or a line end could break;
    // a line break is written as a space, so one record stays one line.
    struct Case {
        const char* note;
        const char* read;
    } cases[] = {{"plain", "plain"},
                 {"a;b", "a;b"},
                 {"say \"stop\"", "say \"stop\""},
                 {"\"", "\""},
                 {";", ";"},
                 {"line1\r\nline2", "line1 line2"},
                 {"lf\nonly", "lf only"},
                 {"cr\ronly", "cr only"},
                 {"", ""},
                 {"trailing;\"", "trailing;\""},
                 {"пробел в конце ", "пробел в конце "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        JournalLine line = SampleEnd();
        line.record.note = c.note;
        line.folder = std::string("D:\\a;b\\\"q\"\\") + c.note;
        const std::string text = FormatJournalLine(line) + "\r\n";
        EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << "one physical line";
        int bad = -1;
        auto parsed = ParseJournal(text, &bad);
        EXPECT_EQ(bad, 0);
        ASSERT_EQ(parsed.size(), 1u);
        line.record.note = c.read;
        line.folder = std::string("D:\\a;b\\\"q\"\\") + c.read;
        ExpectSame(parsed[0], line);
        EXPECT_EQ(parsed[0].durationMs, 12300);  // one decimal kept
    }
}

TEST(JournalFormat, SeparatorQuotesAndDecimalComma) {
    JournalLine line = SampleEnd();
    line.record.note = "a;b \"c\"";
    const std::string text = FormatJournalLine(line);
    EXPECT_NE(text.find(";\"a;b \"\"c\"\"\""), std::string::npos) << text;
    EXPECT_NE(text.find(";12,3;"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(','), text.find("12,3") + 2);  // no comma used as a separator
}

TEST(JournalFormat, HeaderBomAndBadRecordsAreSkipped) {
    JournalLine start = SampleEnd();
    start.event = JournalEvent::Start;
    start.record.result = RunResult::None;
    start.durationMs = -1;
    std::string text = "\xEF\xBB\xBF" + JournalHeader() + "\r\n" + FormatJournalLine(start) +
                       "\r\n" + "garbage;line\r\n" + "\r\n" + FormatJournalLine(SampleEnd()) + "\n";
    // A torn last line (no end, too few fields) is counted as malformed, not fatal.
    text += FormatJournalLine(SampleEnd()).substr(0, 40);
    int bad = 0;
    auto lines = ParseJournal(text, &bad);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(lines[0].event, JournalEvent::Start);
    EXPECT_EQ(lines[0].durationMs, -1);
    EXPECT_EQ(lines[1].record.result, RunResult::Unconfirmed);
}

TEST(JournalFormat, UnknownTokensAreMalformed) {
    const std::string good = FormatJournalLine(SampleEnd());
    struct Case {
        const char* from;
        const char* to;
    } cases[] = {{";end;", ";finish;"},
                 {";unconfirmed;", ";maybe;"},
                 {";data;", ";flash;"},
                 {";115200;", ";fast;"},
                 {";12,3;", ";x;"}};
    for (const auto& c : cases) {
        std::string text = good;
        text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        int bad = 0;
        EXPECT_TRUE(ParseJournal(text, &bad).empty()) << c.to;
        EXPECT_EQ(bad, 1);
    }
}

TEST(JournalFormat, TimeHasOffset) {
    const std::string t = JournalTimeNow();
    ASSERT_EQ(t.size(), 25u) << t;
    EXPECT_EQ(t[10], 'T');
    EXPECT_TRUE(t[19] == '+' || t[19] == '-') << t;
    EXPECT_EQ(t[22], ':');
}

TEST(Sha256, KnownVectors) {
    auto hex = [](const std::string& s) {
        return Sha256Hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace zentor
