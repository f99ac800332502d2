// Ctrl-C while zentor-cli changes an instrument. Outside the risky stretch a press
// asks the command to stop at its next safe point (s.StopRequested and
// s.AbortRequested). While s.ChipAtRisk is set (first erase to last record) a
// press on a terminal only warns what an interruption costs; a second press
// within five seconds asks for the stop, which ProgramChip honours at the next
// record boundary. Without a terminal the first press asks for the stop. The
// process is never ended from the handler, so the port, the lock and the journal
// are always released and written by the normal path.
#pragma once

#include "common/session.h"

namespace zentor {

class InterruptGuard {
public:
    InterruptGuard(Session& s, bool terminal);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once a stop was asked for.
    bool Interrupted() const;

private:
    void (*previous_)(int);
};

}  // namespace zentor
