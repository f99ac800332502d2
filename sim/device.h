// What the simulated devices share: time, the chip's memories and the board they
// sit on.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zentor::sim {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using Bytes = std::vector<std::uint8_t>;

// Bytes separated by more silence than this do not belong to one command.
constexpr std::chrono::milliseconds kResyncGap{50};

// How long a paced device is busy with its flash and deaf to the line; a byte
// that arrives meanwhile is lost. Each is at most half the pause the tool keeps
// after the command; the page write is a quarter, since a pseudo-terminal may hand
// bytes over several milliseconds late on a loaded machine. An unpaced line
// (rate 0) has an ideal device: never busy.
constexpr std::chrono::milliseconds kProgrammerPageBusy{5};    // tool: 20 ms
constexpr std::chrono::milliseconds kProgrammerEraseBusy{50};  // tool: 100 ms
constexpr std::chrono::milliseconds kBootEraseBusy{500};       // tool: 1000 ms + DopPause
constexpr std::chrono::milliseconds kBootRecordBusy{1};        // answered when done
constexpr std::chrono::milliseconds kFirmwarePageBusy{10};     // tool: 25 ms per exchange

inline std::chrono::nanoseconds BusyTime(long baud, std::chrono::nanoseconds busy) {
    return baud > 0 ? busy : std::chrono::nanoseconds(0);
}

// Wire time of one byte (start, 8 data, stop bits); zero when unpaced.
inline std::chrono::nanoseconds ByteTime(long baud) {
    return baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud)
                    : std::chrono::nanoseconds(0);
}

// The MSC1210's memories: the flash, whose top DATA FLASH region the firmware
// serves page by page, and the two hardware configuration bytes.
struct Chip {
    int flashSize = 0;
    int dataFlashSize = 0;
    Bytes flash;
    std::uint8_t hcr0 = 0xFF;
    std::uint8_t hcr1 = 0xFF;

    int DataBase() const { return flashSize - dataFlashSize; }
};

// The programmer's target chip.
struct ProgrammerTarget {
    Bytes code;
    Bytes data;
};

// Counts that live as long as the process, across restarts and power cycles.
struct Counters {
    long exchanges = 0;    // framed exchanges answered
    long page0Copies = 0;  // copies of DATA FLASH page 0 into SRAM
    long records = 0;      // hex records received by the boot ROM
    long lostBytes = 0;    // bytes that arrived while the device was deaf
};

// Services of the board to the device running on it.
class Host {
public:
    virtual ~Host() = default;
    // Queues bytes for the wire; they leave no earlier than notBefore.
    virtual void Send(const Bytes& bytes, TimePoint notBefore) = 0;
    // When everything queued so far will have left.
    virtual TimePoint TxIdleAt(TimePoint now) const = 0;
    // After the current byte: the chip restarts into its boot ROM.
    virtual void EnterBootRom() = 0;
    // After the queued output: the process exits at once.
    virtual void Vanish() = 0;
    virtual void Trace(const std::string& line) = 0;
    // A byte arrived while the device was busy with `what`: it is dropped,
    // counted and reported.
    virtual void Lost(std::uint8_t byte, TimePoint at, const std::string& what) = 0;
};

class Device {
public:
    virtual ~Device() = default;
    // One byte, fully arrived at `at`.
    virtual void Receive(std::uint8_t byte, TimePoint at) = 0;
    virtual const char* ModeName() const = 0;
};

}  // namespace zentor::sim
