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
// Handlers only set flags, write to stderr and remove lock files (all
// async-signal-safe). Signals a platform lacks are left out.
#pragma once

#include "session/session.h"

namespace zentor {

void InstallSignalHandlers();

class StopOnInterrupt {
public:
    explicit StopOnInterrupt(Session& s);
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
    InterruptGuard(Session& s, bool terminal);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once a stop was asked for.
    bool Interrupted() const;

private:
    static constexpr int kSignals = 4;
    void (*previous_[kSignals])(int);
};

}  // namespace zentor
