#include "cli_golden_cases.h"

#include <stdexcept>

#include "common/files.h"
#include "support/bytes.h"

namespace zentor::test {

namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string>;

// Backups in {work}/backup, named for the simulated instrument's serial and for
// another one, at a time that is not the run's (it stays in the transcripts).
const std::string kOwnBackup = "{work}/backup/14v071510_20240105-093000_data.bin";
const std::string kOtherBackup = "{work}/backup/14v071511_20240105-093000_data.bin";

void Put(const fs::path& file, const Bytes& bytes) {
    fs::create_directories(file.parent_path());
    if (!WriteFileAtomic(file, bytes)) throw std::runtime_error("cannot write " + file.string());
}

// The instrument's own calibration (the simulator's DATA FLASH) under its serial,
// another image under another serial.
void Backups(const fs::path& root) {
    Put(root / "work/backup/14v071510_20240105-093000_data.bin", Pattern(512, 4));
    Put(root / "work/backup/14v071511_20240105-093000_data.bin", Pattern(512, 9));
}

// A backup named for this instrument that differs from its DATA FLASH.
void StaleOwnBackup(const fs::path& root) {
    Put(root / "work/backup/14v071510_20240105-093000_data.bin", Pattern(512, 9));
}

void NoProgC(const fs::path& root) {
    fs::remove(root / "work/prog_c.bin");
}

void AsmSource(const fs::path& root) {
    Put(root / "work/1.asm", Text("\tLJMP 30h\n"));
}

Settings Checked() {
    Settings s = QuickSettings();
    s.ControlWrite = true;
    return s;
}

Settings Programmer() {
    Settings s = QuickSettings();
    s.TypeController = 0;
    return s;
}

// The connection every instrument command of a case uses.
Args On(Args command) {
    Args args{"--config", "{ini}", "--port", "{port}", "--dir", "{work}"};
    args.insert(args.end(), command.begin(), command.end());
    return args;
}

// A port that does not exist.
Args OnMissingPort(Args command) {
    Args args{"--config", "{ini}", "--port", "{root}/no-such-tty", "--dir", "{work}"};
    args.insert(args.end(), command.begin(), command.end());
    return args;
}

Args Build(Args options) {
    Args args{"--config", "{ini}", "--dir", "{work}", "build"};
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

const std::string kStandinPath = "PATH={standins}:/usr/bin:/bin";

}  // namespace

Settings QuickSettings() {
    Settings s;
    s.TypeController = 4;
    s.BaudRate = 115200;
    s.DopPause = 0;
    s.MaxKolReadings = 1;
    s.SizeData = 512;
    s.ControlWrite = false;
    return s;
}

// The slowest (the whole firmware update, about 8 s each) first, so that the
// parallel runs end together.
std::vector<GoldenCase> CliGoldenCases() {
    const Args simulator;  // the common options alone
    return {
        {.name = "update-keep",
         .about = "keep-mode update of an answering instrument, then the journal",
         .sim = simulator,
         .steps = {On({"update", "--yes"}), {"--dir", "{work}", "journal"}}},
        {.name = "update-factory",
         .about = "factory-mode update: data.bin replaces the calibration",
         .sim = simulator,
         .steps = {On({"update", "--mode", "factory", "--yes"})}},
        {.name = "update-jumper",
         .about = "an instrument held in its boot ROM, reflashed by the jumper path",
         .sim = Args{"--jumper"},
         .steps = {On({"update", "--jumper", "--yes"})}},
        // Records 1..3 are the program, 4..7 the DATA FLASH, 8 the configuration.
        {.name = "update-record-refused",
         .about = "a refused DATA FLASH record passes unchecked: exit 4",
         .sim = Args{"--refuse-record", "5"},
         .steps = {On({"update", "--yes"})}},
        {.name = "update-record-refused-checked",
         .about = "a refused DATA FLASH record with ControlWrite on stops the run",
         .settings = Checked(),
         .sim = Args{"--refuse-record", "5"},
         .steps = {On({"update", "--yes"})}},
        {.name = "update-config-unconfirmed",
         .about = "the configuration record goes unanswered: exit 4 and the advice",
         .sim = Args{"--silent-after-record", "7"},
         .steps = {On({"update", "--yes"})}},
        {.name = "update-data-from-own-backup",
         .about = "keep mode writes a named backup of this instrument",
         .sim = simulator,
         .prepare = StaleOwnBackup,
         .steps = {On({"update", "--data-from", kOwnBackup, "--yes"})}},
        {.name = "update-data-from-other-serial",
         .about = "a --data-from backup named for another serial: refused, then --force",
         .sim = simulator,
         .prepare = Backups,
         .steps = {On({"update", "--data-from", kOtherBackup, "--yes"}),
                   On({"update", "--data-from", kOtherBackup, "--force", "--yes"})}},
        {.name = "program-bootrom",
         .about = "erase and write through the boot ROM",
         .sim = Args{"--jumper"},
         .steps = {On({"program", "--yes"})}},
        {.name = "program-programmer",
         .about = "erase and write through the programmer",
         .settings = Programmer(),
         .sim = Args{"--programmer"},
         .steps = {On({"program", "--yes"})}},
        {.name = "restore-other-serial",
         .about = "restore refuses another serial's backup, then --force writes it",
         .sim = simulator,
         .prepare = Backups,
         .steps = {On({"restore", kOtherBackup}), On({"restore", kOtherBackup, "--force"})}},
        {.name = "find",
         .about = "ports, find and --port auto in a folder whose COM1 is the simulator",
         .sim = Args{"--link", "{root}/bin", "--com", "1"},
         .ownCopy = true,
         .steps = {{"--config", "{ini}", "ports"},
                   {"--config", "{ini}", "find", "--baud", "115200", "--address", "1"},
                   {"--config", "{ini}", "find", "--baud", "115200", "--address", "2"},
                   {"--config", "{ini}", "--port", "auto", "--baud", "115200", "--address", "1",
                    "identify"}}},
        {.name = "build-asm-error",
         .about = "the assembler reports an error; no Prog.bin within four seconds",
         .ownCopy = true,
         .prepare = AsmSource,
         .env = {kStandinPath, "ZENTOR_A8051_FAIL=1"},
         .steps = {Build({"--yes"})}},

        // The update's refusals.
        {.name = "update-bootrom-keep-refused",
         .about = "keep mode refuses an instrument that does not identify (in its boot ROM)",
         .sim = Args{"--jumper"},
         .steps = {On({"update", "--yes"})}},
        {.name = "update-silent",
         .about = "nothing answers on the line",
         .sim = Args{"--no-answer"},
         .steps = {On({"update", "--yes"})}},
        {.name = "update-wrong-serial",
         .about = "--expect-serial refuses another instrument",
         .sim = simulator,
         .steps = {On({"update", "--expect-serial", "14v071511", "--yes"})}},
        {.name = "update-declined",
         .about = "no --yes and no terminal: the question is declined",
         .sim = simulator,
         .steps = {On({"update"})}},
        {.name = "update-no-prog-c",
         .about = "no prog_c.bin in the folder",
         .sim = simulator,
         .prepare = NoProgC,
         .steps = {On({"update", "--yes"})}},
        {.name = "update-port-missing",
         .about = "a port that does not exist",
         .steps = {OnMissingPort({"update", "--yes"})}},
        {.name = "update-factory-data-from",
         .about = "--data-from belongs to keep mode",
         .steps = {OnMissingPort(
             {"update", "--mode", "factory", "--data-from", "{work}/data.bin", "--yes"})}},

        // Erase and write that does not happen.
        {.name = "program-declined",
         .about = "program without --yes and without a terminal",
         .sim = Args{"--jumper"},
         .steps = {On({"program"})}},
        {.name = "program-no-bootrom",
         .about = "program when the boot ROM does not answer",
         .sim = Args{"--no-answer"},
         .steps = {On({"program", "--yes"})}},

        // Dry runs: the plan, and nothing written.
        {.name = "program-dry-run",
         .about = "program --dry-run opens no port: one that does not exist is never noticed",
         .steps = {OnMissingPort({"program", "--dry-run"})}},
        {.name = "update-dry-run",
         .about = "update --dry-run in both modes: identification and plan, no journal run",
         .sim = simulator,
         .steps = {On({"update", "--dry-run"}),
                   On({"update", "--dry-run", "--mode", "factory"}),
                   {"--dir", "{work}", "journal"}}},

        // Instrument data, restart, Prog, identification.
        {.name = "read-data",
         .about = "the DATA FLASH into data_rd.bin",
         .sim = simulator,
         .steps = {On({"read-data"})}},
        {.name = "read-data-silent",
         .about = "read-data when nothing answers",
         .sim = Args{"--no-answer"},
         .steps = {On({"read-data"})}},
        {.name = "read-data-port-missing",
         .about = "a port that does not exist",
         .steps = {OnMissingPort({"read-data"})}},
        {.name = "write-data",
         .about = "data.bin into the DATA FLASH",
         .sim = simulator,
         .steps = {On({"write-data", "--yes"})}},
        {.name = "restart",
         .about = "restart the instrument",
         .sim = simulator,
         .steps = {On({"restart"})}},
        {.name = "prog",
         .about = "prepare the instrument for reprogramming",
         .sim = simulator,
         .steps = {On({"prog"})}},
        {.name = "prog-silent",
         .about = "prog when nothing answers",
         .sim = Args{"--no-answer"},
         .steps = {On({"prog"})}},
        {.name = "identify",
         .about = "model, serial number and HCR1",
         .sim = simulator,
         .steps = {On({"identify"})}},
        {.name = "identify-silent",
         .about = "identify when nothing answers",
         .sim = Args{"--no-answer"},
         .steps = {On({"identify"})}},
        {.name = "timeouts",
         .about = "the port's timeouts",
         .sim = simulator,
         .steps = {On({"timeouts"})}},

        // The check after an update and the restore of a backup.
        {.name = "verify-equal",
         .about = "verify against the instrument's own backup",
         .sim = simulator,
         .prepare = Backups,
         .steps = {On({"verify", "--against", kOwnBackup, "--wait", "5"})}},
        {.name = "verify-differs",
         .about = "verify finds a difference and names the restore",
         .sim = simulator,
         .prepare = StaleOwnBackup,
         .steps = {On({"verify", "--against", kOwnBackup, "--wait", "5"})}},
        {.name = "verify-other-serial",
         .about = "another serial number answers",
         .sim = simulator,
         .prepare = Backups,
         .steps = {On({"verify", "--against", kOtherBackup, "--wait", "5"})}},
        {.name = "verify-silent",
         .about = "nothing answers within the wait",
         .sim = Args{"--no-answer"},
         .prepare = Backups,
         .steps = {On({"verify", "--against", kOwnBackup, "--wait", "1"})}},
        {.name = "restore",
         .about = "a backup written back and read back",
         .sim = simulator,
         .prepare = StaleOwnBackup,
         .steps = {On({"restore", kOwnBackup})}},
        {.name = "restore-bootrom",
         .about = "restore to an instrument in its boot ROM names the update that does it",
         .sim = Args{"--jumper"},
         .prepare = Backups,
         .steps = {On({"restore", kOwnBackup})}},

        // Build with the assembler and linker stand-ins, in a copy of the tool:
        // the batch file goes beside the executable.
        {.name = "build",
         .about = "assemble and link with the stand-ins",
         .ownCopy = true,
         .prepare = AsmSource,
         .env = {kStandinPath},
         .steps = {Build({"--yes"})}},
        {.name = "build-declined",
         .about = "the link question declined without a terminal: exit 3",
         .ownCopy = true,
         .prepare = AsmSource,
         .env = {kStandinPath},
         .steps = {Build({})}},
        {.name = "build-no-tools",
         .about = "no assembler on PATH",
         .ownCopy = true,
         .prepare = AsmSource,
         .env = {"PATH=/nonexistent"},
         .steps = {Build({"--yes"})}},

        // Commands without an instrument, and usage errors.
        {.name = "help", .about = "--help", .steps = {{"--help"}}},
        {.name = "settings",
         .about = "every setting",
         .steps = {{"--config", "{ini}", "settings"}}},
        {.name = "encode",
         .about = "update packages for a serial number, and a wrong serial",
         .steps = {{"--config", "{ini}", "--dir", "{work}", "encode", "14v071510"},
                   {"--config", "{ini}", "--dir", "{work}", "encode", "14V071510"}}},
        {.name = "usage-no-command", .about = "no command", .steps = {{}}},
        {.name = "usage-unknown-command",
         .about = "a command that does not exist",
         .steps = {{"bogus"}}},
        {.name = "usage-bad-address",
         .about = "an address outside 1..63",
         .steps = {{"--config", "{ini}", "settings", "--address", "64"}}},
        {.name = "usage-bad-mode",
         .about = "an update mode that does not exist",
         .steps = {{"--config", "{ini}", "update", "--mode", "quick"}}},
        {.name = "usage-config-missing",
         .about = "a configuration file that does not exist",
         .steps = {{"--config", "{root}/missing.ini", "settings"}}},
        {.name = "usage-port-auto-program",
         .about = "--port auto for a command that is not an instrument's",
         .steps = {{"--config", "{ini}", "program", "--port", "auto"}}},
    };
}

}  // namespace zentor::test
