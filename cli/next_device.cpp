#include "next_device.h"

#include <string>

#include "cli_args.h"
#include "find/boot_rom_probe.h"
#include "find/probe.h"
#include "port_board.h"
#include "text/message.h"

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
    if (kind == DeviceKind::BootRom)
        return BootRomAnswers(station.opener, station.clock, st.NamePort, st.BaudRate, st.DopPause);
    OpenResult opened = station.opener.Open(st.NamePort, st.BaudRate);
    return opened.port && ProbeAddress(*opened.port, st.BaudRate, st.AdrPribor).has_value();
}

int RunDeviceLoop(const Station& station, Controls& master, DeviceKind kind,
                  const std::function<int()>& runOne, std::FILE* log, LoopCounts* counts) {
    LoopCounts n;
    int worst = kExitDone;
    const std::string& port = station.settings.NamePort;
    const auto say = [log](const Message& m) {
        std::fprintf(log, "%s\n", Render(m).c_str());
        std::fflush(log);
    };
    for (;;) {
        say(kind == DeviceKind::Instrument
                ? ZT("loop.waiting", "Ожидание устройства на {0} (Ctrl-C - закончить) ...", port)
                : ZT("loop.waiting_boot_rom",
                     "Ожидание микросхемы в загрузчике на {0} (Ctrl-C - закончить) ...", port));
        std::fflush(log);
        if (!WaitFor(station, master, kind, true)) break;
        const int status = runOne();
        if (status == kExitDone) {
            ++n.pass;
        } else {
            ++n.fail;
            worst = WorseStatus(worst, status);
        }
        say(status == kExitDone ? ZT("loop.pass", "PASS (годных: {0}, брак: {1})", n.pass, n.fail)
                                : ZT("loop.fail", "FAIL (годных: {0}, брак: {1})", n.pass, n.fail));
        if (master.StopRequested) break;
        say(ZT("loop.remove", "Отключите устройство от {0} ...", port));
        if (!WaitFor(station, master, kind, false)) break;
    }
    say(ZT("loop.total", "Устройств: {0}, годных: {1}, брак: {2}", n.pass + n.fail, n.pass,
           n.fail));
    if (counts) *counts = n;
    return worst;
}

}  // namespace zentor::cli
