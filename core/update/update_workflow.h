// The field firmware update of the update face.
//
// Timing: blocking; the fixed pauses (1 s, 1 s, 2 s before the reflash, up to
// 6 s of looks for the reading) go through the session's clock. Failure: every
// refusal or failure is a log line; the port is closed on every path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "station/job.h"

namespace zentor {

// What a caller decides beyond the port, bit rate and address of the job's
// settings. The defaults are the window's.
struct UpdateOptions {
    // An instrument that does not identify may take the jumper path (the two
    // questions, then a reflash). False: such a run stops after the
    // identification with UpdateResult::Unidentified.
    bool jumperPath = true;
    // DATA FLASH image to write instead of a reading (keep mode) or data.bin
    // (jumper path); refused when ProgramChip would refuse its size. An instrument
    // that identifies is still read and backed up first.
    std::optional<std::filesystem::path> dataFrom;
    // Write a dataFrom whose backup name holds another serial than the instrument's.
    bool force = false;
    // Keep mode, when the journal holds an open failure of this instrument and the
    // new reading differs from that run's backup (or it left none): Ask shows both
    // and lets the user choose; Refuse stops before Prog and prints both commands;
    // TakeReading writes the reading.
    enum class OpenFailure { Ask, Refuse, TakeReading };
    OpenFailure openFailure = OpenFailure::Ask;
    // Serial text the instrument must have; another one, or none, stops the run
    // after the identification with UpdateResult::WrongInstrument.
    std::string expectSerial;
    // Log "Устройство: Velmar <model>  s/n: <serial>." right after the identification
    // (the window leaves its log untouched until the user confirmed).
    bool logIdentity = false;
    // On the jumper path without dataFrom: when the journal holds an unfinished
    // update with an existing backup, ask (Yes/No, before the jumper questions)
    // whether to write that backup instead of data.bin.
    bool offerBackup = true;
    // Plan only (update --dry-run), in this mode: the checks of a real run and
    // the identification, then the plan in the log with its DATA FLASH source.
    // No question; nothing is sent after the identification, nothing written.
    std::optional<UpdateMode> dryRun;
};

enum class UpdateResult {
    Done,             // reflashed and every write confirmed
    Failed,           // refused, declined or failed (see the log)
    Unidentified,     // no identification and no jumper path allowed; nothing sent after it
    WrongInstrument,  // expectSerial not matched; nothing sent after the identification
    Unconfirmed,      // reflashed to the end, but some writes got no answer at all
    Interrupted,      // the user aborted the reflash at a record boundary
};

// "Обновление прошивки": identify, confirm, bring the chip into boot mode (by
// commands or by the jumper), reflash through ProgramChip. Opens the port of the
// job's settings (NamePort, BaudRate, AdrPribor) and closes it on every path. In keep mode an old
// data_rd.bin is renamed aside before the read (at least two agreeing readings), the reading is
// copied to backup/<serial>_<yyyymmdd-hhmmss>_data.bin before the chip is touched, and the bytes
// written back are the ones this run read. The backup is named again as the last log line. Fills
// s.run (identity, images, backup, phase, result) for the journal.
UpdateResult RunFirmwareUpdate(Job& s, const UpdateOptions& options = {});
// The options of an update nobody watches (zentor-cli, many ports at once), whose
// questions an "answer yes" may answer: the identity is logged, no backup is
// offered, an open failure is refused, and an instrument that does not identify
// takes the jumper path (data.bin replaces its calibration) only in factory mode.
UpdateOptions UnattendedUpdateOptions(UpdateMode mode);
// The window's handler: RunFirmwareUpdate with the window's options; true on Done.
bool FieldUpdate(Job& s);

}  // namespace zentor
