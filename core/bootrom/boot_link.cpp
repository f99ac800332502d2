#include "bootrom/boot_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bootrom/hex_record.h"
#include "common/cp1251.h"

namespace zentor {

namespace {

struct BootCommand {
    std::size_t length;     // bytes in CommandBuffer
    bool erase = false;     // 1000 ms before DopPause
    std::size_t replySize;  // read up to this many bytes
    std::size_t clearSize;  // reply bytes zeroed before the read (0: not judged)
};

// Returns false when the command did not leave the port whole (device gone):
// an unjudged reply must not turn a vanished chip into a success.
bool BootExchange(Session& s, const BootCommand& c) {
    Port* port = s.hComPort.get();
    bool delivered = false;
    if (port) {
        port->PurgeRx();
        delivered = port->Write(s.CommandBuffer.data(), c.length) == c.length;
    }
    if (c.erase) s.clock.SleepMs(1000);
    s.clock.SleepMs(s.settings.DopPause);
    std::fill_n(s.ReplyBuffer.begin(), c.clearSize, std::uint8_t{0});
    if (port) port->Read(s.ReplyBuffer.data(), c.replySize);
    return delivered;
}

std::size_t PutText(Session& s, const char* text) {
    const std::size_t n = std::strlen(text);
    std::memcpy(s.CommandBuffer.data(), text, n);
    return n;
}

void ProgWrite(Session& s, std::size_t length) {
    if (Port* port = s.hComPort.get()) port->Write(s.CommandBuffer.data(), length);
}

std::size_t ProgRead(Session& s, std::size_t length) {
    Port* port = s.hComPort.get();
    return port ? port->Read(s.ReplyBuffer.data(), length) : 0;
}

void ProgWritePage(Session& s, std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                   const std::uint8_t* page, int size) {
    s.CommandBuffer[0] = op;
    s.CommandBuffer[1] = static_cast<std::uint8_t>(address >> 8);
    s.CommandBuffer[2] = static_cast<std::uint8_t>(address & mask);
    std::memcpy(s.CommandBuffer.data() + 3, page, static_cast<std::size_t>(size));
    ProgWrite(s, static_cast<std::size_t>(size) + 3);
    s.clock.SleepMs(20);
}

bool ProgVerifyPage(Session& s, std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                    const std::uint8_t* page, int size) {
    s.CommandBuffer[0] = op;
    s.CommandBuffer[1] = static_cast<std::uint8_t>(address >> 8);
    s.CommandBuffer[2] = static_cast<std::uint8_t>(address & mask);
    s.CommandBuffer[3] = 0x00;
    ProgWrite(s, 4);
    const auto want = static_cast<std::size_t>(size);
    // A short answer fails: stale buffer bytes must never pass for the page.
    return ProgRead(s, want) == want && std::equal(page, page + size, s.ReplyBuffer.begin());
}

}  // namespace

bool BootIdentify(Session& s) {
    s.CommandBuffer[0] = 0x0D;
    BootExchange(s, {1, false, 26, 26});
    return std::memcmp(s.ReplyBuffer.data() + 2, "MSC1210", 7) == 0;
}

std::string BannerExcerpt(const Session& s) {
    std::string text;
    for (std::size_t i = 2; i < s.ReplyBuffer.size() && text.size() < 21; ++i) {
        if (s.ReplyBuffer[i] == 0) break;
        text += static_cast<char>(s.ReplyBuffer[i]);
    }
    return Cp1251ToUtf8(text);
}

bool BootEchoOff(Session& s) {
    s.CommandBuffer[0] = 'E';
    const bool judged = s.settings.ControlWrite;
    const bool delivered = BootExchange(s, {1, false, 4, judged ? 4u : 0u});
    return judged ? s.ReplyBuffer[0] == 'E' : delivered;
}

void BootRegisterWrite(Session& s, std::uint8_t reg, std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "RW%02X%02X", reg, value);
    BootExchange(s, {PutText(s, text), false, 3, 0});
}

bool BootErase(Session& s, std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "M%04X", address);
    BootExchange(s, {PutText(s, text), true, 6, 6});
    return s.ReplyBuffer[1] == 'o';
}

void BootLoad(Session& s) {
    s.CommandBuffer[0] = 'L';
    BootExchange(s, {1, false, 6, 0});
}

bool BootSendRecord(Session& s, std::uint16_t address, const std::uint8_t* data) {
    const std::size_t n = ComposeDataRecord(s.CommandBuffer.data(), address, data);
    const bool judged = s.settings.ControlWrite;
    const bool delivered = BootExchange(s, {n, false, 1, judged ? 1u : 0u});
    return judged ? s.ReplyBuffer[0] == '.' : delivered;
}

bool BootSendRecordText(Session& s, const std::string& record) {
    if (record.size() > s.CommandBuffer.size()) return false;
    std::memcpy(s.CommandBuffer.data(), record.data(), record.size());
    const bool judged = s.settings.ControlWrite;
    const bool delivered = BootExchange(s, {record.size(), false, 1, judged ? 1u : 0u});
    return judged ? s.ReplyBuffer[0] == '.' : delivered;
}

bool ProgSync(Session& s) {
    s.CommandBuffer[0] = 0x55;
    ProgWrite(s, 1);
    return ProgRead(s, 1) == 1 && s.ReplyBuffer[0] == 0x55;
}

void ProgEnable(Session& s) {
    const std::uint8_t cmd[4] = {0xAC, 0x53, 0x00, 0x00};
    std::memcpy(s.CommandBuffer.data(), cmd, 4);
    ProgWrite(s, 4);
    s.clock.SleepMs(20);
}

void ProgChipErase(Session& s) {
    const std::uint8_t cmd[4] = {0xAC, 0x80, 0x00, 0x00};
    std::memcpy(s.CommandBuffer.data(), cmd, 4);
    ProgWrite(s, 4);
}

void ProgWriteCodePage(Session& s, std::uint16_t address, const std::uint8_t* page) {
    ProgWritePage(s, 0x50, address, 0xC0, page, kCodePageSize);
}

bool ProgVerifyCodePage(Session& s, std::uint16_t address, const std::uint8_t* page) {
    return ProgVerifyPage(s, 0x30, address, 0xC0, page, kCodePageSize);
}

void ProgWriteDataPage(Session& s, std::uint16_t address, const std::uint8_t* page) {
    ProgWritePage(s, 0xD0, address, 0xE0, page, kDataPageSize);
}

bool ProgVerifyDataPage(Session& s, std::uint16_t address, const std::uint8_t* page) {
    return ProgVerifyPage(s, 0xB0, address, 0xE0, page, kDataPageSize);
}

}  // namespace zentor
