#include "programmer.h"

#include <algorithm>
#include <cstdio>

namespace zentor::sim {
namespace {

constexpr std::uint8_t kSync = 0x55;
constexpr std::uint8_t kInstruction = 0xAC;
constexpr std::uint8_t kEnable = 0x53;
constexpr std::uint8_t kErase = 0x80;
constexpr std::uint8_t kCodeWrite = 0x50;
constexpr std::uint8_t kCodeRead = 0x30;
constexpr std::uint8_t kDataWrite = 0xD0;
constexpr std::uint8_t kDataRead = 0xB0;
constexpr int kCodePage = 64;
constexpr int kDataPage = 32;
constexpr std::size_t kFlippedByte = 7;

// Length of the command that starts with `opcode`; 0 for an unknown opcode.
std::size_t CommandLength(std::uint8_t opcode) {
    switch (opcode) {
        case kSync:
            return 1;
        case kInstruction:
        case kCodeRead:
        case kDataRead:
            return 4;
        case kCodeWrite:
            return 3 + kCodePage;
        case kDataWrite:
            return 3 + kDataPage;
        default:
            return 0;
    }
}

std::string Hex4(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04Xh", v);
    return buf;
}

}  // namespace

Programmer::Programmer(const Options& options, ProgrammerTarget& target, Host& host)
    : options_(options), target_(target), host_(host) {}

void Programmer::Receive(std::uint8_t byte, TimePoint at) {
    if (at < busyUntil_) {
        host_.Lost(byte, at, busyWith_);
        return;
    }
    if (!command_.empty() && at - lastByteAt_ > kResyncGap + ByteTime(options_.baud)) {
        command_.clear();
    }
    lastByteAt_ = at;
    if (command_.empty() && CommandLength(byte) == 0) return;  // not an opcode
    command_.push_back(byte);
    if (command_.size() < CommandLength(command_[0])) return;
    Execute(at);
    command_.clear();
}

void Programmer::Execute(TimePoint at) {
    const int address = command_.size() >= 3 ? (command_[1] << 8 | command_[2]) : 0;
    switch (command_[0]) {
        case kSync:
            if (!options_.noSync) host_.Send({kSync}, at);
            break;
        case kInstruction:
            if (command_[1] == kEnable) {
                enabled_ = true;
                host_.Trace("programming enabled");
            } else if (command_[1] == kErase && enabled_) {
                std::fill(target_.code.begin(), target_.code.end(), 0xFF);
                std::fill(target_.data.begin(), target_.data.end(), 0xFF);
                busyUntil_ = at + BusyTime(options_.baud, kProgrammerEraseBusy);
                busyWith_ = "programmer erasing the chip";
                host_.Trace("chip erased");
            }
            break;
        case kCodeWrite:
            WritePage(target_.code, address & ~(kCodePage - 1), kCodePage, command_.data() + 3);
            break;
        case kDataWrite:
            WritePage(target_.data, address & ~(kDataPage - 1), kDataPage, command_.data() + 3);
            break;
        case kCodeRead: {
            const int page = address & ~(kCodePage - 1);
            Bytes bytes = ReadPage(target_.code, page, kCodePage);
            if (options_.verifyFailPage.count(page)) bytes[kFlippedByte] ^= 0xFF;
            host_.Send(bytes, at);
            break;
        }
        case kDataRead:
            host_.Send(ReadPage(target_.data, address & ~(kDataPage - 1), kDataPage), at);
            break;
        default:
            break;
    }
}

Bytes Programmer::ReadPage(const Bytes& memory, int address, int pageSize) const {
    Bytes page(pageSize, 0xFF);
    if (enabled_ && address + pageSize <= static_cast<int>(memory.size())) {
        std::copy_n(memory.begin() + address, pageSize, page.begin());
    }
    return page;
}

void Programmer::WritePage(Bytes& memory, int address, int pageSize, const std::uint8_t* data) {
    if (!enabled_ || address + pageSize > static_cast<int>(memory.size())) {
        host_.Trace("page write at " + Hex4(address) + " ignored");
        return;
    }
    std::copy_n(data, pageSize, memory.begin() + address);
    busyUntil_ = lastByteAt_ + BusyTime(options_.baud, kProgrammerPageBusy);
    busyWith_ = "programmer writing a page";
    host_.Trace("page written at " + Hex4(address));
}

}  // namespace zentor::sim
