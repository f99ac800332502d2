// zentor-cli on a terminal: the log is rendered as the window shows it (lines
// the window replaces are rewritten in place); piped, it stays one line per
// log line.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli_run.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Runs the CLI on a fresh pseudo-terminal of `columns` x 24; everything it
// printed (stdout and stderr share the terminal, as in a shell).
std::string RunOnTerminal(const std::vector<std::string>& args, int columns) {
    std::vector<std::string> words{ZENTOR_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    EXPECT_GT(pid, 0);
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO: the child has closed the terminal
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

// What a terminal of `columns` columns shows after `output`: the lines of the
// screen, trailing empty ones dropped. Knows the few sequences the CLI uses.
Lines Screen(const std::string& output, std::size_t columns) {
    std::vector<std::vector<std::string>> rows(1);  // cells, one UTF-8 character each
    std::size_t row = 0, col = 0;
    for (std::size_t i = 0; i < output.size();) {
        const char c = output[i];
        if (c == '\033' && i + 1 < output.size() && output[i + 1] == '[') {
            std::size_t j = i + 2;
            int n = 0;
            while (j < output.size() && std::isdigit(static_cast<unsigned char>(output[j])))
                n = n * 10 + (output[j++] - '0');
            const char op = j < output.size() ? output[j] : '?';
            if (op == 'A') row -= std::min<std::size_t>(row, n == 0 ? 1 : n);
            if (op == 'J') rows.resize(row + 1);
            if (op == 'J' || op == 'K')
                if (rows[row].size() > col) rows[row].resize(col);
            i = j + 1;
            continue;
        }
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            if (++row == rows.size()) rows.emplace_back();
        } else {
            std::size_t len = 1;
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0xF0)
                len = 4;
            else if (u >= 0xE0)
                len = 3;
            else if (u >= 0xC0)
                len = 2;
            if (col == columns) {  // the terminal wraps before the next character
                col = 0;
                if (++row == rows.size()) rows.emplace_back();
            }
            if (rows[row].size() <= col) rows[row].resize(col + 1, " ");
            rows[row][col++] = output.substr(i, len);
            i += len;
            continue;
        }
        ++i;
    }
    Lines screen;
    for (const auto& cells : rows) {
        std::string line;
        for (const auto& cell : cells) line += cell;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        screen.push_back(line);
    }
    while (!screen.empty() && screen.back().empty()) screen.pop_back();
    return screen;
}

TEST(CliTerminal, ReplacedLinesAreRewrittenInPlace) {
    const ScratchDir scratch("cli-tty");
    Settings st;
    st.SizeData = 256;
    st.MaxKolReadings = 1;
    WriteConfig(scratch / "z.ini", st);
    const struct {
        const char* command;
        std::vector<std::string> simArgs;
        Lines screen;  // at 20 columns: lines of more than 20 characters take two rows
    } cases[] = {
        // "Prog ..." replaced by "Prog - Ok".
        {"prog", {}, {"Prog - Ok"}},
        // The countdown "Restart at 0 sec", "Restart at -1 sec", then "Restart ...".
        {"restart", {}, {"Restart - OK"}},
        {"restart", {"--no-answer"}, {"Нет связи с устройст", "вом!"}},
        // The read's lines (two rows each) cleared by the restart after it; the
        // hint for Ctrl-C is not a log line and stays.
        {"read-data",
         {"--version-code", "120"},
         {"(Ctrl-C - остановить", " чтение данных)", "Restart - OK"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command + (c.simArgs.empty() ? std::string() : " " + c.simArgs[0]));
        SimProcess sim(c.simArgs);
        const std::vector<std::string> args = {
            "--config", (scratch / "z.ini").string(), c.command, "--port", sim.DevicePath(),
            "--dir",    scratch.path().string()};
        const std::string output = RunOnTerminal(args, 20);
        EXPECT_EQ(Screen(output, 20), c.screen) << ::testing::PrintToString(output);
        // Piped, every log line stays.
        if (std::string(c.command) == "prog") {
            SimProcess again({});
            std::vector<std::string> piped = args;
            piped[4] = again.DevicePath();
            EXPECT_EQ(RunCli(piped).OutLines(), (Lines{"Prog ...", "Prog - Ok"}));
        }
    }
}

}  // namespace
}  // namespace zentor::test
