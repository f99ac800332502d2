// zentor-cli find and --port auto against simulated instruments on COM ports linked
// beside a copy of the tool; each simulator hears only a line set to its own rate.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Another program holding the device: opened and locked by a child process.
class PortHolder {
public:
    explicit PortHolder(const std::string& device) {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
        if (ok != '1') throw std::runtime_error("cannot hold " + device);
    }
    ~PortHolder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

private:
    pid_t pid_ = -1;
};

// COM1 is linked in every case: unlinked it would be this machine's /dev/ttyS0.
class FindOnSims : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(ZENTOR_CLI_PATH, exe_);
        Settings st;
        st.BaudRate = 9600;
        st.AdrPribor = 1;
        st.DopPause = 0;
        st.SizeData = 256;
        st.MaxKolReadings = 2;
        WriteConfig(dir_ / "zentor-cli.ini", st);
    }

    // An instrument on COMn hearing only `baud`; extra options after.
    std::unique_ptr<SimProcess> Instrument(int com, int baud, int address,
                                           std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--link",
                                      dir_.string(),
                                      "--com",
                                      std::to_string(com),
                                      "--baud",
                                      std::to_string(baud),
                                      "--match-baud",
                                      "--address",
                                      std::to_string(address),
                                      "--data-flash-size",
                                      "256"};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<SimProcess>(args);
    }

    CliResult Cli(const std::vector<std::string>& args) {
        return RunCli(args, {}, std::chrono::seconds(90), exe_.string());
    }

    const ScratchDir scratch_{"find-it"};
    const fs::path dir_ = scratch_.path();
    const fs::path exe_ = dir_ / "zentor-cli";
};

// Three instruments at three rates and addresses, a silent line and a held port.
// The quick search finds the one at the configured address; --all-addresses names
// every instrument with its settings (in the order they answer). The held port is
// reported and hears nothing.
TEST_F(FindOnSims, NamesEveryInstrumentAndReportsTheBusyPort) {
    const auto a = Instrument(1, 9600, 1);
    const auto b = Instrument(2, 19200, 5, {"--identity", "5,120,3,200", "--version-code", "99"});
    const auto c = Instrument(3, 38400, 12, {"--identity", "21,3,1,2", "--version-code", "7"});
    SimProcess silent({"--link", dir_.string(), "--com", "4", "--no-answer"});
    const fs::path heldLog = dir_ / "held-rx.log";
    const auto held = Instrument(5, 9600, 1, {"--rx-log", heldLog.string()});
    PortHolder holder(held->DevicePath());

    const CliResult quick = Cli({"find"});
    EXPECT_EQ(quick.status, 0) << quick.err;
    EXPECT_EQ(quick.OutLines(),
              (Lines{"COM1: 9600 бит/с, адрес 1, Velmar 7, серийный № 14v071510, версия 120"}));

    const CliResult r = Cli({"find", "--all-addresses"});
    EXPECT_EQ(r.status, 0) << r.err;
    Lines found = r.OutLines();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (Lines{"COM1: 9600 бит/с, адрес 1, Velmar 7, серийный № 14v071510, версия 120",
                     "COM2: 19200 бит/с, адрес 5, Velmar 120, серийный № 05v12003200, версия 99",
                     "COM3: 38400 бит/с, адрес 12, Velmar 3, серийный № 21v030102, версия 7"}));
    EXPECT_NE(r.err.find("Не могу открыть \"COM5\", порт занят."), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(heldLog), "");

    // Limited to one rate and address, and nothing found: exit 1.
    const CliResult none = Cli({"find", "--baud", "4800", "--address", "1"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("Устройство не найдено"), std::string::npos) << none.err;
}

// Two instruments: --port auto refuses and lists both; the port command is not run.
TEST_F(FindOnSims, PortAutoRefusesTwoInstrumentsAndListsThem) {
    const auto a = Instrument(1, 9600, 1);
    const auto b = Instrument(2, 19200, 1, {"--identity", "5,120,3,200"});
    const CliResult r = Cli({"identify", "--port", "auto"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("COM1: 9600 бит/с, адрес 1, Velmar 7"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("COM2: 19200 бит/с, адрес 1, Velmar 120"), std::string::npos) << r.err;

    EXPECT_EQ(Cli({"program", "--port", "auto"}).status, 2);
}

// One instrument and a port held by another program, which may hide a second one
// (or be another search probing it): --port auto refuses and lists them both.
TEST_F(FindOnSims, PortAutoRefusesOneInstrumentBesideABusyPort) {
    const auto a = Instrument(1, 9600, 1);
    const fs::path heldLog = dir_ / "held-rx.log";
    const auto held = Instrument(2, 9600, 1, {"--rx-log", heldLog.string()});
    auto holder = std::make_unique<PortHolder>(held->DevicePath());
    const CliResult r = Cli({"identify", "--port", "auto"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string refusal =
        "Найдено устройств: 1, занятых портов: 1; укажите --port:\n"
        "COM1: 9600 бит/с, адрес 1, Velmar 7, серийный № 14v071510, версия 120\n"
        "COM2: порт занят.\n";
    EXPECT_NE(r.err.find(refusal), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(heldLog), "");

    // Once the port is free, both instruments are seen and still refused.
    holder.reset();
    const CliResult two = Cli({"identify", "--port", "auto"});
    EXPECT_EQ(two.status, 1);
    EXPECT_NE(two.err.find("Найдено устройств: 2; укажите --port:"), std::string::npos) << two.err;
}

// One instrument at address 1, with another port, rate and address configured: the
// quick search asks address 1 too, and the update runs on its port, rate and
// address and installs the program.
TEST_F(FindOnSims, PortAutoUpdatesTheSingleInstrument) {
    const Bytes program(512, 0x5A);
    Bytes scrambled = program;
    ScrambleImage(scrambled);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "prog_c.bin", scrambled));
    Settings st;
    st.BaudRate = 9600;
    st.AdrPribor = 7;
    st.DopPause = 0;
    st.SizeData = 256;
    st.MaxKolReadings = 2;
    WriteConfig(dir_ / "zentor-cli.ini", st);
    const auto sim = Instrument(1, 19200, 1);

    const CliResult r = Cli({"update", "--port", "auto", "--yes", "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("COM1: 19200 бит/с, адрес 1"), std::string::npos) << r.err;
    const Bytes flash = sim->Flash();
    ASSERT_GE(flash.size(), program.size());
    EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin()));
}

// --ports auto for program takes the ports where a chip waits in its boot ROM,
// not the running instrument, and programs each of them; the programmer has no
// banner to search for, so auto is refused there.
TEST_F(FindOnSims, PortsAutoProgramsEveryChipInItsBootRom) {
    const Bytes program = Pattern(1024, 5);
    const Bytes data = Pattern(256, 6);
    ASSERT_TRUE(WriteFileAtomic(dir_ / "prog.bin", program));
    ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", data));
    Settings st;
    st.BaudRate = 9600;
    st.AdrPribor = 1;
    st.DopPause = 0;
    st.TypeController = 4;
    WriteConfig(dir_ / "zentor-cli.ini", st);
    const fs::path instrumentLog = dir_ / "instrument-rx.log";
    const auto instrument = Instrument(1, 9600, 1, {"--rx-log", instrumentLog.string()});
    const auto chipA = Instrument(2, 9600, 1, {"--jumper"});
    const auto chipB = Instrument(3, 9600, 1, {"--jumper"});
    SimProcess silent({"--link", dir_.string(), "--com", "4", "--no-answer"});

    const CliResult r = Cli({"program", "--ports", "auto", "--yes", "--dir", dir_.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line :
         {"COM2: микросхема в загрузчике, 9600 бит/с", "COM3: микросхема в загрузчике, 9600 бит/с"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
    // The summary names the two chips, not the instrument or the silent line.
    EXPECT_NE(r.out.find("COM2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("COM3"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("COM1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("COM4"), std::string::npos) << r.out;
    for (SimProcess* chip : {chipA.get(), chipB.get()}) {
        const Bytes flash = chip->Flash();
        ASSERT_GE(flash.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin()));
    }
    // The running instrument heard identification requests and nothing else.
    const std::string heard = Slurp(instrumentLog);
    EXPECT_EQ(heard.find('\r'), std::string::npos);

    st.TypeController = 0;
    WriteConfig(dir_ / "zentor-cli.ini", st);
    EXPECT_EQ(Cli({"program", "--ports", "auto", "--dir", dir_.string()}).status, 2);
}

}  // namespace
}  // namespace zentor::test
