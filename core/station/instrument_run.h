// The application-level frame of a command, shared by the CLI and the window:
// the work folder's lock for the whole command and, for commands that change an
// instrument, the journal's start and end lines.
//
// A refusal (folder busy, lock file or journal unusable) is one log line, comes
// before anything is sent, and makes the call return false without running the
// body. The body runs synchronously on the calling thread; an exception from it
// is journaled as a failure and rethrown.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "station/job.h"

namespace zentor {

// s.journalPath, or journal.csv in the work folder.
std::filesystem::path JournalPathFor(const Job& s);
// The journal used when that one cannot be written: journal.csv in the user's
// data folder ($XDG_DATA_HOME/zentor or ~/.local/share/zentor; on Windows
// %LOCALAPPDATA%\zentor), the folder created on demand. Empty when neither is known.
std::filesystem::path FallbackJournalPath();
// The lines of the journal and of the fallback journal, for the look-ups that
// decide about backups (a run written to the fallback is never missed); the one
// that can be read when the other cannot. nullopt when neither can be read.
std::optional<std::vector<JournalLine>> ReadJournalsFor(const Job& s);

// Runs `body` holding the work folder's lock. `command` names the command in the
// lock file ("read-data", "build", ...). False when refused or when body is. A
// folder that takes no new files (no lock file can exist) runs unlocked: nothing
// in it can be changed by any command.
bool RunFolderCommand(Job& s, const std::string& command, const std::function<bool()>& body);

// RunFolderCommand plus the journal: resets s.run (command, port, bit rate and
// address from the settings), appends the start line, runs `body`, and appends
// the end line from s.run with the duration. A journal that cannot be written
// gives one warning line and the run's lines go to FallbackJournalPath() (named
// in the log); only when that fails too is the command refused, before anything
// is sent. A result the body left at None
// becomes Ok or Failed from its return value; Ok with unconfirmed writes becomes
// Unconfirmed. Returns the body's value (false when refused).
bool RunInstrumentCommand(Job& s, const std::string& command, const std::function<bool()>& body);

// Records `name` of the work folder (matched without regard to case) and the
// SHA-256 of its bytes as the run's program image or DATA FLASH source; only the
// name when the file cannot be read. RunInstrumentCommand notes the images the
// command takes from the folder by default (program: prog.bin and data.bin;
// write-data: data.bin; update: prog_c.bin, or prog.bin through the programmer,
// and data.bin in factory mode); a command that uses other bytes notes those.
void NoteProgramImage(Job& s, const std::string& name);
void NoteDataSource(Job& s, const std::string& name);

// Appends the "erase" line of the journaled run in progress from s.run: call it
// right before the first erase is sent (ProgramOptions::beforeErase), once
// identity, data source and backup are known. An end line whose phase is
// before Erase (no boot-ROM link) takes it back. A no-op outside a journaled
// run. Once the chip may be at risk a journal failure never stops the run: a
// line that cannot be written goes to the fallback journal, and when that fails
// too the failure is logged and the call still returns true.
//
// Commands: "program", "write-data", "update", "restore" use RunInstrumentCommand;
// "read-data", "verify", "build", "encode", "restart", "prog" RunFolderCommand.
bool JournalReachedErase(Job& s);

// The process's program name for lock notes ("zentor-cli", "zentor").
std::string ProgramNameOf(const Job& s);

}  // namespace zentor
