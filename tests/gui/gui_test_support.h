// Helpers of the window tests: a QApplication for the whole program, waiting on
// the event loop, recorded message boxes, a window on a temporary folder, and
// pseudo-terminals as serial ports.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main_window.h"
#include "support/scripted_port.h"

namespace zentor::gui::test {

// Runs the event loop until pred() holds or the time is up.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);
// Runs the event loop for about ms milliseconds.
void Spin(int ms);

template <typename T>
T* Child(QObject* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no child " << name;
    return w;
}

// Message boxes answered from a queue (no answer left: Yes/OK).
struct BoxLog {
    struct Box {
        QtFrontend::BoxKind kind;
        std::string text;
        std::string title;
        bool onGuiThread;
    };
    std::vector<Box> boxes;
    std::deque<bool> answers;
    QtFrontend::BoxHook Hook();
};

// A main window on a temporary folder: executable path <dir>/zentor, configuration
// <dir>/zentor.ini, ports from a scripted opener unless a system opener is asked for.
class WindowRig {
public:
    WindowRig();
    std::filesystem::path Dir() const { return dir_.path().toStdString(); }
    std::filesystem::path ExePath() const { return Dir() / "zentor"; }
    std::filesystem::path ConfigPath() const { return Dir() / "zentor.ini"; }
    // Writes the settings (and a position when given) into the configuration file.
    void WriteConfig(const Settings& settings);
    void WritePosition(const WindowPosition& position);
    std::unique_ptr<TFormZentorFrom_Halden> Make(WindowFace face, bool systemPorts = false);

    zentor::test::ScriptedPort port;
    zentor::test::ScriptedOpener opener{port};
    // What the port lists tell about the ports; null: nothing (with the scripted opener).
    PortLookup* lookup = nullptr;
    BoxLog boxes;

private:
    QTemporaryDir dir_;
};

// One pseudo-terminal: the program opens `path`, the test reads and writes `master`.
class Pty {
public:
    Pty();
    ~Pty();
    std::string path;
    int master = -1;
    // Bytes that arrive at the master within the time.
    std::string ReadMaster(std::size_t n, int timeoutMs = 2000);

private:
    int slave_ = -1;
};

// File contents, or nullopt-like "<missing>".
std::string FileText(const std::filesystem::path& path);

}  // namespace zentor::gui::test
