#include "close_loop.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli_text.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "journal/journal.h"
#include "verify/after_update.h"
#include "verify/restore.h"
#include "verify/verify.h"

namespace zentor::cli {
namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"'") == std::string::npos) return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string CommandLine(const CloseLoopCommands& c, const std::string& command,
                        const fs::path& file, bool force) {
    std::string line = "zentor-cli";
    for (const auto& a : c.connection) line += " " + Quoted(a);
    line += " " + command + " " + Quoted(file.lexically_normal().generic_string());
    if (force) line += " --force";
    return line;
}

bool AddressOk(Job& s) {
    if (auto refusal = AddressRefusal(s.settings.AdrPribor)) {
        s.ui.AppendLine(*refusal);
        return false;
    }
    return true;
}

std::string RestoreLine(const CloseLoopCommands& c, const fs::path& file) {
    if (file.empty()) return {};
    return CommandLine(c, "restore", file, !BackupSerial(file));
}

}  // namespace

void AddVerifyAfterUpdate(CLI::App& update, CloseLoopCommands& c) {
    c.verifyAfterUpdate =
        update
            .add_flag("--verify{" + std::to_string(kVerifyWaitSeconds) + "}", c.verifySeconds,
                      "after the power cycle wait up to SECONDS (120) for the instrument, "
                      "then compare its DATA FLASH with what was written")
            ->check(CLI::Range(0, 86400));
}

void AddVerifyOptions(CLI::App& verify, CloseLoopCommands& c) {
    verify.add_option("--against", c.against, "the image that should be there")
        ->required()
        ->check(CLI::ExistingFile);
    verify.add_option("--wait", c.waitSeconds, "seconds to wait for an answer (120)")
        ->check(CLI::Range(0, 86400));
}

void AddRestoreOptions(CLI::App& restore, CloseLoopCommands& c) {
    restore.add_option("FILE", c.restoreFile, "backup/<serial>_<time>_data.bin")->required();
    restore.add_flag("--force", c.force,
                     "write even when the serial number in the name is another or missing");
}

std::vector<std::string> ConnectionArgs(int argc, char** argv) {
    std::vector<std::string> out;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        for (const char* name :
             {"--config", "--port", "--baud", "--address", "--dir", "--journal"}) {
            const std::string n = name;
            if (a == n && i + 1 < argc) {
                out.push_back(a);
                out.push_back(argv[++i]);
            } else if (a.rfind(n + "=", 0) == 0) {
                out.push_back(a);
            }
        }
    }
    return out;
}

bool PrepareVerifyAfterUpdate(Job& s, CloseLoopCommands& c) {
    if (!c.check) return false;
    const UpdateCheck& check = *c.check;
    VerifyRequest& request = c.request;
    request.expected = check.expected;
    request.expectedSerial = check.serial;
    // Without --verify (a --loop verifies anyway) the flag's own default.
    const bool given = c.verifyAfterUpdate != nullptr && c.verifyAfterUpdate->count() > 0;
    request.waitSeconds = given ? c.verifySeconds : kVerifyWaitSeconds;
    request.restoreCommand = RestoreLine(c, check.restoreFile);
    request.source = PathToUtf8(check.source);
    request.backup = PathToUtf8(check.restoreFile);
    s.ui.AppendLine("");
    s.ui.Say(ZT("verify.after_power_up", "Проверка после включения: сравнение DATA FLASH с {0}",
                check.source.filename().string()));
    return true;
}

bool PrepareVerify(Job& s, CloseLoopCommands& c) {
    if (!AddressOk(s)) return false;
    const fs::path file = c.against;
    auto data = ReadWholeFile(file);
    if (!data) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", file.filename().string()));
        return false;
    }
    VerifyRequest& request = c.request;
    request.expected = std::move(*data);
    request.expectedSerial = BackupSerial(file).value_or("");
    request.waitSeconds = c.waitSeconds;
    request.restoreCommand = RestoreLine(c, file);
    request.source = PathToUtf8(file);
    if (BackupSerial(file)) request.backup = request.source;
    return true;
}

int VerifyOnPort(Job& s, const CloseLoopCommands& c) {
    return VerifyDataFlash(s, c.request).outcome == VerifyOutcome::Equal ? 0 : 1;
}

bool PrepareRestore(Job& s, const CloseLoopCommands&) {
    return AddressOk(s);
}

int RestoreOnPort(Job& s, const CloseLoopCommands& c) {
    RestoreRequest request;
    request.file = c.restoreFile;
    request.force = c.force;
    const RestoreReport r = RestoreDataFlash(s, request);
    if (r.outcome == RestoreOutcome::NoInstrument)
        s.ui.AppendLine(CommandLine(c, "update --data-from", request.file, false));
    if (r.outcome == RestoreOutcome::Refused && r.mismatch)
        PrintLine(stderr, ZT("restore.force_hint", "--force: записать всё равно"));
    return r.outcome == RestoreOutcome::Equal ? 0 : 1;
}

}  // namespace zentor::cli
