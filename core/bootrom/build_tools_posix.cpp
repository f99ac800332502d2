#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "bootrom/build_tools.h"
#include "common/cp1251.h"
#include "common/files.h"

extern char** environ;

namespace zentor {

namespace {

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more;
        if (c < 0x80) {
            more = 0;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= more; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += more + 1;
    }
    return true;
}

void EmitLine(std::string line, const BuildToolRunner::LineSink& onLine) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    onLine(IsUtf8(line) ? line : Cp1251ToUtf8(line));
}

bool IsExecutableFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

class PosixToolRunner final : public BuildToolRunner {
public:
    ToolRun Run(const std::string& program, const std::vector<std::string>& args,
                const std::filesystem::path& dir, const LineSink& onLine) override {
        const std::filesystem::path tool = FindTool(program, dir);
        if (tool.empty()) return ToolRun::NotFound;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return ToolRun::Failed;

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());

        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);

        pid_t pid = 0;
        // The found path, made absolute: the child starts in dir.
        const std::string toolPath = std::filesystem::absolute(tool).string();
        const int rc =
            ::posix_spawn(&pid, toolPath.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            return ToolRun::Failed;
        }

        std::string pending;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos;
                 start = nl + 1) {
                EmitLine(pending.substr(start, nl - start), onLine);
            }
            pending.erase(0, start);
        }
        ::close(fds[0]);
        if (!pending.empty()) EmitLine(pending, onLine);

        int status = 0;
        pid_t waited;
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        return waited == pid ? ToolRun::Finished : ToolRun::Failed;
    }
};

}  // namespace

std::filesystem::path FindTool(const std::string& program, const std::filesystem::path& dir) {
    if (program.empty() || program.find('/') != std::string::npos) return {};
    std::vector<std::filesystem::path> folders{dir.empty() ? std::filesystem::path(".") : dir};
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest(path);
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            // An empty entry is the current folder, searched first already.
            if (!entry.empty()) folders.emplace_back(std::string(entry));
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    for (const std::filesystem::path& folder : folders) {
        const std::filesystem::path candidate = ResolveNoCase(folder, program);
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

std::unique_ptr<BuildToolRunner> MakeSystemToolRunner() {
    return std::make_unique<PosixToolRunner>();
}

}  // namespace zentor
