// A production bench: four instruments programmed at the same time, each by its
// own zentor-cli process on its own port and folder. Nothing may cross between
// the runs: every instrument ends with the program and its own calibration.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "support/sim_settings.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFlashSize = 32768;
constexpr int kDataSize = 1024;

struct Station {
    bool update;           // update --mode keep on a running instrument, else program
    std::string identity;  // the instrument's identification bytes
    std::string serial;    // its serial text
    fs::path dir;
    Bytes calibration;  // the instrument's own DATA FLASH
    std::unique_ptr<SimProcess> sim;
    CliResult result;
};

TEST(ParallelStations, FourInstrumentsKeepTheirOwnCalibration) {
    const ScratchDir scratch("parallel");
    const fs::path& root = scratch.path();
    const Bytes program = Pattern(8192, 1);
    Bytes scrambled = program;
    ScrambleImage(scrambled);

    std::array<Station, 4> stations = {{
        {true, "14,7,15,10", "14v071510", {}, {}, {}, {}},
        {false, "", "", {}, {}, {}, {}},
        {true, "5,120,3,200", "05v12003200", {}, {}, {}, {}},
        {false, "", "", {}, {}, {}, {}},
    }};
    const Settings st = PacedSimSettings(kDataSize);
    WriteConfig(root / "z.ini", st);

    for (std::size_t i = 0; i < stations.size(); ++i) {
        Station& s = stations[i];
        s.dir = root / ("station" + std::to_string(i));
        fs::create_directories(s.dir);
        s.calibration = Pattern(kDataSize, 10 + static_cast<unsigned>(i));
        // The instrument holds an older program and its calibration; for a chip on
        // the boot ROM, its calibration comes as data.bin of its folder.
        ASSERT_TRUE(
            WriteFileAtomic(s.dir / "old.bin", Pattern(4096, 20 + static_cast<unsigned>(i))));
        ASSERT_TRUE(WriteFileAtomic(s.dir / "cal.bin", s.calibration));
        ASSERT_TRUE(WriteFileAtomic(s.dir / "prog.bin", program));
        ASSERT_TRUE(WriteFileAtomic(s.dir / "prog_c.bin", scrambled));
        if (!s.update) {
            ASSERT_TRUE(WriteFileAtomic(s.dir / "data.bin", s.calibration));
        }
        std::vector<std::string> args = {"--data-flash-size", std::to_string(kDataSize),
                                         "--code-file", (s.dir / "old.bin").string()};
        if (s.update) {
            args.insert(args.end(),
                        {"--data-file", (s.dir / "cal.bin").string(), "--identity", s.identity});
        } else {
            args.push_back("--jumper");
        }
        s.sim = std::make_unique<SimProcess>(args);
    }

    std::vector<std::thread> runs;
    for (Station& s : stations) {
        runs.emplace_back([&s, &root] {
            // One journal for the whole bench, as a production line keeps it.
            std::vector<std::string> args = {"--config", (root / "z.ini").string(), "--journal",
                                             (root / "journal.csv").string()};
            if (s.update) {
                args.insert(args.end(), {"update", "--mode", "keep", "--yes"});
            } else {
                args.insert(args.end(), {"program", "--yes"});
            }
            args.insert(args.end(), {"--port", s.sim->DevicePath(), "--dir", s.dir.string()});
            s.result = RunCli(args, {}, std::chrono::seconds(90));
        });
    }
    for (auto& t : runs) t.join();

    // Every run's start and end line, whole, whatever order they came in.
    const auto journal = ReadJournal(root / "journal.csv");
    ASSERT_TRUE(journal.has_value());
    const auto count = [&](JournalEvent e) {
        return std::count_if(journal->begin(), journal->end(),
                             [e](const JournalLine& l) { return l.event == e; });
    };
    EXPECT_EQ(count(JournalEvent::Start), 4);
    EXPECT_EQ(count(JournalEvent::End), 4);
    const std::vector<JournalRun> journaled = MergeRuns(*journal);
    ASSERT_EQ(journaled.size(), stations.size());
    for (const Station& s : stations) {
        const std::string command = s.update ? "update" : "program";
        const auto run = std::find_if(journaled.begin(), journaled.end(), [&](const JournalRun& r) {
            return r.record.port == s.sim->DevicePath() && r.record.command == command;
        });
        ASSERT_NE(run, journaled.end()) << s.sim->DevicePath();
        EXPECT_TRUE(run->finished);
        EXPECT_EQ(run->record.result, RunResult::Ok);
        EXPECT_EQ(run->record.serial, s.serial);
    }

    for (std::size_t i = 0; i < stations.size(); ++i) {
        Station& s = stations[i];
        SCOPED_TRACE("station " + std::to_string(i));
        EXPECT_EQ(s.result.status, 0) << s.result.out << s.result.err;
        if (s.update) {
            const auto lines = s.result.OutLines();
            ASSERT_GE(lines.size(), 3u);
            EXPECT_EQ(lines.back(),
                      "Отключите питание устройства и через 30 секунд включите его снова.");
            EXPECT_EQ(
                lines[lines.size() - 3].rfind("Резервная копия DATA FLASH: backup/" + s.serial, 0),
                0u)
                << lines[lines.size() - 3];
            EXPECT_EQ(ReadWholeFile(s.dir / "data_rd.bin"), s.calibration);
            std::vector<fs::path> backups;
            for (const auto& e : fs::directory_iterator(s.dir / "backup"))
                backups.push_back(e.path());
            ASSERT_EQ(backups.size(), 1u);
            EXPECT_EQ(backups[0].filename().string().rfind(s.serial + "_", 0), 0u);
            EXPECT_EQ(ReadWholeFile(backups[0]), s.calibration);
        }
        s.sim->PowerCycle();
        if (s.update) {
            EXPECT_EQ(s.sim->Mode(), "firmware");
        }
        const Bytes flash = s.sim->Flash();
        ASSERT_EQ(flash.size(), static_cast<std::size_t>(kFlashSize));
        EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin()));
        EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(program.size()),
                                flash.end() - kDataSize, [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(s.sim->DataFlash(), s.calibration);
        EXPECT_EQ(s.sim->Hcr0(), "6D");
        EXPECT_EQ(s.sim->Hcr1(), "A3");
    }
}

}  // namespace
}  // namespace zentor::test
