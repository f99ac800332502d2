#include "training_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <chrono>
#include <csignal>
#include <system_error>
#include <vector>

#include "common/files.h"
#include "common/image_key.h"
#include "config/config_store.h"
#include "station/com_port.h"
#include "window_rules.h"
#ifdef __linux__
#include <sys/prctl.h>
#endif
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace zentor::gui {
namespace fs = std::filesystem;

namespace {

constexpr int kStartTimeoutMs = 5000;

// The system's opener, limited to one name: every other port is absent.
class OnePortOpener final : public PortOpener {
public:
    OnePortOpener(std::string name, const fs::path& linkFolder)
        : name_(std::move(name)), inner_(MakeSystemPortOpener(linkFolder)) {}
    OpenResult Open(const std::string& name, int baudRate) override {
        if (name != name_) return OpenFailure(OpenStatus::NotFound);
        return inner_->Open(name, baudRate);
    }
    OpenStatus Probe(const std::string& name) override {
        return name == name_ ? inner_->Probe(name) : OpenStatus::NotFound;
    }

private:
    std::string name_;
    std::unique_ptr<PortOpener> inner_;
};

constexpr char kScratchPrefix[] = "zentor-training-";

// True unless the process is known to have ended (a process of another user
// counts as alive).
bool ProcessAlive(long long pid) {
    if (pid <= 0) return true;
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return running;
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

// The owner's process id from zentor-training-<pid>-XXXXXX, or -1.
long long ScratchOwner(const std::string& name) {
    const std::string prefix = kScratchPrefix;
    if (name.rfind(prefix, 0) != 0) return -1;
    const std::size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size() || dash - prefix.size() > 10 ||
        dash + 1 == name.size())
        return -1;
    long long pid = 0;
    for (std::size_t i = prefix.size(); i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

QString FirstExisting(const QStringList& candidates) {
    for (const QString& c : candidates)
        if (QFileInfo::exists(c)) return QFileInfo(c).absoluteFilePath();
    return {};
}

}  // namespace

TrainingSession::Setup TrainingSession::Locate(const QString& exePath) {
    const QString dir = QFileInfo(exePath).absolutePath();
    Setup s;
    s.simulator = FirstExisting({dir + "/zentor-sim", dir + "/../sim/zentor-sim"});
    s.samples = FirstExisting({dir + "/../share/zentor/samples"});
    return s;
}

TrainingSession::TrainingSession(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)) {
    connect(&sim_, &QProcess::readyReadStandardOutput, this, &TrainingSession::ReadStatus);
    connect(&sim_, &QProcess::finished, this, &TrainingSession::simulatorEnded);
}

TrainingSession::~TrainingSession() {
    Stop();
}

int TrainingSession::BaudRate() const {
    return setup_.baud > 0 ? static_cast<int>(setup_.baud) : 38400;
}

fs::path TrainingSession::ScratchDir() const {
    return scratch_ ? ToPath(scratch_->path()) : fs::path();
}

int TrainingSession::RemoveDeadScratchFolders(const fs::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const long long owner = ScratchOwner(it->path().filename().string());
        std::error_code kind;
        if (owner < 0 || !it->is_directory(kind) || it->is_symlink(kind) || ProcessAlive(owner))
            continue;
        std::error_code gone;
        if (fs::remove_all(it->path(), gone) > 0 && !gone) ++removed;
    }
    return removed;
}

bool TrainingSession::WriteScratchFiles(QString* error) {
    RemoveDeadScratchFolders(ToPath(QDir::tempPath()));
    scratch_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/%1%2-XXXXXX")
                                                   .arg(QString::fromLatin1(kScratchPrefix))
                                                   .arg(QCoreApplication::applicationPid()));
    if (!scratch_->isValid()) {
        *error = QStringLiteral("cannot make a scratch folder in ") + QDir::tempPath();
        return false;
    }
    std::error_code ec;
    fs::create_directories(WorkDir(), ec);
    fs::create_directories(StateDir(), ec);

    const fs::path samples = ToPath(setup_.samples);
    auto prog = ReadWholeFile(samples / "prog.bin");
    auto data = ReadWholeFile(samples / "data.bin");
    if (!prog || !data) {
        *error =
            QStringLiteral("the sample prog.bin and data.bin are missing in ") + setup_.samples;
        return false;
    }
    // The update reads the scrambled image, as an update package delivers it.
    ScrambleImage(*prog);
    if (!WriteFileAtomic(WorkDir() / "prog_c.bin", *prog) ||
        !WriteFileAtomic(WorkDir() / "data.bin", *data)) {
        *error = QStringLiteral("cannot write the sample files into ") + FromPath(WorkDir());
        return false;
    }

    Settings settings;
    settings.NamePort = PortName().toStdString();
    settings.BaudRate = BaudRate();
    // No extra pause between records: a training run takes seconds, not minutes.
    settings.DopPause = 0;
    std::string saveError;
    if (!SaveSettings(ConfigPath(), settings, &saveError)) {
        *error = QString::fromStdString(saveError);
        return false;
    }
    return true;
}

bool TrainingSession::Start(QString* error) {
    if (setup_.simulator.isEmpty() || !QFileInfo(setup_.simulator).isExecutable()) {
        *error = QStringLiteral("the simulator zentor-sim was not found");
        return false;
    }
    if (setup_.samples.isEmpty()) {
        *error = QStringLiteral("the sample files (share/zentor/samples) were not found");
        return false;
    }
    if (!WriteScratchFiles(error)) return false;
    opener_ = std::make_unique<OnePortOpener>(PortName().toStdString(), ScratchDir());

    const QString samples = setup_.samples;
    sim_.setProgram(setup_.simulator);
    sim_.setArguments({"--identity", setup_.identity, "--chip", "Y5", "--baud",
                       QString::number(setup_.baud), "--code-file", samples + "/prog-old.bin",
                       "--data-file", samples + "/calibration.bin", "--link",
                       FromPath(ScratchDir()), "--com", QString::number(setup_.com), "--state-dir",
                       FromPath(StateDir())});
    sim_.setProcessChannelMode(QProcess::SeparateChannels);
#ifdef __linux__
    // The simulator must not outlive the window, even when the window crashes.
    sim_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    sim_.start();
    if (!sim_.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("the simulator did not start: ") + sim_.errorString();
        return false;
    }
    // Up once it has printed its terminal and linked it as COMn.
    const fs::path link = ScratchDir() / "dosdevices" / ("com" + std::to_string(setup_.com));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (!(pending_.contains('\n') && fs::is_symlink(link))) {
        if (sim_.state() == QProcess::NotRunning || std::chrono::steady_clock::now() > deadline) {
            *error = QStringLiteral("the simulator did not come up: ") +
                     QString::fromLocal8Bit(sim_.readAllStandardError());
            Stop();
            return false;
        }
        if (sim_.waitForReadyRead(50)) pending_ += sim_.readAllStandardOutput();
    }
    // The terminal's path; later lines are status reports.
    pending_ = pending_.mid(pending_.indexOf('\n') + 1);
    up_ = true;
    ReadStatus();
    return true;
}

void TrainingSession::ReadStatus() {
    // Until the terminal's path has come, Start() reads the output itself.
    if (!up_) return;
    pending_ += sim_.readAllStandardOutput();
    int end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending_.left(end));
        pending_.remove(0, end + 1);
        emit simulatorReported(line);
    }
}

void TrainingSession::PowerCycle() {
#ifndef _WIN32
    if (sim_.state() == QProcess::Running) ::kill(static_cast<pid_t>(sim_.processId()), SIGUSR2);
#endif
}

void TrainingSession::Stop() {
    if (sim_.state() != QProcess::NotRunning) {
        sim_.terminate();
        if (!sim_.waitForFinished(2000)) {
            sim_.kill();
            sim_.waitForFinished(2000);
        }
    }
    scratch_.reset();
}

}  // namespace zentor::gui
