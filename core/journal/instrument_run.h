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
#include <string>

#include "common/session.h"

namespace zentor {

// s.journalPath, or journal.csv in the work folder.
std::filesystem::path JournalPathFor(const Session& s);

// Runs `body` holding the work folder's lock. `command` names the command in the
// lock file ("read-data", "build", ...). False when refused or when body is. A
// folder that takes no new files (no lock file can exist) runs unlocked: nothing
// in it can be changed by any command.
bool RunFolderCommand(Session& s, const std::string& command, const std::function<bool()>& body);

// RunFolderCommand plus the journal: resets s.run (command, port, bit rate and
// address from the settings), appends the start line, runs `body`, and appends
// the end line from s.run with the duration. A result the body left at None
// becomes Ok or Failed from its return value; Ok with unconfirmed writes becomes
// Unconfirmed. Returns the body's value (false when refused).
bool RunInstrumentCommand(Session& s, const std::string& command,
                          const std::function<bool()>& body);

// Records `name` of the work folder (matched without regard to case) and the
// SHA-256 of its bytes as the run's program image or DATA FLASH source; only the
// name when the file cannot be read. RunInstrumentCommand notes the images the
// command takes from the folder by default (program: prog.bin and data.bin;
// write-data: data.bin; update: prog_c.bin, or prog.bin through the programmer,
// and data.bin in factory mode); a command that uses other bytes notes those.
void NoteProgramImage(Session& s, const std::string& name);
void NoteDataSource(Session& s, const std::string& name);

// Appends the "erase" line of the journaled run in progress from s.run: call it
// before the first erase can be sent (at the latest just before ProgramChip),
// once identity, data source and backup are known. An end line whose phase is
// before Erase (no boot-ROM link) takes it back. A no-op outside a journaled
// run. False (after a log line) when the journal cannot be written; the caller
// should then not erase.
//
// Commands: "program", "write-data", "update", "restore" use RunInstrumentCommand;
// "read-data", "verify", "build", "encode", "restart", "prog" RunFolderCommand.
bool JournalReachedErase(Session& s);

// The process's program name for lock notes ("zentor-cli", "zentor").
std::string ProgramNameOf(const Session& s);

}  // namespace zentor
