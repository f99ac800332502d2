// Start-up of the main window: the time from starting a process to the first
// paint of the window (offscreen), and the process's peak memory at that point.
// The process is this program again, started once per face and run; it builds
// the window as the zentor program does (configuration, port scan of the update
// face, port open of the factory face), shows it, and ends at its first paint.
//
//   bench_window [runs]    (5; with ZENTOR_BENCH_QUICK=1, 1)
//
// Prints the median and slowest start and the largest peak memory per face.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "main_window.h"

namespace {

namespace fs = std::filesystem;

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint) {
            seen_ = true;
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

zentor::WindowFace FaceNamed(const std::string& name) {
    if (name == "factory") return zentor::WindowFace::FactoryFace;
    if (name == "encoder") return zentor::WindowFace::EncoderFace;
    return zentor::WindowFace::UpdateFace;
}

int Child(int argc, char** argv, const std::string& face, const std::string& config) {
    QApplication app(argc, argv);
    zentor::gui::TFormZentorFrom_Halden::Options options;
    options.face = FaceNamed(face);
    options.exePath = fs::absolute(argv[0]);
    options.configPath = config;
    // The factory face reports a port it cannot open in a box; nobody is there to answer.
    options.boxHook = [](auto, const std::string&, const std::string&, auto) { return true; };
    zentor::gui::TFormZentorFrom_Halden window(std::move(options));
    FirstPaint watch;
    window.installEventFilter(&watch);
    QTimer::singleShot(10000, &app, [] {
        std::fputs("timeout\n", stdout);
        std::fflush(stdout);
        QApplication::exit(1);
    });
    window.show();
    return app.exec();
}

struct Start {
    double ms = -1;
    long maxRssKiB = 0;
};

Start RunChild(const std::string& self, const std::string& face, const std::string& config) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(self.c_str(), self.c_str(), "--child", face.c_str(), config.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    const auto shown = std::chrono::steady_clock::now();
    ::close(fds[0]);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    Start s;
    if (line == "shown") s.ms = std::chrono::duration<double, std::milli>(shown - begin).count();
    s.maxRssKiB = ru.ru_maxrss;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        int qtArgc = 1;
        return Child(qtArgc, argv, argv[2], argv[3]);
    }
    const char* quick = std::getenv("ZENTOR_BENCH_QUICK");
    const int defaultRuns = quick != nullptr && std::strcmp(quick, "1") == 0 ? 1 : 5;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : defaultRuns;
    const std::string self = fs::canonical("/proc/self/exe").string();

    char tmpl[] = "/tmp/zentor-bench-window-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const fs::path dir = tmpl;
    // Settings that name a port that does not exist: no real device is opened.
    const fs::path config = dir / "zentor.ini";
    {
        std::FILE* f = std::fopen(config.c_str(), "wb");
        if (!f) return 1;
        // "[Настройки]" and "Порт=COM200" in Windows-1251.
        std::fputs("[\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8]\r\n\xCF\xEE\xF0\xF2=COM200\r\n", f);
        std::fclose(f);
    }

    bool ok = true;
    for (const char* face : {"update", "factory", "encoder"}) {
        std::vector<double> ms;
        long rss = 0;
        for (int i = 0; i < runs; ++i) {
            const Start s = RunChild(self, face, config.string());
            if (s.ms < 0) ok = false;
            ms.push_back(s.ms);
            rss = std::max(rss, s.maxRssKiB);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-7s face, %d starts: median %.1f ms  slowest %.1f ms  peak RSS %.1f MiB%s\n",
                    face, runs, ms[ms.size() / 2], ms.back(), rss / 1024.0,
                    ms.front() < 0 ? "  (a start did not paint)" : "");
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
