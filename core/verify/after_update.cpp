#include "verify/after_update.h"

#include "common/files.h"
#include "verify/restore.h"

namespace zentor {

std::optional<UpdateCheck> CheckAfterUpdate(Session& s, const std::filesystem::path& dataFrom) {
    UpdateCheck c;
    const bool keep = dataFrom.empty() && s.UpdateMode == UpdateMode::Keep;
    if (!dataFrom.empty())
        c.source = dataFrom;
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
    } else {
        c.restoreFile = c.source;
    }
    return c;
}

}  // namespace zentor
