// Runs zentor-cli as a child process for the integration tests: arguments, stdin
// from /dev/null (no terminal), stdout and stderr captured, exit status.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/cp1251.h"
#include "config/config_store.h"
#include "support/scratch_dir.h"

namespace zentor::test {

struct CliResult {
    int status = -1;  // exit status; 128 + signal when killed
    std::string out;
    std::string err;
    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts `exe` with args; `whileRunning` (if set) is called with the child's pid
// right after the start. Waits at most `timeout`, then kills it.
inline CliResult RunCli(const std::vector<std::string>& args,
                        std::function<void(pid_t)> whileRunning = {},
                        std::chrono::seconds timeout = std::chrono::seconds(120),
                        const std::string& exe = ZENTOR_CLI_PATH) {
    const ScratchDir scratch("cli-run");
    const std::filesystem::path& dir = scratch.path();
    const std::string outPath = (dir / "out").string();
    const std::string errPath = (dir / "err").string();

    std::vector<std::string> argv0{exe};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv0) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork");
    if (whileRunning) whileRunning(pid);

    CliResult r;
    int wstatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
}

// A configuration file holding every settings key of `settings`.
inline void WriteConfig(const std::filesystem::path& path, const Settings& settings) {
    std::string error;
    if (!SaveSettings(path, settings, &error)) throw std::runtime_error(error);
}

}  // namespace zentor::test
