// The POSIX serial backend on pseudo-terminals linked in as COMn.
#include "serial/serial_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "station/com_port.h"
#include "support/scratch_dir.h"
#include "testing/recording_frontend.h"

namespace zentor {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::int64_t MsSince(steady_clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// A pseudo-terminal: the test plays the device on the master side.
class Pty {
public:
    Pty() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        slaveName_ = name;
    }
    ~Pty() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    const std::string& SlaveName() const { return slaveName_; }
    void Send(const Bytes& b) {
        ASSERT_EQ(::write(master_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    // Whatever the port sent within `ms`.
    Bytes Receive(std::size_t want, int ms = 500) {
        Bytes out;
        auto start = steady_clock::now();
        while (out.size() < want) {
            int left = ms - static_cast<int>(MsSince(start));
            pollfd p{master_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
            std::uint8_t buf[256];
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line does not hang up between opens
    std::string slaveName_;
};

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "dosdevices");
        opener_ = MakeSystemPortOpener(dir_);
    }
    void Link(int n, const std::string& target) {
        fs::create_symlink(target, dir_ / "dosdevices" / ("com" + std::to_string(n)));
    }
    std::unique_ptr<Port> OpenOk(const std::string& name, int baud = 9600) {
        OpenResult r = opener_->Open(name, baud);
        EXPECT_EQ(r.status, OpenStatus::Ok) << name;
        return std::move(r.port);
    }

    const test::ScratchDir scratch_{"serial"};
    const fs::path dir_ = scratch_.path();
    std::unique_ptr<PortOpener> opener_;
    RecordingFrontend ui_;
    SystemClock clock_;
};

TEST(PosixDevicePath, MapsComNamesToDevices) {
    struct Case {
        std::string name;
        std::optional<std::string> device;
    };
    const std::vector<Case> cases = {
        {"COM1", "/dev/ttyS0"},       {"COM32", "/dev/ttyS31"},  {"COM33", "/dev/ttyUSB0"},
        {"COM64", "/dev/ttyUSB31"},   {"COM65", "/dev/ttyACM0"}, {"COM96", "/dev/ttyACM31"},
        {"com3", "/dev/ttyS2"},       {"COM97", std::nullopt},   {"COM256", std::nullopt},
        {"COM257", std::nullopt},     {"COM0", std::nullopt},    {"COM012", std::nullopt},
        {"COM", std::nullopt},        {"COM1x", std::nullopt},   {"LPT1", std::nullopt},
        {"", std::nullopt},           {"COM-1", std::nullopt},   {"COM99999", std::nullopt},
        {"/dev/pts/7", "/dev/pts/7"}, {"/tmp/x y", "/tmp/x y"},
    };
    for (const Case& c : cases) {
        std::optional<fs::path> got = PosixDevicePath("/nonexistent-exe-dir", c.name);
        if (c.device) {
            ASSERT_TRUE(got) << c.name;
            EXPECT_EQ(got->string(), *c.device) << c.name;
        } else {
            EXPECT_FALSE(got) << c.name;
        }
    }
}

TEST_F(SerialTest, DosdevicesLinkWinsForAnyNumber) {
    Link(12, "/dev/null");
    Link(200, "/dev/null");
    EXPECT_EQ(PosixDevicePath(dir_, "COM12"), dir_ / "dosdevices" / "com12");
    EXPECT_EQ(PosixDevicePath(dir_, "com200"), dir_ / "dosdevices" / "com200");
    EXPECT_EQ(PosixDevicePath(dir_, "COM13"), fs::path("/dev/ttyS12"));
}

TEST_F(SerialTest, OpenComPortThroughALinkedPseudoTerminal) {
    Pty pty;
    Link(12, pty.SlaveName());
    Station station{ui_, clock_, *opener_, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.settings.NamePort = "COM12";
    station.settings.BaudRate = 19200;
    ASSERT_TRUE(OpenComPort(s));
    ASSERT_NE(s.port, nullptr);
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(s.timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(s.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(s.timeouts.WriteTotalTimeoutConstant, 0u);
    EXPECT_EQ(TimeoutsReadoutLines(s.timeouts)[1], "ReadTotalTimeoutConstant = 1000");

    // Line settings as another opener of the same terminal sees them.
    int fd = ::open(pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
        EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B19200));
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        ::close(fd);
    } else {
        EXPECT_EQ(errno, EBUSY);  // not root: TIOCEXCL keeps others out
    }

    CloseComPort(s);
    CloseComPort(s);
    EXPECT_EQ(s.port, nullptr);
    // Closing released the device.
    EXPECT_TRUE(OpenComPort(s));
}

TEST_F(SerialTest, BytesPassUnchangedBothWays) {
    Pty pty;
    Link(3, pty.SlaveName());
    auto port = OpenOk("COM3");
    ASSERT_NE(port, nullptr);
    // Control characters that a cooked terminal would act on.
    const Bytes in = {0x00, 0x03, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF, 0x1A, 0x04, 0x1C, 0x8A};
    pty.Send(in);
    Bytes got(in.size());
    EXPECT_EQ(port->Read(got.data(), got.size()), in.size());
    EXPECT_EQ(got, in);
    EXPECT_TRUE(pty.Receive(1, 100).empty());  // no echo

    Bytes out(300);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i * 37);
    EXPECT_EQ(port->Write(out.data(), out.size()), out.size());
    EXPECT_EQ(pty.Receive(out.size()), out);
}

TEST_F(SerialTest, ReadReturnsOnCountOrAfterTheDeadline) {
    Pty pty;
    Link(5, pty.SlaveName());
    auto port = OpenOk("COM5");
    ASSERT_NE(port, nullptr);
    Bytes buf(10);

    pty.Send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    auto start = steady_clock::now();
    EXPECT_EQ(port->Read(buf.data(), 10), 10u);
    EXPECT_LT(MsSince(start), 500);

    pty.Send({1, 2, 3});
    start = steady_clock::now();
    EXPECT_EQ(port->Read(buf.data(), 10), 3u);
    auto shortMs = MsSince(start);
    EXPECT_GE(shortMs, 990);
    EXPECT_LT(shortMs, 1600);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 3), (Bytes{1, 2, 3}));

    // Arrival in two parts is gathered into one read.
    pty.Send({1, 2, 3, 4});
    std::thread later([&] {
        std::this_thread::sleep_for(milliseconds(300));
        pty.Send({5, 6, 7, 8, 9, 10});
    });
    start = steady_clock::now();
    EXPECT_EQ(port->Read(buf.data(), 10), 10u);
    auto splitMs = MsSince(start);
    later.join();
    EXPECT_GE(splitMs, 250);
    EXPECT_LT(splitMs, 900);
    EXPECT_EQ(buf, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // Silence costs the whole deadline.
    start = steady_clock::now();
    EXPECT_EQ(port->Read(buf.data(), 1), 0u);
    EXPECT_GE(MsSince(start), 990);
}

TEST_F(SerialTest, HangUpEndsAReadEarly) {
    Pty pty;
    Link(6, pty.SlaveName());
    auto port = OpenOk("COM6");
    ASSERT_NE(port, nullptr);
    pty.CloseMaster();
    Bytes buf(5);
    auto start = steady_clock::now();
    EXPECT_EQ(port->Read(buf.data(), buf.size()), 0u);
    EXPECT_LT(MsSince(start), 500);
}

TEST_F(SerialTest, PurgeDropsStaleInputOnly) {
    Pty pty;
    Link(7, pty.SlaveName());
    auto port = OpenOk("COM7");
    ASSERT_NE(port, nullptr);
    pty.Send({'s', 't', 'a', 'l', 'e'});
    std::this_thread::sleep_for(milliseconds(100));  // let it reach the port's input queue
    port->PurgeRx();
    pty.Send({'f', 'r', 'e', 's', 'h'});
    Bytes buf(5);
    EXPECT_EQ(port->Read(buf.data(), buf.size()), 5u);
    EXPECT_EQ(buf, (Bytes{'f', 'r', 'e', 's', 'h'}));

    // Output already written is not discarded.
    const Bytes out = {'o', 'k'};
    port->Write(out.data(), out.size());
    port->PurgeRx();
    EXPECT_EQ(pty.Receive(2), out);
}

TEST_F(SerialTest, MissingDevicesAndOtherErrors) {
    Link(57, (dir_ / "no-such-device").string());
    fs::create_directory(dir_ / "a-folder");
    struct Case {
        std::string name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"COM57", "Не могу открыть \"COM57\",\nтакого порта не существует."},
        {"COM99", "Не могу открыть \"COM99\",\nтакого порта не существует."},
        {"COM300", "Не могу открыть \"COM300\",\nтакого порта не существует."},
        {"/dev/ttyUSB31", "Не могу открыть \"/dev/ttyUSB31\",\nтакого порта не существует."},
        {(dir_ / "a-folder").string(),
         "Не могу открыть \"" + (dir_ / "a-folder").string() + "\", код ошибки: 21"},
        {"/dev/null", "Необходимые параметры порта \"/dev/null\" не установлены"},
    };
    for (const Case& c : cases) {
        RecordingFrontend ui;
        Station station{ui, clock_, *opener_, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.settings.NamePort = c.name;
        EXPECT_FALSE(OpenComPort(s)) << c.name;
        EXPECT_EQ(s.port, nullptr);
        ASSERT_EQ(ui.boxes.size(), 1u) << c.name;
        EXPECT_EQ(ui.boxes[0].text, c.text);
    }
}

TEST_F(SerialTest, SecondOpenIsBusyInThisAndAnotherProcess) {
    Pty pty;
    Link(12, pty.SlaveName());
    auto held = OpenOk("COM12");
    ASSERT_NE(held, nullptr);

    RecordingFrontend ui;
    Station station{ui, clock_, *opener_, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.settings.NamePort = "COM12";
    EXPECT_FALSE(OpenComPort(s));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Не могу открыть \"COM12\", порт занят.");
    EXPECT_EQ(opener_->Probe("COM12"), OpenStatus::Busy);
    // The same device by its own path.
    EXPECT_EQ(opener_->Open(pty.SlaveName(), 9600).status, OpenStatus::Busy);

    // Another process sees the lock: its own exclusive lock attempt fails (or,
    // when not root, the open itself is refused).
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = ::open(pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) ::_exit(errno == EBUSY ? 0 : 2);
        ::_exit(::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    held.reset();
    EXPECT_TRUE(OpenComPort(s));
    CloseComPort(s);
}

TEST_F(SerialTest, PortLockedByAnotherProcessIsBusy) {
    Pty pty;
    Link(9, pty.SlaveName());
    int locked[2], release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Ends when the test writes to `release` or exits.
        ::close(locked[0]);
        ::close(release[1]);
        int fd = ::open(pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        char c = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        if (::write(locked[1], &c, 1) != 1) ::_exit(1);
        if (::read(release[0], &c, 1) < 0) ::_exit(1);
        ::_exit(0);
    }
    ::close(locked[1]);
    ::close(release[0]);
    struct Reap {
        Reap(int r, int l, pid_t c) : release(r), locked(l), child(c) {}
        int release, locked;
        pid_t child;
        ~Reap() {
            ::close(release);
            ::close(locked);
            int status = 0;
            ::waitpid(child, &status, 0);
        }
    };
    std::optional<Reap> reap;
    reap.emplace(release[1], locked[0], child);

    char c = 0;
    ASSERT_EQ(::read(locked[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    RecordingFrontend ui;
    Station station{ui, clock_, *opener_, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.settings.NamePort = "COM9";
    EXPECT_FALSE(OpenComPort(s));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Не могу открыть \"COM9\", порт занят.");
    EXPECT_EQ(opener_->Probe("COM9"), OpenStatus::Busy);
    reap.reset();
    EXPECT_TRUE(OpenComPort(s));
}

TEST_F(SerialTest, UnsupportedBitRateLeavesNoPortOpen) {
    Pty pty;
    Link(4, pty.SlaveName());
    RecordingFrontend ui;
    Station station{ui, clock_, *opener_, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.place.caption = "Zentor Velmar";
    station.settings.NamePort = "COM4";
    // Any positive rate is the driver's to judge (a pseudo-terminal takes them all).
    station.settings.BaudRate = 0;
    EXPECT_FALSE(OpenComPort(s));
    EXPECT_EQ(s.port, nullptr);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Необходимые параметры порта \"COM4\" не установлены");
    EXPECT_EQ(ui.boxes[0].title, "Zentor Velmar");
    EXPECT_EQ(opener_->Probe("COM4"), OpenStatus::Ok);
    station.settings.BaudRate = 38400;
    EXPECT_TRUE(OpenComPort(s));
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(SerialTest, ScanListsLinkedPortsFreeAndBusyAndIsQuick) {
    Pty free1, busy;
    Link(12, free1.SlaveName());
    Link(200, busy.SlaveName());
    Link(57, (dir_ / "gone").string());
    Link(256, free1.SlaveName());
    auto held = OpenOk("COM200");
    ASSERT_NE(held, nullptr);

    auto start = steady_clock::now();
    std::vector<std::string> ports = ScanComPorts(*opener_);
    auto scanMs = MsSince(start);
    std::cout << "[ scan     ] 256 names in " << scanMs << " ms\n";
    EXPECT_LT(scanMs, 500);

    auto has = [&](const std::string& n) {
        return std::find(ports.begin(), ports.end(), n) != ports.end();
    };
    EXPECT_TRUE(has("COM12"));
    EXPECT_TRUE(has("COM200"));
    EXPECT_TRUE(has("COM256"));
    EXPECT_FALSE(has("COM57"));
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        return std::stoi(a.substr(3)) < std::stoi(b.substr(3));
    }));
    // The scan left the free port free and the held one working.
    EXPECT_NE(OpenOk("COM12"), nullptr);
    const Bytes ping = {0x55};
    EXPECT_EQ(held->Write(ping.data(), 1), 1u);
    EXPECT_EQ(busy.Receive(1), ping);
}

}  // namespace
}  // namespace zentor
