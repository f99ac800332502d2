// Runs zentor-sim, the simulated instrument, for integration tests, and talks to
// its pseudo-terminal with raw bytes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace zentor::test {

class SimProcess {
public:
    // The line's pace when args name none: a tool talking at this rate or slower
    // meets the simulator's busy times as it would a real device's. "--baud 0"
    // gives an ideal line and device (bytes pass at once, never busy).
    static constexpr long kDefaultBaud = 38400;

    // Starts ZENTOR_SIM_PATH with args plus "--state-dir <fresh temp dir>" (and
    // "--baud 38400" unless args hold "--baud") and waits for the device-path line.
    // Throws std::runtime_error if the simulator does not come up within 5 s.
    explicit SimProcess(std::vector<std::string> args);
    // SIGTERM, wait, remove the temp dir.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pty slave path, e.g. /dev/pts/5.
    const std::string& DevicePath() const { return devicePath_; }
    std::filesystem::path StateDir() const { return stateDir_.path(); }

    // Each waits at most 5 s for the simulator's status line and throws
    // std::runtime_error when it does not come (or the simulator is gone).
    void Dump();        // SIGUSR1, wait for "dumped"
    void PowerCycle();  // SIGUSR2, wait for "power-cycled"

    std::vector<std::uint8_t> Flash();      // Dump(), then flash.bin
    std::vector<std::uint8_t> DataFlash();  // Dump(), then data.bin
    std::string Hcr0();                     // Dump(), then two upper-case hex digits
    std::string Hcr1();
    std::string Mode();  // Dump(), then "firmware", "bootrom" or "programmer"
    long LostBytes();    // Dump(), then the bytes lost to the device's busy times

    // SIGKILL now (the device vanishes); safe to call twice.
    void Kill();
    bool Running();
    // Waits for the simulator to end by itself; true if it did within `timeout`.
    bool WaitForExit(std::chrono::milliseconds timeout);
    // Exit status once it has ended on its own (-1 while running or when killed).
    int ExitCode();

private:
    void Signal(int signo, const std::string& expectedLine);
    std::string ReadLine(std::chrono::milliseconds timeout);
    std::string HcrValue(const std::string& key);
    bool Reap(bool block);

    ScratchDir stateDir_{"sim"};
    std::string devicePath_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    int stdout_ = -1;
    std::string pending_;
};

// The tool's side of the line, opened raw, with plain POSIX calls.
class SimLine {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Throws std::runtime_error when the path cannot be opened.
    explicit SimLine(const std::string& path);
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // False when the line is gone (the simulator exited).
    bool Write(const Bytes& bytes);
    bool WriteText(const std::string& text);
    // Returns when n bytes arrived or the timeout passed, with what arrived.
    Bytes Read(std::size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    // Everything that arrives within the given time.
    Bytes ReadFor(std::chrono::milliseconds duration);
    // Discards pending input.
    void Purge();
    // Purge, write, read n bytes.
    Bytes Exchange(const Bytes& request, std::size_t n,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    Bytes ExchangeText(const std::string& text, std::size_t n,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

private:
    int fd_ = -1;
};

// Appends the bus checksum (CRC-8, reflected polynomial 8Ch, start 0Fh) to a frame.
std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame);
std::uint8_t BusChecksum(const std::vector<std::uint8_t>& bytes, std::size_t count);

// The firmware's frames, exchanged on the line (each purges first).
// Register write {addr, reg, value}; true when the 2-byte answer echoes the checksum.
bool WriteByte(SimLine& line, std::uint8_t reg, std::uint8_t value, std::uint8_t addr = 1);
// Block write {addrByte, target, size - 1, payload}; true when the answer echoes the checksum.
bool WriteBlock(SimLine& line, std::uint8_t addrByte, std::uint8_t target,
                const std::vector<std::uint8_t>& payload,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
// Block read {addrByte, target, n - 1}; the n data bytes, or nothing when the reply is short
// or its checksum wrong.
std::optional<std::vector<std::uint8_t>> ReadBlock(
    SimLine& line, std::uint8_t addrByte, std::uint8_t target, int n,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
// The n data bytes of a block read's reply (two header bytes, data, checksum), or nothing
// when the reply has another length or a wrong checksum.
std::optional<std::vector<std::uint8_t>> BlockReplyData(const std::vector<std::uint8_t>& reply,
                                                        std::size_t n);

// An Intel HEX record with its CR LF, upper-case digits.
std::string HexRecord(int address, const std::vector<std::uint8_t>& data, int type = 0);

}  // namespace zentor::test
