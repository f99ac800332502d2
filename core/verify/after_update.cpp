#include "verify/after_update.h"

#include "common/files.h"
#include "common/sha256.h"
#include "journal/journal.h"
#include "text/message.h"
#include "verify/restore.h"

namespace zentor {

std::optional<UpdateCheck> CheckAfterUpdate(Job& s, const std::filesystem::path& dataFrom) {
    UpdateCheck c;
    // A keep-mode update (and the jumper path with a named image) wrote exactly the
    // bytes of the file it names as its backup: its reading, a named file, or an
    // unfinished run's backup written back instead of a reading.
    // It is the file of the record (its DATA FLASH source or its backup) whose
    // SHA-256 is that of the bytes written.
    std::filesystem::path written;
    for (const std::string* name : {&s.run.dataSource, &s.run.backupPath}) {
        if (!dataFrom.empty() || !written.empty() || name->empty()) continue;
        std::filesystem::path p = PathFromUtf8(*name);
        if (p.is_relative()) p = s.workDir / p;
        if (Sha256OfFile(p) == std::optional<std::string>(s.run.dataSha256)) written = p;
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
        s.ui.Say(
            ZT("file.cannot_open", "Невозможно открыть файл {0}", c.source.filename().string()));
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
