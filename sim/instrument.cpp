#include "instrument.h"

#include <algorithm>
#include <cstdio>

#include "checksum.h"

namespace zentor::sim {
namespace {

constexpr std::uint8_t kWriteKind = 0x00;
constexpr std::uint8_t kMemoryWriteKind = 0x40;
constexpr std::uint8_t kReadKind = 0x80;
constexpr std::uint8_t kMemoryReadKind = 0xC0;

constexpr std::uint8_t kRegIdentity = 0xEC;
constexpr std::uint8_t kRegVersion = 0xED;
constexpr std::uint8_t kRegBlockWrite = 0xFB;
constexpr std::uint8_t kRegProg = 0xFD;
constexpr std::uint8_t kRegPage = 0xFE;
constexpr std::uint8_t kRegCommand = 0xFF;

constexpr std::uint8_t kCmdRestart = 0x01;
constexpr std::uint8_t kCmdStore = 0x05;
constexpr std::uint8_t kCmdCopy = 0x06;
constexpr std::uint8_t kCmdProg = 0x0B;
constexpr std::uint8_t kCmdOpenLarge = 0xFB;
constexpr std::uint8_t kProgKey = 0xAF;

constexpr std::uint8_t kStatusOk = 0;
constexpr std::uint8_t kStatusNoPage = 1;
constexpr std::uint8_t kStatusFlashError = 2;

constexpr std::uint8_t kSurplusByte = 0xA5;
constexpr std::uint8_t kNoiseByte = 0xE7;
constexpr std::size_t kFlippedByte = 0x21;
constexpr std::chrono::milliseconds kNoiseDelay{2};
constexpr std::chrono::milliseconds kRestartSilence{300};

std::string HexBytes(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < 12; ++i) {
        std::snprintf(buf, sizeof buf, "%s%02X", i ? " " : "", bytes[i]);
        s += buf;
    }
    if (bytes.size() > 12) s += " ...";
    return s;
}

}  // namespace

Instrument::Instrument(const Options& options, Chip& chip, Counters& counters, Host& host)
    : options_(options), chip_(chip), counters_(counters), host_(host) {}

void Instrument::Receive(std::uint8_t byte, TimePoint at) {
    if (at < silentUntil_) return;  // still booting
    if (at < busyUntil_) {
        host_.Lost(byte, at, "firmware busy with a DATA FLASH page");
        return;
    }
    if (!frame_.empty() && at - lastByteAt_ > kResyncGap + ByteTime(options_.baud)) frame_.clear();
    lastByteAt_ = at;
    frame_.push_back(byte);

    const std::uint8_t kind = frame_[0] & 0xC0;
    std::size_t need = 4;
    if (kind == kWriteKind || kind == kMemoryWriteKind) {
        if (frame_.size() < 3) return;
        need = static_cast<std::size_t>(frame_[2]) + 5;
        // A register write is a value frame when its fourth byte checks.
        if (kind == kWriteKind && frame_.size() <= 4) {
            if (frame_.size() < 4) return;
            if (FrameChecksum(frame_.data(), 3) == frame_[3]) need = 4;
        }
    }
    if (frame_.size() < need) return;
    HandleFrame(at);
    frame_.clear();
}

void Instrument::HandleFrame(TimePoint at) {
    if (FrameChecksum(frame_.data(), frame_.size() - 1) != frame_.back()) {
        host_.Trace("frame " + HexBytes(frame_) + ": bad checksum, ignored");
        return;
    }
    if ((frame_[0] & 0x3F) != options_.address) return;
    bool restart = false;
    std::optional<Bytes> reply = Execute(at, &restart);
    if (!reply) {
        host_.Trace("frame " + HexBytes(frame_) + ": refused, no reply");
        return;
    }
    SendReply(std::move(*reply), at, restart);
}

std::optional<Bytes> Instrument::Execute(TimePoint, bool* restart) {
    const std::uint8_t kind = frame_[0] & 0xC0;
    const std::uint8_t target = frame_[1];
    const int n = frame_[2] + 1;
    switch (kind) {
        case kWriteKind:
            if (frame_.size() == 4) return WriteRegister(target, frame_[2], restart);
            return WriteRegisterBlock(target, frame_.data() + 3, n);
        case kMemoryWriteKind:
            return WriteMemory(target, frame_.data() + 3, n);
        case kReadKind:
            return ReadRegister(target, n);
        default:
            return ReadMemory(target, n);
    }
}

std::optional<Bytes> Instrument::WriteRegister(std::uint8_t reg, std::uint8_t value,
                                               bool* restart) {
    switch (reg) {
        case kRegPage:
            page_ = value;
            break;
        case kRegProg:
            progStep1_ = value == kProgKey;
            break;
        case kRegBlockWrite:
            if (value == 1) blockWrite_ = BlockWrite::Small;
            break;
        case kRegCommand:
            switch (value) {
                case kCmdCopy:
                    CopyPageToSram();
                    busyUntil_ = lastByteAt_ + BusyTime(options_.baud, kFirmwarePageBusy);
                    break;
                case kCmdStore:
                    StoreSramToPage();
                    busyUntil_ = lastByteAt_ + BusyTime(options_.baud, kFirmwarePageBusy);
                    break;
                case kCmdRestart:
                    *restart = true;
                    break;
                case kCmdProg:
                    if (progStep1_) progArmed_ = true;
                    break;
                case kCmdOpenLarge:
                    blockWrite_ = BlockWrite::Large;
                    break;
                default:
                    break;
            }
            break;
        default:
            registers_[reg] = value;
            break;
    }
    return Bytes{frame_[0], frame_.back()};
}

std::optional<Bytes> Instrument::WriteRegisterBlock(std::uint8_t reg, const std::uint8_t* data,
                                                    int n) {
    if (n == 1 &&
        ((reg == kRegBlockWrite && data[0] == 0x00) || (reg == kRegCommand && data[0] == 0xFA))) {
        blockWrite_ = BlockWrite::Closed;
    } else {
        for (int i = 0; i < n; ++i) registers_[(reg + i) & 0xFF] = data[i];
    }
    return Bytes{frame_[0], frame_.back()};
}

std::optional<Bytes> Instrument::WriteMemory(std::uint8_t offset, const std::uint8_t* data, int n) {
    // The receive buffer holds one block of the size announced by the open frame.
    if (blockWrite_ == BlockWrite::Closed) return std::nullopt;
    const int limit = blockWrite_ == BlockWrite::Small ? 16 : 128;
    if (n > limit || offset + n > 256) return std::nullopt;
    std::copy(data, data + n, sram_.begin() + offset);
    return Bytes{frame_[0], frame_.back()};
}

std::optional<Bytes> Instrument::ReadRegister(std::uint8_t reg, int n) {
    Bytes reply{frame_[0], frame_[1]};
    Bytes data(n, 0);
    switch (reg) {
        case kRegIdentity:
            std::copy_n(options_.identity.begin(), std::min(n, 4), data.begin());
            break;
        case kRegVersion:
            data[0] = static_cast<std::uint8_t>(options_.versionCode);
            break;
        case kRegCommand:
            data[0] = status_;
            break;
        default:
            data[0] = registers_[reg];
            break;
    }
    reply.insert(reply.end(), data.begin(), data.end());
    reply.push_back(FrameChecksum(reply.data(), reply.size()));
    return reply;
}

std::optional<Bytes> Instrument::ReadMemory(std::uint8_t offset, int n) {
    // Firmware before version 100 sends at most 16 bytes at a time.
    if (offset + n > 256 || (options_.versionCode < 100 && n > 16)) return std::nullopt;
    Bytes reply{frame_[0], frame_[1]};
    reply.insert(reply.end(), sram_.begin() + offset, sram_.begin() + offset + n);
    reply.push_back(FrameChecksum(reply.data(), reply.size()));
    return reply;
}

int Instrument::PageOffset(int page) const {
    if ((page + 1) * 256 > chip_.dataFlashSize) return -1;
    return chip_.DataBase() + page * 256;
}

void Instrument::CopyPageToSram() {
    const int offset = PageOffset(page_);
    if (offset < 0) {
        status_ = kStatusNoPage;
    } else if (options_.statusFail.count(page_)) {
        status_ = kStatusFlashError;
    } else {
        std::copy_n(chip_.flash.begin() + offset, 256, sram_.begin());
        status_ = kStatusOk;
        if (page_ == 0 && options_.flipReading.count(++counters_.page0Copies)) {
            sram_[kFlippedByte] ^= 0xFF;
            host_.Trace("page 0 copy " + std::to_string(counters_.page0Copies) + ": byte flipped");
        }
    }
}

void Instrument::StoreSramToPage() {
    const int offset = PageOffset(page_);
    if (offset < 0) {
        status_ = kStatusNoPage;
    } else if (options_.statusFail.count(page_)) {
        status_ = kStatusFlashError;
    } else {
        std::copy(sram_.begin(), sram_.end(), chip_.flash.begin() + offset);
        status_ = kStatusOk;
    }
}

void Instrument::Reset() {
    frame_.clear();
    sram_.fill(0);
    registers_.fill(0);
    page_ = 0;
    status_ = kStatusOk;
    blockWrite_ = BlockWrite::Closed;
    progStep1_ = false;
    progArmed_ = false;
}

void Instrument::SendReply(Bytes reply, TimePoint at, bool restart) {
    const long k = ++counters_.exchanges;
    host_.Trace("exchange " + std::to_string(k) + ": " + HexBytes(frame_) + " -> " +
                HexBytes(reply));
    if (options_.badCrc.count(k)) reply.back() ^= 0xFF;
    if (options_.shortReply.count(k)) reply.pop_back();
    if (options_.surplus) reply.push_back(kSurplusByte);
    host_.Send(reply, at);
    if (options_.noise) host_.Send({kNoiseByte}, host_.TxIdleAt(at) + kNoiseDelay);

    if (restart) {
        if (progArmed_) {
            host_.EnterBootRom();
            return;
        }
        Reset();
    }
    if (k == options_.restartAfter) {
        Reset();
        silentUntil_ = host_.TxIdleAt(at) + kRestartSilence;
        host_.Trace("restarting, silent for 300 ms");
    }
    if (k == options_.dieAfter) host_.Vanish();
}

}  // namespace zentor::sim
