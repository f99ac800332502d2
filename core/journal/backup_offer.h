// The offer made on the jumper path: when the journal holds an update that
// reached the erase, did not end in success and whose backup still exists, that
// backup is proposed as the DATA FLASH source instead of data.bin. Reads the
// journal once; no port traffic, no waiting.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "common/session.h"

namespace zentor {

struct BackupOffer {
    std::string serial;
    std::filesystem::path backup;  // exists when offered
    std::string runTime;           // when the unfinished run started
    std::string reason;            // why it is not trusted, Russian
};

// The most recent unfinished update with an existing backup, preferring runs on
// this computer's port s.settings.NamePort. nullopt when there is none or the
// journal cannot be read.
std::optional<BackupOffer> OfferBackupForJumper(const Session& s);

// Window: the Yes/No question asked before the jumper questions.
std::string BackupOfferQuestion(const BackupOffer& offer);
// CLI: the lines to print, ending with the exact command that writes the backup.
std::string BackupOfferCliText(const Session& s, const BackupOffer& offer);
// The command line alone: zentor-cli update --mode keep ... --data-from FILE.
std::string DataFromCommandLine(const Session& s, const std::filesystem::path& backup);
// The same update that writes the instrument's new reading: ... --use-reading.
std::string UseReadingCommandLine(const Session& s);
// The factory update of the same instrument by the jumper (data.bin).
std::string FactoryUpdateCommandLine(const Session& s);

}  // namespace zentor
