// The journal as a readable history: one line per run, its start, erase and end
// lines merged; a run without an end line is shown as unfinished. Pure text
// formatting over parsed runs.
#pragma once

#include <string>
#include <vector>

#include "journal/journal_runs.h"

namespace zentor {

// Oldest first; only runs of `serial` when it is not empty.
std::vector<std::string> JournalHistoryLines(const std::vector<JournalRun>& runs,
                                             const std::string& serial);

// "успешно", "ошибка", "не подтверждено", "прервано", "отказ", "не завершено".
std::string RunOutcomeText(const JournalRun& run);

}  // namespace zentor
