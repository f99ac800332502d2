// The MSC1210's serial boot ROM: a printable command dialogue and Intel HEX loading.
//
// Replies have fixed lengths. The first byte of each command reply is the echo of
// the command letter while echo is on, else a carriage return:
//   CR      -> CR LF, 21 identification characters, CR LF ">"   (26 bytes; echo on)
//   E       -> lead CR LF ">"                                     (4; echo off)
//   RWxxyy  -> lead LF ">"  (lead "?" ">" when malformed)         (3; SFR xx := yy)
//   M0000   -> lead "ok" CR LF ">", or lead "ER" CR LF ">"       (6; erase FLASH1)
//   M8000   -> likewise                                           (6; erase FLASH2)
//   L       -> lead LF "LOAD"                                     (6; loading on)
//   record  -> "." accepted, "X" refused                          (1)
// Flash is erased and written only after the timing SFRs FBh, FCh and FDh are set.
// FLASH2 is the configuration area from 8000h: its erase sets HCR0 and HCR1 to FFh,
// 807Eh holds HCR1 and 807Fh HCR0, 8000h..807Dh are accepted and not kept.
// A data byte may only be written over an erased (FFh) byte.
// On a paced line an erase and the programming of a record take time, during which
// arriving bytes are lost; their replies come when the work is done.
#pragma once

#include <array>
#include <fstream>
#include <string>

#include "device.h"
#include "options.h"

namespace zentor::sim {

class BootRom : public Device {
public:
    BootRom(const Options& options, Chip& chip, Counters& counters, Host& host);

    void Receive(std::uint8_t byte, TimePoint at) override;
    const char* ModeName() const override { return "bootrom"; }

private:
    void Command(TimePoint at);
    void Banner(TimePoint at);
    void Reply(char lead, const std::string& rest, TimePoint at);
    void RegisterWrite(TimePoint at);
    void Erase(TimePoint at);
    void Record(TimePoint at);
    // Whether the record was taken into flash or the configuration bytes.
    bool Load(const std::string& line, bool corrupt);
    bool TimingSet() const;

    const Options& options_;
    Chip& chip_;
    Counters& counters_;
    Host& host_;

    std::string command_;
    std::string record_;
    bool inRecord_ = false;
    TimePoint lastByteAt_{};
    bool lastWasRecordEnd_ = false;  // the last byte was the CR that ended a record
    TimePoint busyUntil_{};
    const char* busyWith_ = "";
    bool echo_ = true;
    bool loading_ = false;
    bool silent_ = false;
    std::array<std::uint8_t, 256> sfr_{};
    std::array<bool, 256> sfrSet_{};
};

}  // namespace zentor::sim
