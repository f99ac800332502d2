#include "command_table.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "bootrom/program_chip.h"
#include "build_run.h"
#include "cli_args.h"
#include "cli_text.h"
#include "config/config_location.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "ports_command.h"
#include "serial/system_port.h"
#include "station/instrument_run.h"
#include "update/package_encoder.h"
#include "verify/after_update.h"

namespace zentor::cli {
namespace {

void PrintSettings(const Settings& st) {
    auto line = [](const char* name, const std::string& value) {
        std::printf("%s = %s\n", name, value.c_str());
    };
    auto num = [&](const char* name, int v) { line(name, std::to_string(v)); };
    auto flag = [&](const char* name, bool v) { line(name, v ? "1" : "0"); };
    num("TypeController", st.TypeController);
    line("NamePort", st.NamePort);
    num("BaudRate", st.BaudRate);
    num("PauseRestart", st.PauseRestart);
    num("AdrPribor", st.AdrPribor);
    flag("ControlWrite", st.ControlWrite);
    num("DopPause", st.DopPause);
    num("MaxKolReadings", st.MaxKolReadings);
    flag("ShowStopButton", st.ShowStopButton);
    num("SizeData", st.SizeData);
    line("HCR0Value", st.HCR0Value);
    line("HCR1Value", st.HCR1Value);
    line("HCR1FromFile", st.HCR1FromFile);
    flag("HCR1KeyPresent", st.HCR1KeyPresent);
    line("AsmFileName", st.AsmFileName);
}

int StatusOf(bool ok) {
    return ok ? kExitDone : kExitFailed;
}

// A Stop run's end: a progress bar cut short by Ctrl-C goes.
int AfterStop(Context& c, int status) {
    if (c.Interrupted()) c.ui.EraseProgress();
    return status;
}

bool AddressAccepted(Context& c) {
    if (auto refusal = AddressRefusal(c.s.settings.AdrPribor)) {
        c.ui.AppendLine(*refusal);
        return false;
    }
    return true;
}

// update --verify: the instrument after its power cycle against what the update
// wrote, as a journaled run of its own.
const Command kVerifyAfterUpdate{
    .name = "verify",
    .help = nullptr,
    .needs = {.journal = "verify", .port = true},
    .interrupts = InterruptMode::Stop,
    // What was written, and its backup, from the update's record, before the
    // verification's journaled run starts a record of its own.
    .check = [](Context& c) -> std::optional<int> {
        c.options.loop.check = CheckAfterUpdate(c.s);
        return std::nullopt;
    },
    .prepare = [](Context& c) { return PrepareVerifyAfterUpdate(c.s, c.options.loop); },
    .run = [](Context& c) { return AfterStop(c, VerifyOnPort(c.s, c.options.loop)); },
};

// program --dry-run: the plan from the files alone; no port is opened, so a chip
// waiting in its boot ROM stays as it is. No journal run: nothing is changed.
const Command kProgramDryRun{
    .name = "program",
    .help = nullptr,
    .run = [](Context& c) { return StatusOf(ShowEraseAndWritePlan(c.s)); },
};

// The update with the options CheckUpdate took from the command line.
int RunUpdateStage(Context& c) {
    CommandOptions& o = c.options;
    o.updateResult = RunUpdate(c.s, o.update, o.updateWorkflow);
    return UpdateExitStatus(o.updateResult);
}

// update --dry-run: the update's checks and identification, then the plan; it
// opens and closes its own port and changes nothing, so it is not journaled.
const Command kUpdateDryRun{
    .name = "update",
    .help = nullptr,
    .run = RunUpdateStage,
};

std::optional<int> CheckUpdate(Context& c) {
    CommandOptions& o = c.options;
    c.ui.SetUpdateMode(o.update.mode == "factory" ? UpdateMode::Factory : UpdateMode::Keep);
    auto workflow = UpdateOptionsFor(c.s, o.update);
    if (!workflow) return kExitUsage;
    o.updateWorkflow = std::move(*workflow);
    if (o.update.dryRun) return c.dispatch(kUpdateDryRun);
    return std::nullopt;
}

int FinishUpdate(Context& c, int status) {
    AdviseAfterUpdate(c.s, c.options.updateResult);
    // Unconfirmed records are exactly what the check after power-up is for.
    const bool written = status == kExitDone || status == kExitUnconfirmed;
    const CloseLoopCommands& loop = c.options.loop;
    if (!written || !(loop.verifyAlways || loop.verifyAfterUpdate->count())) return status;
    const int verified = c.dispatch(kVerifyAfterUpdate);
    return verified != kExitDone ? verified : status;
}

int Identify(Context& c) {
    if (!IdentifyInstrument(c.s)) {
        PrintLine(stderr, ZT("identify.failed", "Устройство не определено!"));
        return kExitFailed;
    }
    std::printf("Model = %u\nSerialText = %s\nHCR1Value = %s\n",
                static_cast<unsigned>(c.s.identity.model), c.s.SerialText.c_str(),
                c.s.Hcr1().c_str());
    return kExitDone;
}

int ReadDataFlash(Context& c) {
    const bool ok = ReadData(c.s);
    // A stop honoured by the read clears the request; one that came after the
    // read (during the restart) is still set.
    if (c.Interrupted() && !ok && !c.s.StopRequested) {
        c.ui.EraseProgress();
        PrintLine(stderr, ZT("data.read.stopped", "Чтение данных остановлено"));
    }
    return StatusOf(ok);
}

const std::vector<Command> kCommands{
    {.name = "ports",
     .help = "list the serial ports that exist",
     .addOptions =
         [](CLI::App& command, CommandOptions& o) {
             command.add_flag("--verbose,-v", o.portsVerbose,
                              "with each port's device, stable names and USB adapter");
         },
     .run =
         [](Context& c) {
             const std::unique_ptr<PortLookup> lookup =
                 MakeSystemPortLookup(SettingsFolderFor(c.s.exePath));
             return RunPortsCommand(c.opener, *lookup, c.options.portsVerbose);
         }},
    {.name = "timeouts",
     .help = "open the port and show its timeouts",
     .needs = {.port = true},
     .run =
         [](Context& c) {
             for (const auto& line : TimeoutsReadoutLines(c.s.timeouts)) c.ui.AppendLine(line);
             return kExitDone;
         }},
    {.name = "settings",
     .help = "show every setting",
     .run =
         [](Context& c) {
             PrintSettings(c.s.settings);
             return kExitDone;
         }},
    {.name = "read-data",
     .help = "read the DATA FLASH into data_rd.bin",
     .needs = {.folder = true, .port = true, .autoPort = AutoPort::Search},
     .interrupts = InterruptMode::Stop,
     .run = ReadDataFlash},
    {.name = "write-data",
     .help = "write data.bin into the DATA FLASH",
     .needs = {.journal = "write-data", .port = true, .autoPort = AutoPort::Search},
     .run =
         [](Context& c) {
             NoteInstrumentForJournal(c.s);
             return StatusOf(WriteData(c.s));
         }},
    {.name = "restart",
     .help = "restart the instrument",
     .needs = {.folder = true, .port = true, .autoPort = AutoPort::Search},
     .run = [](Context& c) { return StatusOf(Restart(c.s)); }},
    {.name = "prog",
     .help = "prepare the instrument for reprogramming",
     .needs = {.folder = true, .port = true, .autoPort = AutoPort::Search},
     .run = [](Context& c) { return StatusOf(EnterBootRom(c.s)); }},
    {.name = "program",
     .help = "erase and write the chip from prog.bin and data.bin",
     .addOptions =
         [](CLI::App& command, CommandOptions& o) {
             command.add_flag("--dry-run", o.programDryRun,
                              "print the plan (records or pages, bytes, expected time) without "
                              "opening the port");
         },
     .needs = {.journal = "program", .port = true},
     .interrupts = InterruptMode::Guarded,
     .check = [](Context& c) -> std::optional<int> {
         if (c.options.programDryRun) return c.dispatch(kProgramDryRun);
         return std::nullopt;
     },
     .run = [](Context& c) { return StatusOf(EraseAndWrite(c.s)); },
     .finish =
         [](Context& c, int status) {
             return status == kExitDone && c.s.run.unconfirmed > 0 ? kExitUnconfirmed : status;
         }},
    // The build talks to no device; it leaves the port free for other runs.
    {.name = "build",
     .help = "assemble and link, then write prog_c.bin",
     .needs = {.folder = true},
     .leftovers = BuildLeftovers,
     .run = [](Context& c) { return RunBuildCommand(c.s); }},
    {.name = "identify",
     .help = "show the instrument's model and serial",
     .caption = "Zentor Velmar",
     .needs = {.port = true, .autoPort = AutoPort::Search},
     .prepare =
         [](Context& c) {
             c.s.hcr1 = c.s.settings.HCR1FromFile;
             return AddressAccepted(c);
         },
     .run = Identify},
    {.name = "update",
     .help = "field firmware update from prog_c.bin",
     .caption = "Zentor Velmar",
     .addOptions =
         [](CLI::App& command, CommandOptions& o) {
             AddUpdateOptions(command, o.update);
             AddVerifyAfterUpdate(command, o.loop);
             command.get_option("--dry-run")->excludes(o.loop.verifyAfterUpdate);
         },
     .needs = {.journal = "update", .autoPort = AutoPort::Search},
     .interrupts = InterruptMode::Guarded,
     .check = CheckUpdate,
     .run = RunUpdateStage,
     .finish = FinishUpdate},
    {.name = "verify",
     .help = "compare the instrument's DATA FLASH with FILE (waits for it to answer)",
     .addOptions = [](CLI::App& command, CommandOptions& o) { AddVerifyOptions(command, o.loop); },
     .needs = {.journal = "verify", .port = true, .autoPort = AutoPort::Search},
     .interrupts = InterruptMode::Stop,
     .prepare = [](Context& c) { return PrepareVerify(c.s, c.options.loop); },
     .run = [](Context& c) { return AfterStop(c, VerifyOnPort(c.s, c.options.loop)); }},
    {.name = "restore",
     .help = "write a DATA FLASH backup into the running instrument and read it back",
     .addOptions = [](CLI::App& command, CommandOptions& o) { AddRestoreOptions(command, o.loop); },
     .needs = {.journal = "restore", .port = true, .autoPort = AutoPort::Search},
     .interrupts = InterruptMode::Stop,
     .prepare = [](Context& c) { return PrepareRestore(c.s, c.options.loop); },
     .run = [](Context& c) { return AfterStop(c, RestoreOnPort(c.s, c.options.loop)); }},
    {.name = "find",
     .help = "search every free port for instruments",
     .addOptions =
         [](CLI::App& command, CommandOptions& o) {
             command.add_flag("--all-addresses", o.allAddresses,
                              "every address 1..63, not just the configured one and 1");
         },
     .needs = {.autoPort = AutoPort::Ignored},
     .interrupts = InterruptMode::Stop,
     .run =
         [](Context& c) {
             FindLimits limits = c.limits;
             limits.allAddresses = c.options.allAddresses;
             return RunFindCommand(c.opener, c.clock, c.ui, c.s.settings, limits,
                                   &c.controls.StopRequested);
         }},
    {.name = "encode",
     .help = "write the update package n.bin, p.bin, d.bin",
     .addOptions =
         [](CLI::App& command, CommandOptions& o) {
             command.add_option("SERIAL", o.serial, "serial number, e.g. 14v071510")->required();
         },
     .needs = {.folder = true},
     .run = [](Context& c) { return StatusOf(EncodePackage(c.s, c.options.serial)); }},
    {.name = "journal",
     .help = "print the journal of instrument runs",
     .addOptions = [](CLI::App& cmd, CommandOptions& o) { AddJournalOptions(cmd, o.journal); },
     .run = [](Context& c) { return PrintJournal(JournalPathFor(c.s), c.options.journal); }},
};

}  // namespace

const std::vector<Command>& Commands() {
    return kCommands;
}

}  // namespace zentor::cli
