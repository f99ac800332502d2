// The station face against simulated instruments: every port updated at once
// keeps its own calibration, a silent port fails alone, "Остановить все" stops
// every port and no erased chip goes unreported; the window runs one command at
// a time and neither it nor the face closes while the ports run.
#include "station_face.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>

#include "common/files.h"
#include "common/image_key.h"
#include "gui_test_support.h"
#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "station_run.h"
#include "support/bytes.h"
#include "support/sim_process.h"
#include "support/sim_settings.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;
using zentor::test::Bytes;
using zentor::test::Pattern;
using zentor::test::SimProcess;

constexpr int kDataSize = 1024;

struct Instrument {
    std::string serial;
    Bytes calibration;
    std::unique_ptr<SimProcess> sim;
};

// An update face on a folder with prog_c.bin, its station face open, and the
// instruments added to the window's port list.
class StationFaceSim : public ::testing::Test {
protected:
    void SetUp() override {
        const Settings st = zentor::test::PacedSimSettings(kDataSize);
        rig_.WriteConfig(st);
        program_ = Pattern(6000, 1);
        Bytes scrambled = program_;
        ScrambleImage(scrambled);
        ASSERT_TRUE(WriteFileAtomic(rig_.Dir() / "prog_c.bin", scrambled));
        w_ = rig_.Make(WindowFace::UpdateFace, true);
        w_->station().place().workDir = rig_.Dir();
        w_->show();
        Child<QToolButton>(w_.get(), "sbStation")->click();
        face_ = w_->findChild<StationFace*>();
        ASSERT_NE(face_, nullptr);
        ASSERT_TRUE(face_->isVisible());
    }

    Instrument& Add(const std::string& identity, const std::string& serial, unsigned seed,
                    const char* extra = nullptr) {
        Instrument in{serial, Pattern(kDataSize, seed), nullptr};
        const fs::path cal = rig_.Dir() / ("cal" + std::to_string(seed) + ".bin");
        const fs::path old = rig_.Dir() / ("old" + std::to_string(seed) + ".bin");
        EXPECT_TRUE(WriteFileAtomic(cal, in.calibration));
        EXPECT_TRUE(WriteFileAtomic(old, Pattern(4096, seed + 50)));
        std::vector<std::string> args = {"--data-flash-size", std::to_string(kDataSize),
                                         "--code-file",       old.string(),
                                         "--data-file",       cal.string(),
                                         "--identity",        identity};
        if (extra) args.push_back(extra);
        in.sim = std::make_unique<SimProcess>(args);
        Child<QComboBox>(w_.get(), "cbNamePort")
            ->addItem(QString::fromStdString(in.sim->DevicePath()));
        instruments_.push_back(std::move(in));
        return instruments_.back();
    }
    // Ticks the port in the face's list (filled from the window's).
    void Tick(const std::string& port) {
        const auto items = Child<QListWidget>(face_, "lwPorts")
                               ->findItems(QString::fromStdString(port), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << port;
        items[0]->setCheckState(Qt::Checked);
    }
    void Start(bool answerYes = true) {
        Child<QCheckBox>(face_, "chAnswerYes")->setChecked(answerYes);
        Child<QPushButton>(face_, "btStartAll")->click();
        ASSERT_TRUE(face_->running());
    }
    void WaitEnd() {
        ASSERT_TRUE(WaitFor([&] { return !face_->running(); }, 110000));
        Spin(50);
    }
    PortTile* TileOf(const std::string& port) {
        for (PortTile* t : face_->tiles())
            if (t->port().toStdString() == port) return t;
        ADD_FAILURE() << "no tile for " << port;
        return nullptr;
    }
    // The instrument holds the new program and its own calibration.
    void ExpectUpdated(Instrument& in) {
        SCOPED_TRACE(in.serial);
        in.sim->PowerCycle();
        const Bytes code = in.sim->Flash();
        ASSERT_GE(code.size(), program_.size());
        EXPECT_TRUE(std::equal(program_.begin(), program_.end(), code.begin()));
        EXPECT_EQ(in.sim->DataFlash(), in.calibration);
    }
    std::vector<JournalRun> Runs() {
        const auto lines = ReadJournal(rig_.Dir() / "journal.csv");
        EXPECT_TRUE(lines.has_value());
        return lines ? MergeRuns(*lines) : std::vector<JournalRun>{};
    }

    WindowRig rig_;
    Bytes program_;
    std::unique_ptr<TFormZentorFrom_Halden> w_;
    StationFace* face_ = nullptr;
    std::vector<Instrument> instruments_;
};

TEST_F(StationFaceSim, EveryInstrumentKeepsItsCalibrationAndIsTheWindowsOneCommand) {
    Add("14,7,15,10", "14v071510", 11);
    Add("5,120,3,200", "05v12003200", 12);
    Add("14,7,16,1", "14v071601", 13);
    for (const Instrument& in : instruments_) Tick(in.sim->DevicePath());
    Start();
    // One command at a time: the window's buttons wait, no other command starts,
    // and neither window closes.
    EXPECT_FALSE(Child<QPushButton>(w_.get(), "BitBtnProshivkaVelmar")->isEnabled());
    EXPECT_FALSE(w_->RunCommand([](Job&) {}));
    EXPECT_FALSE(face_->close());
    EXPECT_FALSE(w_->close());
    EXPECT_TRUE(face_->isVisible() && w_->isVisible());
    WaitEnd();
    EXPECT_TRUE(Child<QPushButton>(w_.get(), "BitBtnProshivkaVelmar")->isEnabled());

    const std::vector<JournalRun> runs = Runs();
    ASSERT_EQ(runs.size(), instruments_.size());
    for (Instrument& in : instruments_) {
        SCOPED_TRACE(in.serial);
        PortTile* tile = TileOf(in.sim->DevicePath());
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->colour(), PortEnd::Colour::Green) << tile->lines().join('\n').toStdString();
        EXPECT_EQ(tile->result(), QStringLiteral("готово"));
        EXPECT_EQ(tile->serial().toStdString(), in.serial);
        EXPECT_EQ(tile->percent(), 100);
        // Its own run in the one journal, its backup in its own folder.
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const JournalRun& j) {
            return j.record.port == in.sim->DevicePath();
        });
        ASSERT_NE(run, runs.end());
        EXPECT_EQ(run->record.result, RunResult::Ok);
        EXPECT_EQ(run->record.serial, in.serial);
        EXPECT_EQ(run->record.mode, "keep");
        const fs::path folder = rig_.Dir() / "ports" / PortFolderName(in.sim->DevicePath());
        EXPECT_TRUE(fs::exists(folder / "prog_c.bin"));
        bool backedUp = false;
        for (const auto& b : fs::directory_iterator(folder / "backup"))
            backedUp |= b.path().filename().string().rfind(in.serial + "_", 0) == 0;
        EXPECT_TRUE(backedUp);
        // A click opens the port's log, every line of it.
        tile->ShowLog();
        ASSERT_NE(tile->logWindow(), nullptr);
        EXPECT_EQ(Child<QPlainTextEdit>(tile->logWindow(), "PortLogText")->toPlainText(),
                  tile->lines().join('\n'));
        ExpectUpdated(in);
    }
    EXPECT_FALSE(w_->station().controls.StopRequested || w_->station().controls.AbortRequested);
    EXPECT_TRUE(face_->close());
}

// A port nobody answers on, typed as a list, and one whose question nobody
// answered end alone; the other goes on to the end.
TEST_F(StationFaceSim, ASilentPortFailsAloneAndADeclinedOneIsAmber) {
    const struct {
        const char* name;
        bool answerYes;
        PortEnd::Colour other;
    } cases[] = {{"silent port", true, PortEnd::Colour::Red},
                 {"question declined", false, PortEnd::Colour::Amber}};
    Instrument& in = Add("14,7,15,10", "14v071510", 21);
    const std::string missing = (rig_.Dir() / "no-such-port").string();
    Tick(in.sim->DevicePath());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Child<QLineEdit>(face_, "edPorts")
            ->setText(QString::fromStdString(c.answerYes ? missing : std::string()));
        Start(c.answerYes);
        WaitEnd();
        PortTile* tile = TileOf(in.sim->DevicePath());
        ASSERT_NE(tile, nullptr);
        if (c.answerYes) {
            ASSERT_EQ(face_->tiles().size(), 2u);
            EXPECT_EQ(tile->colour(), PortEnd::Colour::Green);
            PortTile* silent = TileOf(missing);
            ASSERT_NE(silent, nullptr);
            EXPECT_EQ(silent->colour(), c.other);
            EXPECT_EQ(silent->result(), QStringLiteral("ошибка"));
            EXPECT_FALSE(silent->lines().isEmpty());
            ExpectUpdated(in);
        } else {
            ASSERT_EQ(face_->tiles().size(), 1u);
            EXPECT_EQ(tile->colour(), c.other);
            EXPECT_EQ(tile->result(), QStringLiteral("отклонено"));
            EXPECT_TRUE(tile->lines().last().startsWith(QStringLiteral("-> Нет")) ||
                        tile->lines().filter(QStringLiteral("-> Нет")).size() == 1);
        }
    }
    EXPECT_EQ(Runs().size(), 3u);
}

// Stopped while the chips are written: the question first, then every port
// stops at a record boundary and says what its chip was left with.
TEST_F(StationFaceSim, StopAllStopsEveryPortAndReportsErasedChips) {
    Add("14,7,15,10", "14v071510", 31);
    Add("14,7,16,1", "14v071601", 32);
    for (const Instrument& in : instruments_) Tick(in.sim->DevicePath());
    rig_.boxes.answers = {true};
    Start();
    ASSERT_TRUE(WaitFor([&] { return w_->station().controls.ChipAtRisk.load(); }, 60000));
    Child<QPushButton>(face_, "btStopAll")->click();
    ASSERT_EQ(rig_.boxes.boxes.size(), 1u);
    EXPECT_NE(rig_.boxes.boxes[0].text.find("стёртый кристалл"), std::string::npos);
    WaitEnd();
    const std::vector<JournalRun> runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const JournalRun& run : runs) {
        SCOPED_TRACE(run.record.port);
        EXPECT_EQ(run.record.result, RunResult::Interrupted);
        PortTile* tile = TileOf(run.record.port);
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->colour(), PortEnd::Colour::Red);
        EXPECT_EQ(tile->result(), QStringLiteral("прервано"));
        if (run.record.phase >= RunPhase::Erase) {
            EXPECT_EQ(tile->note(),
                      QStringLiteral("устройство может быть стёрто или записано не полностью"));
        }
    }
    EXPECT_FALSE(w_->station().controls.StopRequested || w_->station().controls.AbortRequested);
    EXPECT_FALSE(w_->station().controls.ChipAtRisk);
}

// A window command running: nothing starts, and nothing is made for it.
TEST_F(StationFaceSim, WaitsWhileAWindowCommandRuns) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(w_->RunCommand([&](Job&) {
        while (!release) QThread::msleep(5);
    }));
    Child<QLineEdit>(face_, "edPorts")->setText(QStringLiteral("COM9"));
    EXPECT_FALSE(Child<QPushButton>(face_, "btStartAll")->isEnabled());
    EXPECT_FALSE(face_->StartAll());
    EXPECT_TRUE(face_->tiles().empty());
    EXPECT_FALSE(fs::exists(rig_.Dir() / "ports"));
    release = true;
    ASSERT_TRUE(WaitFor([&] { return !w_->runner().Busy(); }));
    EXPECT_TRUE(Child<QPushButton>(face_, "btStartAll")->isEnabled());
}

// Erase and write through the boot ROM on two chips waiting there: each gets
// prog.bin and data.bin, each run journaled as a program run of its own.
TEST_F(StationFaceSim, ProgramWritesEveryChipInItsBootRom) {
    w_->station().settings().TypeController = 4;
    const Bytes data = Pattern(kDataSize, 77);
    ASSERT_TRUE(WriteFileAtomic(rig_.Dir() / "prog.bin", program_));
    ASSERT_TRUE(WriteFileAtomic(rig_.Dir() / "data.bin", data));
    Add("14,7,15,10", "14v071510", 41, "--jumper");
    Add("14,7,16,1", "14v071601", 42, "--jumper");
    for (const Instrument& in : instruments_) Tick(in.sim->DevicePath());
    Child<QComboBox>(face_, "cbCommand")->setCurrentIndex(1);
    EXPECT_FALSE(Child<QComboBox>(face_, "cbMode")->isEnabled());
    Start();
    WaitEnd();
    const std::vector<JournalRun> runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const JournalRun& run : runs) {
        SCOPED_TRACE(run.record.port);
        EXPECT_EQ(run.record.command, "program");
        EXPECT_EQ(run.record.result, RunResult::Ok);
        PortTile* tile = TileOf(run.record.port);
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->colour(), PortEnd::Colour::Green) << tile->lines().join('\n').toStdString();
    }
    for (Instrument& in : instruments_) {
        const Bytes code = in.sim->Flash();
        ASSERT_GE(code.size(), program_.size());
        EXPECT_TRUE(std::equal(program_.begin(), program_.end(), code.begin()));
        EXPECT_EQ(in.sim->DataFlash(), data);
    }
}

}  // namespace
}  // namespace zentor::gui::test
