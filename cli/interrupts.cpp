#include "interrupts.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "serial/system_port.h"
#include "text/message.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zentor {

namespace {

constexpr long long kSecondPressMs = 5000;

// The signals the guard takes over; 0 where the platform has none.
constexpr int kGuarded[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#else
    0,
#endif
#ifdef SIGQUIT
    SIGQUIT,
#else
    0,
#endif
};
static_assert(sizeof kGuarded / sizeof kGuarded[0] == 4);

std::atomic<std::atomic<bool>*> g_stopFlag{nullptr};
std::atomic<int> g_presses{0};

std::atomic<Controls*> g_controls{nullptr};
std::atomic<bool> g_terminal{false};
std::atomic<long long> g_warnedAtMs{-1};
std::atomic<bool> g_stopAsked{false};

// Only calls that are safe inside a signal handler.
// What the handlers say, rendered before they are installed: a handler may not
// allocate.
struct SignalTexts {
    std::string goesOn, warning, stopping;
};
SignalTexts g_texts;

void Say(const std::string& line) {
    const char* text = line.c_str();
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

// The handler is reset before each call on Windows.
void Rearm(int signo, void (*handler)(int)) {
#ifdef _WIN32
    std::signal(signo, handler);
#else
    (void)signo;
    (void)handler;
#endif
}

extern "C" void OnEndSignal(int signo) {
    RemovePortLockFilesNow();
    std::_Exit(128 + signo);
}

// The files Ctrl-C removes under RemoveOnInterrupt; set before its handler is.
std::vector<std::string> g_leftovers;

extern "C" void RemoveLeftoversAndEnd(int signo) {
    for (const std::string& file : g_leftovers) {
#ifdef _WIN32
        (void)_unlink(file.c_str());
#else
        (void)::unlink(file.c_str());
#endif
    }
    OnEndSignal(signo);
}

extern "C" void OnInterrupt(int signo) {
    Rearm(signo, OnInterrupt);
    std::atomic<bool>* stop = g_stopFlag.load();
    if (g_presses.fetch_add(1) > 0 || stop == nullptr) OnEndSignal(signo);
    stop->store(true);
}

bool EndsOnlyLater(int signo) {
#if defined(SIGHUP) && defined(SIGQUIT)
    return signo == SIGHUP || signo == SIGQUIT;
#else
    (void)signo;
    return false;
#endif
}

extern "C" void OnGuardedSignal(int signo) {
    Rearm(signo, OnGuardedSignal);
    Controls* s = g_controls.load();
    if (s == nullptr) return;
    if (s->ChipAtRisk.load()) {
        if (EndsOnlyLater(signo)) {
            Say(g_texts.goesOn);
            return;
        }
        if (signo == SIGINT && g_terminal.load()) {
            const long long now = NowMs();
            const long long warned = g_warnedAtMs.load();
            if (warned < 0 || now - warned > kSecondPressMs) {
                g_warnedAtMs.store(now);
                Say(g_texts.warning);
                return;
            }
        }
    }
    g_stopAsked.store(true);
    s->AbortRequested.store(true);
    s->StopRequested.store(true);
    Say(g_texts.stopping);
}

}  // namespace

void InstallSignalHandlers() {
    g_texts.goesOn = "\n" +
                     Render(ZT("interrupt.goes_on",
                               "Запись продолжается до конца: прерывание "
                               "сейчас оставит стёртый кристалл.")) +
                     "\n";
    g_texts.warning =
        "\n" +
        Render(ZT("interrupt.warning",
                  "Внимание! Прерывание сейчас оставит стёртый кристалл: вернуть устройство "
                  "сможет только загрузчик (перемычка на плате).\nНажмите Ctrl-C ещё раз в "
                  "течение 5 секунд, чтобы прервать запись.")) +
        "\n";
    g_texts.stopping = "\n" +
                       Render(ZT("interrupt.stopping",
                                 "Прерывание: команда остановится в ближайшей безопасной точке.")) +
                       "\n";
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::signal(SIGINT, OnInterrupt);
    for (int signo : kGuarded)
        if (signo != 0 && signo != SIGINT) std::signal(signo, OnEndSignal);
}

StopOnInterrupt::StopOnInterrupt(Controls& s) {
    g_presses = 0;
    g_stopFlag = &s.StopRequested;
    previous_ = std::signal(SIGINT, OnInterrupt);
}

StopOnInterrupt::~StopOnInterrupt() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    g_stopFlag = nullptr;
}

bool StopOnInterrupt::Interrupted() const {
    return g_presses.load() > 0;
}

InterruptGuard::InterruptGuard(Controls& s, bool terminal) {
    g_terminal = terminal;
    g_warnedAtMs = -1;
    g_stopAsked = false;
    s.AbortRequested = false;
    g_controls = &s;
    for (int i = 0; i < kSignals; ++i)
        previous_[i] = kGuarded[i] != 0 ? std::signal(kGuarded[i], OnGuardedSignal) : SIG_DFL;
}

InterruptGuard::~InterruptGuard() {
    for (int i = 0; i < kSignals; ++i)
        if (kGuarded[i] != 0)
            std::signal(kGuarded[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
    g_controls = nullptr;
}

bool InterruptGuard::Interrupted() const {
    return g_stopAsked.load();
}

RemoveOnInterrupt::RemoveOnInterrupt(std::vector<std::string> files) {
    g_leftovers = std::move(files);
    previous_ = std::signal(SIGINT, RemoveLeftoversAndEnd);
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    g_leftovers.clear();
}

InterruptScope::InterruptScope(InterruptMode mode, Controls& s, bool terminal,
                               std::vector<std::string> leftovers) {
    switch (mode) {
        case InterruptMode::EndProcess:
            if (!leftovers.empty()) remove_.emplace(std::move(leftovers));
            break;
        case InterruptMode::Stop:
            stop_.emplace(s);
            break;
        case InterruptMode::Guarded:
            guard_.emplace(s, terminal);
            break;
    }
}

bool InterruptScope::Interrupted() const {
    if (stop_) return stop_->Interrupted();
    if (guard_) return guard_->Interrupted();
    return false;
}

}  // namespace zentor
