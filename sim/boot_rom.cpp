#include "boot_rom.h"

#include <algorithm>
#include <cstdio>

#include "hex.h"

namespace zentor::sim {
namespace {

constexpr std::size_t kMaxRecordChars = 600;
constexpr int kConfigBase = 0x8000;
constexpr int kConfigEnd = 0x8080;
constexpr int kHcr1Address = 0x807E;
constexpr int kHcr0Address = 0x807F;
constexpr std::uint8_t kSfrUsec = 0xFB;
constexpr std::uint8_t kSfrMsecLow = 0xFC;
constexpr std::uint8_t kSfrMsecHigh = 0xFD;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Value of `count` hex digits at text[pos], or -1.
int HexValue(const std::string& text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return -1;
    int v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int d = HexDigit(text[pos + i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

}  // namespace

BootRom::BootRom(const Options& options, Chip& chip, Counters& counters, Host& host)
    : options_(options), chip_(chip), counters_(counters), host_(host) {}

void BootRom::Receive(std::uint8_t byte, TimePoint at) {
    if (silent_) return;
    // The LF that follows a record's CR is part of the line end: the UART holds
    // it while the flash is written, and the monitor skips it.
    const bool lineEndTail = byte == '\n' && lastWasRecordEnd_;
    lastWasRecordEnd_ = false;
    if (at < busyUntil_) {
        if (!lineEndTail) host_.Lost(byte, at, busyWith_);
        return;
    }
    if (at - lastByteAt_ > kResyncGap + ByteTime(options_.baud)) {
        command_.clear();
        inRecord_ = false;
    }
    lastByteAt_ = at;
    const char c = static_cast<char>(byte);

    if (inRecord_) {
        if (c == '\r' || c == '\n') {
            inRecord_ = false;
            lastWasRecordEnd_ = c == '\r';
            Record(at);
        } else if (record_.size() <= kMaxRecordChars) {
            record_ += c;
        }
        return;
    }
    if (c == ':') {
        command_.clear();
        inRecord_ = true;
        record_ = ":";
        return;
    }
    if (c == '\r') {
        command_.clear();
        Banner(at);
        return;
    }
    if (command_.empty()) {
        switch (c) {
            case 'E':
                Reply(echo_ ? 'E' : '\r', "\r\n>", at);
                echo_ = false;
                host_.Trace("echo off");
                return;
            case 'L':
                Reply(echo_ ? 'L' : '\r', "\nLOAD", at);
                loading_ = true;
                host_.Trace("loading");
                return;
            case 'R':
            case 'M':
                command_ = c;
                return;
            default:
                return;  // line feeds and stray bytes
        }
    }
    command_ += c;
    if ((command_[0] == 'R' && command_.size() == 6) ||
        (command_[0] == 'M' && command_.size() == 5)) {
        Command(at);
        command_.clear();
    }
}

void BootRom::Command(TimePoint at) {
    if (command_[0] == 'R') {
        RegisterWrite(at);
    } else {
        Erase(at);
    }
}

void BootRom::Reply(char lead, const std::string& rest, TimePoint at) {
    Bytes bytes;
    bytes.reserve(rest.size() + 1);
    bytes.push_back(static_cast<std::uint8_t>(lead));
    for (char c : rest) bytes.push_back(static_cast<std::uint8_t>(c));
    host_.Send(bytes, at);
}

void BootRom::Banner(TimePoint at) {
    // The monitor starts over: echo on, loading off.
    echo_ = true;
    loading_ = false;
    if (options_.noBanner) return;
    char id[32];
    std::snprintf(id, sizeof id, "%s%s V03.05 %2dKB", options_.wrongBanner ? "MSC1201" : "MSC1210",
                  options_.chip.c_str(), chip_.flashSize / 1024);
    Reply('\r', "\n" + std::string(id) + "\r\n>", at);
    host_.Trace(std::string("banner ") + id);
}

void BootRom::RegisterWrite(TimePoint at) {
    const char lead = echo_ ? 'R' : '\r';
    const int reg = HexValue(command_, 2, 2);
    const int value = HexValue(command_, 4, 2);
    if (command_[1] != 'W' || reg < 0 || value < 0) {
        Reply(lead, "?>", at);
        return;
    }
    sfr_[reg] = static_cast<std::uint8_t>(value);
    sfrSet_[reg] = true;
    Reply(lead, "\n>", at);
    host_.Trace("SFR " + command_.substr(2, 2) + "h := " + command_.substr(4, 2) + "h");
}

bool BootRom::TimingSet() const {
    return sfrSet_[kSfrUsec] && sfrSet_[kSfrMsecLow] && sfrSet_[kSfrMsecHigh];
}

void BootRom::Erase(TimePoint at) {
    const char lead = echo_ ? 'M' : '\r';
    const int address = HexValue(command_, 1, 4);
    bool ok = TimingSet() && !options_.eraseFail;
    if (ok && address == 0x0000) {
        std::fill(chip_.flash.begin(), chip_.flash.end(), 0xFF);
    } else if (ok && address == kConfigBase) {
        chip_.hcr0 = 0xFF;
        chip_.hcr1 = 0xFF;
    } else {
        ok = false;
    }
    if (ok) {
        busyUntil_ = at + BusyTime(options_.baud, kBootEraseBusy);
        busyWith_ = "boot ROM erasing";
    }
    Reply(lead, ok ? "ok\r\n>" : "ER\r\n>", std::max(at, busyUntil_));
    host_.Trace("erase " + command_ + (ok ? " ok" : " refused"));
}

void BootRom::Record(TimePoint at) {
    const long k = ++counters_.records;
    if (!options_.hexLog.empty()) {
        std::ofstream log(options_.hexLog, std::ios::app | std::ios::binary);
        log << record_ << '\n';
    }
    const bool accepted =
        !options_.refuseRecord.count(k) && Load(record_, options_.corruptRecord.count(k) > 0);
    if (accepted) {
        busyUntil_ = at + BusyTime(options_.baud, kBootRecordBusy);
        busyWith_ = "boot ROM programming a record";
    }
    host_.Send({static_cast<std::uint8_t>(accepted ? '.' : 'X')}, std::max(at, busyUntil_));
    host_.Trace("record " + std::to_string(k) + (accepted ? " accepted" : " refused"));
    if (k == options_.silentAfterRecord) silent_ = true;
    if (k == options_.dieAfterRecord) host_.Vanish();
}

bool BootRom::Load(const std::string& line, bool corrupt) {
    HexRecord rec;
    std::string why;
    if (!ParseHexRecord(line, &rec, &why)) {
        host_.Trace("record: " + why);
        return false;
    }
    if (!loading_ || !TimingSet()) return false;
    if (rec.type == 0x01) {
        loading_ = false;
        return true;
    }
    if (rec.type != 0x00) return false;

    const int start = rec.address;
    const int end = start + static_cast<int>(rec.data.size());
    if (end <= chip_.flashSize) {
        if (std::any_of(chip_.flash.begin() + start, chip_.flash.begin() + end,
                        [](std::uint8_t b) { return b != 0xFF; })) {
            host_.Trace("record: flash not erased");
            return false;
        }
        std::copy(rec.data.begin(), rec.data.end(), chip_.flash.begin() + start);
        // A cell that took the wrong value while the record is acknowledged.
        if (corrupt && end > start) chip_.flash[static_cast<std::size_t>(start)] ^= 0x5A;
        return true;
    }
    if (start >= kConfigBase && end <= kConfigEnd) {
        std::uint8_t* cells[2] = {&chip_.hcr1, &chip_.hcr0};
        for (int a = std::max(start, kHcr1Address); a < end; ++a) {
            if (*cells[a - kHcr1Address] != 0xFF) {
                host_.Trace("record: configuration not erased");
                return false;
            }
        }
        for (int a = std::max(start, kHcr1Address); a < end; ++a) {
            *cells[a - kHcr1Address] = rec.data[a - start];
        }
        return true;
    }
    host_.Trace("record: outside the flash");
    return false;
}

}  // namespace zentor::sim
