// The simulated board: the chip's memories, the device currently answering on
// the line (running firmware, boot ROM or programmer) and the state dumps.
#pragma once

#include <memory>
#include <optional>

#include "device.h"
#include "options.h"
#include "pty.h"

namespace zentor::sim {

class Board : public Host {
public:
    Board(const Options& options, PtyLink& link, Chip chip, ProgrammerTarget target);

    void Receive(std::uint8_t byte, TimePoint at);
    // Power off and on: the firmware (or the boot ROM with the jumper) starts
    // from the flash as it is now; bytes in flight are lost. Without the jumper
    // and with the first CODE FLASH page (128 bytes) erased nothing starts: the
    // board stays silent ("dead") until the next power cycle.
    void PowerCycle();
    // Writes flash.bin, data.bin, hcr.txt, mode.txt and lost.txt into the state folder.
    bool Dump(std::string* error) const;
    const char* Mode() const { return device_->ModeName(); }
    // When the process has to end abruptly, if it has to.
    std::optional<TimePoint> VanishAt() const { return vanishAt_; }

    // Host
    void Send(const Bytes& bytes, TimePoint notBefore) override;
    TimePoint TxIdleAt(TimePoint now) const override { return link_.TxIdleAt(now); }
    void EnterBootRom() override { enterBootRom_ = true; }
    void Vanish() override;
    void Trace(const std::string& line) override;
    void Lost(std::uint8_t byte, TimePoint at, const std::string& what) override;

private:
    std::unique_ptr<Device> StartDevice(bool bootRom);

    const Options& options_;
    PtyLink& link_;
    Chip chip_;
    ProgrammerTarget target_;
    Counters counters_;
    std::unique_ptr<Device> device_;
    bool enterBootRom_ = false;
    std::optional<TimePoint> vanishAt_;
};

}  // namespace zentor::sim
