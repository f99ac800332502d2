// Signals of zentor-cli: one handler set, in three modes.
//
// Always (InstallSignalHandlers, once at start): SIGPIPE is ignored, so a write
// to a closed output fails with EPIPE, which the log ignores, instead of ending
// the process. Otherwise Ctrl-C, SIGTERM, SIGHUP and SIGQUIT end the process at
// once with 128 + the signal's number, after removing the port's lock files.
//
// StopOnInterrupt (data read, search, verification, restore): Ctrl-C is the
// Stop button (s.StopRequested); a second press ends the process as above.
//
// InterruptGuard (update, program): no signal ends the process, so the port,
// the lock files and the journal are always released and written by the normal
// path. Outside the risky stretch Ctrl-C, SIGTERM, SIGHUP and SIGQUIT ask the
// command to stop at its next safe point (s.StopRequested and
// s.AbortRequested). While s.ChipAtRisk is set (first erase to last record):
// a hang-up or SIGQUIT only says that the write goes on, and the run finishes
// its records and ends as usual; Ctrl-C on a terminal only warns what an
// interruption costs, a second press within five seconds asks for the stop,
// which ProgramChip honours at the next record boundary; Ctrl-C without a
// terminal and SIGTERM ask for it at once.
//
// InterruptScope puts one command's mode in place for its lifetime: EndProcess
// (the handlers installed at start; with leftovers, Ctrl-C first removes those
// files, as during a build), Stop (StopOnInterrupt) or Guarded (InterruptGuard).
//
// Handlers only set flags, write to stderr and remove files (all
// async-signal-safe). Signals a platform lacks are left out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "station/station.h"

namespace zentor {

void InstallSignalHandlers();

class StopOnInterrupt {
public:
    explicit StopOnInterrupt(Controls& s);
    ~StopOnInterrupt();
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

    // True once Ctrl-C was pressed.
    bool Interrupted() const;

private:
    void (*previous_)(int);
};

class InterruptGuard {
public:
    InterruptGuard(Controls& s, bool terminal);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once a stop was asked for.
    bool Interrupted() const;

private:
    static constexpr int kSignals = 4;
    void (*previous_[kSignals])(int);
};

// Ctrl-C removes `files` before it ends the process with status 130; the other
// signals end it as usual. The names are fixed before the handler is installed.
class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(std::vector<std::string> files);
    ~RemoveOnInterrupt();
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

private:
    void (*previous_)(int);
};

enum class InterruptMode {
    EndProcess,  // the signals end the process
    Stop,        // Ctrl-C is the Stop button
    Guarded,     // no signal ends the process
};

class InterruptScope {
public:
    // `leftovers`: EndProcess only, the files Ctrl-C removes (none: nothing installed).
    InterruptScope(InterruptMode mode, Controls& s, bool terminal,
                   std::vector<std::string> leftovers = {});
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // True once Ctrl-C was pressed (Stop) or a stop was asked for (Guarded).
    bool Interrupted() const;

private:
    std::optional<StopOnInterrupt> stop_;
    std::optional<InterruptGuard> guard_;
    std::optional<RemoveOnInterrupt> remove_;
};

}  // namespace zentor
