// The protocol's golden paths replayed from tests/transcripts, and the replay's
// own checks: a transcript that cannot catch a wrong byte proves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/session_rig.h"
#include "support/transcript.h"
#include "testing/virtual_clock.h"
#include "transcript_cases.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

fs::path TranscriptDir() {
    return fs::path(ZENTOR_FIXTURES_DIR).parent_path() / "transcripts";
}

std::vector<fs::path> TranscriptFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(TranscriptDir()))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

class GoldenPath : public ::testing::TestWithParam<fs::path> {};

TEST_P(GoldenPath, ToolSendsTheTranscriptByteForByte) {
    const Transcript t = Transcript::Load(GetParam());
    SessionRig rig("transcript");
    TranscriptReplay replay(t, rig.port);
    rig.OpenPort();
    EXPECT_EQ(RunTranscriptCase(rig.station, rig.s, t), "")
        << ::testing::PrintToString(rig.ui.history);
    EXPECT_EQ(replay.Check(), "");
}

INSTANTIATE_TEST_SUITE_P(Transcripts, GoldenPath, ::testing::ValuesIn(TranscriptFiles()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(TranscriptParse, BytesTextPausesAndTheRunLine) {
    const Transcript t = Transcript::Parse(
        "# leading comment\n"
        "run bootrom-program type=2 program=0x100\n"
        "\n"
        "> 3A 0d   # hex, either case\n"
        "< \"a#\\r\\n\\\"\\\\\\x7F\" 00\n"
        "  pause 25\n");
    EXPECT_EQ(t.action, "bootrom-program");
    EXPECT_EQ(t.Number("type", 0), 2);
    EXPECT_EQ(t.Number("program", 0), 256);
    EXPECT_EQ(t.Number("data", 7), 7);
    ASSERT_EQ(t.steps.size(), 3u);
    EXPECT_EQ(t.steps[0].kind, Transcript::Step::Send);
    EXPECT_EQ(t.steps[0].bytes, (Bytes{0x3A, 0x0D}));
    EXPECT_EQ(t.steps[0].line, 4);
    EXPECT_EQ(t.steps[1].kind, Transcript::Step::Receive);
    EXPECT_EQ(t.steps[1].bytes, (Bytes{'a', '#', '\r', '\n', '"', '\\', 0x7F, 0x00}));
    EXPECT_EQ(t.steps[2].kind, Transcript::Step::Pause);
    EXPECT_EQ(t.steps[2].ms, 25);
}

TEST(TranscriptParse, ErrorsNameTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {.text = "run a\n> 3G\n", .error = "line 2: not a hex byte: 3G"},
        {.text = "run a\n> 123\n", .error = "line 2: not a hex byte: 123"},
        {.text = "run a\n< \"abc\n", .error = "line 2: unterminated text"},
        {.text = "run a\n< \"\\q\"\n", .error = "line 2: unknown escape \\q"},
        {.text = "run a\n>\n", .error = "line 2: no bytes"},
        {.text = "run a\npause\n", .error = "line 2: pause takes milliseconds"},
        {.text = "run a\npause 5 ms\n", .error = "line 2: pause takes milliseconds"},
        {.text = "run a\nsend 00\n", .error = "line 2: unknown line: send 00"},
        {.text = "run a\nrun b\n", .error = "line 2: a second run line"},
        {.text = "run a b\n", .error = "line 1: not key=value: b"},
        {.text = "> 00\n", .error = "no run line"},
    };
    for (const auto& c : cases) {
        try {
            Transcript::Parse(c.text);
            ADD_FAILURE() << c.text << " parsed";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.error) << c.text;
        }
    }
}

// What a tool under test does on the port, in virtual time.
struct ToolSide {
    ScriptedPort& port;
    VirtualClock& clock;
    void Send(const Bytes& b) { port.Write(b.data(), b.size()); }
    Bytes Read(std::size_t n) {
        Bytes b(n);
        b.resize(port.Read(b.data(), n));
        return b;
    }
};

struct ReplayCase {
    const char* name;
    const char* transcript;
    std::function<void(ToolSide&)> tool;
    const char* fault;  // start of Check()'s text; "" when the run matches
};

// Line numbers count the "run x" line the test puts first.
const ReplayCase kReplayCases[] = {
    {.name = "exact",
     .transcript = "> 01 02\n< AA BB\n> 03\n< CC\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1, 2});
             EXPECT_EQ(t.Read(2), (Bytes{0xAA, 0xBB}));
             t.Send({3});
             EXPECT_EQ(t.Read(1), Bytes{0xCC});
         },
     .fault = ""},
    {.name = "line_split_over_writes",
     .transcript = "> 01 02 03\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             EXPECT_TRUE(t.Read(1).empty()) << "answered before the line was complete";
             t.Send({2, 3});
             EXPECT_EQ(t.Read(1), Bytes{0xAA});
         },
     .fault = ""},
    {.name = "two_lines_in_one_write",
     .transcript = "> 01\n> 02\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1, 2});
             t.Read(1);
         },
     .fault = ""},
    {.name = "wrong_byte",
     .transcript = "> 01 02\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1, 9});
             EXPECT_TRUE(t.Read(1).empty()) << "the device falls silent";
         },
     .fault = "line 2: the tool sent\n  01 09\ninstead of\n  01 02"},
    {.name = "extra_bytes",
     .transcript = "> 01\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.Read(1);
             t.Send({5});
         },
     .fault = "after the transcript's end the tool sent 05"},
    {.name = "stopped_early",
     .transcript = "> 01\n< AA\n> 02 03\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.Read(1);
             t.Send({2});
         },
     .fault = "line 4: the tool stopped after 1 of the 2 bytes"},
    {.name = "answer_not_read",
     .transcript = "> 01\n< AA BB\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.Read(1);
         },
     .fault = "line 3: the tool read 1 of the 2 bytes"},
    {.name = "read_after_pause",
     .transcript = "> 01\npause 500\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.clock.SleepMs(500);
             t.Read(1);
         },
     .fault = ""},
    {.name = "read_before_pause",
     .transcript = "> 01\npause 500\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.clock.SleepMs(499);
             t.Read(1);
         },
     .fault = "line 4: the tool read this answer at 499 ms"},
    {.name = "send_while_busy",
     .transcript = "> 01\n< AA\npause 20\n> 02\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.Read(1);
             t.clock.SleepMs(19);
             t.Send({2});
         },
     .fault = "line 5: the tool sent this line at 19 ms, while the device was busy until 20 ms"},
    {.name = "purged_answer",
     .transcript = "> 01\n< AA\n",
     .tool =
         [](ToolSide& t) {
             t.Send({1});
             t.port.PurgeRx();
         },
     .fault = "line 3: the tool read 0 of the 1 bytes"},
};

TEST(ReplayCheck, CatchesEachWayTheToolDiffers) {
    for (const ReplayCase& c : kReplayCases) {
        SCOPED_TRACE(c.name);
        const Transcript t = Transcript::Parse(std::string("run x\n") + c.transcript);
        VirtualClock clock;
        ScriptedPort port(&clock);
        TranscriptReplay replay(t, port);
        ToolSide tool{port, clock};
        c.tool(tool);
        const std::string fault = replay.Check();
        if (*c.fault) {
            EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << fault;
        } else {
            EXPECT_EQ(fault, "");
        }
    }
}

}  // namespace
}  // namespace zentor::test
