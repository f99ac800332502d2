#include "journal_command.h"

#include "journal/journal.h"
#include "journal/journal_history.h"
#include "journal/journal_runs.h"

namespace zentor {

int PrintJournal(const std::filesystem::path& journal, const std::string& serial, std::FILE* out,
                 std::FILE* err) {
    int malformed = 0;
    auto lines = ReadJournal(journal, &malformed);
    if (!lines) {
        std::fprintf(err, "Журнал не прочитан: %s\n", PathToUtf8(journal).c_str());
        return 1;
    }
    const auto history = JournalHistoryLines(MergeRuns(*lines), serial);
    for (const auto& line : history) std::fprintf(out, "%s\n", line.c_str());
    if (history.empty())
        std::fprintf(err, serial.empty() ? "Журнал пуст: %s\n" : "В журнале нет прибора %s\n",
                     serial.empty() ? PathToUtf8(journal).c_str() : serial.c_str());
    if (malformed > 0) std::fprintf(err, "Строк журнала не разобрано: %d\n", malformed);
    return 0;
}

}  // namespace zentor
