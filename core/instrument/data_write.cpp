// DATA FLASH write: data.bin page by page through SRAM page 3, then an
// immediate restart.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/files.h"
#include "instrument/frames.h"
#include "instrument/instrument_commands.h"
#include "instrument/version_probe.h"
#include "text/message.h"

namespace zentor {

namespace {

// Moves one page into SRAM page 3 and stores it into DATA FLASH page p.
// Returns the failing line, or nothing when the page was stored.
std::optional<Message> StorePage(Job& s, InstrumentBus& bus, const std::uint8_t* page, int p) {
    const auto a = static_cast<std::uint8_t>(s.settings.AdrPribor);
    const Message noLink = ZT("link.none", "Нет связи с устройством!");

    if (!bus.WriteByte(a, 0xFE, 0x03)) return noLink;
    s.ui.SetProgressPosition(p + 1);
    const int block = BlockSizeFor(s.DeviceVersionCode);
    const bool large = block == 128;
    if (!(large ? bus.WriteByte(a, 0xFF, 0xFB) : bus.WriteByte(a, 0xFB, 0x01))) return noLink;
    for (int offset = 0; offset < kPageSize; offset += block) {
        s.ui.ProcessMessages();
        if (!bus.WriteBlock(a | 0x40, static_cast<std::uint8_t>(offset), block, page + offset))
            return noLink;
    }
    const std::uint8_t store = large ? 0xFA : 0x00;
    if (!bus.WriteBlock(a, large ? 0xFF : 0xFB, 1, &store)) return noLink;
    if (!bus.WriteByte(a, 0xFE, static_cast<std::uint8_t>(p))) return noLink;
    if (!bus.WriteByte(a, 0xFF, 0x05)) return noLink;
    s.clock.SleepMs(200);
    if (!bus.ReadBlock(a | 0x80, 0xFF, 1)) return noLink;
    if (bus.Reply()[2] != 0) return ZT("data.write.failed", "Ошибка записи");
    return std::nullopt;
}

}  // namespace

bool WriteData(Job& s) {
    if (!AddressUsable(s)) return false;
    s.ui.ClearLog();
    // Page numbers are one byte: a file of more than 256 pages is refused, and
    // is not even loaded when its size already tells.
    auto tooLarge = [&] {
        s.ui.Say(ZT("file.too_large", "Файл {0} больше 65536 байт", "data.bin"));
        return false;
    };
    const ImageLoad image = LoadImageFile(ResolveNoCase(s.workDir, "data.bin"));
    if (image.error == ImageError::TooLarge) return tooLarge();
    if (!image.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "data.bin"));
        return false;
    }
    return WriteDataFlashImage(s, image.bytes);
}

bool WriteDataFlashImage(Job& s, const std::vector<std::uint8_t>& image) {
    if (image.size() > kMaxImage) {
        s.ui.Say(ZT("data.write.too_large", "Образ DATA FLASH больше 65536 байт"));
        return false;
    }
    InstrumentBus bus(s.LinkPort(), s.clock);
    const std::optional<int> version = ProbeDeviceVersion(bus, s.clock, s.settings.AdrPribor);
    s.DeviceVersionCode = version.value_or(0);
    if (!version) {
        s.run.linkError = bus.LastError();
        s.ui.Say(ZT("data.write.no_version", "Ошибка чтения версии устройства!"));
        return false;
    }
    s.ui.Say(ZT("data.write.to", "Запись данных в Velmar{0} ...", s.DeviceVersionCode));

    const int pages = static_cast<int>(image.size() / kPageSize);
    s.ui.SetProgressRange(0, pages);
    s.ui.SetProgressPosition(0);
    for (int p = 0; p < pages; ++p) {
        const auto failure = StorePage(s, bus, image.data() + p * kPageSize, p);
        if (failure) {
            // A failed exchange says its kind; a page the instrument did not store is refused.
            const LinkError kind = bus.LastError();
            s.run.linkError = kind == LinkError::None ? LinkError::Refused : kind;
            s.ui.Say(*failure);
            return false;
        }
    }

    s.ui.SetProgressPosition(0);
    s.ui.Say(ZT("data.write.ok", "Запись данных - Ok"));
    s.ui.Say(ZT("restart.start", "Restart ..."));
    s.ui.ProcessMessages();
    const bool restarted =
        bus.WriteByte(static_cast<std::uint8_t>(s.settings.AdrPribor), 0xFF, 0x01);
    s.ui.Say(restarted ? ZT("restart.ok", "Restart - OK")
                       : ZT("link.none", "Нет связи с устройством!"));
    if (!restarted) s.run.linkError = bus.LastError();
    return restarted;
}

}  // namespace zentor
