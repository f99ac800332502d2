#include "journal/instrument_run.h"

#include <exception>

#include "common/files.h"
#include "common/sha256.h"
#include "journal/folder_lock.h"
#include "journal/journal.h"

namespace fs = std::filesystem;

namespace zentor {
namespace {

std::string AbsoluteText(const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    return PathToUtf8((ec ? p : abs).lexically_normal());
}

JournalLine LineFor(const Session& s, JournalEvent event) {
    JournalLine line;
    line.time = JournalTimeNow();
    line.computer = ComputerName();
    line.event = event;
    line.runId = s.journalRunId;
    line.folder = AbsoluteText(s.workDir);
    line.record = s.run;
    return line;
}

bool Append(Session& s, const JournalLine& line) {
    std::string error;
    if (AppendJournalLine(JournalPathFor(s), line, &error)) return true;
    s.ui.AppendLine("Журнал не записан: " + PathToUtf8(JournalPathFor(s)) + ": " + error);
    return false;
}

std::string HashOf(const Session& s, const std::string& name) {
    return Sha256OfFile(ResolveNoCase(s.workDir, name)).value_or("");
}

// The images the command takes from the work folder unless it says otherwise.
void NoteDefaultImages(Session& s) {
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

void NoteProgramImage(Session& s, const std::string& name) {
    s.run.programName = name;
    s.run.programSha256 = HashOf(s, name);
}

void NoteDataSource(Session& s, const std::string& name) {
    s.run.dataSource = name;
    s.run.dataSha256 = HashOf(s, name);
}

fs::path JournalPathFor(const Session& s) {
    return s.journalPath.empty() ? s.workDir / "journal.csv" : s.journalPath;
}

std::string ProgramNameOf(const Session& s) {
    std::string name = s.exePath.stem().string();
    return name.empty() ? "zentor" : name;
}

bool RunFolderCommand(Session& s, const std::string& command, const std::function<bool()>& body) {
    FolderLock lock = FolderLock::Acquire(s.workDir, ProgramNameOf(s), command);
    if (lock.status() == FolderLock::Status::Busy) {
        s.ui.AppendLine("Папка " + AbsoluteText(s.workDir) + " занята: в ней работает " +
                        lock.detail() + ". Команда не выполнена.");
        return false;
    }
    if (!lock.held() && lock.status() != FolderLock::Status::Unwritable) {
        s.ui.AppendLine("Не удалось занять папку: " + lock.detail() + ". Команда не выполнена.");
        return false;
    }
    return body();
}

bool RunInstrumentCommand(Session& s, const std::string& command,
                          const std::function<bool()>& body) {
    return RunFolderCommand(s, command, [&] {
        s.run = RunRecord{};
        s.run.command = command;
        s.run.port = s.settings.NamePort;
        s.run.baud = s.settings.BaudRate;
        s.run.address = s.settings.AdrPribor;
        NoteDefaultImages(s);
        s.journalRunId = NewRunId();
        if (!Append(s, LineFor(s, JournalEvent::Start))) {
            s.journalRunId.clear();
            s.ui.AppendLine("Команда не выполнена.");
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
            s.journalRunId.clear();
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
        finish(ok);
        return ok;
    });
}

bool JournalReachedErase(Session& s) {
    if (s.journalRunId.empty()) return true;
    if (s.run.phase < RunPhase::Erase) s.run.phase = RunPhase::Erase;
    return Append(s, LineFor(s, JournalEvent::Erase));
}

}  // namespace zentor
