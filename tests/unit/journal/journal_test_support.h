// Shared pieces of the journal and folder-lock tests: a session without ports and
// a writer that appends many awkward lines, and the check that all arrived whole.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/clock.h"
#include "journal/journal.h"
#include "station/job.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace zentor::journal_test {

class NoPorts : public PortOpener {
public:
    OpenResult Open(const std::string&, int) override { return OpenFailure(OpenStatus::NotFound); }
    OpenStatus Probe(const std::string&) override { return OpenStatus::NotFound; }
};

struct TestSession {
    explicit TestSession(const std::filesystem::path& dir)
        : station{ui, clock, opener, {}, {}}, s(station, controls) {
        station.place.workDir = dir;
        station.place.exePath = "/opt/zentor/zentor-cli";
        station.settings.NamePort = "COM3";
        station.settings.BaudRate = 9600;
    }
    RecordingFrontend ui;
    VirtualClock clock;
    NoPorts opener;
    Station station;
    Controls controls;
    Job s;
};

// Writer `w` appends `count` lines whose notes are long and full of ; " and line
// breaks, so a torn or interleaved write would show as a malformed record.
inline void AppendMany(const std::filesystem::path& journal, int w, int count) {
    for (int i = 0; i < count; ++i) {
        JournalLine line;
        line.time = JournalTimeNow();
        line.computer = "PC";
        line.event = JournalEvent::End;
        line.runId = std::to_string(w) + "-" + std::to_string(i);
        line.record.command = "update";
        line.record.result = RunResult::Ok;
        line.record.note = std::string(static_cast<std::size_t>(500 + 97 * i % 3000), 'x') +
                           ";\"q\"\r\n" + line.runId;
        line.durationMs = i;
        std::string error;
        if (!AppendJournalLine(journal, line, &error)) ADD_FAILURE() << error;
    }
}

inline void ExpectAllLines(const std::filesystem::path& journal, int writers, int count) {
    std::ifstream in(journal, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "BOM first";
    EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 1), std::string::npos) << "one BOM";
    EXPECT_EQ(bytes.find(JournalHeader(), 1), 3u);
    EXPECT_EQ(bytes.find(JournalHeader(), 4), std::string::npos) << "one header";
    int bad = -1;
    const auto lines = ParseJournal(bytes, &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(writers * count));
    std::set<std::string> ids;
    for (const auto& l : lines) {
        ids.insert(l.runId);
        EXPECT_EQ(l.record.note.substr(l.record.note.size() - l.runId.size()), l.runId);
    }
    EXPECT_EQ(ids.size(), lines.size());
}

}  // namespace zentor::journal_test
