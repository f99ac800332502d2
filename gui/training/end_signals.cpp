#include "end_signals.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#endif

namespace zentor::gui {

#ifndef _WIN32

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

int g_fds[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler
struct sigaction g_previous[kSignals.size()];

extern "C" void OnEndSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    (void)!::write(g_fds[1], &byte, 1);
    errno = saved;
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) {
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    for (int fd : g_fds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(g_fds[1], F_SETFL, ::fcntl(g_fds[1], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(g_fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::Read);
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

EndSignals::~EndSignals() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void EndSignals::Read() {
    unsigned char byte = 0;
    if (::read(g_fds[0], &byte, 1) != 1) return;
    // SA_RESETHAND restored the default for this signal only.
    for (int signo : kSignals) ::signal(signo, SIG_DFL);
    emit received(byte);
}

#else

EndSignals::EndSignals(QObject* parent) : QObject(parent) {}
EndSignals::~EndSignals() = default;
void EndSignals::Read() {}

#endif

}  // namespace zentor::gui
