// DATA FLASH read and write against the simulated instrument over a pty, in real
// time, paced at 38400 bit/s.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "station/com_port.h"
#include "station/job.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"
#include "testing/recording_frontend.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Differs from page to page and from byte to byte.
void WriteBytes(const fs::path& p, const Bytes& data) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

// Presses Stop while the read lets the window process its n-th batch of messages.
class StopClickingFrontend : public RecordingFrontend {
public:
    Controls* controls = nullptr;
    int stopAt = -1;
    int calls = 0;
    void ProcessMessages() override {
        if (++calls == stopAt && controls) RequestStop(*controls);
    }
};

class InstrumentOnSim : public ::testing::Test {
protected:
    void TearDown() override { session_.reset(); }

    // Starts the simulator and opens the session's port on it.
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--baud", "38400"});
        sim_ = std::make_unique<SimProcess>(args);
        opener_ = MakeSystemPortOpener({});
        station_ = std::make_unique<Station>(Station{ui_, clock_, *opener_, {}, {}});
        Station& station = *station_;
        session_ = std::make_unique<Job>(station, controls_);
        Job& s = *session_;
        ui_.controls = &controls_;
        station.settings.NamePort = sim_->DevicePath();
        station.settings.BaudRate = 38400;
        station.settings.AdrPribor = 1;
        station.settings.SizeData = 2048;
        station.settings.PauseRestart = 0;
        station.place.workDir = dir_;
        ASSERT_TRUE(OpenComPort(s)) << (ui_.boxes.empty() ? "" : ui_.boxes.back().text);
    }

    Job& s() { return *session_; }
    fs::path File(const std::string& name) const { return dir_ / name; }
    std::optional<Bytes> DataRd() const { return ReadWholeFile(dir_ / "data_rd.bin"); }

    const ScratchDir scratch_{"ins-it"};
    const fs::path dir_ = scratch_.path();
    StopClickingFrontend ui_;
    SystemClock clock_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<PortOpener> opener_;
    std::unique_ptr<Station> station_;
    Controls controls_;
    std::unique_ptr<Job> session_;
};

TEST_F(InstrumentOnSim, ReadsTheDataFlashWithBothBlockSizes) {
    for (const char* version : {"99", "100"}) {
        SCOPED_TRACE(version);
        const Bytes flash = Pattern(2048, 1);
        WriteBytes(File("flash-in.bin"), flash);
        Start({"--address", "1", "--version-code", version, "--data-file",
               File("flash-in.bin").string()});
        station_->settings.MaxKolReadings = 2;

        EXPECT_TRUE(ReadData(s()));

        EXPECT_EQ(DataRd(), flash);
        EXPECT_EQ(sim_->DataFlash(), flash);
        // Then the restart; its result is the one line left.
        EXPECT_EQ(ui_.log, Lines{"Restart - OK"});
        EXPECT_NE(std::find(ui_.history.begin(), ui_.history.end(),
                            std::string("Чтение данных из Velmar") + version),
                  ui_.history.end());
        session_.reset();
        sim_.reset();
        ui_.log.clear();
        ui_.history.clear();
    }
}

TEST_F(InstrumentOnSim, WrittenDataReadsBackEqual) {
    for (const char* version : {"99", "100"}) {
        SCOPED_TRACE(version);
        Start({"--address", "1", "--version-code", version});
        const Bytes data = Pattern(2048, 2);
        WriteBytes(File("data.bin"), data);

        EXPECT_TRUE(WriteData(s()));
        EXPECT_EQ(ui_.log.back(), "Restart - OK");
        EXPECT_EQ(sim_->DataFlash(), data);

        EXPECT_TRUE(ReadDataFlash(s(), {.restartAfterwards = false}).has_value())
            << ::testing::PrintToString(ui_.history);
        EXPECT_EQ(DataRd(), data);
        session_.reset();
        sim_.reset();
    }
}

TEST_F(InstrumentOnSim, StopLeavesNoFileAndKeepsTheOlderOne) {
    Start({"--address", "1", "--version-code", "99"});
    const Bytes older{'o', 'l', 'd'};
    WriteBytes(File("data_rd.bin"), older);
    ui_.stopAt = 40;  // inside page 2 of the first reading

    EXPECT_FALSE(ReadData(s()));

    EXPECT_EQ(DataRd(), older);
    EXPECT_FALSE(s().StopRequested);
    EXPECT_FALSE(ui_.stopButtonVisible);
    EXPECT_EQ(ui_.log, (Lines{"Чтение данных из Velmar99", "Чтение DATA FLASH ..."}));
    // The instrument still answers: the read stopped between exchanges.
    EXPECT_TRUE(Restart(s()));
}

TEST_F(InstrumentOnSim, WriteToASilentLineReportsTheVersionProbe) {
    Start({"--address", "1", "--no-answer"});
    WriteBytes(File("data.bin"), Pattern(512, 3));
    const Bytes before = sim_->DataFlash();

    EXPECT_FALSE(WriteData(s()));

    EXPECT_EQ(ui_.log, Lines{"Ошибка чтения версии устройства!"});
    EXPECT_EQ(sim_->DataFlash(), before);
}

// A corrupted copy of page 0 is caught by the repeated readings; the file still
// holds the flash.
TEST_F(InstrumentOnSim, FlippedReadingIsReadAgain) {
    struct Case {
        const char* flip;  // which copy of page 0 is corrupted
        int readings;
        Lines repeated;  // lines between "Чтение DATA FLASH ..." and "Чтение DATA FLASH - Ok"
    };
    const std::string mismatch2 = "Данные 2-го чтения DATA FLASH - не совпали с предыдущим.";
    const std::string mismatch3 = "Данные 3-го чтения DATA FLASH - не совпали с предыдущим.";
    const Case cases[] = {
        {"2",
         2,
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...", mismatch2,
          "2-e чтение DATA FLASH ...", mismatch2, "2-e чтение DATA FLASH ...",
          "2-e чтение DATA FLASH - Ok"}},
        {"3",
         3,
         {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...", "2-e чтение DATA FLASH - Ok",
          "3-e чтение DATA FLASH ...", mismatch3, "3-e чтение DATA FLASH ...",
          "3-e чтение DATA FLASH - Ok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flip);
        const Bytes flash = Pattern(2048, 4);
        WriteBytes(File("flash-in.bin"), flash);
        Start({"--address", "1", "--version-code", "120", "--flip-reading", c.flip, "--data-file",
               File("flash-in.bin").string()});
        station_->settings.MaxKolReadings = c.readings;

        EXPECT_TRUE(ReadDataFlash(s(), {.restartAfterwards = false}).has_value());

        Lines expected{"Чтение данных из Velmar120", "Чтение DATA FLASH ..."};
        expected.insert(expected.end(), c.repeated.begin(), c.repeated.end());
        expected.push_back("Чтение DATA FLASH - Ok");
        EXPECT_EQ(ui_.log, expected);
        EXPECT_EQ(DataRd(), flash);
        session_.reset();
        sim_.reset();
        ui_.log.clear();
    }
}

}  // namespace
}  // namespace zentor::test
