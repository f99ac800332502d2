// A page-mode in-system programmer with its target chip (AT89S8253 style):
//   55h                  -> 55h                         synchronise
//   AC 53 00 00          no reply                       programming enable
//   AC 80 00 00          no reply                       chip erase (code and data to FFh)
//   50 hi lo + 64 bytes  no reply                       code page write
//   30 hi lo 00          -> 64 bytes                    code page read
//   D0 hi lo + 32 bytes  no reply                       data page write
//   B0 hi lo 00          -> 32 bytes                    data page read
// Until programming is enabled, erase and writes are ignored and reads give FFh.
// On a paced line it is deaf while it writes a page and, longer, while it erases.
#pragma once

#include "device.h"
#include "options.h"

namespace zentor::sim {

class Programmer : public Device {
public:
    Programmer(const Options& options, ProgrammerTarget& target, Host& host);

    void Receive(std::uint8_t byte, TimePoint at) override;
    const char* ModeName() const override { return "programmer"; }

private:
    void Execute(TimePoint at);
    Bytes ReadPage(const Bytes& memory, int address, int pageSize) const;
    void WritePage(Bytes& memory, int address, int pageSize, const std::uint8_t* data);

    const Options& options_;
    ProgrammerTarget& target_;
    Host& host_;
    Bytes command_;
    TimePoint lastByteAt_{};
    TimePoint busyUntil_{};
    const char* busyWith_ = "";
    bool enabled_ = false;
};

}  // namespace zentor::sim
