#include "journal_command.h"

#include "cli_text.h"
#include "common/sha256.h"
#include "journal/journal.h"
#include "journal/journal_history.h"
#include "journal/journal_query.h"
#include "journal/journal_runs.h"

namespace zentor {

void AddJournalOptions(CLI::App& command, JournalCommandOptions& o) {
    command.add_option("--serial", o.serial, "only the runs of this serial number");
    command.add_option("--firmware", o.firmware,
                       "only the runs that wrote this program (a file such as prog_c.bin, or "
                       "its SHA-256)");
    command.add_flag("--calibration", o.calibration,
                     "only the runs that made or wrote back a DATA FLASH backup, with the "
                     "backup's SHA-256 now");
    command.add_option("--since", o.since, "runs started at or after, e.g. 2026-12-01");
    command.add_option("--until", o.until, "runs started up to and including, e.g. 2026-12-31");
    command.add_flag("--json", o.json, "one JSON object a line");
}

int PrintJournal(const std::filesystem::path& journal, const JournalCommandOptions& o,
                 std::FILE* out, std::FILE* err) {
    JournalQuery query{o.serial, "", o.calibration, o.since, o.until};
    if (!o.firmware.empty()) {
        if (LooksLikeSha256(o.firmware)) {
            query.programSha256 = o.firmware;
        } else if (auto sha = Sha256OfFile(PathFromUtf8(o.firmware))) {
            query.programSha256 = *sha;
        } else {
            PrintLine(err, ZT("journal.file_unread", "Файл не прочитан: {0}", o.firmware));
            return 1;
        }
    }
    int malformed = 0;
    auto lines = ReadJournal(journal, &malformed);
    if (!lines) {
        PrintLine(err, ZT("journal.unread", "Журнал не прочитан: {0}", PathToUtf8(journal)));
        return 1;
    }
    const std::vector<JournalRun> runs = SelectRuns(MergeRuns(*lines), query);
    const std::vector<std::string> history =
        o.json ? std::vector<std::string>{} : JournalHistoryLines(runs, "");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const JournalRun& run = runs[i];
        const std::optional<BackupState> backup =
            o.calibration ? std::optional<BackupState>(BackupOf(run)) : std::nullopt;
        if (o.json) {
            const std::string object = RunJson(run, backup);
            if (o.events != nullptr)
                std::fprintf(o.events, "{\"v\":1,\"event\":\"record\",%s\n",
                             object.substr(1).c_str());
            else
                std::fprintf(out, "%s\n", object.c_str());
            continue;
        }
        std::fprintf(out, "%s\n", history[i].c_str());
        if (backup) {
            const std::string state = backup->sha256
                                          ? "SHA-256 " + *backup->sha256
                                          : Render(ZT("journal.backup_missing", "файл не найден"));
            PrintLine(out, ZT("journal.backup", "    копия {0}: {1}", backup->path, state));
        }
    }
    if (runs.empty()) {
        if (!o.serial.empty())
            PrintLine(err, ZT("journal.no_serial", "В журнале нет прибора {0}", o.serial));
        else if (!query.programSha256.empty())
            PrintLine(err, ZT("journal.no_program", "В журнале нет запусков с программой {0}",
                              query.programSha256));
        else if (o.calibration || !o.since.empty() || !o.until.empty())
            PrintLine(err, ZT("journal.no_runs", "В журнале нет таких запусков: {0}",
                              PathToUtf8(journal)));
        else
            PrintLine(err, ZT("journal.empty", "Журнал пуст: {0}", PathToUtf8(journal)));
    }
    if (malformed > 0)
        PrintLine(err, ZT("journal.malformed", "Строк журнала не разобрано: {0}", malformed));
    return 0;
}

}  // namespace zentor
