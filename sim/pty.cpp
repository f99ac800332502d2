#include "pty.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zentor::sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

PtyLink::PtyLink(long baud, const std::string& rxLogPath) : baud_(baud) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) Fail("openpty");
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) Fail("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) Fail("tcsetattr");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname");
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (!rxLogPath.empty()) {
        rxLog_ = ::open(rxLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (rxLog_ < 0) Fail("cannot open " + rxLogPath);
    }
}

PtyLink::~PtyLink() {
    if (rxLog_ >= 0) ::close(rxLog_);
    ::close(slave_);
    ::close(master_);
}

void PtyLink::Pull(TimePoint now) {
    const auto byteTime = ByteTime(baud_);
    std::uint8_t buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        if (rxLog_ >= 0) WriteAll(rxLog_, buf, static_cast<std::size_t>(n));
        for (ssize_t i = 0; i < n; ++i) {
            rxLast_ = std::max(now, rxLast_) + byteTime;
            rx_.emplace_back(buf[i], rxLast_);
        }
    }
}

std::optional<std::pair<std::uint8_t, TimePoint>> PtyLink::PopDue(TimePoint now) {
    if (rx_.empty() || rx_.front().second > now) return std::nullopt;
    auto byte = rx_.front();
    rx_.pop_front();
    return byte;
}

void PtyLink::Send(const Bytes& bytes, TimePoint notBefore) {
    const auto byteTime = ByteTime(baud_);
    TimePoint t = std::max(notBefore, txLast_);
    for (std::uint8_t b : bytes) {
        t += byteTime;
        tx_.emplace_back(b, t);
    }
    txLast_ = t;
}

void PtyLink::PushDue(TimePoint now) {
    Bytes due;
    while (!tx_.empty() && tx_.front().second <= now) {
        due.push_back(tx_.front().first);
        tx_.pop_front();
    }
    if (!due.empty()) WriteAll(master_, due.data(), due.size());
}

std::optional<TimePoint> PtyLink::NextEvent() const {
    std::optional<TimePoint> next;
    if (!rx_.empty()) next = rx_.front().second;
    if (!tx_.empty() && (!next || tx_.front().second < *next)) next = tx_.front().second;
    return next;
}

void PtyLink::DiscardAll() {
    rx_.clear();
    tx_.clear();
}

}  // namespace zentor::sim
