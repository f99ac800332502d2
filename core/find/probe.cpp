#include "find/probe.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "instrument/frames.h"

namespace zentor {

namespace {

constexpr std::uint8_t kReadKind = 0x80;
constexpr std::uint8_t kRegIdentity = 0xEC;
constexpr std::uint8_t kRegVersion = 0xED;
// The instrument's time to answer plus a USB adapter's receive latency (16 ms).
constexpr int kTurnaroundMs = 50;
constexpr int kRestMarginMs = 20;
constexpr int kMaxDeadlineMs = 1000;

enum class Heard { Nothing, Garbage, Reply };

// A register read of `count` bytes into `data`.
Heard ReadRegisters(Port& port, int baud, bool patient, int address, std::uint8_t reg, int count,
                    std::uint8_t* data) {
    std::array<std::uint8_t, 4> frame{static_cast<std::uint8_t>(kReadKind | address), reg,
                                      static_cast<std::uint8_t>(count - 1), 0};
    frame[3] = CalcCrc8(frame.data(), 3);
    const int replySize = count + 3;
    std::array<std::uint8_t, 16> reply{};

    port.PurgeRx();
    if (port.Write(frame.data(), frame.size()) != frame.size()) return Heard::Nothing;
    port.SetReadDeadline(
        patient ? kMaxDeadlineMs
                : std::min(kMaxDeadlineMs,
                           FirstByteDeadlineMs(static_cast<int>(frame.size()), replySize, baud)));
    if (port.Read(reply.data(), 1) != 1) return Heard::Nothing;
    const int rest = replySize - 1;
    port.SetReadDeadline(patient
                             ? kMaxDeadlineMs
                             : std::min(kMaxDeadlineMs, 2 * WireMs(rest, baud) + kRestMarginMs));
    if (port.Read(reply.data() + 1, static_cast<std::size_t>(rest)) !=
        static_cast<std::size_t>(rest))
        return Heard::Garbage;
    if (CalcCrc8(reply.data(), replySize - 1) != reply[replySize - 1]) return Heard::Garbage;
    std::copy_n(reply.begin() + 2, count, data);
    return Heard::Reply;
}

}  // namespace

int WireMs(int bytes, int baud) {
    if (baud <= 0) return 0;
    const long long bits = 10LL * bytes * 1000;
    return static_cast<int>((bits + baud - 1) / baud);
}

int FirstByteDeadlineMs(int requestBytes, int replyBytes, int baud) {
    return WireMs(requestBytes + replyBytes, baud) + kTurnaroundMs;
}

std::optional<ProbeAnswer> ProbeAddress(Port& port, int baud, int address,
                                        const ProbeOptions& options) {
    const bool patient = options.patient;
    auto heard = [&options](Heard h) {
        if (h != Heard::Nothing && options.heard) *options.heard = true;
    };
    std::array<std::uint8_t, 4> id{};
    const Heard first = ReadRegisters(port, baud, patient, address, kRegIdentity, 4, id.data());
    if (first != Heard::Reply || std::find(id.begin(), id.end(), 0) != id.end()) {
        heard(first);
        return std::nullopt;
    }
    ProbeAnswer answer;
    answer.identity = {id[0], id[1], id[2], id[3]};
    std::uint8_t version = 0;
    if (ReadRegisters(port, baud, patient, address, kRegVersion, 1, &version) == Heard::Reply)
        answer.versionCode = version;
    std::array<std::uint8_t, 4> again{};
    if (ReadRegisters(port, baud, patient, address, kRegIdentity, 4, again.data()) !=
            Heard::Reply ||
        again != id) {
        heard(Heard::Reply);
        return std::nullopt;
    }
    return answer;
}

}  // namespace zentor
