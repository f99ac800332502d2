// zentor-cli on a terminal: lines the window replaces are rewritten in place,
// lines the window clears stay; piped, it stays one line per log line.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/bytes.h"
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
        // The read's lines (two rows each) stay when the restart after it clears
        // the log: a blank line instead.
        {"read-data",
         {"--version-code", "120"},
         {"(Ctrl-C - остановить", " чтение данных)", "Чтение данных из Vel", "mar120",
          "Чтение DATA FLASH ..", ".", "Чтение DATA FLASH -", "Ok", "", "Restart - OK"}},
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

// A keep update on a terminal: everything the window clears on the way (the
// identity, both readings, Prog, Restart) is still on the screen, in the order
// the piped run prints it; only "Prog ..." and the countdown are rewritten, one
// row at a time, and nothing else is ever erased.
TEST(CliTerminal, KeepUpdateKeepsEarlierLines) {
    const ScratchDir scratch("cli-tty-upd");
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.TypeController = 4;
    st.SizeData = 2048;
    st.MaxKolReadings = 2;
    WriteConfig(scratch / "z.ini", st);
    Bytes program = Pattern(8192, 1);
    ScrambleImage(program);
    const auto runIn = [&](const std::string& name, bool terminal) {
        const fs::path dir = scratch / name;
        fs::create_directories(dir);
        EXPECT_TRUE(WriteFileAtomic(dir / "prog_c.bin", program));
        EXPECT_TRUE(WriteFileAtomic(dir / "data.bin", Pattern(2048, 3)));
        EXPECT_TRUE(WriteFileAtomic(dir / "old.bin", Pattern(6144, 2)));
        EXPECT_TRUE(WriteFileAtomic(dir / "cal.bin", Pattern(2048, 4)));
        SimProcess sim(
            {"--code-file", (dir / "old.bin").string(), "--data-file", (dir / "cal.bin").string()});
        const std::vector<std::string> args = {"--config", (scratch / "z.ini").string(),
                                               "update",   "--mode",
                                               "keep",     "--yes",
                                               "--port",   sim.DevicePath(),
                                               "--dir",    dir.string()};
        return terminal ? RunOnTerminal(args, 80) : RunCli(args).out;
    };
    const std::string output = runIn("tty", true);
    const Lines screen = Screen(output, 80);
    const std::string shown = ::testing::PrintToString(screen);

    for (const char* kept : {"Устройство: Velmar 7  s/n: 14v071510.", "1-e чтение DATA FLASH - Ok",
                             "2-e чтение DATA FLASH - Ok", "Prog - Ok", "Restart - OK"})
        EXPECT_NE(std::find(screen.begin(), screen.end(), kept), screen.end()) << kept << "\n"
                                                                               << shown;
    EXPECT_EQ(std::count(screen.begin(), screen.end(), "Prog ..."), 0) << shown;
    EXPECT_EQ(std::count(screen.begin(), screen.end(), "Restart ..."), 0) << shown;

    // Every log line of the piped run but the replaced ones, in order.
    std::size_t at = 0;
    for (const auto& line : CliResult{0, runIn("piped", false), {}}.OutLines()) {
        // The backup's name carries the time of its own run.
        if (line.empty() || line == "Prog ..." || line == "Restart ..." ||
            line.rfind("Restart at ", 0) == 0 || line.rfind("Резервная копия", 0) == 0)
            continue;
        const auto found = std::find(screen.begin() + static_cast<long>(at), screen.end(), line);
        EXPECT_NE(found, screen.end()) << line << "\n" << shown;
        if (found != screen.end()) at = static_cast<std::size_t>(found - screen.begin()) + 1;
    }

    // Erasing goes up one row at most, and only from there to the end.
    const std::regex up("\033\\[([0-9]*)A");
    int moves = 0;
    for (std::sregex_iterator it(output.begin(), output.end(), up), end; it != end; ++it) {
        ++moves;
        EXPECT_EQ((*it)[1].str(), "1") << ::testing::PrintToString(output);
    }
    EXPECT_GT(moves, 0) << "Prog ... was not rewritten in place";
    EXPECT_EQ(output.find("\033[2J"), std::string::npos);
    EXPECT_EQ(output.find("\033[1J"), std::string::npos);
}

}  // namespace
}  // namespace zentor::test
