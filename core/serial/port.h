// Byte transport to the instrument, boot ROM or programmer. One implementation per
// platform opens real serial devices; tests substitute scripted links.
//
// Timing: Write returns only when its bytes have left the line, so every wait a
// caller makes after a write counts from the moment the device has the last byte.
// Read waits at most 1000 ms. A port that fails mid-call reports a short count;
// nothing throws. A device that went away makes Gone() true, and from then on
// reads and writes return at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zentor {

// The port's timeout record, kept as last applied (for the timeouts readout).
struct ComTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

class Port {
public:
    virtual ~Port() = default;
    // Writes all bytes and returns once they have left the line: the driver's
    // transmit queue has drained, and at least the frame time of the bytes (start,
    // data, parity and stop bits of the port's frame at its bit rate) has passed
    // since the call began (since the driver took them, where that is later),
    // because pseudo-terminals and some USB adapters report an empty queue at
    // once. Returns the count the driver took.
    virtual std::size_t Write(const std::uint8_t* data, std::size_t size) = 0;
    // Returns as soon as size bytes arrived, or when the read deadline (1000 ms
    // from the start of the call unless changed below) passed; returns the count received.
    virtual std::size_t Read(std::uint8_t* data, std::size_t size) = 0;
    // Sets the read deadline of later reads to ms (1..1000) for probes that expect a
    // quick answer or none; false when this port cannot change it (reads keep theirs).
    virtual bool SetReadDeadline(int /*ms*/) { return false; }
    // Discards pending input only.
    virtual void PurgeRx() = 0;
    // The timeouts in force after configuration.
    virtual ComTimeouts Timeouts() const { return {}; }
    // True once a read or write failed because the device itself went away (a USB
    // adapter pulled, the other end of a pseudo-terminal closed): every later call
    // fails at once, and only reopening the port (once it is back) helps.
    virtual bool Gone() const { return false; }
};

// Why an open failed, in the terms of the user-visible messages.
enum class OpenStatus {
    Ok,
    NotFound,    // "такого порта не существует."
    Busy,        // "порт занят."
    OtherError,  // "код ошибки: " + code
    ConfigFailed,  // "Необходимые параметры порта ... не установлены"
    AccessDenied,      // the device exists, but this user may not open it (POSIX)
    NoSuchAdapter,     // "usb:SERIAL": no USB adapter has that serial number
    AmbiguousAdapter,  // "usb:SERIAL": several adapters have it
};

struct OpenResult {
    OpenStatus status = OpenStatus::Ok;
    int errorCode = 0;  // system error code for OtherError
    std::unique_ptr<Port> port;
    // AccessDenied: the device file refused, and the group that owns it when
    // members of that group may read and write it ("" otherwise).
    std::string device;
    std::string group;
    // AmbiguousAdapter: the devices of the adapters with the serial number.
    std::vector<std::string> matches;
};

// A failed open with nothing to name beyond its status and code.
inline OpenResult OpenFailure(OpenStatus status, int errorCode = 0) {
    OpenResult r;
    r.status = status;
    r.errorCode = errorCode;
    return r;
}

// Opens ports by their configured name: "COM3"; a device path ("/dev/ttyUSB0",
// "/dev/serial/by-id/..."); "usb:SERIAL", the USB adapter with that serial number
// (port_lookup.h), resolved at each open.
class PortOpener {
public:
    virtual ~PortOpener() = default;
    virtual OpenResult Open(const std::string& name, int baudRate) = 0;
    // Existence probe for the port scan: Ok (free), Busy, or anything else (absent).
    virtual OpenStatus Probe(const std::string& name) = 0;
};

}  // namespace zentor
