#include "many_ports.h"

#include <cstdio>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli_args.h"
#include "gang/each_port.h"
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
    void InstrumentIdentified(const std::string& serial) override { board_.Serial(index_, serial); }

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

}  // namespace

int RunOnPorts(const Station& base, Controls& master, const PortsRequest& request,
               const PortCommand& command) {
    const std::size_t n = request.targets.size();
    std::vector<std::string> names;
    for (const PortTarget& t : request.targets) names.push_back(t.port);
    PortBoard board(names, request.live);
    board.SetJson(request.json, request.command);
    const std::vector<FolderImage> images = ReadFolderImages(base.place.workDir);
    const fs::path journal = SharedJournalPath(base.place);
    std::vector<int> statuses(n, kExitFailed);

    // Stops asked of the process reach every port; the chip is at risk while any is.
    RunEachPort(n, master, base.clock, [&](std::size_t i, Controls& controls) {
        const PortTarget& target = request.targets[i];
        const std::string& port = target.port;
        LinePipe out, err;
        if (!out.Ok() || !err.Ok()) {
            board.Done(i, kExitFailed, "", "", "", "no pipe for the port's output");
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
            const Station station = PortStation(base, ui, target, journal);
            const std::string refusal = PreparePortFolder(station.place.workDir, images);
            if (refusal.empty()) {
                outcome = command(station, controls, ui);
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
            request.json->RunEnd(request.command, port, outcome.runId, outcome.run, outcome.status);
        board.Done(i, outcome.status, std::string(RunResultText(outcome.run.result)),
                   outcome.run.serial, std::string(RunPhaseText(outcome.run.phase)),
                   outcome.run.note);
    });
    if (!request.json) board.Summary();
    int status = kExitDone;
    for (int s : statuses) status = WorseStatus(status, s);
    return status;
}

}  // namespace zentor::cli
