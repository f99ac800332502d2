#include "station/instrument_run.h"

#include <cstdlib>
#include <exception>

#include "common/files.h"
#include "common/sha256.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"
#include "station/com_port.h"
#include "text/message.h"

namespace fs = std::filesystem;

namespace zentor {
namespace {

std::string AbsoluteText(const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    return PathToUtf8((ec ? p : abs).lexically_normal());
}

JournalLine LineFor(const Job& s, JournalEvent event) {
    JournalLine line;
    line.time = JournalTimeNow();
    line.computer = ComputerName();
    line.event = event;
    line.runId = s.journalRunId;
    line.folder = AbsoluteText(s.workDir);
    line.record = s.run;
    return line;
}

// Appends to the run's journal; when that fails, once to the fallback journal,
// which then takes the rest of the run's lines. False when neither took it.
bool Append(Job& s, const JournalLine& line) {
    std::string error;
    if (s.journalFallbackInUse.empty()) {
        if (AppendJournalLine(JournalPathFor(s), line, &error)) return true;
        s.ui.Say(ZT("journal.not_written", "Журнал не записан: {0}: {1}",
                    PathToUtf8(JournalPathFor(s)), error));
        const fs::path fallback = FallbackJournalPath();
        std::error_code ec;
        if (fallback.empty() || (fs::create_directories(fallback.parent_path(), ec), ec) ||
            !AppendJournalLine(fallback, line, &error))
            return false;
        s.journalFallbackInUse = fallback;
        s.ui.Say(ZT("journal.fallback", "Журнал этой команды ведётся в {0}", PathToUtf8(fallback)));
        return true;
    }
    if (AppendJournalLine(s.journalFallbackInUse, line, &error)) return true;
    s.ui.Say(ZT("journal.not_written", "Журнал не записан: {0}: {1}",
                PathToUtf8(s.journalFallbackInUse), error));
    return false;
}

std::string HashOf(const Job& s, const std::string& name) {
    return Sha256OfFile(ResolveNoCase(s.workDir, name)).value_or("");
}

// The images the command takes from the work folder unless it says otherwise.
void NoteDefaultImages(Job& s) {
    const std::string& c = s.run.command;
    if (c == "program") {
        NoteProgramImage(s, "prog.bin");
        NoteDataSource(s, "data.bin");
    } else if (c == "write-data") {
        NoteDataSource(s, "data.bin");
    } else if (c == "update") {
        NoteProgramImage(s, s.settings.TypeController == 0 ? "prog.bin" : "prog_c.bin");
    }
}

}  // namespace

void NoteProgramImage(Job& s, const std::string& name) {
    s.run.programName = name;
    s.run.programSha256 = HashOf(s, name);
}

void NoteDataSource(Job& s, const std::string& name) {
    s.run.dataSource = name;
    s.run.dataSha256 = HashOf(s, name);
}

fs::path JournalPathFor(const Job& s) {
    return s.journalPath.empty() ? s.workDir / "journal.csv" : s.journalPath;
}

fs::path FallbackJournalPath() {
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    if (base && *base) return PathFromUtf8(base) / "zentor" / "journal.csv";
#else
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return fs::path(data) / "zentor" / "journal.csv";
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".local" / "share" / "zentor" / "journal.csv";
#endif
    return {};
}

std::optional<std::vector<JournalLine>> ReadJournalsFor(const Job& s) {
    auto lines = ReadJournal(JournalPathFor(s));
    const fs::path fallback = FallbackJournalPath();
    std::error_code ec;
    if (fallback.empty() || fs::equivalent(fallback, JournalPathFor(s), ec)) return lines;
    auto more = ReadJournal(fallback);
    if (!lines) return more;
    if (more) lines->insert(lines->end(), more->begin(), more->end());
    return lines;
}

std::string ProgramNameOf(const Job& s) {
    std::string name = s.exePath.stem().string();
    return name.empty() ? "zentor" : name;
}

bool RunFolderCommand(Job& s, const std::string& command, const std::function<bool()>& body) {
    FolderLock lock = FolderLock::Acquire(s.workDir, ProgramNameOf(s), command);
    if (lock.status() == FolderLock::Status::Busy) {
        s.ui.Say(ZT("folder.busy", "Папка {0} занята: в ней работает {1}. Команда не выполнена.",
                    AbsoluteText(s.workDir), lock.detail()));
        return false;
    }
    if (!lock.held() && lock.status() != FolderLock::Status::Unwritable) {
        s.ui.Say(ZT("folder.lock_failed", "Не удалось занять папку: {0}. Команда не выполнена.",
                    lock.detail()));
        return false;
    }
    return body();
}

bool RunInstrumentCommand(Job& s, const std::string& command, const std::function<bool()>& body) {
    return RunFolderCommand(s, command, [&] {
        s.run = RunRecord{};
        s.run.command = command;
        s.run.port = s.settings.NamePort;
        s.run.baud = s.settings.BaudRate;
        s.run.address = s.settings.AdrPribor;
        NoteDefaultImages(s);
        s.journalRunId = NewRunId();
        s.journalFallbackInUse.clear();
        if (!Append(s, LineFor(s, JournalEvent::Start))) {
            s.journalRunId.clear();
            s.ui.Say(ZT("command.not_run", "Команда не выполнена."));
            return false;
        }
        const std::int64_t startMs = s.clock.NowMs();
        auto finish = [&](bool ok) {
            if (s.run.command == "update" && s.run.mode == "factory" && s.run.dataSource.empty())
                NoteDataSource(s, "data.bin");
            if (s.run.result == RunResult::None)
                s.run.result = ok ? RunResult::Ok : RunResult::Failed;
            if (s.run.result == RunResult::Ok && s.run.unconfirmed > 0)
                s.run.result = RunResult::Unconfirmed;
            JournalLine end = LineFor(s, JournalEvent::End);
            end.durationMs = s.clock.NowMs() - startMs;
            Append(s, end);
            s.endedRunId = s.journalRunId;
            s.journalRunId.clear();
            s.journalFallbackInUse.clear();
        };
        bool ok = false;
        try {
            ok = body();
        } catch (const std::exception& e) {
            if (s.run.note.empty()) s.run.note = e.what();
            s.run.result = RunResult::Failed;
            finish(false);
            throw;
        } catch (...) {
            s.run.result = RunResult::Failed;
            finish(false);
            throw;
        }
        // A port held open across commands (the window) went away during this one.
        if (ReportPortGone(s)) ok = false;
        finish(ok);
        return ok;
    });
}

bool JournalReachedErase(Job& s) {
    if (s.journalRunId.empty()) return true;
    if (s.run.phase < RunPhase::Erase) s.run.phase = RunPhase::Erase;
    // The instrument may already wait in its boot ROM: stopping now would leave it there.
    if (!Append(s, LineFor(s, JournalEvent::Erase)))
        s.ui.Say(ZT("journal.continues_without", "Запись продолжается без журнала"));
    return true;
}

}  // namespace zentor
