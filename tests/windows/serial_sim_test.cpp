// The Win32 serial port against the simulator. scripts/test-windows.sh starts
// zentor-sim on the Linux side, links a COM port of the Wine prefix to its
// terminal and passes the port in the environment:
//   ZENTOR_WIN_COM            running instrument (no jumper)
//   ZENTOR_WIN_VERSION_CODE   its register EDh
//   ZENTOR_WIN_DATA           the DATA FLASH contents it was started with
//   ZENTOR_WIN_BOOT_COM       a chip in its boot ROM (--jumper, MSC1210Y5)
//   ZENTOR_WIN_BOOT_DIR       folder for the images the programming run writes
//   ZENTOR_WIN_BOOT_DUMP      the simulator's dump after that run (flash.bin, hcr.txt)
//   ZENTOR_WIN_PROG_COM, ZENTOR_WIN_PROG_DIR, ZENTOR_WIN_PROG_DUMP
//                             the same for a hardware programmer (--programmer)
// Without them the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "com_state.h"
#include "common/clock.h"
#include "instrument/frames.h"
#include "instrument/instrument_commands.h"
#include "station/com_port.h"
#include "testing/recording_frontend.h"
#include "win_test_util.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using wintest::Env;
using wintest::ReadDcb;

std::int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

// A session on the real Win32 ports with a real clock.
struct Rig {
    explicit Rig(const std::string& port, int baud = 38400)
        : opener(MakeSystemPortOpener(wintest::ExeDir())),
          station{ui, clock, *opener, {}, {}},
          s(station, controls) {
        station.settings.NamePort = port;
        station.settings.BaudRate = baud;
    }
    RecordingFrontend ui;
    SystemClock clock;
    std::unique_ptr<PortOpener> opener;
    Station station;
    Controls controls;
    Job s;
};

// First frame byte of a register read from the instrument at address 1.
constexpr std::uint8_t kReadRegister = 0x80 | 1;

class InstrumentPort : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = Env("ZENTOR_WIN_COM");
        if (port_.empty()) GTEST_SKIP() << "no simulator port (ZENTOR_WIN_COM)";
    }
    std::string port_;
};

TEST_F(InstrumentPort, OpenSetsLineAndDeadlineAndCloseReleases) {
    for (int baud : {2400, 38400}) {
        Rig rig(port_, baud);
        ASSERT_TRUE(OpenComPort(rig.s))
            << Joined({rig.ui.boxes.empty() ? "" : rig.ui.boxes[0].text});
        ASSERT_NE(rig.s.port, nullptr);
        EXPECT_TRUE(rig.ui.boxes.empty());
        EXPECT_EQ(rig.s.timeouts.ReadTotalTimeoutConstant, 1000u);
        CloseComPort(rig.s);
        EXPECT_EQ(rig.s.port, nullptr);
        CloseComPort(rig.s);  // harmless when closed

        // The line settings stay on the device after the handle is closed.
        DCB dcb;
        ASSERT_TRUE(ReadDcb(port_, &dcb)) << "port not released, error " << GetLastError();
        EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(baud));
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    }
}

TEST_F(InstrumentPort, ASilentLineEndsAReadAfterOneSecond) {
    Rig rig(port_);
    ASSERT_TRUE(OpenComPort(rig.s));
    std::uint8_t buf[8];
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto start = std::chrono::steady_clock::now();
        std::size_t got = rig.s.port->Read(buf, sizeof buf);
        auto ms = ElapsedMs(start);
        EXPECT_EQ(got, 0u);
        EXPECT_GE(ms, 900) << "the read returned before its deadline";
        EXPECT_LE(ms, 2500) << "the read outlived its deadline";
    }
}

TEST_F(InstrumentPort, AnAnswerEndsTheReadAtOnce) {
    int version = std::atoi(Env("ZENTOR_WIN_VERSION_CODE").c_str());
    Rig rig(port_);
    ASSERT_TRUE(OpenComPort(rig.s));
    InstrumentBus bus(rig.s.LinkPort(), rig.s.clock);
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(bus.ReadBlock(kReadRegister, 0xED, 1));
        EXPECT_LT(ElapsedMs(start), 900) << "the read waited for its deadline";
        EXPECT_EQ(bus.Reply()[2], version);
    }
}

TEST_F(InstrumentPort, PurgeDropsAPendingAnswer) {
    Rig rig(port_);
    ASSERT_TRUE(OpenComPort(rig.s));
    // A read request of register EDh, sent by hand so that its answer stays pending.
    std::uint8_t frame[4] = {kReadRegister, 0xED, 0, 0};
    frame[3] = CalcCrc8(frame, 3);
    ASSERT_EQ(rig.s.port->Write(frame, 4), 4u);
    rig.clock.SleepMs(300);
    rig.s.port->PurgeRx();
    std::uint8_t buf[8];
    EXPECT_EQ(rig.s.port->Read(buf, 4), 0u) << "the answer survived the purge";

    // Without the purge the same answer arrives.
    ASSERT_EQ(rig.s.port->Write(frame, 4), 4u);
    rig.clock.SleepMs(300);
    EXPECT_EQ(rig.s.port->Read(buf, 4), 4u);
}

TEST_F(InstrumentPort, OpenFailuresShowTheirMessages) {
    {
        Rig rig("COM199");  // never linked by the test script
        EXPECT_FALSE(OpenComPort(rig.s));
        EXPECT_EQ(rig.s.port, nullptr);
        ASSERT_EQ(rig.ui.boxes.size(), 1u);
        EXPECT_EQ(rig.ui.boxes[0].text, "Не могу открыть \"COM199\",\nтакого порта не существует.");
        EXPECT_EQ(rig.ui.boxes[0].title, rig.station.place.caption);
    }
    {
        Rig rig("");
        EXPECT_FALSE(OpenComPort(rig.s));
        ASSERT_EQ(rig.ui.boxes.size(), 1u);
        EXPECT_EQ(rig.ui.boxes[0].text, "COM-порт не задан.");
    }
    {
        Rig rig(port_, 1234567);  // a bit rate the driver refuses
        bool opened = OpenComPort(rig.s);
        if (opened && wintest::RunningUnderWine()) {
            GTEST_SKIP() << "Wine accepts any bit rate on a pseudo-terminal";
        }
        EXPECT_FALSE(opened);
        EXPECT_EQ(rig.s.port, nullptr);
        ASSERT_EQ(rig.ui.boxes.size(), 1u);
        EXPECT_EQ(rig.ui.boxes[0].text,
                  "Необходимые параметры порта \"" + port_ + "\" не установлены");
    }
}

TEST_F(InstrumentPort, AHeldPortIsBusyAndStillListed) {
    Rig holder(port_);
    ASSERT_TRUE(OpenComPort(holder.s));
    auto names = ScanComPorts(*holder.opener);
    EXPECT_NE(std::find(names.begin(), names.end(), port_), names.end()) << Joined(names);
    EXPECT_EQ(std::find(names.begin(), names.end(), "COM199"), names.end());

    Rig second(port_);
    bool opened = OpenComPort(second.s);
    if (opened && wintest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine does not refuse a second open of a serial port";
    }
    EXPECT_FALSE(opened);
    ASSERT_EQ(second.ui.boxes.size(), 1u);
    EXPECT_EQ(second.ui.boxes[0].text, "Не могу открыть \"" + port_ + "\", порт занят.");
}

TEST_F(InstrumentPort, DataFlashReadMatchesTheInstrument) {
    std::string expectedFile = Env("ZENTOR_WIN_DATA");
    ASSERT_FALSE(expectedFile.empty()) << "ZENTOR_WIN_DATA not set";
    std::string expected = wintest::ReadBytes(expectedFile);
    ASSERT_FALSE(expected.empty());

    wintest::TempDir dir;
    Rig rig(port_);
    rig.station.place.workDir = dir.path();
    rig.station.settings.SizeData = static_cast<int>(expected.size());
    rig.station.settings.MaxKolReadings = 2;
    ASSERT_TRUE(OpenComPort(rig.s));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ReadData(rig.s)) << Joined(rig.ui.history);
    auto ms = ElapsedMs(start);
    EXPECT_EQ(wintest::ReadBytes(dir / "data_rd.bin"), expected) << Joined(rig.ui.history);
    std::printf("DATA FLASH read of %zu bytes took %lld ms\n", expected.size(),
                static_cast<long long>(ms));
}

// Images of a programming run: a code image of an odd length (a partial last
// record or page) and a DATA FLASH image. Both hold every byte value, 00h, 11h
// (XON) and 13h (XOFF) among them.
void WriteImages(const fs::path& dir) {
    std::string program(5000, '\0'), data(2048, '\0');
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<char>(i * 13 + 5);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(0xA5 ^ (i * 3));
    for (const std::string* image : {&program, &data})
        for (char c : {'\x00', '\x11', '\x13'})
            ASSERT_NE(image->find(c), std::string::npos) << static_cast<int>(c);
    wintest::WriteBytes(dir / "prog.bin", program);
    wintest::WriteBytes(dir / "data.bin", data);
}

bool RunProgramChip(Rig& rig, const std::string& dir) {
    rig.station.place.workDir = dir;
    rig.ui.answers.push_back(true);  // "Произвести запись?"
    if (!OpenComPort(rig.s)) return false;
    auto start = std::chrono::steady_clock::now();
    bool ok = EraseAndWrite(rig.s);
    std::printf("programming took %lld ms\n", static_cast<long long>(ElapsedMs(start)));
    return ok;
}

void ExpectLogged(const std::vector<std::string>& log, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line << "\n"
                                                                      << Joined(log);
    }
}

// Programming through the boot ROM of a chip held in boot mode by its jumper.
TEST(BootRomPort, ProgramChipWritesTheImages) {
    std::string port = Env("ZENTOR_WIN_BOOT_COM");
    std::string dir = Env("ZENTOR_WIN_BOOT_DIR");
    if (port.empty() || dir.empty()) GTEST_SKIP() << "no boot-ROM port (ZENTOR_WIN_BOOT_COM)";
    WriteImages(dir);

    Rig rig(port, 9600);
    rig.station.settings.TypeController = 4;  // MSC1210Y5
    rig.station.settings.DopPause = 0;
    rig.station.settings.ControlWrite = true;
    rig.station.settings.HCR0Value = "7C";
    rig.station.settings.HCR1Value = "B3";
    EXPECT_TRUE(RunProgramChip(rig, dir)) << Joined(rig.ui.history);
    ExpectLogged(rig.ui.history,
                 {"Стирание FLASH1 - ok!", "Стирание FLASH2 - ok!", "Запись CODE FLASH - Ok",
                  "Запись DATA FLASH - Ok", "Запись регистров конфигурации - ok!"});
}

// Runs after the simulator of the test above has dumped its memories.
TEST(BootRomPort, TheChipHoldsTheImages) {
    std::string dir = Env("ZENTOR_WIN_BOOT_DIR");
    std::string dump = Env("ZENTOR_WIN_BOOT_DUMP");
    if (dir.empty() || dump.empty()) GTEST_SKIP() << "no simulator dump (ZENTOR_WIN_BOOT_DUMP)";

    std::string program = wintest::ReadBytes(fs::path(dir) / "prog.bin");
    std::string data = wintest::ReadBytes(fs::path(dir) / "data.bin");
    std::string flash = wintest::ReadBytes(fs::path(dump) / "flash.bin");
    ASSERT_EQ(flash.size(), 32768u);
    ASSERT_FALSE(program.empty());
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(flash.substr(0, program.size()), program);
    EXPECT_EQ(flash.substr(flash.size() - data.size()), data);
    // Between the two images the chip stays erased, apart from the padding of
    // the program's last record.
    std::size_t gapStart = program.size();
    std::size_t gapEnd = flash.size() - data.size();
    EXPECT_EQ(flash.find_first_not_of('\xFF', gapStart), gapEnd);
    EXPECT_EQ(wintest::ReadBytes(fs::path(dump) / "hcr.txt"), "HCR0=7C\nHCR1=B3\n");
}

// Programming through the hardware programmer's link, whose raw bytes hold every
// value and which verifies by reading back, on a port another program left with
// XON/XOFF, null stripping and handshakes on: the open clears them all.
TEST(ProgrammerPort, ProgramChipWritesAndVerifies) {
    std::string port = Env("ZENTOR_WIN_PROG_COM");
    std::string dir = Env("ZENTOR_WIN_PROG_DIR");
    if (port.empty() || dir.empty()) GTEST_SKIP() << "no programmer port (ZENTOR_WIN_PROG_COM)";
    WriteImages(dir);
    DCB left;
    ASSERT_TRUE(wintest::LeaveFlowControlOn(port, &left)) << "error " << GetLastError();
    std::printf("left by another program: %s\n", wintest::FlagFields(left).c_str());
    // Wine keeps XON/XOFF (and CTS) on a pseudo-terminal, not null stripping.
    ASSERT_TRUE(left.fOutX && left.fInX) << "the driver did not keep XON/XOFF";

    Rig rig(port, 9600);
    rig.station.settings.TypeController = 0;
    EXPECT_TRUE(RunProgramChip(rig, dir)) << Joined(rig.ui.history);
    ExpectLogged(rig.ui.history, {"Verify Program memory - Ok", "Verify Data memory - Ok"});
    EXPECT_EQ(rig.s.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(rig.s.timeouts.ReadTotalTimeoutConstant, 1000u);
    CloseComPort(rig.s);

    // What the tool set stays on the device after its handle is closed.
    DCB dcb;
    ASSERT_TRUE(ReadDcb(port, &dcb)) << "error " << GetLastError();
    std::printf("after the tool's open: %s\n", wintest::FlagFields(dcb).c_str());
    // Wine reports the DTR and RTS control and fTXContinueOnXoff from the line's
    // state rather than as set, so only the fields that decide what passes are
    // compared.
    EXPECT_EQ(wintest::PassFields(dcb),
              "fBinary=1 fParity=0 fOutxCtsFlow=0 fOutxDsrFlow=0 fDsrSensitivity=0 fOutX=0 "
              "fInX=0 fErrorChar=0 fNull=0 fAbortOnError=0");
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST(ProgrammerPort, TheTargetHoldsTheImages) {
    std::string dir = Env("ZENTOR_WIN_PROG_DIR");
    std::string dump = Env("ZENTOR_WIN_PROG_DUMP");
    if (dir.empty() || dump.empty()) GTEST_SKIP() << "no simulator dump (ZENTOR_WIN_PROG_DUMP)";
    std::string program = wintest::ReadBytes(fs::path(dir) / "prog.bin");
    std::string data = wintest::ReadBytes(fs::path(dir) / "data.bin");
    std::string code = wintest::ReadBytes(fs::path(dump) / "flash.bin");
    std::string memory = wintest::ReadBytes(fs::path(dump) / "data.bin");
    ASSERT_GE(code.size(), program.size());
    ASSERT_GE(memory.size(), data.size());
    EXPECT_EQ(code.substr(0, program.size()), program);
    EXPECT_EQ(memory.substr(0, data.size()), data);
}

}  // namespace
}  // namespace zentor
