// The device's end of a pseudo-terminal, paced like a serial line.
//
// Received bytes become available one wire time apart (10 bits at the configured
// rate), and sent bytes leave one wire time apart; at rate 0 both are immediate.
// The slave side stays open here, so the master never sees a hang-up when the
// tool closes and reopens the port.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "device.h"

namespace zentor::sim {

class PtyLink {
public:
    // Throws std::runtime_error when no terminal can be set up.
    PtyLink(long baud, const std::string& rxLogPath);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Takes what the tool wrote, stamping each byte with the end of its wire time.
    void Pull(TimePoint now);
    // The oldest received byte whose wire time ended by `now`.
    std::optional<std::pair<std::uint8_t, TimePoint>> PopDue(TimePoint now);

    void Send(const Bytes& bytes, TimePoint notBefore);
    TimePoint TxIdleAt(TimePoint now) const { return std::max(now, txLast_); }
    // Writes the bytes whose wire time has ended. Nobody listening loses them, as
    // on a real line.
    void PushDue(TimePoint now);
    bool TxEmpty() const { return tx_.empty(); }

    // Earliest moment a received byte becomes available or a byte is due out.
    std::optional<TimePoint> NextEvent() const;
    // Power lost: nothing in flight survives.
    void DiscardAll();

private:
    long baud_;
    int master_ = -1;
    int slave_ = -1;
    int rxLog_ = -1;
    std::string slavePath_;
    std::deque<std::pair<std::uint8_t, TimePoint>> rx_;
    std::deque<std::pair<std::uint8_t, TimePoint>> tx_;
    TimePoint rxLast_{};
    TimePoint txLast_{};
};

}  // namespace zentor::sim
