#include "journal/journal_query.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "common/sha256.h"
#include "journal/journal.h"

namespace zentor {

namespace {

bool InRange(const std::string& start, const JournalQuery& q) {
    if (!q.since.empty() && start.compare(0, q.since.size(), q.since) < 0) return false;
    if (!q.until.empty() && start.compare(0, q.until.size(), q.until) > 0) return false;
    return true;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;  // UTF-8 passes through
                }
        }
    }
    return out + "\"";
}

bool LooksLikeSha256(const std::string& text) {
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

std::vector<JournalRun> SelectRuns(const std::vector<JournalRun>& runs, const JournalQuery& query) {
    const std::string sha = Lower(query.programSha256);
    std::vector<JournalRun> selected;
    for (const auto& run : runs) {
        const RunRecord& r = run.record;
        if (!query.serial.empty() && r.serial != query.serial) continue;
        if (!sha.empty() && Lower(r.programSha256) != sha) continue;
        if (query.calibration && r.backupPath.empty()) continue;
        if (!InRange(run.startTime, query)) continue;
        selected.push_back(run);
    }
    return selected;
}

BackupState BackupOf(const JournalRun& run) {
    BackupState state{run.record.backupPath, std::nullopt};
    if (state.path.empty()) return state;
    std::filesystem::path file = PathFromUtf8(state.path);
    if (file.is_relative() && !run.folder.empty()) file = PathFromUtf8(run.folder) / file;
    state.sha256 = Sha256OfFile(file);
    return state;
}

std::string RunJson(const JournalRun& run, const std::optional<BackupState>& backup) {
    const RunRecord& r = run.record;
    std::string json = "{";
    auto field = [&json](const char* name, const std::string& value) {
        if (json.size() > 1) json += ",";
        json += JsonQuoted(name) + ":" + value;
    };
    auto text = [&](const char* name, const std::string& value) { field(name, JsonQuoted(value)); };
    text("run", run.runId);
    text("start", run.startTime);
    if (!run.endTime.empty()) text("end", run.endTime);
    text("computer", run.computer);
    text("folder", run.folder);
    text("command", r.command);
    if (!r.mode.empty()) text("mode", r.mode);
    text("serial", r.serial);
    if (!r.model.empty()) text("model", r.model);
    text("port", r.port);
    if (r.baud > 0) field("baud", std::to_string(r.baud));
    text("result", run.finished ? std::string(RunResultText(r.result)) : "unfinished");
    text("phase", std::string(RunPhaseText(r.phase)));
    field("unconfirmed", std::to_string(r.unconfirmed));
    if (!r.programName.empty()) text("program", r.programName);
    if (!r.programSha256.empty()) text("program_sha256", r.programSha256);
    if (!r.dataSource.empty()) text("data_source", r.dataSource);
    if (!r.dataSha256.empty()) text("data_sha256", r.dataSha256);
    if (!r.backupPath.empty()) text("backup", r.backupPath);
    if (backup) field("backup_sha256", backup->sha256 ? JsonQuoted(*backup->sha256) : "null");
    if (run.durationMs >= 0) field("duration_ms", std::to_string(run.durationMs));
    if (!r.note.empty()) text("note", r.note);
    return json + "}";
}

}  // namespace zentor
