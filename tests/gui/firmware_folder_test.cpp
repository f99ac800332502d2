// The update face's firmware folder: chosen with the folder button or by a drop,
// shown, remembered in the configuration, asked for once by an installed program.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <atomic>
#include <fstream>

#include "config/config_store.h"
#include "gui_test_support.h"
#include "window_rules.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;

QStringList LogLines(TFormZentorFrom_Halden& w) {
    return Child<QPlainTextEdit>(&w, "MemoZentor")->toPlainText().split(QLatin1Char('\n'));
}

// Chooses `answer` and counts the questions.
struct Chooser {
    QString answer;
    int asked = 0;
    std::function<QString(QWidget*, const QString&)> Fn() {
        return [this](QWidget*, const QString&) {
            ++asked;
            return answer;
        };
    }
};

std::unique_ptr<TFormZentorFrom_Halden> MakeWindow(WindowRig& rig, Chooser& chooser,
                                                   std::optional<bool> installed = false) {
    TFormZentorFrom_Halden::Options o;
    o.face = WindowFace::UpdateFace;
    o.exePath = rig.ExePath();
    o.configPath = rig.ConfigPath();
    o.opener = &rig.opener;
    o.boxHook = rig.boxes.Hook();
    o.folderChooser = chooser.Fn();
    o.installed = installed;
    return std::make_unique<TFormZentorFrom_Halden>(std::move(o));
}

TEST(FirmwareFolder, ChosenShownRememberedAndUsedByTheUpdate) {
    WindowRig rig;
    const fs::path folder = rig.Dir() / "пакет";
    fs::create_directories(folder);
    Chooser chooser{FromPath(folder)};
    auto w = MakeWindow(rig, chooser);
    w->station().place().workDir = rig.Dir();
    w->show();
    auto* shown = Child<QLineEdit>(w.get(), "edFolder");
    EXPECT_TRUE(Child<QWidget>(w.get(), "paFolder")->isVisible());
    EXPECT_EQ(shown->text(), FromPath(rig.Dir()));
    EXPECT_EQ(w->width(), 394);

    Child<QToolButton>(w.get(), "sbFolder")->click();
    EXPECT_EQ(chooser.asked, 1);
    EXPECT_EQ(w->station().place().workDir, folder);
    EXPECT_EQ(shown->text(), FromPath(folder));
    EXPECT_EQ(LoadFirmwareFolder(rig.ConfigPath()), FromPath(folder).toStdString());

    // The update looks there: first without the package, then with it.
    auto* update = Child<QPushButton>(w.get(), "BitBtnProshivkaVelmar");
    update->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_EQ(LogLines(*w).last(), QString::fromUtf8("Файл prog_c.bin не обнаружен!"));
    EXPECT_TRUE(rig.opener.opened.empty());
    std::ofstream(folder / "prog_c.bin", std::ios::binary) << "PROG";
    update->click();
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }, 30000));
    EXPECT_EQ(LogLines(*w).count(QString::fromUtf8("Файл prog_c.bin не обнаружен!")), 1);
    EXPECT_FALSE(rig.opener.opened.empty());
    w->close();

    // The next start is in that folder.
    Chooser again;
    auto next = MakeWindow(rig, again, true);
    next->show();
    Spin(50);
    EXPECT_EQ(next->station().place().workDir, folder);
    EXPECT_EQ(Child<QLineEdit>(next.get(), "edFolder")->text(), FromPath(folder));
    EXPECT_EQ(again.asked, 0);
}

TEST(FirmwareFolder, CancelledChoiceChangesNothing) {
    WindowRig rig;
    rig.WriteConfig(Settings{});
    const std::string before = FileText(rig.ConfigPath());
    Chooser chooser;  // cancelled
    auto w = MakeWindow(rig, chooser);
    w->station().place().workDir = rig.Dir();
    w->show();
    Child<QToolButton>(w.get(), "sbFolder")->click();
    EXPECT_EQ(chooser.asked, 1);
    EXPECT_EQ(w->station().place().workDir, rig.Dir());
    EXPECT_EQ(FileText(rig.ConfigPath()), before);
}

// Writing the folder adds its one line; every line of a hand-edited file stays.
TEST(FirmwareFolder, KeyAddedWithoutTouchingOtherLines) {
    WindowRig rig;
    fs::copy_file(fs::path(ZENTOR_FIXTURES_DIR) / "config" / "kept-lines.ini", rig.ConfigPath());
    const std::string before = FileText(rig.ConfigPath());
    EXPECT_EQ(LoadFirmwareFolder(rig.ConfigPath()), "");
    ASSERT_TRUE(SaveFirmwareFolder(rig.ConfigPath(), "/srv/прошивки/v7"));
    EXPECT_EQ(LoadFirmwareFolder(rig.ConfigPath()), "/srv/прошивки/v7");
    const std::string after = FileText(rig.ConfigPath());
    // Windows-1251 on disk.
    const std::string line =
        "\xCF\xE0\xEF\xEA\xE0 \xEF\xF0\xEE\xF8\xE8\xE2\xEA\xE8=/srv/"
        "\xEF\xF0\xEE\xF8\xE8\xE2\xEA\xE8/v7\r\n";
    const auto at = after.find(line);
    ASSERT_NE(at, std::string::npos) << after;
    EXPECT_EQ(after.substr(0, at) + after.substr(at + line.size()), before);
}

TEST(FirmwareFolder, DropsTakeAFolderOrTheFolderOfAPackage) {
    WindowRig rig;
    const fs::path folder = rig.Dir() / "drop";
    fs::create_directories(folder);
    std::ofstream(folder / "prog_c.bin") << "P";
    std::ofstream(folder / "PROG_C.BIN") << "P";
    std::ofstream(folder / "data.bin") << "D";
    const struct {
        const char* name;
        std::vector<fs::path> paths;
        bool taken;
    } cases[] = {
        {"a folder", {folder}, true},
        {"prog_c.bin", {folder / "prog_c.bin"}, true},
        {"PROG_C.BIN", {folder / "PROG_C.BIN"}, true},
        {"another file", {folder / "data.bin"}, false},
        {"a missing prog_c.bin", {rig.Dir() / "none" / "prog_c.bin"}, false},
        {"two folders", {folder, rig.Dir()}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Chooser chooser;
        auto w = MakeWindow(rig, chooser);
        w->station().place().workDir = rig.Dir();
        w->show();
        QMimeData mime;
        QList<QUrl> urls;
        for (const fs::path& p : c.paths) urls << QUrl::fromLocalFile(FromPath(p));
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(w.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.taken);
        QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &drop);
        EXPECT_EQ(drop.isAccepted(), c.taken);
        EXPECT_EQ(w->station().place().workDir, c.taken ? folder : rig.Dir());
        EXPECT_EQ(LoadFirmwareFolder(rig.ConfigPath()),
                  c.taken ? FromPath(folder).toStdString() : "");
        fs::remove(rig.ConfigPath());
    }
}

TEST(FirmwareFolder, RefusedWhileACommandRuns) {
    WindowRig rig;
    Chooser chooser{FromPath(rig.Dir())};
    auto w = MakeWindow(rig, chooser);
    w->station().place().workDir = ".";
    w->show();
    std::atomic<bool> release{false};
    ASSERT_TRUE(w->RunCommand([&](Job&) {
        while (!release) QThread::msleep(5);
    }));
    EXPECT_FALSE(Child<QToolButton>(w.get(), "sbFolder")->isEnabled());
    EXPECT_FALSE(w->SetFirmwareFolder(rig.Dir()));
    EXPECT_EQ(w->station().place().workDir, fs::path("."));
    release = true;
    ASSERT_TRUE(WaitFor([&] { return !w->runner().Busy(); }));
    EXPECT_TRUE(Child<QToolButton>(w.get(), "sbFolder")->isEnabled());
    EXPECT_TRUE(w->SetFirmwareFolder(rig.Dir()));
    EXPECT_EQ(w->station().place().workDir, rig.Dir());
}

// At start: an installed program with no remembered folder and no package in its
// current folder asks once; otherwise nothing is asked.
TEST(FirmwareFolder, AskedAtStartOnlyByAnInstalledProgramWithoutAPackage) {
    const struct {
        const char* name;
        bool installed;
        bool packageHere;
        bool remembered;
        int asks;
    } cases[] = {
        {"installed, nothing", true, false, false, 1},
        {"installed, package here", true, true, false, 0},
        {"installed, remembered", true, false, true, 0},
        {"not installed", false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        const fs::path chosen = rig.Dir() / "chosen";
        const fs::path here = rig.Dir() / "here";
        fs::create_directories(chosen);
        fs::create_directories(here);
        if (c.packageHere) std::ofstream(here / "prog_c.bin") << "P";
        if (c.remembered) {
            ASSERT_TRUE(SaveFirmwareFolder(rig.ConfigPath(), chosen.string()));
        }
        Chooser chooser{FromPath(chosen)};
        auto w = MakeWindow(rig, chooser, c.installed);
        if (!c.remembered) w->station().place().workDir = here;
        w->show();
        Spin(100);
        EXPECT_EQ(chooser.asked, c.asks);
        EXPECT_EQ(w->station().place().workDir, c.asks || c.remembered ? chosen : here);
        w->hide();
        w->show();
        Spin(50);
        EXPECT_EQ(chooser.asked, c.asks);  // once only
    }
}

}  // namespace
}  // namespace zentor::gui::test
