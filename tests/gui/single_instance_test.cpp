#include "single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <map>

#include "config/config_store.h"
#include "gui_test_support.h"

namespace zentor::gui::test {
namespace {

namespace fs = std::filesystem;

QString UniqueName() {
    static int counter = 0;
    return QStringLiteral("zentor test %1 (%2)").arg(::getpid()).arg(++counter);
}

TEST(SingleInstance, SecondAsksTheFirstAndEnds) {
    const QString name = UniqueName();
    int activations = 0;
    {
        SingleInstance first(name);
        first.SetActivationHandler([&] { ++activations; });
        ASSERT_TRUE(first.Acquire());
        {
            SingleInstance second(name);
            EXPECT_FALSE(second.Acquire());
        }
        // Answered before the second one returned.
        EXPECT_EQ(activations, 1);
        SingleInstance third(name);
        EXPECT_FALSE(third.Acquire());
        EXPECT_EQ(activations, 2);
    }
    // Released with the first: the next start is a first one again.
    SingleInstance again(name);
    EXPECT_TRUE(again.Acquire());
    EXPECT_EQ(activations, 2);
}

TEST(SingleInstance, NamesDoNotMeet) {
    SingleInstance a(UniqueName());
    SingleInstance b(UniqueName());
    EXPECT_TRUE(a.Acquire());
    EXPECT_TRUE(b.Acquire());
}

TEST(SingleInstance, SocketPathIsPlain) {
    const QString path = SingleInstance::ServerPath(QString::fromUtf8(kInstanceName), "/tmp/x");
    EXPECT_TRUE(path.startsWith("/tmp/x/ZentorFrom_Halden__unique_mutex_name_-"))
        << path.toStdString();
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = FileText(e.path());
    return files;
}

// The built program started twice: the second start exits 0 at once and touches nothing.
TEST(SingleInstance, SecondStartOfTheProgram) {
    QTemporaryDir work;
    QTemporaryDir tmp;  // the instance's socket and lock live here
    ASSERT_TRUE(work.isValid() && tmp.isValid());
    const fs::path dir = work.path().toStdString();
    const fs::path config = dir / "zentor.ini";
    {
        Settings s;
        s.NamePort = "COM9";
        std::string error;
        ASSERT_TRUE(SaveSettings(config, s, &error)) << error;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", tmp.path());
    const QStringList args = {"--face", "update", "--config",
                              QString::fromStdString(config.string())};

    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(work.path());
    first.start(ZENTOR_GUI_PATH, args);
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString socket = SingleInstance::ServerPath(QString::fromUtf8(kInstanceName), tmp.path());
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(socket); }, 15000))
        << first.readAllStandardError().toStdString();

    const auto before = Snapshot(dir);
    const auto mtime = fs::last_write_time(config);
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(work.path());
    second.start(ZENTOR_GUI_PATH, args);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_EQ(fs::last_write_time(config), mtime);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished(5000);
    }
    // The update face wrote nothing either.
    EXPECT_EQ(Snapshot(dir), before);
}

}  // namespace
}  // namespace zentor::gui::test
