// Opening a port by its stable names (by-id link, device path, usb:SERIAL) on a
// fake sysfs/dev tree whose ttyUSB0 is a pseudo-terminal; the locks that keep two
// names of one device from both opening it; and the message of a device this
// user may not open.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/clock.h"
#include "fake_sysfs.h"
#include "serial/serial_posix.h"
#include "serial/uucp_lock.h"
#include "station/com_port.h"
#include "support/scratch_dir.h"
#include "testing/recording_frontend.h"

namespace zentor {
namespace {
namespace fs = std::filesystem;

class StableNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1);
        char name[128] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        pty_ = name;
        tree_.AddUsbTty("1-2", "ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
        tree_.AddNode("ttyUSB0", pty_);
        byId_ = tree_.AddLink("by-id", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
        tree_.AddUsbTty("1-5", "ttyUSB2", "1a86", "7523", "", "", "DUP");
        tree_.AddUsbTty("1-6", "ttyUSB3", "1a86", "7523", "", "", "DUP");
        tree_.AddNode("ttyUSB2");
        tree_.AddNode("ttyUSB3");
        opener_ = MakePosixPortOpener(scratch_ / "exe", clock_, {tree_.Roots(), {}});
    }
    void TearDown() override {
        ::unsetenv("ZENTOR_LOCK_DIR");
        ::close(master_);
        ::close(slave_);
    }

    // The one message of a failed OpenComPort of `name`.
    std::string OpenMessage(PortOpener& opener, const std::string& name) {
        RecordingFrontend ui;
        Station station{ui, clock_, opener, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.settings.NamePort = name;
        EXPECT_FALSE(OpenComPort(s)) << name;
        EXPECT_EQ(s.port, nullptr);
        return ui.boxes.size() == 1 ? ui.boxes[0].text
                                    : "(" + std::to_string(ui.boxes.size()) + " boxes)";
    }

    const test::ScratchDir locks_{"stablelocks"};
    const test::ScratchDir scratch_{"stable"};
    test::FakeSysfs tree_{scratch_.path()};
    int master_ = -1, slave_ = -1;
    std::string pty_;
    fs::path byId_;
    SystemClock clock_;
    std::unique_ptr<PortOpener> opener_;
};

TEST_F(StableNamesTest, EveryNameOfOneAdapterOpensItAndNoOtherNameOpensItMeanwhile) {
    const std::vector<std::string> names = {"usb:A50285BI", byId_.string(), "COM33",
                                            (tree_.Dev() / "ttyUSB0").string(), pty_};
    std::string lockName = "LCK.." + pty_.substr(5);
    for (char& c : lockName)
        if (c == '/') c = '_';
    for (const std::string& first : names) {
        OpenResult held = opener_->Open(first, 9600);
        ASSERT_EQ(held.status, OpenStatus::Ok) << first;
        // One lock file, named after the pseudo-terminal whatever name opened it.
        EXPECT_TRUE(fs::exists(locks_ / lockName)) << first;
        EXPECT_EQ(std::distance(fs::directory_iterator(locks_.path()), fs::directory_iterator()), 1)
            << first;
        for (const std::string& other : names) {
            EXPECT_EQ(opener_->Open(other, 9600).status, OpenStatus::Busy)
                << first << " / " << other;
            EXPECT_EQ(opener_->Probe(other), OpenStatus::Busy) << first << " / " << other;
        }
        // Another process finds the device claimed by its links and node alike.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool claimed = UucpLockHeldByOther(byId_) && UucpLockHeldByOther(pty_) &&
                                 UucpLockHeldByOther(tree_.Dev() / "ttyUSB0");
            ::_exit(claimed ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << first;
        held.port.reset();
        EXPECT_FALSE(fs::exists(locks_ / lockName)) << first;
    }
}

TEST_F(StableNamesTest, UsbSerialWithNoneOrSeveralAdaptersSaysWhatWasLookedFor) {
    const std::string dup2 = (tree_.Dev() / "ttyUSB2").string();
    const std::string dup3 = (tree_.Dev() / "ttyUSB3").string();
    struct Case {
        std::string name;
        OpenStatus status;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"usb:NOPE", OpenStatus::NoSuchAdapter,
         "Не могу открыть \"usb:NOPE\",\nUSB-адаптер с серийным номером \"NOPE\" не найден."},
        {"usb:a50285bi", OpenStatus::NoSuchAdapter,
         "Не могу открыть \"usb:a50285bi\",\nUSB-адаптер с серийным номером \"a50285bi\" не "
         "найден."},
        {"usb:", OpenStatus::NoSuchAdapter,
         "Не могу открыть \"usb:\",\nUSB-адаптер с серийным номером \"\" не найден."},
        {"usb:DUP", OpenStatus::AmbiguousAdapter,
         "Не могу открыть \"usb:DUP\",\nUSB-адаптеров с серийным номером \"DUP\" несколько: " +
             dup2 + ", " + dup3 + ".\nУкажите вместо \"usb:DUP\" один из них."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenMessage(*opener_, c.name), c.text);
        EXPECT_EQ(opener_->Probe(c.name), c.status) << c.name;
    }
    // Neither adapter was touched: both still open by their own names.
    for (const std::string& device : {dup2, dup3})
        EXPECT_EQ(opener_->Probe(device), OpenStatus::Ok) << device;
}

// A group with a name that is not root's, for the device file.
std::optional<gid_t> NamedGroup() {
    if (::geteuid() != 0) {
        const gid_t own = ::getegid();
        return own != 0 && ::getgrgid(own) ? std::optional<gid_t>(own) : std::nullopt;
    }
    for (const char* name : {"dialout", "uucp", "tty", "users"})
        if (const group* g = ::getgrnam(name); g && g->gr_gid != 0) return g->gr_gid;
    return std::nullopt;
}

// Root ignores file modes, so the kernel's refusal is played by the opener's open
// function: it refuses the device files it is given, as the kernel refuses a user
// outside the device's group, and opens everything else.
TEST_F(StableNamesTest, RefusedOpenNamesTheDeviceTheGroupAndTheCommand) {
    const std::optional<gid_t> gid = NamedGroup();
    if (!gid) GTEST_SKIP() << "no named group other than root's to own the device file";
    const std::string groupName = ::getgrgid(*gid)->gr_name;
    tree_.AddUsbTty("1-8", "ttyUSB5", "0403", "6001", "FTDI", "", "LOCKED");
    tree_.AddNode("ttyUSB5");
    const fs::path node = tree_.Dev() / "ttyUSB5";
    const std::string device = fs::canonical(node).string();
    ASSERT_EQ(::chown(node.c_str(), static_cast<uid_t>(-1), *gid), 0);

    std::set<std::string> refused = {node.string()};
    int refusals = 0;
    int refusedErrno = EACCES;
    auto open = [&](const char* path, int flags) {
        if (refused.count(path) != 0) {
            ++refusals;
            errno = refusedErrno;
            return -1;
        }
        return ::open(path, flags);
    };
    auto opener = MakePosixPortOpener(scratch_ / "exe", clock_, {tree_.Roots(), open});

    const std::string advice = ".\nПорт открывают участники группы " + groupName +
                               ". Добавьте себя в неё командой\nsudo usermod -aG " + groupName +
                               " $USER\nи войдите в систему заново.";
    const std::string noGroup =
        ".\nПрава устройства не дают его открыть; их даёт администратор системы (например, "
        "правилом udev).";
    struct Case {
        std::string name;
        mode_t mode;
        int err;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"COM38", 0660, EACCES,
         "Не могу открыть \"COM38\", нет прав на доступ к " + device + advice},
        {"usb:LOCKED", 0660, EPERM,
         "Не могу открыть \"usb:LOCKED\", нет прав на доступ к " + device + advice},
        // The group may not read and write it either: joining would not help.
        {"COM38", 0000, EACCES,
         "Не могу открыть \"COM38\", нет прав на доступ к " + device + noGroup},
        {"COM38", 0640, EACCES,
         "Не могу открыть \"COM38\", нет прав на доступ к " + device + noGroup},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(::chmod(node.c_str(), c.mode), 0);
        refusedErrno = c.err;
        const int before = refusals;
        EXPECT_EQ(OpenMessage(*opener, c.name), c.text);
        EXPECT_EQ(refusals, before + 1) << c.name;
        // The scan still lists it: the port exists.
        EXPECT_EQ(opener->Probe(c.name), OpenStatus::Busy) << c.name;
    }
    // No lock file is left behind by the refused opens.
    EXPECT_TRUE(fs::is_empty(locks_.path()));
    // The other errors keep their texts.
    refusedErrno = ENXIO;
    EXPECT_EQ(OpenMessage(*opener, "COM38"),
              "Не могу открыть \"COM38\",\nтакого порта не существует.");
    refusedErrno = EIO;
    EXPECT_EQ(OpenMessage(*opener, "COM38"), "Не могу открыть \"COM38\", код ошибки: 5");
}

// The same path through the kernel itself, where the user is not root.
TEST_F(StableNamesTest, RefusedByTheKernelForAnUnprivilegedUser) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens any file; the test above plays the refusal";
    tree_.AddNode("ttyUSB6");
    const fs::path node = tree_.Dev() / "ttyUSB6";
    ASSERT_EQ(::chmod(node.c_str(), 0000), 0);
    EXPECT_EQ(OpenMessage(*opener_, "COM39"),
              "Не могу открыть \"COM39\", нет прав на доступ к " + fs::canonical(node).string() +
                  ".\nПрава устройства не дают его открыть; их даёт администратор системы "
                  "(например, правилом udev).");
}

}  // namespace
}  // namespace zentor
