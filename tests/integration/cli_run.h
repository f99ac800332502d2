// Runs zentor-cli as a child process for the integration tests: arguments, stdin
// from /dev/null (no terminal), stdout and stderr captured (or stdout read from a
// pipe), exit status.
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

namespace cli_run_detail {

// Forks and runs `exe` with `args`: standard input /dev/null, standard output
// `outFd`, standard error the file `errPath`, signals as a shell leaves them;
// the environment `envp` (NULL-terminated) when given, else the test's own.
inline pid_t Start(const std::string& exe, const std::vector<std::string>& args, int outFd,
                   const std::string& errPath, int closeInChild = -1, char* const* envp = nullptr) {
    std::vector<std::string> argv0{exe};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv0) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, STDIN_FILENO);
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::close(outFd);
        if (closeInChild >= 0) ::close(closeInChild);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        if (envp)
            ::execve(argv[0], argv.data(), envp);
        else
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork");
    return pid;
}

// Polls the child every `step` until it ended, calling `each` meanwhile; kills it
// at `timeout`. The exit status as a shell gives it (128 + signal).
inline int Wait(pid_t pid, std::chrono::seconds timeout, std::chrono::milliseconds step,
                const std::function<void()>& each = {}) {
    int wstatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (each) each();
        if (::waitpid(pid, &wstatus, WNOHANG) == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(step);
    }
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

// RunCli's body; `envp` as Start takes it.
inline CliResult RunCaptured(const std::vector<std::string>& args,
                             const std::function<void(pid_t)>& whileRunning,
                             std::chrono::seconds timeout, const std::string& exe,
                             char* const* envp) {
    const ScratchDir scratch("cli-run");
    const std::string outPath = (scratch.path() / "out").string();
    const std::string errPath = (scratch.path() / "err").string();
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) throw std::runtime_error("open " + outPath);
    pid_t pid = -1;
    try {
        pid = Start(exe, args, out, errPath, -1, envp);
    } catch (...) {
        ::close(out);
        throw;
    }
    ::close(out);
    if (whileRunning) whileRunning(pid);
    CliResult r;
    r.status = Wait(pid, timeout, std::chrono::milliseconds(20));
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
}

}  // namespace cli_run_detail

// Starts `exe` with args; `whileRunning` (if set) is called with the child's pid
// right after the start. Waits at most `timeout`, then kills it.
inline CliResult RunCli(const std::vector<std::string>& args,
                        std::function<void(pid_t)> whileRunning = {},
                        std::chrono::seconds timeout = std::chrono::seconds(120),
                        const std::string& exe = ZENTOR_CLI_PATH) {
    return cli_run_detail::RunCaptured(args, whileRunning, timeout, exe, nullptr);
}

// As RunCli, in the environment `env` alone ("NAME=value" each).
inline CliResult RunCliIn(const std::vector<std::string>& env, const std::vector<std::string>& args,
                          std::chrono::seconds timeout, const std::string& exe) {
    std::vector<std::string> words = env;
    std::vector<char*> envp;
    for (auto& w : words) envp.push_back(w.data());
    envp.push_back(nullptr);
    return cli_run_detail::RunCaptured(args, {}, timeout, exe, envp.data());
}

// As RunCli, but standard output is a pipe the test reads line by line, as a
// `| head` would: `keepReading` gets each line and, once it returns false, the
// pipe's reading end is closed while the tool still runs. `out` holds the lines
// read.
inline CliResult RunCliIntoPipe(const std::vector<std::string>& args,
                                const std::function<bool(const std::string&)>& keepReading,
                                std::chrono::seconds timeout = std::chrono::seconds(120),
                                const std::string& exe = ZENTOR_CLI_PATH) {
    const ScratchDir scratch("cli-pipe");
    const std::string errPath = (scratch.path() / "err").string();
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_t pid = -1;
    try {
        pid = cli_run_detail::Start(exe, args, fds[1], errPath, fds[0]);
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    CliResult r;
    int reader = fds[0];
    std::string pending;
    r.status = cli_run_detail::Wait(pid, timeout, std::chrono::milliseconds(5), [&] {
        if (reader < 0) return;
        char buffer[4096];
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n > 0) pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; reader >= 0 && (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            r.out += line + "\n";
            if (!keepReading(line)) {
                ::close(reader);
                reader = -1;
            }
        }
    });
    if (reader >= 0) ::close(reader);
    r.err = Slurp(errPath);
    return r;
}

// A configuration file holding every settings key of `settings`.
inline void WriteConfig(const std::filesystem::path& path, const Settings& settings) {
    std::string error;
    if (!SaveSettings(path, settings, &error)) throw std::runtime_error(error);
}

}  // namespace zentor::test
