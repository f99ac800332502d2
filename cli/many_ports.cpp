#include "many_ports.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli_args.h"
#include "common/files.h"
#include "port_board.h"

namespace zentor::cli {
namespace fs = std::filesystem;

namespace {

// A pipe whose write end is a FILE* for the port's front end; a reader thread
// hands each line to the board.
class LinePipe {
public:
    LinePipe() {
        int fds[2] = {-1, -1};
#ifdef _WIN32
        if (_pipe(fds, 4096, _O_BINARY) != 0) return;
        write_ = _fdopen(fds[1], "wb");
#else
        if (::pipe(fds) != 0) return;
        write_ = ::fdopen(fds[1], "w");
#endif
        read_ = fds[0];
    }
    ~LinePipe() {
        CloseWrite();
        if (reader_.joinable()) reader_.join();
        if (read_ >= 0) Close(read_);
    }
    bool Ok() const {
        return write_ != nullptr && read_ >= 0;
    }
    std::FILE* Write() const {
        return write_;
    }

    void Start(std::function<void(const std::string&)> line) {
        reader_ = std::thread([this, line = std::move(line)] {
            std::string pending;
            char buffer[512];
            for (;;) {
                const auto n = Read(read_, buffer, sizeof buffer);
                if (n <= 0) break;
                pending.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    line(pending.substr(0, end));
                    pending.erase(0, end + 1);
                }
            }
            if (!pending.empty()) line(pending);
        });
    }
    // The reader sees the end once everything written has been read.
    void CloseWrite() {
        if (write_ != nullptr) std::fclose(write_);
        write_ = nullptr;
    }
    void Join() {
        CloseWrite();
        if (reader_.joinable()) reader_.join();
    }

private:
    static long Read(int fd, char* b, std::size_t n) {
#ifdef _WIN32
        return _read(fd, b, static_cast<unsigned>(n));
#else
        long r;
        do r = static_cast<long>(::read(fd, b, n));
        while (r < 0 && errno == EINTR);
        return r;
#endif
    }
    static void Close(int fd) {
#ifdef _WIN32
        _close(fd);
#else
        ::close(fd);
#endif
    }

    std::FILE* write_ = nullptr;
    int read_ = -1;
    std::thread reader_;
};

// The port's front end: the CLI's, with its stage and percent also on the board.
class BoardFrontend final : public CliFrontend {
public:
    BoardFrontend(CliFrontend::Options o, std::FILE* out, std::FILE* err, PortBoard& board,
                  std::size_t index)
        : CliFrontend(o, out, err, nullptr), board_(board), index_(index) {}
    void ShowStage(int number, int count, const std::string& name) override {
        if (number > 0)
            board_.Stage(index_, std::to_string(number) + "/" + std::to_string(count) + " " + name);
    }

protected:
    void OnProgress(int min, int max, int position) override {
        CliFrontend::OnProgress(min, max, position);
        if (max > min)
            board_.Progress(index_, static_cast<int>(100LL * (position - min) / (max - min)));
    }

private:
    PortBoard& board_;
    std::size_t index_;
};

bool IsImageName(const fs::path& name) {
    std::string lower = name.string();
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "prog.bin" || lower == "prog_c.bin" || lower == "data.bin";
}

struct Image {
    fs::path name;
    std::vector<std::uint8_t> bytes;
};

// The work folder's images, each read once.
std::vector<Image> ReadImages(const fs::path& folder) {
    std::vector<Image> images;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (!e.is_regular_file(ec) || !IsImageName(e.path().filename())) continue;
        if (auto bytes = ReadWholeFile(e.path()))
            images.push_back({e.path().filename(), std::move(*bytes)});
    }
    return images;
}

// Puts the images into the port's folder; names differing only in case from one
// of them are removed first, so the run finds exactly these bytes.
std::string PreparePortFolder(const fs::path& folder, const std::vector<Image>& images) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return "cannot create " + folder.string() + ": " + ec.message();
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file() && IsImageName(e.path().filename())) fs::remove(e.path(), ec);
    for (const Image& image : images)
        if (!WriteFileAtomic(folder / image.name, image.bytes))
            return "cannot write " + (folder / image.name).string();
    return {};
}

}  // namespace

std::string PortFolderName(const std::string& port) {
    std::string name;
    for (char ch : port) {
        const bool plain = std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '.' ||
                           ch == '_' || ch == '-';
        name += plain ? ch : '_';
    }
    const auto first = name.find_first_not_of('_');
    name = first == std::string::npos ? std::string() : name.substr(first);
    if (name.empty() || name == "." || name == "..") name = "port";
    return name;
}

std::vector<std::string> SplitPortList(const std::string& list) {
    std::vector<std::string> ports;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string name = list.substr(start, end - start);
        const auto a = name.find_first_not_of(" \t");
        const auto b = name.find_last_not_of(" \t");
        name = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
        if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end())
            ports.push_back(name);
        start = end + 1;
    }
    return ports;
}

int RunOnPorts(const Station& base, Controls& master, const PortsRequest& request,
               const PortCommand& command) {
    const std::size_t n = request.targets.size();
    std::vector<std::string> names;
    for (const PortTarget& t : request.targets) names.push_back(t.port);
    PortBoard board(names, request.live);
    board.SetJson(request.json, request.command);
    const std::vector<Image> images = ReadImages(base.place.workDir);
    const fs::path journal = base.place.journalPath.empty() ? base.place.workDir / "journal.csv"
                                                            : base.place.journalPath;

    std::vector<std::unique_ptr<Controls>> controls;
    for (std::size_t i = 0; i < n; ++i) controls.push_back(std::make_unique<Controls>());
    std::vector<int> statuses(n, kExitFailed);
    std::atomic<std::size_t> running{n};

    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < n; ++i) {
        workers.emplace_back([&, i] {
            const PortTarget& target = request.targets[i];
            const std::string& port = target.port;
            LinePipe out, err;
            if (!out.Ok() || !err.Ok()) {
                board.Done(i, kExitFailed, "", "", "", "no pipe for the port's output");
                --running;
                return;
            }
            out.Start([&board, i](const std::string& line) { board.Line(i, line, false); });
            err.Start([&board, i](const std::string& line) { board.Line(i, line, true); });
            PortOutcome outcome;
            {
                CliFrontend::Options o = request.ui;
                o.interactive = false;
                o.progressBar = false;
                o.liveLog = false;
                BoardFrontend ui(o, out.Write(), err.Write(), board, i);
                Station station{ui, base.clock, base.opener, base.settings, base.place};
                station.settings.NamePort = port;
                if (target.baud > 0) station.settings.BaudRate = target.baud;
                if (target.address > 0) station.settings.AdrPribor = target.address;
                station.place.workDir = base.place.workDir / "ports" / PortFolderName(port);
                station.place.journalPath = journal;
                const std::string refusal = PreparePortFolder(station.place.workDir, images);
                if (refusal.empty()) {
                    outcome = command(station, *controls[i], ui);
                } else {
                    ui.AppendLine(refusal);
                    outcome.status = kExitFailed;
                    outcome.run.note = refusal;
                }
            }
            out.Join();
            err.Join();
            statuses[i] = outcome.status;
            // A journaled run said its end itself; a port that never got that far says it here.
            if (request.json && outcome.runId.empty() && !outcome.endSaid)
                request.json->RunEnd(request.command, port, outcome.runId, outcome.run,
                                     outcome.status);
            board.Done(i, outcome.status, std::string(RunResultText(outcome.run.result)),
                       outcome.run.serial, std::string(RunPhaseText(outcome.run.phase)),
                       outcome.run.note);
            --running;
        });
    }

    // Stops asked of the process reach every port; the chip is at risk while any is.
    bool stopSeen = false, abortSeen = false;
    while (running > 0) {
        const bool stop = master.StopRequested, abort = master.AbortRequested;
        for (auto& c : controls) {
            if (stop && !stopSeen) c->StopRequested = true;
            if (abort && !abortSeen) c->AbortRequested = true;
        }
        stopSeen = stop;
        abortSeen = abort;
        master.ChipAtRisk = std::any_of(controls.begin(), controls.end(),
                                        [](const auto& c) { return c->ChipAtRisk.load(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (auto& w : workers) w.join();
    master.ChipAtRisk = false;
    if (!request.json) board.Summary();
    int status = kExitDone;
    for (int s : statuses) status = WorseStatus(status, s);
    return status;
}

}  // namespace zentor::cli
