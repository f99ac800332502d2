// The instrument's running firmware: framed register and SRAM-page protocol.
#pragma once

#include <array>
#include <optional>

#include "device.h"
#include "options.h"

namespace zentor::sim {

class Instrument : public Device {
public:
    Instrument(const Options& options, Chip& chip, Counters& counters, Host& host);

    void Receive(std::uint8_t byte, TimePoint at) override;
    const char* ModeName() const override { return "firmware"; }

private:
    enum class BlockWrite { Closed, Small, Large };

    void HandleFrame(TimePoint at);
    // The reply to a well-formed frame addressed to us; nullopt = stay silent.
    std::optional<Bytes> Execute(TimePoint at, bool* restart);
    std::optional<Bytes> WriteRegister(std::uint8_t reg, std::uint8_t value, bool* restart);
    std::optional<Bytes> WriteRegisterBlock(std::uint8_t reg, const std::uint8_t* data, int n);
    std::optional<Bytes> WriteMemory(std::uint8_t offset, const std::uint8_t* data, int n);
    std::optional<Bytes> ReadRegister(std::uint8_t reg, int n);
    std::optional<Bytes> ReadMemory(std::uint8_t offset, int n);
    void CopyPageToSram();
    void StoreSramToPage();
    // A page number that names a whole page inside the DATA FLASH, else -1.
    int PageOffset(int page) const;
    void Reset();
    void SendReply(Bytes reply, TimePoint at, bool restart);

    const Options& options_;
    Chip& chip_;
    Counters& counters_;
    Host& host_;

    Bytes frame_;
    TimePoint lastByteAt_{};
    TimePoint silentUntil_{};
    TimePoint busyUntil_{};  // writing or reading a DATA FLASH page

    std::array<std::uint8_t, 256> sram_{};
    std::array<std::uint8_t, 256> registers_{};
    std::uint8_t page_ = 0;
    std::uint8_t status_ = 0;
    BlockWrite blockWrite_ = BlockWrite::Closed;
    bool progStep1_ = false;
    bool progArmed_ = false;
};

}  // namespace zentor::sim
