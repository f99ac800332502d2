// Keep-mode updates through zentor-cli whose terminal goes away: the output
// closed (`| head`), a hang-up, SIGQUIT and SIGTERM, during the records and
// before the erase. The run is never killed, the journal gets its end line and
// no UUCP lock file is left. Simulator paced at the bit rate, real time.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
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

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDataSize = 512;
constexpr const char* kBaud = "115200";
constexpr const char* kFirstErase = "M0000";
// Prog: register FDh := AFh at address 1, the last step before the boot ROM.
const std::string kProg = "\x01\xFD\xAF";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UpdateSignals : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1);
        fs::create_directories(dir_);
        Bytes scrambled = program_;
        ScrambleImage(scrambled);
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", scrambled));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "old.bin", old_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "cal.bin", calibration_));
        Settings st;
        st.TypeController = 4;
        st.DopPause = 0;
        st.SizeData = kDataSize;
        st.MaxKolReadings = 2;
        WriteConfig(dir_ / "z.ini", st);
    }
    void TearDown() override { ::unsetenv("ZENTOR_LOCK_DIR"); }

    std::vector<std::string> SimArgs() const {
        return {"--baud",
                kBaud,
                "--data-flash-size",
                std::to_string(kDataSize),
                "--code-file",
                Old(),
                "--data-file",
                (dir_ / "cal.bin").string(),
                "--rx-log",
                rx_.string(),
                "--hcr0",
                "7C"};
    }
    std::string Old() const { return (dir_ / "old.bin").string(); }

    std::vector<std::string> Update(const SimProcess& sim) const {
        return {"--config", (dir_ / "z.ini").string(), "update", "--mode", "keep",  "--yes",
                "--port",   sim.DevicePath(),          "--baud", kBaud,    "--dir", dir_.string()};
    }

    // Sends `signo` once `marker` has reached the instrument; notes whether the
    // port's lock file was there at that moment.
    std::function<void(pid_t)> SignalWhen(const std::string& marker, int signo) {
        return [this, marker, signo](pid_t pid) {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (std::chrono::steady_clock::now() < deadline && !Contains(Slurp(rx_), marker))
                std::this_thread::sleep_for(2ms);
            lockSeen_ = !fs::is_empty(locks_.path());
            ::kill(pid, signo);
        };
    }

    std::vector<JournalRun> Runs() const {
        auto lines = ReadJournal(dir_ / "journal.csv");
        return lines ? MergeRuns(*lines) : std::vector<JournalRun>{};
    }

    // After the power cycle: written in full, or left exactly as it was.
    void ExpectInstrument(SimProcess& sim, bool written) {
        sim.PowerCycle();
        EXPECT_EQ(sim.Mode(), "firmware");
        EXPECT_EQ(sim.DataFlash(), calibration_);
        const Bytes flash = sim.Flash();
        const Bytes& code = written ? program_ : old_;
        ASSERT_GE(flash.size(), code.size());
        EXPECT_TRUE(std::equal(code.begin(), code.end(), flash.begin()));
        EXPECT_EQ(sim.Hcr0(), written ? "7D" : "7C");
    }

    const ScratchDir scratch_{"upd-sig"};
    const ScratchDir locks_{"upd-sig-locks"};
    const fs::path dir_ = scratch_.path() / "work";
    const fs::path rx_ = scratch_.path() / "rx.log";
    const Bytes program_ = Pattern(1024, 1);
    const Bytes old_ = Pattern(2048, 2);
    const Bytes calibration_ = Pattern(kDataSize, 4);
    bool lockSeen_ = false;
};

// `zentor-cli update ... | head`: the reader goes away right after "Запись CODE
// FLASH ...". The run writes on to its end; only the lines are lost.
TEST_F(UpdateSignals, ClosedOutputDuringTheRecordsIsIgnored) {
    SimProcess sim(SimArgs());
    bool lockSeen = false;
    const CliResult r = RunCliIntoPipe(Update(sim), [&](const std::string& line) {
        lockSeen = !fs::is_empty(locks_.path());
        return line != "Запись CODE FLASH ...";
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Запись CODE FLASH ...\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Запись CODE FLASH - Ok")) << "read no further";
    EXPECT_TRUE(lockSeen);
    EXPECT_TRUE(fs::is_empty(locks_.path()));
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].record.result, RunResult::Ok);
    EXPECT_EQ(runs[0].record.phase, RunPhase::Done);
    ExpectInstrument(sim, true);
}

TEST_F(UpdateSignals, SignalsDuringAndBeforeTheRecords) {
    const struct {
        const char* name;
        int signo;
        std::string marker;
        int status;
        std::string err;  // on standard error
        std::string out;  // on standard output
        RunResult result;
        bool written;
    } cases[] = {
        // The terminal closed: the records are finished, the run ends as usual.
        {"hang-up during the records", SIGHUP, kFirstErase, 0, "Запись продолжается до конца",
         "Запись регистров конфигурации - ok!", RunResult::Ok, true},
        {"SIGQUIT during the records", SIGQUIT, kFirstErase, 0, "Запись продолжается до конца",
         "Запись регистров конфигурации - ok!", RunResult::Ok, true},
        // Before the erase, a hang-up is a stop at the next step: after Prog the chip
        // waits in its boot ROM, and a power cycle brings the old firmware back.
        {"hang-up before the erase", SIGHUP, kProg, 1,
         "Прерывание:", "Обновление прервано до стирания: устройство ждёт в загрузчике",
         RunResult::Interrupted, false},
        // SIGTERM is Ctrl-C without a terminal: the write stops at a record boundary.
        {"SIGTERM during the records", SIGTERM, kFirstErase, 1,
         "Прерывание:", "Запись прервана по адресу ", RunResult::Interrupted, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "journal.csv");
        fs::remove(rx_);
        lockSeen_ = false;
        SimProcess sim(SimArgs());
        const CliResult r = RunCli(Update(sim), SignalWhen(c.marker, c.signo));
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        EXPECT_TRUE(Contains(r.out, c.out)) << r.out;
        EXPECT_TRUE(lockSeen_);
        EXPECT_TRUE(fs::is_empty(locks_.path()));
        const auto runs = Runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_TRUE(runs[0].finished);
        EXPECT_EQ(runs[0].record.result, c.result);
        if (c.signo == SIGTERM) {
            EXPECT_TRUE(runs[0].reachedErase);
            continue;  // partly written: the re-run's business (update_safety_test)
        }
        ExpectInstrument(sim, c.written);
    }
}

}  // namespace
}  // namespace zentor::test
