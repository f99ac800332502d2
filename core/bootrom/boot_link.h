// The two programming dialogues on one port: the MSC1210 serial boot ROM
// (printable commands, Intel HEX records) and the hardware programmer (raw
// 4-byte instructions and page transfers). Each link composes its commands in
// its own command buffer and reads replies into its own reply buffer; a silent
// port behaves like a silent device. Nothing is retried here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/clock.h"
#include "common/link_error.h"
#include "serial/port.h"

namespace zentor {

inline constexpr std::size_t kLinkBufferSize = 300;
using LinkBuffer = std::array<std::uint8_t, kLinkBufferSize>;

struct BootRomOptions {
    int dopPause = 0;           // ms between a command and the read of its reply
    bool controlWrite = false;  // judge the echo-off and record replies
};

// Boot ROM. Each command: purge input, one write, (erase: 1000 ms), dopPause,
// then a read of the reply.
class BootRomLink {
public:
    BootRomLink(Port& port, Clock& clock, BootRomOptions options)
        : port_(port), clock_(clock), options_(options) {}

    // Carriage return; good when reply characters 3..9 read "MSC1210".
    bool Identify();
    // The banner as logged: reply text from its third character up to the first
    // zero byte, at most 21 characters (single-byte text, given as UTF-8).
    std::string BannerExcerpt() const;
    // "E"; judged (echo "E") only with controlWrite.
    bool EchoOff();
    // "RW" reg value; reply not judged.
    void RegisterWrite(std::uint8_t reg, std::uint8_t value);
    // "M" + 4-digit address; always judged (second reply byte "o").
    bool Erase(std::uint16_t address);
    // "L"; reply not judged.
    void Load();
    // One 128-byte data record; judged (".") only with controlWrite.
    bool SendRecord(std::uint16_t address, const std::uint8_t* data);
    // A prepared record (the configuration record); judged only with controlWrite.
    bool SendRecordText(const std::string& record);
    // True when the last reply began with the acknowledgement ".", judged or not:
    // a record that got nothing (or a refusal) was not confirmed by the chip.
    bool LastRecordAcknowledged() const { return replyLength_ > 0 && reply_[0] == '.'; }

    LinkBuffer& ReplyBuffer() { return reply_; }
    // Why the last command failed, or how its unjudged reply fell short (a record
    // sent with controlWrite off that got nothing reads Timeout); None when it
    // got what it asked for.
    LinkError LastError() const { return error_; }

private:
    struct Command;
    bool Exchange(const Command& c);
    bool Judged(bool delivered, std::uint8_t expected);
    // The kind of a reply of `wanted` bytes that should start with `expected`.
    LinkError Kind(bool delivered, std::size_t wanted, std::uint8_t expected) const;

    Port& port_;
    Clock& clock_;
    BootRomOptions options_;
    LinkBuffer command_{};
    LinkBuffer reply_{};
    std::size_t replyLength_ = 0;  // bytes the last read returned
    LinkError error_ = LinkError::None;
};

inline constexpr int kCodePageSize = 64;
inline constexpr int kDataPageSize = 32;

struct ProgrammerOptions {
    int enableWaitMs = 20;     // after the programming-enable instruction
    int pageWriteWaitMs = 20;  // after each page write
};

// Hardware programmer: no purge, no dopPause.
class ProgrammerLink {
public:
    ProgrammerLink(Port& port, Clock& clock, ProgrammerOptions options = {})
        : port_(port), clock_(clock), options_(options) {}

    // 55h; good only when one byte came back and it is 55h.
    bool Sync();
    // ACh 53h 00h 00h, then enableWaitMs.
    void Enable();
    // ACh 80h 00h 00h; the caller keeps the 100 ms that follow.
    void ChipErase();
    // 50h hi lo + 64 bytes, then pageWriteWaitMs.
    void WriteCodePage(std::uint16_t address, const std::uint8_t* page);
    // 30h hi lo 00h; true when 64 bytes came back equal to page.
    bool VerifyCodePage(std::uint16_t address, const std::uint8_t* page);
    // D0h hi lo + 32 bytes, then pageWriteWaitMs.
    void WriteDataPage(std::uint16_t address, const std::uint8_t* page);
    // B0h hi lo 00h; true when 32 bytes came back equal to page.
    bool VerifyDataPage(std::uint16_t address, const std::uint8_t* page);

    LinkBuffer& ReplyBuffer() { return reply_; }
    // Why the last Sync or page verification failed; None when it passed.
    LinkError LastError() const { return error_; }

private:
    bool Send(std::size_t length);  // false when the command did not leave the port whole
    void WritePage(std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                   const std::uint8_t* page, int size);
    bool VerifyPage(std::uint8_t op, std::uint16_t address, std::uint8_t mask,
                    const std::uint8_t* page, int size);

    Port& port_;
    Clock& clock_;
    ProgrammerOptions options_;
    LinkBuffer command_{};
    LinkBuffer reply_{};
    LinkError error_ = LinkError::None;
};

}  // namespace zentor
