// A Port driven by the test: every write is handed to a responder that returns
// the bytes the device answers; reads take from those bytes and, when too few
// are there, cost the full 1000 ms read deadline on the virtual clock. With a bit
// rate set, a write also takes the frame time of its bytes (8N1, rounded up to
// whole milliseconds) on the virtual clock, as a real port's write does.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "serial/port.h"
#include "support/bytes.h"
#include "testing/virtual_clock.h"

namespace zentor::test {

class ScriptedPort : public Port {
public:
    struct Event {
        enum Kind { Write, Read, Purge } kind;
        std::int64_t atMs;
        Bytes bytes;             // written, or received by a read
        std::size_t requested;   // read size
        std::int64_t endMs = 0;  // when the call returned
    };

    explicit ScriptedPort(VirtualClock* clock = nullptr) : clock_(clock) {}

    std::size_t Write(const std::uint8_t* data, std::size_t size) override;
    std::size_t Read(std::uint8_t* data, std::size_t size) override;
    void PurgeRx() override;
    ComTimeouts Timeouts() const override { return timeouts; }

    // Bytes the device sends in answer to one write (may be empty: silence).
    std::function<Bytes(const Bytes& written)> responder;
    std::deque<std::uint8_t> rx;
    // The device is gone: writes are refused (return 0) and nothing answers.
    bool hungUp = false;
    std::vector<Event> events;
    ComTimeouts timeouts{0, 0, 1000, 0, 0};
    // Bit rate of the line; 0: writes take no time.
    long baud = 0;

    std::vector<Bytes> Writes() const;

private:
    VirtualClock* clock_;
};

// Hands out the same ScriptedPort on every open, or fails with a preset status.
class ScriptedOpener : public PortOpener {
public:
    explicit ScriptedOpener(ScriptedPort& port) : port_(port) {}
    OpenResult Open(const std::string& name, int baudRate) override;
    OpenStatus Probe(const std::string& name) override;

    OpenStatus nextStatus = OpenStatus::Ok;
    int errorCode = 0;
    std::vector<std::string> opened;  // "name@baud" of each open attempt
    std::vector<std::string> present = {"COM1", "COM3"};
    int openCount = 0;
    int closeCount = 0;

private:
    ScriptedPort& port_;
};

}  // namespace zentor::test
