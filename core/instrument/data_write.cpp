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

namespace zentor {

namespace {

constexpr int kPageSize = 256;
constexpr std::size_t kMaxImage = 65536;

// Moves one page into SRAM page 3 and stores it into DATA FLASH page p.
// Returns the failing line, or an empty text when the page was stored.
std::string StorePage(Session& s, const std::uint8_t* page, int p) {
    const auto a = static_cast<std::uint8_t>(s.settings.AdrPribor);
    const char* noLink = "Нет связи с устройством!";
    std::uint8_t* buf = s.ReplyBuffer.data();

    if (!DevWriteByte(s, a, 0xFE, 0x03)) return noLink;
    s.ui.SetProgressPosition(p + 1);
    const int block = BlockSizeFor(s.DeviceVersionCode);
    const bool large = block == 128;
    if (!(large ? DevWriteByte(s, a, 0xFF, 0xFB) : DevWriteByte(s, a, 0xFB, 0x01))) return noLink;
    for (int offset = 0; offset < kPageSize; offset += block) {
        s.ui.ProcessMessages();
        std::copy_n(page + offset, block, buf);
        if (!DevWriteBlock(s, a | 0x40, static_cast<std::uint8_t>(offset), block, buf))
            return noLink;
    }
    buf[0] = large ? 0xFA : 0x00;
    if (!DevWriteBlock(s, a, large ? 0xFF : 0xFB, 1, buf)) return noLink;
    if (!DevWriteByte(s, a, 0xFE, static_cast<std::uint8_t>(p))) return noLink;
    if (!DevWriteByte(s, a, 0xFF, 0x05)) return noLink;
    s.clock.SleepMs(200);
    if (!DevReadBlock(s, a | 0x80, 0xFF, 1, buf)) return noLink;
    if (buf[2] != 0) return "Ошибка записи";
    return {};
}

}  // namespace

bool BitBtnWriteDataClick(Session& s) {
    if (!AddressUsable(s)) return false;
    s.ui.ClearLog();
    // Page numbers are one byte: a file of more than 256 pages is refused, and
    // is not even loaded when its size already tells.
    auto tooLarge = [&] {
        s.ui.AppendLine("Файл data.bin больше 65536 байт");
        return false;
    };
    const std::filesystem::path path = ResolveNoCase(s.workDir, "data.bin");
    std::error_code ec;
    std::optional<std::vector<std::uint8_t>> image;
    if (std::filesystem::is_regular_file(path, ec)) {
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec && size > kMaxImage) return tooLarge();
        image = ReadWholeFile(path);
    }
    if (!image) {
        s.ui.AppendLine("Невозможно открыть файл data.bin");
        return false;
    }
    if (image->size() > kMaxImage) return tooLarge();
    return WriteDataFlashImage(s, *image);
}

bool WriteDataFlashImage(Session& s, const std::vector<std::uint8_t>& image) {
    if (image.size() > kMaxImage) {
        s.ui.AppendLine("Образ DATA FLASH больше 65536 байт");
        return false;
    }
    if (!ProbeDeviceVersion(s)) {
        s.ui.AppendLine("Ошибка чтения версии устройства!");
        return false;
    }
    s.ui.AppendLine("Запись данных в Velmar" + std::to_string(s.DeviceVersionCode) + " ...");

    const int pages = static_cast<int>(image.size() / kPageSize);
    s.ui.SetProgressRange(0, pages);
    s.ui.SetProgressPosition(0);
    for (int p = 0; p < pages; ++p) {
        const std::string failure = StorePage(s, image.data() + p * kPageSize, p);
        if (!failure.empty()) {
            s.ui.AppendLine(failure);
            return false;
        }
    }

    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Запись данных - Ok");
    s.ui.AppendLine("Restart ...");
    s.ui.ProcessMessages();
    const bool restarted =
        DevWriteByte(s, static_cast<std::uint8_t>(s.settings.AdrPribor), 0xFF, 0x01);
    s.ui.AppendLine(restarted ? "Restart - OK" : "Нет связи с устройством!");
    return restarted;
}

}  // namespace zentor
