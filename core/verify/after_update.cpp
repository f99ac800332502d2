#include "verify/after_update.h"

#include "common/files.h"
#include "journal/journal.h"
#include "verify/restore.h"

namespace zentor {

std::optional<UpdateCheck> CheckAfterUpdate(Session& s, const std::filesystem::path& dataFrom) {
    UpdateCheck c;
    // A keep-mode update (and the jumper path with a named image) wrote exactly the
    // bytes of the file it names as its backup: its reading, a named file, or an
    // unfinished run's backup written back instead of a reading.
    std::filesystem::path written;
    if (dataFrom.empty() && !s.run.backupPath.empty()) {
        written = PathFromUtf8(s.run.backupPath);
        if (written.is_relative()) written = s.workDir / written;
    }
    const bool keep = dataFrom.empty() && written.empty() && s.UpdateMode == UpdateMode::Keep;
    if (!dataFrom.empty())
        c.source = dataFrom;
    else if (!written.empty())
        c.source = written;
    else
        c.source = ResolveNoCase(s.workDir, keep ? "data_rd.bin" : "data.bin");
    auto data = ReadWholeFile(c.source);
    if (!data) {
        s.ui.AppendLine("Невозможно открыть файл " + c.source.filename().string());
        return std::nullopt;
    }
    c.expected = std::move(*data);
    // The jumper path identifies nobody: any instrument that answers is checked.
    if (s.UpdateMode != UpdateMode::None) c.serial = s.SerialText;
    if (keep) {
        if (auto backup = NewestBackup(s.workDir, c.serial)) c.restoreFile = *backup;
    } else if (!written.empty()) {
        c.restoreFile = written;
    } else {
        c.restoreFile = c.source;
    }
    return c;
}

}  // namespace zentor
