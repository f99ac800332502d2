#include "support/scripted_port.h"

#include <algorithm>
#include <chrono>

#include "serial/frame_time.h"

namespace zentor::test {

std::size_t ScriptedPort::Write(const std::uint8_t* data, std::size_t size) {
    Bytes w(data, data + size);
    const std::int64_t at = clock_ ? clock_->NowMs() : 0;
    if (clock_ && baud > 0 && !hungUp) {
        clock_->Advance(
            std::chrono::ceil<std::chrono::milliseconds>(FrameTime(size, FrameFormat{}, baud))
                .count());
    }
    events.push_back({Event::Write, at, w, 0, clock_ ? clock_->NowMs() : 0});
    if (hungUp) return 0;
    if (responder) {
        Bytes reply = responder(w);
        rx.insert(rx.end(), reply.begin(), reply.end());
    }
    return size;
}

std::size_t ScriptedPort::Read(std::uint8_t* data, std::size_t size) {
    std::size_t n = std::min(size, rx.size());
    Bytes got(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(n));
    std::copy(got.begin(), got.end(), data);
    rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < size && clock_) clock_->Advance(1000);
    const std::int64_t now = clock_ ? clock_->NowMs() : 0;
    events.push_back({Event::Read, now, got, size, now});
    return n;
}

void ScriptedPort::PurgeRx() {
    rx.clear();
    const std::int64_t now = clock_ ? clock_->NowMs() : 0;
    events.push_back({Event::Purge, now, {}, 0, now});
}

std::vector<Bytes> ScriptedPort::Writes() const {
    std::vector<Bytes> out;
    for (const auto& e : events)
        if (e.kind == Event::Write) out.push_back(e.bytes);
    return out;
}

namespace {
class ForwardingPort : public Port {
public:
    ForwardingPort(ScriptedPort& p, int& closes) : p_(p), closes_(closes) {}
    ~ForwardingPort() override { ++closes_; }
    std::size_t Write(const std::uint8_t* d, std::size_t n) override { return p_.Write(d, n); }
    std::size_t Read(std::uint8_t* d, std::size_t n) override { return p_.Read(d, n); }
    void PurgeRx() override { p_.PurgeRx(); }
    ComTimeouts Timeouts() const override { return p_.Timeouts(); }

private:
    ScriptedPort& p_;
    int& closes_;
};
}  // namespace

OpenResult ScriptedOpener::Open(const std::string& name, int baudRate) {
    opened.push_back(name + "@" + std::to_string(baudRate));
    OpenResult r;
    r.status = nextStatus;
    r.errorCode = errorCode;
    if (nextStatus == OpenStatus::Ok) {
        ++openCount;
        r.port = std::make_unique<ForwardingPort>(port_, closeCount);
    }
    return r;
}

OpenStatus ScriptedOpener::Probe(const std::string& name) {
    return std::find(present.begin(), present.end(), name) != present.end() ? OpenStatus::Ok
                                                                            : OpenStatus::NotFound;
}

}  // namespace zentor::test
