// One identification probe of one address on an open port, with a read deadline
// sized to the bit rate instead of the commands' 1000 ms.
//
// Timing: purge, the request of the update's identification (read of register
// ECh, 4 bytes), then the first reply byte is awaited for the wire time of request
// and reply plus a turnaround allowance, and the rest for twice its wire time plus
// a small margin. A silent address costs FirstByteDeadlineMs; 62 ms at 9600 bit/s.
// An identified instrument is also asked for its version code (register EDh) and
// then for its identity once more: a reply that arrived after its own deadline
// lands in the next address's probe, and only a second answer with the same bytes
// tells the two apart. A patient probe waits the commands' 1000 ms for each reply.
// Sends only these reads; never writes a register.
#pragma once

#include <optional>

#include "serial/port.h"
#include "station/job.h"

namespace zentor {

// What an identified instrument told about itself.
struct ProbeAnswer {
    InstrumentIdentity identity;
    int versionCode = -1;  // -1: the version read was not answered
};

// Wire time of `bytes` bytes at `baud` bit/s, 10 bits a byte, in whole ms (rounded up).
int WireMs(int bytes, int baud);
// Deadline for the first byte of a reply of replyBytes after a request of requestBytes.
int FirstByteDeadlineMs(int requestBytes, int replyBytes, int baud);

struct ProbeOptions {
    bool patient = false;  // 1000 ms for every reply instead of the bit rate's deadline
    // Set when bytes arrived but made no confirmed answer: maybe the late reply of an
    // address probed before.
    bool* heard = nullptr;
};

// The identification at `address` (1..63) on `port`, already open at `baud`.
// nullopt when the reply is missing, short, has a wrong checksum or a zero identity
// byte (exactly the cases in which the update would not identify the instrument),
// or when the second identification does not repeat the first.
std::optional<ProbeAnswer> ProbeAddress(Port& port, int baud, int address,
                                        const ProbeOptions& options = {});

}  // namespace zentor
