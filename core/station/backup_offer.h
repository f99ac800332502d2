// The offer made on the jumper path: when the journal holds an update that
// reached the erase, did not end in success and whose backup still exists, that
// backup is proposed as the DATA FLASH source instead of data.bin. Reads the
// journal once; no port traffic, no waiting.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "station/job.h"
#include "text/message.h"

namespace zentor {

struct BackupOffer {
    std::string serial;
    std::filesystem::path backup;  // exists when offered
    std::string runTime;           // when the run started
    std::string reason;            // why it is not trusted, Russian; empty for LatestOnPort
    // OpenFailure: an update that reached the erase and did not end well.
    // LatestOnPort: no such run on this port; the latest backup made on it.
    enum class Kind { OpenFailure, LatestOnPort } kind = Kind::OpenFailure;
    bool thisPort = false;  // made on this computer's port s.settings.NamePort
};

// The most recent unfinished update with an existing backup, preferring runs on
// this computer's port s.settings.NamePort. nullopt when there is none or the
// journal cannot be read.
std::optional<BackupOffer> OfferBackupForJumper(const Job& s);
// Where the instrument does not identify on this port: the open failure made on
// this port, else the latest backup made on this port, else an open failure made
// elsewhere. nullopt when the journal holds none of them.
std::optional<BackupOffer> OfferBackupForPort(const Job& s);

// "Стирание на этом порту в журнале не записано: ... вернётся прежняя прошивка ..."
Message NothingErasedOnPort();

// Window: the Yes/No question asked before the jumper questions.
std::string BackupOfferQuestion(const BackupOffer& offer);
// CLI: the lines to print, ending with the exact command that writes the backup.
// For a LatestOnPort offer they say first that a power cycle brings an instrument
// back unchanged when nothing was erased.
std::string BackupOfferCliText(const Job& s, const BackupOffer& offer);
// The command line alone: zentor-cli update --mode keep ... --data-from FILE.
std::string DataFromCommandLine(const Job& s, const std::filesystem::path& backup);
// The same update that writes the instrument's new reading: ... --use-reading.
std::string UseReadingCommandLine(const Job& s);
// The factory update of the same instrument by the jumper (data.bin).
std::string FactoryUpdateCommandLine(const Job& s);

}  // namespace zentor
