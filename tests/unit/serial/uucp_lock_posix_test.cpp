// UUCP lock files on pseudo-terminals, in a scratch lock folder.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/clock.h"
#include "serial/uucp_lock.h"
#include "station/com_port.h"
#include "support/scratch_dir.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"
#include "uucp_test_support.h"

namespace zentor {
namespace {
namespace fs = std::filesystem;

using namespace uucp_test;

class UucpLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZENTOR_LOCK_DIR", locks_.path().c_str(), 1);
        char name[128] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        device_ = name;
        fs::create_directories(exe_.path() / "dosdevices");
        fs::create_symlink(device_, exe_.path() / "dosdevices" / "com5");
        opener_ = MakeSystemPortOpener(exe_.path(), &lockClock_);
        lockName_ = "LCK.." + device_.substr(5);
        for (char& c : lockName_)
            if (c == '/') c = '_';
    }
    void TearDown() override {
        ::unsetenv("ZENTOR_LOCK_DIR");
        ::close(master_);
        ::close(slave_);
    }
    std::vector<std::string> LockFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(locks_.path()))
            names.push_back(e.path().filename().string());
        return names;
    }

    test::ScratchDir locks_{"locks"};
    test::ScratchDir exe_{"lockexe"};
    int master_ = -1, slave_ = -1;
    std::string device_;
    std::string lockName_;
    std::unique_ptr<PortOpener> opener_;
    RecordingFrontend ui_;
    SystemClock clock_;
    VirtualClock lockClock_;  // the opener's waits for a lock file being written
};

int TotalMs(const std::vector<int>& sleeps) {
    int total = 0;
    for (int ms : sleeps) total += ms;
    return total;
}

TEST_F(UucpLockTest, NameFollowsLinksAndFlattensFolders) {
    EXPECT_EQ(UucpLockName("/dev/ttyUSB0-not-there"), "LCK..ttyUSB0-not-there");
    EXPECT_EQ(UucpLockName(exe_.path() / "dosdevices" / "com5"), lockName_);
    EXPECT_EQ(lockName_.rfind("LCK..pts_", 0), 0u) << lockName_;
}

TEST_F(UucpLockTest, ExistingFilesByOwner) {
    // Waits: a file that names no live process in full may be being written;
    // the open looks again for a second, then counts the port as busy.
    struct Case {
        const char* what;
        Bytes contents;
        OpenStatus status;
        bool waits = false;
    };
    std::int32_t initBinary = 1;
    Bytes binaryInit(4);
    std::memcpy(binaryInit.data(), &initBinary, 4);
    const Case cases[] = {
        {"no file", {}, OpenStatus::Ok},
        {"live process (init)", Text(PidText(1)), OpenStatus::Busy},
        {"live process, four-byte binary form", binaryInit, OpenStatus::Busy},
        {"live process, no padding", Text("1\n"), OpenStatus::Busy},
        {"live process, its id without the line end yet", Text("         1"), OpenStatus::Busy},
        {"ended process", Text(PidText(DeadPid())), OpenStatus::Ok},
        {"ended process, blanks before the line end", Text("12345678  \n"), OpenStatus::Ok},
        {"this process, left over", Text(PidText(::getpid())), OpenStatus::Ok},
        {"no process id", Text("garbage\n"), OpenStatus::Busy, true},
        {"empty", Text(""), OpenStatus::Busy, true},
        {"half written: digits naming no live process", Text(PidText(DeadPid()).substr(0, 10)),
         OpenStatus::Busy, true},
    };
    const fs::path file = locks_.path() / lockName_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(file);
        if (!c.contents.empty() || std::string(c.what) == "empty")
            test::ScratchDir::WriteTo(file, c.contents);

        EXPECT_EQ(opener_->Probe("COM5"), c.status);
        Station station{ui_, clock_, *opener_, {}, {}};
        Controls controls;
        Job s(station, controls);
        station.settings.NamePort = "COM5";
        ui_.boxes.clear();
        lockClock_.ClearSleeps();
        EXPECT_EQ(OpenComPort(s), c.status == OpenStatus::Ok);
        if (c.waits) {
            EXPECT_GE(TotalMs(lockClock_.Sleeps()), kUucpUnsureWaitMs);
            EXPECT_LE(TotalMs(lockClock_.Sleeps()), kUucpUnsureWaitMs + kUucpUnsureStepMs);
        } else {
            EXPECT_TRUE(lockClock_.Sleeps().empty());
        }
        if (c.status == OpenStatus::Busy) {
            ASSERT_EQ(ui_.boxes.size(), 1u);
            EXPECT_EQ(ui_.boxes[0].text, "Не могу открыть \"COM5\", порт занят.");
            EXPECT_EQ(locks_.Read(lockName_), c.contents) << "another's file is left alone";
            continue;
        }
        // Ours while open: ten characters and a newline.
        EXPECT_EQ(LockFiles(), std::vector<std::string>{lockName_});
        EXPECT_EQ(locks_.Read(lockName_), Text(PidText(::getpid())));
        EXPECT_EQ(opener_->Probe("COM5"), OpenStatus::Busy);
        CloseComPort(s);
        EXPECT_TRUE(LockFiles().empty());
    }
}

TEST_F(UucpLockTest, NoFileLeftByProbesOrFailedOpens) {
    EXPECT_EQ(opener_->Probe("COM5"), OpenStatus::Ok);
    const std::vector<std::string> names = ScanComPorts(*opener_);
    EXPECT_NE(std::find(names.begin(), names.end(), "COM5"), names.end());
    EXPECT_TRUE(LockFiles().empty());

    // The configuration step fails after the lock was taken.
    Station station{ui_, clock_, *opener_, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.settings.NamePort = "COM5";
    station.settings.BaudRate = 0;
    EXPECT_FALSE(OpenComPort(s));
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].text, "Необходимые параметры порта \"COM5\" не установлены");
    EXPECT_TRUE(LockFiles().empty());

    // A port that does not exist claims nothing.
    station.settings.NamePort = "COM6";
    EXPECT_FALSE(OpenComPort(s));
    EXPECT_TRUE(LockFiles().empty());
}

TEST_F(UucpLockTest, RemoveNowClearsEveryHeldFile) {
    auto held = opener_->Open("COM5", 9600);
    ASSERT_EQ(held.status, OpenStatus::Ok);
    ASSERT_EQ(LockFiles().size(), 1u);
    RemovePortLockFilesNow();
    EXPECT_TRUE(LockFiles().empty());
    held.port.reset();
    EXPECT_TRUE(LockFiles().empty());
}

}  // namespace
}  // namespace zentor
