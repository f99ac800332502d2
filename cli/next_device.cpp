#include "next_device.h"

#include <string>

#include "bootrom/boot_link.h"
#include "cli_args.h"
#include "find/probe.h"
#include "port_board.h"

namespace zentor::cli {

namespace {

constexpr int kProbeEveryMs = 500;

// Waits until the device answers (`present`) or stops answering twice in a row;
// false when a stop was asked first.
bool WaitFor(const Station& station, Controls& master, DeviceKind kind, bool present) {
    int silent = 0;
    while (!master.StopRequested) {
        const bool answers = DeviceAnswers(station, kind);
        if (present && answers) return true;
        silent = answers ? 0 : silent + 1;
        if (!present && silent >= 2) return true;
        station.clock.SleepMs(kProbeEveryMs);
    }
    return false;
}

}  // namespace

bool DeviceAnswers(const Station& station, DeviceKind kind) {
    const Settings& st = station.settings;
    OpenResult opened = station.opener.Open(st.NamePort, st.BaudRate);
    if (!opened.port) return false;
    if (kind == DeviceKind::Instrument)
        return ProbeAddress(*opened.port, st.BaudRate, st.AdrPribor).has_value();
    BootRomLink link(*opened.port, station.clock, {st.DopPause, true});
    return link.Identify();
}

int RunDeviceLoop(const Station& station, Controls& master, DeviceKind kind,
                  const std::function<int()>& runOne, std::FILE* log, LoopCounts* counts) {
    LoopCounts n;
    int worst = kExitDone;
    const char* what = kind == DeviceKind::Instrument ? "устройства" : "микросхемы в загрузчике";
    for (;;) {
        std::fprintf(log, "Ожидание %s на %s (Ctrl-C - закончить) ...\n", what,
                     station.settings.NamePort.c_str());
        std::fflush(log);
        if (!WaitFor(station, master, kind, true)) break;
        const int status = runOne();
        if (status == kExitDone) {
            ++n.pass;
        } else {
            ++n.fail;
            worst = WorseStatus(worst, status);
        }
        std::fprintf(log, "%s (годных: %d, брак: %d)\n", status == kExitDone ? "PASS" : "FAIL",
                     n.pass, n.fail);
        std::fflush(log);
        if (master.StopRequested) break;
        std::fprintf(log, "Отключите устройство от %s ...\n", station.settings.NamePort.c_str());
        std::fflush(log);
        if (!WaitFor(station, master, kind, false)) break;
    }
    std::fprintf(log, "Устройств: %d, годных: %d, брак: %d\n", n.pass + n.fail, n.pass, n.fail);
    std::fflush(log);
    if (counts) *counts = n;
    return worst;
}

}  // namespace zentor::cli
