// The three frame exchanges against a line that answers with arbitrary bytes.
// Each exchange is checked against a judge written here from the protocol: the
// frame on the wire, the waits, the reply length read, and the verdict.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "fuzz_support.h"
#include "instrument/frames.h"
#include "serial/silent_port.h"
#include "testing/virtual_clock.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using zentor::fuzz::Check;

std::uint8_t Reflect(std::uint8_t v) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (v & (1u << i)) r = static_cast<std::uint8_t>(r | (0x80u >> i));
    return r;
}

// CRC-8, polynomial 31h, input and output reflected, start F0h: computed MSB
// first on reflected bytes, unlike the tool's shift-right form.
std::uint8_t Crc(const std::uint8_t* data, std::size_t n) {
    std::uint8_t r = 0xF0;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= Reflect(data[i]);
        for (int b = 0; b < 8; ++b)
            r = (r & 0x80) ? static_cast<std::uint8_t>((r << 1) ^ 0x31)
                           : static_cast<std::uint8_t>(r << 1);
    }
    return Reflect(r);
}

// A line whose device answers each write with the bytes prepared for it; bytes
// left from before the request must be purged by the tool.
class FuzzLine final : public zentor::Port {
public:
    Bytes stale;   // in the receive queue before the request
    Bytes answer;  // what the device sends once the request is written
    Bytes written;
    int writes = 0, purges = 0, reads = 0;
    std::size_t requested = 0;

    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        ++writes;
        written.assign(data, data + size);
        queue_.insert(queue_.end(), answer.begin(), answer.end());
        return size;
    }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        ++reads;
        requested = size;
        const std::size_t n = std::min(size, queue_.size());
        std::copy_n(queue_.begin(), n, data);
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    void PurgeRx() override {
        ++purges;
        queue_.clear();
    }
    void Prepare() {
        written.clear();
        writes = purges = reads = 0;
        requested = 0;
        queue_ = stale;
    }

private:
    Bytes queue_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    static const std::uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Check(Crc(kCheck, 9) == 0xAB && CalcCrc8(kCheck, 9) == 0xAB);

    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    FuzzLine line;
    SilentPort closedPort;
    InstrumentBus openBus(line, clock);
    InstrumentBus closedBus(closedPort, clock);

    for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
        const int op = in.ConsumeIntegralInRange<int>(0, 3);
        const auto address = in.ConsumeIntegral<std::uint8_t>();
        const auto reg = in.ConsumeIntegral<std::uint8_t>();
        // Counts outside 1..256 cannot be framed.
        const int count = in.ConsumeIntegralInRange<int>(-1, 258);
        line.stale = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<int>(0, 8));
        line.answer = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<int>(0, 270));
        const bool closed = op == 3;
        InstrumentBus& bus = closed ? closedBus : openBus;
        line.Prepare();
        clock.ClearSleeps();

        Bytes frame;
        std::size_t replySize = 2;
        bool result = false;
        const bool framable = count >= 1 && count <= 256;
        switch (op) {
            case 0:
            case 3: {
                const auto value = static_cast<std::uint8_t>(count);
                frame = {address, reg, value};
                result = bus.WriteByte(address, reg, value);
                break;
            }
            case 1: {
                const Bytes payload = in.ConsumeBytes<std::uint8_t>(std::max(count, 0));
                Bytes padded = payload;
                padded.resize(static_cast<std::size_t>(std::max(count, 1)), 0);
                frame = {address, reg, static_cast<std::uint8_t>(count - 1)};
                frame.insert(frame.end(), padded.begin(), padded.begin() + std::max(count, 0));
                result = bus.WriteBlock(address, reg, count, padded.data());
                break;
            }
            case 2:
                frame = {address, reg, static_cast<std::uint8_t>(count - 1)};
                replySize = static_cast<std::size_t>(count) + 3;
                result = bus.ReadBlock(address, reg, count);
                break;
        }
        frame.push_back(Crc(frame.data(), frame.size()));

        if ((op == 1 || op == 2) && !framable) {
            // Refused before anything is framed.
            Check(!result && line.writes == 0 && line.reads == 0 && clock.Sleeps().empty());
            continue;
        }
        // 10 ms, purge, write, 10 ms, read, 5 ms.
        Check(clock.Sleeps() == std::vector<int>({10, 10, 5}));
        if (closed) {
            Check(!result && line.writes == 0);
            continue;
        }
        Check(line.purges == 1 && line.writes == 1 && line.reads == 1);
        Check(line.written == frame);
        Check(line.requested == replySize);

        // The device's answer, cut to what was read; stale bytes were purged.
        const std::size_t got = std::min(replySize, line.answer.size());
        const Bytes received(line.answer.begin(), line.answer.begin() + got);
        bool expected;
        if (op == 2) {
            expected = got == replySize && Crc(received.data(), got - 1) == received[got - 1];
            Check(std::equal(received.begin(), received.end(), bus.Reply()));
        } else {
            expected = got > 0 && received[got - 1] == frame.back();
        }
        Check(result == expected);
    }
    return 0;
}
