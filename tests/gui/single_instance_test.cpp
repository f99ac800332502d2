#include "single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

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

// Only a lock held by a running instance of this user's counts; any other
// trouble with the lock lets the program start, saying why.
TEST(SingleInstance, LockThatIsNotAnotherInstanceLetsTheProgramStart) {
    SingleInstance nowhere(UniqueName(), "/nonexistent/zentor-folder");
    EXPECT_TRUE(nowhere.Acquire());
    EXPECT_TRUE(nowhere.Warning().contains("/nonexistent/zentor-folder"))
        << nowhere.Warning().toStdString();

    if (::geteuid() != 0) GTEST_SKIP() << "a lock of another user needs root";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString name = UniqueName();
    const QString lockPath = SingleInstance::ServerPath(name, folder.path()) + ".lock";
    QLockFile held(lockPath);  // held by a running process, this one
    ASSERT_TRUE(held.tryLock(0));
    {
        SingleInstance mine(name, folder.path());
        EXPECT_FALSE(mine.Acquire()) << "the user's own running instance counts";
    }
    ASSERT_EQ(::chown(QFile::encodeName(lockPath).constData(), 65534, 65534), 0);
    SingleInstance other(name, folder.path());
    EXPECT_TRUE(other.Acquire());
    EXPECT_FALSE(other.Warning().isEmpty());
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

// A second start is told before the first is asked: the handler runs first, once.
TEST(SingleInstance, SecondStartIsToldBeforeTheFirstComesForward) {
    const QString name = UniqueName();
    std::vector<std::string> events;
    SingleInstance first(name);
    first.SetActivationHandler([&] { events.push_back("raised"); });
    first.SetSecondStartHandler([&] { events.push_back("first told"); });
    ASSERT_TRUE(first.Acquire());
    SingleInstance second(name);
    second.SetSecondStartHandler([&] { events.push_back("told"); });
    EXPECT_FALSE(second.Acquire());
    EXPECT_EQ(events, (std::vector<std::string>{"told", "raised"}));
}

// The box of a second start: information, the caption as its title.
TEST(SingleInstance, AlreadyRunningBox) {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        answer.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->accept();
    });
    answer.start();
    TellAlreadyRunning(QStringLiteral("Zentor MSC1210Y5"), true);
    EXPECT_EQ(title.toStdString(), "Zentor MSC1210Y5");
    EXPECT_EQ(text.toStdString(), "Программа уже запущена.");
    EXPECT_EQ(icon, QMessageBox::Information);
}

// The built program started twice: the second start says on standard error that
// the program is already running (no box where none could be seen), exits 0 and
// touches nothing, though it runs with another TMPDIR and in another folder.
TEST(SingleInstance, SecondStartOfTheProgram) {
    QTemporaryDir work;
    QTemporaryDir runtime;  // the instance's socket and lock live here
    QTemporaryDir tmp1, tmp2, elsewhere;
    ASSERT_TRUE(work.isValid() && runtime.isValid() && tmp1.isValid() && tmp2.isValid() &&
                elsewhere.isValid());
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
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("TMPDIR", tmp1.path());
    const QStringList args = {"--face", "update", "--config",
                              QString::fromStdString(config.string())};

    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(work.path());
    first.start(ZENTOR_GUI_PATH, args);
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString socket =
        SingleInstance::ServerPath(QString::fromUtf8(kInstanceName), runtime.path());
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(socket); }, 15000))
        << first.readAllStandardError().toStdString();

    const auto before = Snapshot(dir);
    const auto mtime = fs::last_write_time(config);
    QProcess second;
    env.insert("TMPDIR", tmp2.path());
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(elsewhere.path());
    second.start(ZENTOR_GUI_PATH, args);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(second.readAllStandardError()).toStdString(),
              "zentor: Программа уже запущена.\n");
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
