// Test rig for the instrument commands: the shared session rig with a small
// model of the instrument's register and SRAM protocol behind its port.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/frames.h"
#include "support/bytes.h"
#include "support/session_rig.h"

namespace zentor::test {

inline Bytes WithCrc(Bytes frame) {
    frame.push_back(CalcCrc8(frame.data(), static_cast<int>(frame.size())));
    return frame;
}

// The instrument as the commands see it: numbered registers, a DATA FLASH of
// 256-byte pages and SRAM page 3.
class FakeInstrument {
public:
    std::uint8_t address = 1;
    std::uint8_t version = 99;
    // Identification bytes of register ECh.
    std::array<std::uint8_t, 4> identity{14, 7, 15, 10};
    Bytes flash = Pattern(2048, 0);
    // When set, reading i (counted by copies of page 0) copies from
    // readings[min(i, size - 1)] instead of flash.
    std::vector<Bytes> readings;
    // Status byte after a copy or store of page p.
    std::function<std::uint8_t(int page)> status = [](int) { return 0; };
    // Frames for which the instrument stays silent.
    std::function<bool(const Bytes&)> silentOn = [](const Bytes&) { return false; };
    // Called with every frame before it is answered.
    std::function<void(const Bytes&)> onFrame;

    int readingCount = 0;
    int restarts = 0;
    std::vector<int> storedPages;
    std::vector<std::pair<int, int>> registerWrites;  // (register, value)

    Bytes Respond(const Bytes& w) {
        if (onFrame) onFrame(w);
        if (w.size() < 4 || CalcCrc8(w.data(), static_cast<int>(w.size()) - 1) != w.back())
            return {};
        if ((w[0] & 0x3F) != address || silentOn(w)) return {};
        const std::uint8_t crc = w.back();
        const int kind = w[0] & 0xC0;
        const int reg = w[1];
        const int n = w[2] + 1;
        switch (kind) {
            case 0x00:
                if (w.size() == 4) RegisterWrite(reg, w[2]);
                return {static_cast<std::uint8_t>(w[0] ^ 0x55), crc};
            case 0x40:
                if (w.size() != static_cast<std::size_t>(n) + 4 || w[1] + n > 256) return {};
                std::copy_n(w.begin() + 3, n, sram_.begin() + w[1]);
                return {0x00, crc};
            case 0x80: {
                Bytes data(n, 0);
                if (reg == 0xED) data[0] = version;
                if (reg == 0xEC) std::copy_n(identity.begin(), std::min(n, 4), data.begin());
                if (reg == 0xFF) data[0] = lastStatus_;
                return Reply(w, data);
            }
            default: {
                if (w[1] + n > 256) return {};
                return Reply(w, Bytes(sram_.begin() + w[1], sram_.begin() + w[1] + n));
            }
        }
    }

    // Wires this model to `port` as its responder.
    void Attach(ScriptedPort& port) {
        port.responder = [this](const Bytes& w) { return Respond(w); };
    }

private:
    static Bytes Reply(const Bytes& request, const Bytes& data) {
        Bytes r{request[0], request[1]};
        r.insert(r.end(), data.begin(), data.end());
        return WithCrc(r);
    }

    void RegisterWrite(int reg, int value) {
        registerWrites.emplace_back(reg, value);
        if (reg == 0xFE) selected_ = value;
        if (reg != 0xFF) return;
        if (value == 0x01) ++restarts;
        if (value == 0x06) {
            if (selected_ == 0) ++readingCount;
            const Bytes& src =
                readings.empty()
                    ? flash
                    : readings[std::min<std::size_t>(readingCount - 1, readings.size() - 1)];
            const std::size_t at = static_cast<std::size_t>(selected_) * 256;
            if (at + 256 <= src.size()) std::copy_n(src.begin() + at, 256, sram_.begin());
            lastStatus_ = status(selected_);
        }
        if (value == 0x05) {
            const std::size_t at = static_cast<std::size_t>(selected_) * 256;
            if (flash.size() < at + 256) flash.resize(at + 256);
            std::copy_n(sram_.begin(), 256, flash.begin() + at);
            storedPages.push_back(selected_);
            lastStatus_ = status(selected_);
        }
    }

    std::array<std::uint8_t, 256> sram_{};
    int selected_ = 0;
    std::uint8_t lastStatus_ = 0;
};

// Job wired to the model; the port is open.
struct InstrumentRig : SessionRig {
    FakeInstrument dev;

    InstrumentRig() : SessionRig("ins") {
        dev.Attach(port);
        OpenPort();
        station.settings.AdrPribor = 1;
        station.settings.PauseRestart = 0;
        station.settings.MaxKolReadings = 1;
        station.settings.SizeData = 2048;
    }

    // The bus the commands build on the session's port.
    InstrumentBus Bus() { return InstrumentBus(s.LinkPort(), clock); }
};

}  // namespace zentor::test
