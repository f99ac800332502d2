// zentor-cli as scripts see it: usage errors, settings, port names, the commands
// that need no reflash, exit statuses.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

class CliOnSim : public ::testing::Test {
protected:
    bool Has(const Lines& lines, const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    const ScratchDir scratch_{"cli-it"};
    const fs::path dir_ = scratch_.path();
};

TEST(CliUsage, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"settings", "--address", "0"},
        {"settings", "--address", "64"},
        {"settings", "--baud", "fast"},
        {"settings", "--unknown"},
        {"update", "--mode", "quick"},
        {"encode"},
        {"settings", "--dir", "/nonexistent/folder"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(r.err.empty());
    }
}

// A configuration file named on the command line must exist: one line, status 2.
// (The window keeps its rule: a missing file of its own gives the defaults.)
TEST(CliUsage, NamedConfigurationFileMustExist) {
    const ScratchDir scratch("cli-config");
    const std::string missing = (scratch / "missing.ini").string();
    const struct {
        std::string file;
        std::string line;
    } cases[] = {
        {missing, "--config: configuration file does not exist: " + missing + "\n"},
        {scratch.path().string(),
         "--config: a folder, not a configuration file: " + scratch.path().string() + "\n"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli({"--config", c.file, "settings"});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(r.err, c.line);
    }
}

TEST(CliUsage, HelpListsTheCommands) {
    const CliResult r = RunCli({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* cmd : {"ports", "timeouts", "settings", "read-data", "write-data", "restart",
                            "prog", "program", "build", "identify", "update", "encode"})
        EXPECT_NE(r.out.find(cmd), std::string::npos) << cmd;
}

// Every variable, one per line; the overrides count for the run and are never saved.
TEST_F(CliOnSim, SettingsShowsEveryVariableAndOverridesAreNotSaved) {
    Settings st;
    st.TypeController = 2;
    st.NamePort = "COM7";
    st.BaudRate = 38400;
    st.AdrPribor = 5;
    st.ControlWrite = true;
    st.DopPause = 0;
    st.MaxKolReadings = 3;
    st.SizeData = 1024;
    st.HCR0Value = "7F";
    st.HCR1Value = "C5";
    st.AsmFileName = "main.asm";
    const fs::path ini = dir_ / "z.ini";
    WriteConfig(ini, st);
    const std::string before = Slurp(ini);

    const Lines expected = {
        "TypeController = 2", "NamePort = COM9",    "BaudRate = 19200",       "PauseRestart = 0",
        "AdrPribor = 12",     "ControlWrite = 1",   "DopPause = 0",           "MaxKolReadings = 3",
        "ShowStopButton = 1", "SizeData = 1024",    "HCR0Value = 7F",         "HCR1Value = C5",
        "HCR1FromFile = C5",  "HCR1KeyPresent = 1", "AsmFileName = main.asm",
    };
    // Options before and after the command.
    for (const auto& args :
         {std::vector<std::string>{"--config", ini.string(), "settings", "--port", "COM9", "--baud",
                                   "19200", "--address", "12"},
          std::vector<std::string>{"--config", ini.string(), "--port", "COM9", "--baud", "19200",
                                   "--address", "12", "settings"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.OutLines(), expected);
    }
    EXPECT_EQ(Slurp(ini), before);
}

TEST_F(CliOnSim, SettingsWithoutHcr1Key) {
    const fs::path ini = dir_ / "z.ini";
    {
        std::ofstream out(ini, std::ios::binary);
        out << "[" << Utf8ToCp1251("Настройки") << "]\r\n"
            << Utf8ToCp1251("Доп. пауза при записи, мс") << "=20\r\n";
    }
    const CliResult r = RunCli({"--config", ini.string(), "settings"});
    EXPECT_EQ(r.status, 0);
    const Lines lines = r.OutLines();
    EXPECT_TRUE(Has(lines, "DopPause = 20"));
    EXPECT_TRUE(Has(lines, "HCR1KeyPresent = 0"));
    EXPECT_TRUE(Has(lines, "HCR1Value = A3"));
}

// The configuration beside the executable, and COM names mapped by
// dosdevices/comN beside it: a copy of the tool in a folder the simulator links.
TEST_F(CliOnSim, ComNamesThroughDosdevicesBesideTheExecutable) {
    const fs::path exe = dir_ / "zentor-cli";
    fs::copy_file(ZENTOR_CLI_PATH, exe);
    Settings st;
    st.NamePort = "COM200";
    WriteConfig(dir_ / "zentor-cli.ini", st);
    {
        SimProcess sim({"--link", dir_.string(), "--com", "200"});
        const CliResult ports = RunCli({"ports"}, {}, std::chrono::seconds(60), exe.string());
        EXPECT_EQ(ports.status, 0);
        EXPECT_TRUE(Has(ports.OutLines(), "COM200")) << ports.out;

        const CliResult id = RunCli({"identify"}, {}, std::chrono::seconds(60), exe.string());
        EXPECT_EQ(id.status, 0) << id.err;
        EXPECT_EQ(id.OutLines(), (Lines{"Model = 7", "SerialText = 14v071510", "HCR1Value = A3"}));
    }
    const CliResult gone = RunCli({"ports"}, {}, std::chrono::seconds(60), exe.string());
    EXPECT_EQ(gone.status, 0);
    EXPECT_FALSE(Has(gone.OutLines(), "COM200")) << gone.out;
}

TEST_F(CliOnSim, TimeoutsReadout) {
    SimProcess sim({});
    const CliResult r = RunCli({"timeouts", "--port", sim.DevicePath()});
    EXPECT_EQ(r.status, 0) << r.err;
    const Lines lines = r.OutLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines.front(), "");
    EXPECT_EQ(lines[1].rfind("ReadTotalTimeoutConstant = ", 0), 0u);
    EXPECT_EQ(lines.back(), "");

    const CliResult missing = RunCli({"timeouts", "--port", (dir_ / "no-such-tty").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.empty()) << missing.out;
    EXPECT_NE(missing.err.find("[Zentor MSC1210Y5]"), std::string::npos) << missing.err;
}

TEST_F(CliOnSim, IdentifyFailsWithoutAnAnswer) {
    SimProcess sim({"--no-answer"});
    const CliResult r = RunCli({"identify", "--port", sim.DevicePath()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("Устройство не определено!"), std::string::npos);
}

TEST_F(CliOnSim, EncodeInAnotherFolder) {
    Bytes prog(5000);
    for (std::size_t i = 0; i < prog.size(); ++i) prog[i] = static_cast<std::uint8_t>(i * 5);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "prog.bin", prog));
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", Bytes(2048, 0x33)));
    const CliResult r = RunCli({"encode", "14v071510", "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Файлы n.bin, p.bin и d.bin - созданы\n");
    Bytes expected = prog;
    ScrambleImage(expected);
    EXPECT_EQ(ReadWholeFile(dir_ / "p.bin"), expected);

    const CliResult bad = RunCli({"encode", "14V071510", "--dir", dir_.string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "Неправильно введён серийный номер\n");
}

TEST_F(CliOnSim, ReadDataWritesTheInstrumentsDataFlash) {
    SimProcess sim({});
    const CliResult r = RunCli({"read-data", "--port", sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(ReadWholeFile(dir_ / "data_rd.bin"), sim.DataFlash());
    EXPECT_TRUE(Has(r.OutLines(), "Restart - OK")) << r.out;
}

// The factory-face commands open the port, run, close it, and map the
// command's outcome to the exit status.
TEST_F(CliOnSim, InstrumentCommandsExitStatus) {
    const struct {
        const char* command;
        std::vector<std::string> simArgs;
        int status;
        const char* lastLine;
    } cases[] = {
        {"prog", {}, 0, "Prog - Ok"},
        {"restart", {}, 0, "Restart - OK"},
        {"prog", {"--no-answer"}, 1, "Prog - Wrong"},
        {"restart", {"--no-answer"}, 1, "Нет связи с устройством!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.simArgs.empty() ? "" : " " + c.simArgs[0]));
        SimProcess sim(c.simArgs);
        const CliResult r = RunCli({c.command, "--port", sim.DevicePath(), "--dir", dir_.string()});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        ASSERT_FALSE(r.OutLines().empty());
        EXPECT_EQ(r.OutLines().back(), c.lastLine);
    }
}

TEST_F(CliOnSim, WriteDataInstallsDataBin) {
    SimProcess sim({});
    Bytes data(2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3 + 1);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", data));
    const CliResult r = RunCli({"write-data", "--port", sim.DevicePath(), "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(sim.DataFlash(), data);
}

// Erase and write through the boot ROM: "Произвести запись?" is answered by --yes;
// without it (and without a terminal) nothing is written.
TEST_F(CliOnSim, ProgramAsksFirst) {
    Bytes prog(4096), data(2048);
    for (std::size_t i = 0; i < prog.size(); ++i) prog[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 9);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "prog.bin", prog));
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", data));
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    WriteConfig(dir_ / "z.ini", st);
    SimProcess sim({"--jumper"});
    const std::vector<std::string> args = {"--config",   (dir_ / "z.ini").string(), "program",
                                           "--port",     sim.DevicePath(),          "--dir",
                                           dir_.string()};

    const Bytes before = sim.Flash();
    const CliResult declined = RunCli(args);
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.err.find("Произвести запись?"), std::string::npos) << declined.err;
    EXPECT_EQ(sim.Flash(), before);

    std::vector<std::string> withYes = args;
    withYes.push_back("--yes");
    const CliResult r = RunCli(withYes);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.OutLines().back(), "Запись регистров конфигурации - ok!");
    const Bytes flash = sim.Flash();
    EXPECT_TRUE(std::equal(prog.begin(), prog.end(), flash.begin()));
    EXPECT_EQ(sim.DataFlash(), data);
}

// Ctrl-C during a read is the Stop button; a second one ends the process.
TEST_F(CliOnSim, InterruptDuringReadData) {
    SimProcess sim({"--baud", "2400", "--version-code", "99"});
    const auto interrupt = [](int times) {
        return [times](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            for (int i = 0; i < times; ++i) {
                ::kill(pid, SIGINT);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
    };
    const CliResult once = RunCli({"read-data", "--port", sim.DevicePath(), "--dir", dir_.string()},
                                  interrupt(1), std::chrono::seconds(20));
    EXPECT_EQ(once.status, 1) << once.out << once.err;
    EXPECT_NE(once.err.find("Чтение данных остановлено"), std::string::npos) << once.err;
    EXPECT_FALSE(Has(once.OutLines(), "Чтение DATA FLASH - Ok"));
    EXPECT_FALSE(fs::exists(dir_ / "data_rd.bin"));

    const CliResult twice =
        RunCli({"read-data", "--port", sim.DevicePath(), "--dir", dir_.string()}, interrupt(2),
               std::chrono::seconds(20));
    EXPECT_EQ(twice.status, 130);
    EXPECT_FALSE(fs::exists(dir_ / "data_rd.bin"));
}

}  // namespace
}  // namespace zentor::test
