#include "board.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "boot_rom.h"
#include "instrument.h"
#include "programmer.h"

namespace zentor::sim {
namespace {

// Time the tool gets to read the last reply before the line goes dead.
constexpr std::chrono::milliseconds kVanishLinger{100};
// The reset vector's flash page: erased, the chip has no program to start.
constexpr int kFirstCodePage = 128;

// A chip whose program is gone: after power-up nothing runs and nothing answers.
class DeadChip : public Device {
public:
    void Receive(std::uint8_t, TimePoint) override {}
    const char* ModeName() const override { return "dead"; }
};

bool WriteFileAtomic(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                     std::string* error) {
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            *error = "cannot write " + tmp.string();
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        *error = "cannot rename " + tmp.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool WriteText(const std::filesystem::path& path, const std::string& text, std::string* error) {
    return WriteFileAtomic(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                           error);
}

}  // namespace

Board::Board(const Options& options, PtyLink& link, Chip chip, ProgrammerTarget target)
    : options_(options), link_(link), chip_(std::move(chip)), target_(std::move(target)) {
    device_ = StartDevice(options_.jumper);
}

std::unique_ptr<Device> Board::StartDevice(bool bootRom) {
    if (options_.programmer) return std::make_unique<Programmer>(options_, target_, *this);
    if (bootRom) return std::make_unique<BootRom>(options_, chip_, counters_, *this);
    return std::make_unique<Instrument>(options_, chip_, counters_, *this);
}

void Board::Receive(std::uint8_t byte, TimePoint at) {
    if (vanishAt_) return;
    device_->Receive(byte, at);
    if (enterBootRom_) {
        enterBootRom_ = false;
        device_ = StartDevice(true);
        Trace("restarted into the boot ROM");
    }
}

void Board::PowerCycle() {
    link_.DiscardAll();
    enterBootRom_ = false;
    const bool noProgram = !options_.programmer && !options_.jumper &&
                           std::all_of(chip_.flash.begin(), chip_.flash.begin() + kFirstCodePage,
                                       [](std::uint8_t b) { return b == 0xFF; });
    device_ = noProgram ? std::make_unique<DeadChip>() : StartDevice(options_.jumper);
    Trace(std::string("power cycled into ") + device_->ModeName());
}

void Board::Send(const Bytes& bytes, TimePoint notBefore) {
    if (options_.noAnswer || vanishAt_) return;
    link_.Send(bytes, notBefore);
}

void Board::Vanish() {
    vanishAt_ = link_.TxIdleAt(SteadyClock::now()) + kVanishLinger;
    Trace("vanishing");
}

void Board::Lost(std::uint8_t byte, TimePoint at, const std::string& what) {
    ++counters_.lostBytes;
    const auto ms = std::chrono::duration<double, std::milli>(at.time_since_epoch()).count();
    std::fprintf(stderr, "zentor-sim: byte %02Xh lost at %.3f ms: %s\n", byte, ms, what.c_str());
}

void Board::Trace(const std::string& line) {
    if (options_.verbose) std::fprintf(stderr, "zentor-sim: %s\n", line.c_str());
}

bool Board::Dump(std::string* error) const {
    if (options_.stateDir.empty()) return true;
    const std::filesystem::path dir = options_.stateDir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const Bytes* code = &chip_.flash;
    Bytes data;
    std::uint8_t hcr0 = chip_.hcr0;
    std::uint8_t hcr1 = chip_.hcr1;
    if (options_.programmer) {
        code = &target_.code;
        data = target_.data;
        hcr0 = options_.hcr0;
        hcr1 = options_.hcr1;
    } else {
        data.assign(chip_.flash.begin() + chip_.DataBase(), chip_.flash.end());
    }
    char hcr[32];
    std::snprintf(hcr, sizeof hcr, "HCR0=%02X\nHCR1=%02X\n", hcr0, hcr1);
    return WriteFileAtomic(dir / "flash.bin", code->data(), code->size(), error) &&
           WriteFileAtomic(dir / "data.bin", data.data(), data.size(), error) &&
           WriteText(dir / "hcr.txt", hcr, error) && WriteText(dir / "mode.txt", Mode(), error) &&
           WriteText(dir / "lost.txt", std::to_string(counters_.lostBytes) + "\n", error);
}

}  // namespace zentor::sim
