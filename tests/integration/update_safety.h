// Keep-mode updates through zentor-cli against a paced simulator, real time: the
// work folder with its images, the simulated instrument, the journal's runs and
// the command lines the CLI prints.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDataSize = 512;  // 2 pages, 4 records at 7E00h
constexpr const char* kBaud = "115200";
constexpr const char* kFirstDataRecord = ":807E0000";
constexpr const char* kPowerCycle =
    "Отключите питание устройства и через 30 секунд включите его снова.";

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UpdateSafety : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        Bytes scrambled = program_;
        ScrambleImage(scrambled);
        ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", scrambled));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", factory_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "old.bin", Pattern(2048, 2)));
        Settings st;
        st.TypeController = 4;
        st.DopPause = 0;
        st.SizeData = kDataSize;
        st.MaxKolReadings = 2;
        WriteConfig(dir_ / "z.ini", st);
    }

    // A Y5 instrument with `calibration` in its DATA FLASH; bytes it receives go to rx.log.
    std::vector<std::string> SimArgs(const Bytes& calibration, const std::string& tag,
                                     std::vector<std::string> extra = {}) const {
        const fs::path cal = dir_ / ("cal-" + tag + ".bin");
        EXPECT_TRUE(WriteFileAtomic(cal, calibration));
        std::vector<std::string> args{"--baud",
                                      kBaud,
                                      "--data-flash-size",
                                      std::to_string(kDataSize),
                                      "--code-file",
                                      (dir_ / "old.bin").string(),
                                      "--data-file",
                                      cal.string(),
                                      "--rx-log",
                                      Rx(tag).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    fs::path Rx(const std::string& tag) const { return scratch_.path() / ("rx-" + tag + ".log"); }
    std::string Received(const std::string& tag) const { return Slurp(Rx(tag)); }

    std::vector<std::string> Update(const SimProcess& sim, std::vector<std::string> extra) const {
        std::vector<std::string> args{"--config", (dir_ / "z.ini").string(),
                                      "update",   "--yes",
                                      "--port",   sim.DevicePath(),
                                      "--baud",   kBaud,
                                      "--dir",    dir_.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // Calls `act` with the CLI's pid once `marker` has reached the instrument.
    static std::function<void(pid_t)> When(const fs::path& rx, const std::string& marker,
                                           std::function<void(pid_t)> act) {
        return [rx, marker, act](pid_t pid) {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (std::chrono::steady_clock::now() < deadline && !Contains(Slurp(rx), marker))
                std::this_thread::sleep_for(2ms);
            act(pid);
        };
    }

    std::vector<JournalRun> Runs() const {
        auto lines = ReadJournal(dir_ / "journal.csv");
        return lines ? MergeRuns(*lines) : std::vector<JournalRun>{};
    }

    std::vector<fs::path> Backups() const {
        std::vector<fs::path> out;
        std::error_code ec;
        // Calibration backups only, not the set-aside readings beside them.
        for (const auto& e : fs::directory_iterator(dir_ / "backup", ec))
            if (e.path().filename().string().rfind("data_rd.", 0) != 0) out.push_back(e.path());
        return out;
    }

    const ScratchDir scratch_{"upd-safe"};
    const fs::path dir_ = scratch_.path() / "work";
    const Bytes program_ = Pattern(1024, 1);
    const Bytes factory_ = Pattern(kDataSize, 3);
    const Bytes calibration_ = Pattern(kDataSize, 4);
};

// The identification frame for address 1, the only thing a refused run may send.
inline const std::string kIdentification = [] {
    const Bytes f = WithChecksum({0x81, 0xEC, 0x03});
    return std::string(f.begin(), f.end());
}();

// The printed command line as arguments, with the test's configuration and --yes;
// `device` replaces the port the command names.
inline std::vector<std::string> ArgsOf(const std::string& command, const fs::path& config,
                                       const std::string& port, const std::string& device,
                                       std::vector<std::string> extra = {}) {
    std::istringstream words(command);
    std::vector<std::string> args{"--config", config.string(), "--yes"};
    std::string word;
    words >> word;  // the program name
    while (words >> word) args.push_back(word == port ? device : word);
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The printed line of `lines` that holds `part`, without its indent.
inline std::string PrintedCommand(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines)
        if (Contains(line, " update --mode keep ") && Contains(line, part))
            return line.substr(line.find("zentor-cli"));
    return "";
}

}  // namespace zentor::test
