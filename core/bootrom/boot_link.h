// The two programming dialogues on the session's port: the MSC1210 serial boot
// ROM (printable commands, Intel HEX records) and the hardware programmer (raw
// 4-byte instructions and page transfers). Commands are composed in
// s.CommandBuffer, replies land in s.ReplyBuffer. A closed port behaves like a
// silent device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/session.h"

namespace zentor {

// Boot ROM. Each command: purge input, one write, (erase: 1000 ms), DopPause,
// then a read of the reply.

// Carriage return; good when reply characters 3..9 read "MSC1210".
bool BootIdentify(Session& s);
// The banner as logged: reply text from its third character up to the first
// zero byte, at most 21 characters (single-byte text, given as UTF-8).
std::string BannerExcerpt(const Session& s);
// "E"; judged (echo "E") only with ControlWrite.
bool BootEchoOff(Session& s);
// "RW" reg value; reply not judged.
void BootRegisterWrite(Session& s, std::uint8_t reg, std::uint8_t value);
// "M" + 4-digit address; always judged (second reply byte "o").
bool BootErase(Session& s, std::uint16_t address);
// "L"; reply not judged.
void BootLoad(Session& s);
// One 128-byte data record; judged (".") only with ControlWrite.
bool BootSendRecord(Session& s, std::uint16_t address, const std::uint8_t* data);
// A prepared record (the configuration record); judged only with ControlWrite.
bool BootSendRecordText(Session& s, const std::string& record);

// Hardware programmer: no purge, no DopPause.
inline constexpr int kCodePageSize = 64;
inline constexpr int kDataPageSize = 32;

// 55h; good only when one byte came back and it is 55h.
bool ProgSync(Session& s);
// ACh 53h 00h 00h, then 20 ms.
void ProgEnable(Session& s);
// ACh 80h 00h 00h; the caller keeps the 100 ms that follow.
void ProgChipErase(Session& s);
// 50h hi lo + 64 bytes, then 20 ms.
void ProgWriteCodePage(Session& s, std::uint16_t address, const std::uint8_t* page);
// 30h hi lo 00h; true when 64 bytes came back equal to page.
bool ProgVerifyCodePage(Session& s, std::uint16_t address, const std::uint8_t* page);
// D0h hi lo + 32 bytes, then 20 ms.
void ProgWriteDataPage(Session& s, std::uint16_t address, const std::uint8_t* page);
// B0h hi lo 00h; true when 32 bytes came back equal to page.
bool ProgVerifyDataPage(Session& s, std::uint16_t address, const std::uint8_t* page);

}  // namespace zentor
