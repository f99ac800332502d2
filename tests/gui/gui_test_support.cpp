#include "gui_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/config_store.h"

namespace zentor::gui::test {

namespace {

// One QApplication for every test, on the main thread, without a display.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[32] = "zentor_gui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

QtFrontend::BoxHook BoxLog::Hook() {
    return [this](QtFrontend::BoxKind kind, const std::string& text, const std::string& title,
                  MessageIcon) {
        boxes.push_back({kind, text, title,
                         QThread::currentThread() == QCoreApplication::instance()->thread()});
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    };
}

WindowRig::WindowRig() {
    EXPECT_TRUE(dir_.isValid());
}

void WindowRig::WriteConfig(const Settings& settings) {
    std::string error;
    ASSERT_TRUE(SaveSettings(ConfigPath(), settings, &error)) << error;
}

void WindowRig::WritePosition(const WindowPosition& position) {
    std::string error;
    ASSERT_TRUE(SavePosition(ConfigPath(), position, &error)) << error;
}

std::unique_ptr<TFormZentorFrom_Halden> WindowRig::Make(WindowFace face, bool systemPorts) {
    TFormZentorFrom_Halden::Options o;
    o.face = face;
    o.exePath = ExePath();
    o.opener = systemPorts ? nullptr : &opener;
    o.lookup = lookup;
    o.boxHook = boxes.Hook();
    return std::make_unique<TFormZentorFrom_Halden>(std::move(o));
}

Pty::Pty() {
    char name[256] = {};
    if (::openpty(&master, &slave_, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    termios t{};
    ::tcgetattr(master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master, TCSANOW, &t);
    path = name;
}

Pty::~Pty() {
    if (slave_ >= 0) ::close(slave_);
    if (master >= 0) ::close(master);
}

std::string Pty::ReadMaster(std::size_t n, int timeoutMs) {
    std::string got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < n && timer.elapsed() < timeoutMs) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
            char buf[64];
            const ssize_t r = ::read(master, buf, sizeof buf);
            if (r > 0) got.append(buf, static_cast<std::size_t>(r));
        }
    }
    return got;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace zentor::gui::test
