#include "update_command.h"

#include <CLI/CLI.hpp>

#include "cli_args.h"
#include "journal/backup_names.h"
#include "journal/journal.h"
#include "station/backup_offer.h"
#include "station/instrument_run.h"
#include "text/message.h"

namespace zentor {

void AddUpdateOptions(CLI::App& command, UpdateCommandOptions& o) {
    command.add_option("--mode", o.mode, "keep: keep the instrument's settings; factory: data.bin")
        ->check(CLI::IsMember({"keep", "factory"}));
    auto* jumper = command.add_flag(
        "--jumper", o.jumper,
        "keep mode: an instrument that does not identify may be reflashed by the jumper with "
        "data.bin (its calibration is replaced)");
    command
        .add_option("--data-from", o.dataFrom,
                    "keep mode: write this DATA FLASH image (e.g. a backup) instead of a reading")
        ->check(CLI::ExistingFile)
        ->excludes(jumper);
    auto* useReading = command.add_flag(
        "--use-reading", o.useReading,
        "keep mode: write the new reading even when an earlier failed update of this "
        "instrument left a backup that differs from it");
    useReading->excludes(jumper);
    command.add_flag("--force", o.force,
                     "keep mode: write a --data-from backup named for another serial number");
    command.add_option("--expect-serial", o.expectSerial,
                       "refuse any instrument with another serial number, e.g. 14v071510");
    command.add_flag("--dry-run", o.dryRun,
                     "identify the instrument, check the files and print the plan (records, "
                     "bytes, expected time, where the DATA FLASH comes from); nothing is written");
}

std::optional<UpdateOptions> UpdateOptionsFor(Job& s, const UpdateCommandOptions& o) {
    if (o.mode == "factory" && !o.dataFrom.empty()) {
        s.ui.Say(ZT("update.data_from_keep_only", "--data-from только с --mode keep"));
        return std::nullopt;
    }
    // --yes would answer a backup offer: the CLI prints the command instead.
    UpdateOptions options =
        UnattendedUpdateOptions(o.mode == "factory" ? UpdateMode::Factory : UpdateMode::Keep);
    options.expectSerial = o.expectSerial;
    if (!o.dataFrom.empty()) options.dataFrom = std::filesystem::path(o.dataFrom);
    if (o.useReading && options.dataFrom) {
        s.ui.Say(ZT("update.reading_or_data_from",
                    "--use-reading и --data-from вместе не используются"));
        return std::nullopt;
    }
    options.force = o.force;
    // --yes must not settle which calibration wins: the user names it.
    if (o.useReading) options.openFailure = UpdateOptions::OpenFailure::TakeReading;
    // Keep mode never turns into a factory reflash just because --yes answered
    // the jumper questions: the DATA FLASH source has to be named.
    options.jumperPath = options.jumperPath || o.jumper || options.dataFrom.has_value();
    if (o.dryRun) options.dryRun = o.mode == "factory" ? UpdateMode::Factory : UpdateMode::Keep;
    return options;
}

UpdateResult RunUpdate(Job& s, const UpdateCommandOptions& o, const UpdateOptions& workflow) {
    s.run.mode = o.mode;
    return RunFirmwareUpdate(s, workflow);
}

void AdviseAfterUpdate(Job& s, UpdateResult result) {
    if (result != UpdateResult::Unidentified) return;
    const auto offer = OfferBackupForPort(s);
    if (offer && offer->kind == BackupOffer::Kind::OpenFailure && offer->thisPort) {
        s.ui.AppendLine(BackupOfferCliText(s, *offer));
    } else {
        // Nothing erased here: a power cycle is the first thing to try; a backup
        // made seconds before a kill is in the folder even when the journal
        // never learned of it.
        const auto newest = NewestBackupOfAny(s.workDir);
        if (newest) {
            s.ui.Say(NothingErasedOnPort());
            s.ui.Say(ZT("update.newest_backup",
                        "Последняя резервная копия DATA FLASH в папке: {0} (s/n {1})\nЕсли "
                        "устройство не вернулось, а это тот же прибор, запишите её:\n  {2}",
                        PathToUtf8(*newest), BackupSerial(*newest).value_or(""),
                        DataFromCommandLine(s, *newest)));
        } else if (offer) {
            s.ui.AppendLine(BackupOfferCliText(s, *offer));
        } else {
            s.ui.Say(NothingErasedOnPort());
        }
        s.ui.Say(ZT("update.name_the_data",
                    "Если на устройстве нужны заводские данные, повторите с --jumper; если есть "
                    "резервная копия его DATA FLASH, повторите с --data-from ФАЙЛ"));
    }
}

int UpdateExitStatus(UpdateResult result) {
    switch (result) {
        case UpdateResult::Done:
            return 0;
        case UpdateResult::Unconfirmed:
            return kExitUnconfirmed;
        default:
            return 1;
    }
}

}  // namespace zentor
