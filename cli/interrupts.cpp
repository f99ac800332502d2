#include "interrupts.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zentor {

namespace {

constexpr long long kSecondPressMs = 5000;

std::atomic<Session*> g_session{nullptr};
std::atomic<bool> g_terminal{false};
std::atomic<long long> g_warnedAtMs{-1};
std::atomic<bool> g_stopAsked{false};

// Only calls that are safe inside a signal handler.
void Say(const char* text) {
#ifdef _WIN32
    (void)_write(2, text, static_cast<unsigned>(std::strlen(text)));
#else
    (void)!::write(2, text, std::strlen(text));
#endif
}

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

extern "C" void OnRiskyInterrupt(int) {
#ifdef _WIN32
    std::signal(SIGINT, OnRiskyInterrupt);  // the handler is reset before each call
#endif
    Session* s = g_session.load();
    if (s == nullptr) return;
    if (s->ChipAtRisk.load() && g_terminal.load()) {
        const long long now = NowMs();
        const long long warned = g_warnedAtMs.load();
        if (warned < 0 || now - warned > kSecondPressMs) {
            g_warnedAtMs.store(now);
            Say("\nВнимание! Прерывание сейчас оставит стёртый кристалл: вернуть устройство "
                "сможет только загрузчик (перемычка на плате).\n"
                "Нажмите Ctrl-C ещё раз в течение 5 секунд, чтобы прервать запись.\n");
            return;
        }
    }
    g_stopAsked.store(true);
    s->AbortRequested.store(true);
    s->StopRequested.store(true);
    Say("\nПрерывание: команда остановится в ближайшей безопасной точке.\n");
}

}  // namespace

InterruptGuard::InterruptGuard(Session& s, bool terminal) {
    g_terminal = terminal;
    g_warnedAtMs = -1;
    g_stopAsked = false;
    s.AbortRequested = false;
    g_session = &s;
    previous_ = std::signal(SIGINT, OnRiskyInterrupt);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    g_session = nullptr;
}

bool InterruptGuard::Interrupted() const {
    return g_stopAsked.load();
}

}  // namespace zentor
