// Restart, register programming and the stop request.
#include "instrument/instrument_commands.h"

#include <string>

#include "instrument/frames.h"
#include "text/message.h"

namespace zentor {

namespace {

std::uint8_t Address(const Job& s) {
    return static_cast<std::uint8_t>(s.settings.AdrPribor);
}

// The first tick clears the log; later ones replace the countdown line, which is
// then the only line of the log.
void ShowCountdown(Job& s, int secondsLeft, bool first) {
    if (first)
        s.ui.ClearLog();
    else
        s.ui.DeleteLastLine();
    s.ui.Say(ZT("restart.countdown", "Restart at {0} sec", secondsLeft));
}

}  // namespace

std::optional<std::string> AddressRefusal(int address) {
    if (address >= 1 && address <= 63) return std::nullopt;
    return Render(ZT("address.range", "Адрес устройства {0} вне диапазона 1..63", address));
}

bool AddressUsable(Job& s) {
    const auto refusal = AddressRefusal(s.settings.AdrPribor);
    if (!refusal) return true;
    s.ui.ClearLog();
    s.ui.AppendLine(*refusal);
    return false;
}

bool Restart(Job& s) {
    if (!AddressUsable(s)) return false;
    const int pause = s.settings.PauseRestart;
    int countdown = pause;
    s.ui.SetProgressRange(0, pause);
    s.ui.SetProgressPosition(0);
    ShowCountdown(s, countdown, true);
    s.ui.ProcessMessages();

    // One tick per second; a pause of 0 or less ticks at once.
    auto tick = [&] {
        --countdown;
        s.ui.SetProgressPosition(pause - countdown);
        ShowCountdown(s, countdown, false);
    };
    if (countdown <= 0) {
        tick();
    } else {
        do {
            s.clock.SleepMs(1000);
            tick();
        } while (countdown > 0);
    }

    s.ui.DeleteLastLine();
    s.ui.Say(ZT("restart.start", "Restart ..."));
    s.ui.ProcessMessages();
    InstrumentBus bus(s.LinkPort(), s.clock);
    const bool ok = bus.WriteByte(Address(s), 0xFF, 0x01);
    if (!ok) s.run.linkError = bus.LastError();
    s.ui.DeleteLastLine();
    s.ui.Say(ok ? ZT("restart.ok", "Restart - OK") : ZT("link.none", "Нет связи с устройством!"));
    s.ui.SetProgressPosition(0);
    return ok;
}

bool EnterBootRom(Job& s) {
    if (!AddressUsable(s)) return false;
    s.ui.SetProgressRange(0, 2);
    s.ui.SetProgressPosition(1);
    s.ui.ClearLog();
    s.ui.Say(ZT("prog.start", "Prog ..."));
    s.ui.ProcessMessages();

    InstrumentBus bus(s.LinkPort(), s.clock);
    if (!bus.WriteByte(Address(s), 0xFD, 0xAF)) {
        s.run.linkError = bus.LastError();
        s.ui.Say(ZT("prog.fd_failed", "Не удалось зап. в рег. FD значение AF"));
        s.ui.Say(ZT("prog.wrong", "Prog - Wrong"));
        return false;
    }
    s.clock.SleepMs(100);
    s.ui.SetProgressPosition(2);
    s.ui.ProcessMessages();

    if (!bus.WriteByte(Address(s), 0xFF, 0x0B)) {
        s.run.linkError = bus.LastError();
        s.ui.Say(ZT("prog.ff_failed", "Не удалось зап. в рег. FF значение 0B"));
        s.ui.Say(ZT("prog.wrong", "Prog - Wrong"));
        return false;
    }
    s.ui.SetProgressPosition(0);
    s.ui.DeleteLastLine();
    s.ui.Say(ZT("prog.ok", "Prog - Ok"));
    return true;
}

void RequestStop(Controls& s) {
    s.StopRequested = true;
}

}  // namespace zentor
