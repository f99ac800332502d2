#include "bootrom/boot_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bootrom/hex_record.h"
#include "common/cp1251.h"

namespace zentor {

struct BootRomLink::Command {
    std::size_t length;     // bytes in the command buffer
    bool erase = false;     // 1000 ms before dopPause
    std::size_t replySize;  // read up to this many bytes
    std::size_t clearSize;  // reply bytes zeroed before the read (0: not judged)
};

namespace {

std::size_t PutText(LinkBuffer& buffer, const char* text) {
    const std::size_t n = std::strlen(text);
    std::memcpy(buffer.data(), text, n);
    return n;
}

}  // namespace

// Returns false when the command did not leave the port whole (device gone):
// an unjudged reply must not turn a vanished chip into a success.
bool BootRomLink::Exchange(const Command& c) {
    port_.PurgeRx();
    const bool delivered = port_.Write(command_.data(), c.length) == c.length;
    if (c.erase) clock_.SleepMs(1000);
    clock_.SleepMs(options_.dopPause);
    std::fill_n(reply_.begin(), c.clearSize, std::uint8_t{0});
    replyLength_ = port_.Read(reply_.data(), c.replySize);
    return delivered;
}

LinkError BootRomLink::Kind(bool delivered, std::size_t wanted, std::uint8_t expected) const {
    if (!delivered) return LinkError::PortGone;
    if (replyLength_ == 0) return LinkError::Timeout;
    if (reply_[0] != expected) return LinkError::Refused;
    if (replyLength_ < wanted) return LinkError::ShortReply;
    return LinkError::None;
}

bool BootRomLink::Judged(bool delivered, std::uint8_t expected) {
    error_ = Kind(delivered, 1, expected);
    return options_.controlWrite ? reply_[0] == expected : delivered;
}

bool BootRomLink::Identify() {
    command_[0] = 0x0D;
    const bool delivered = Exchange({1, false, 26, 26});
    const bool ok = std::memcmp(reply_.data() + 2, "MSC1210", 7) == 0;
    error_ = ok ? LinkError::None : FailedExchange(delivered, replyLength_, 9, LinkError::Refused);
    return ok;
}

std::string BootRomLink::BannerExcerpt() const {
    std::string text;
    for (std::size_t i = 2; i < reply_.size() && text.size() < 21; ++i) {
        if (reply_[i] == 0) break;
        text += static_cast<char>(reply_[i]);
    }
    return Cp1251ToUtf8(text);
}

bool BootRomLink::EchoOff() {
    command_[0] = 'E';
    const bool ok = Judged(Exchange({1, false, 4, options_.controlWrite ? 4u : 0u}), 'E');
    if (error_ == LinkError::Refused || error_ == LinkError::Timeout)
        error_ = LinkError::EchoMissing;
    return ok;
}

void BootRomLink::RegisterWrite(std::uint8_t reg, std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "RW%02X%02X", reg, value);
    Exchange({PutText(command_, text), false, 3, 0});
}

bool BootRomLink::Erase(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "M%04X", address);
    const bool delivered = Exchange({PutText(command_, text), true, 6, 6});
    const bool ok = reply_[1] == 'o';
    error_ = ok ? LinkError::None : FailedExchange(delivered, replyLength_, 2, LinkError::Refused);
    return ok;
}

void BootRomLink::Load() {
    command_[0] = 'L';
    Exchange({1, false, 6, 0});
}

bool BootRomLink::SendRecord(std::uint16_t address, const std::uint8_t* data) {
    const std::size_t n = ComposeDataRecord(command_.data(), address, data);
    return Judged(Exchange({n, false, 1, options_.controlWrite ? 1u : 0u}), '.');
}

bool BootRomLink::SendRecordText(const std::string& record) {
    if (record.size() > command_.size()) return false;
    std::memcpy(command_.data(), record.data(), record.size());
    return Judged(Exchange({record.size(), false, 1, options_.controlWrite ? 1u : 0u}), '.');
}

bool ProgrammerLink::Send(std::size_t length) {
    return port_.Write(command_.data(), length) == length;
}

void ProgrammerLink::WritePage(std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                               const std::uint8_t* page, int size) {
    command_[0] = op;
    command_[1] = static_cast<std::uint8_t>(address >> 8);
    command_[2] = static_cast<std::uint8_t>(address & mask);
    std::memcpy(command_.data() + 3, page, static_cast<std::size_t>(size));
    Send(static_cast<std::size_t>(size) + 3);
    clock_.SleepMs(options_.pageWriteWaitMs);
}

bool ProgrammerLink::VerifyPage(std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                                const std::uint8_t* page, int size) {
    command_[0] = op;
    command_[1] = static_cast<std::uint8_t>(address >> 8);
    command_[2] = static_cast<std::uint8_t>(address & mask);
    command_[3] = 0x00;
    const bool delivered = Send(4);
    const auto want = static_cast<std::size_t>(size);
    // A short answer fails: stale buffer bytes must never pass for the page.
    const std::size_t got = port_.Read(reply_.data(), want);
    const bool equal = got == want && std::equal(page, page + size, reply_.begin());
    error_ = equal ? LinkError::None : FailedExchange(delivered, got, want, LinkError::Mismatch);
    return equal;
}

bool ProgrammerLink::Sync() {
    command_[0] = 0x55;
    const bool delivered = Send(1);
    const std::size_t got = port_.Read(reply_.data(), 1);
    const bool ok = got == 1 && reply_[0] == 0x55;
    error_ = ok ? LinkError::None : FailedExchange(delivered, got, 1, LinkError::Refused);
    return ok;
}

void ProgrammerLink::Enable() {
    const std::uint8_t cmd[4] = {0xAC, 0x53, 0x00, 0x00};
    std::memcpy(command_.data(), cmd, 4);
    Send(4);
    clock_.SleepMs(options_.enableWaitMs);
}

void ProgrammerLink::ChipErase() {
    const std::uint8_t cmd[4] = {0xAC, 0x80, 0x00, 0x00};
    std::memcpy(command_.data(), cmd, 4);
    Send(4);
}

void ProgrammerLink::WriteCodePage(std::uint16_t address, const std::uint8_t* page) {
    WritePage(0x50, address, 0xC0, page, kCodePageSize);
}

bool ProgrammerLink::VerifyCodePage(std::uint16_t address, const std::uint8_t* page) {
    return VerifyPage(0x30, address, 0xC0, page, kCodePageSize);
}

void ProgrammerLink::WriteDataPage(std::uint16_t address, const std::uint8_t* page) {
    WritePage(0xD0, address, 0xE0, page, kDataPageSize);
}

bool ProgrammerLink::VerifyDataPage(std::uint16_t address, const std::uint8_t* page) {
    return VerifyPage(0xB0, address, 0xE0, page, kDataPageSize);
}

}  // namespace zentor
