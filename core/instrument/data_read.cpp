// DATA FLASH read: page by page through SRAM page 3, repeated until the
// configured number of readings agree, saved as data_rd.bin.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "instrument/frames.h"
#include "instrument/instrument_commands.h"
#include "instrument/version_probe.h"
#include "text/message.h"

namespace zentor {

namespace {

enum class ReadEnd { Done, Stopped, Failed };

class PageReader {
public:
    PageReader(Job& s, InstrumentBus& bus, int pages, int blockSize)
        : s_(s),
          bus_(bus),
          address_(static_cast<std::uint8_t>(s.settings.AdrPribor)),
          pages_(pages),
          block_(blockSize) {}

    // One reading of all pages into image (pages_ * 256 bytes).
    ReadEnd ReadInto(std::vector<std::uint8_t>& image) {
        const std::uint8_t* reply = bus_.Reply();
        for (int p = 0; p < pages_; ++p) {
            const auto pageByte = static_cast<std::uint8_t>(p);
            s_.ui.ProcessMessages();
            if (s_.StopRequested.exchange(false)) return ReadEnd::Stopped;
            if (!bus_.WriteByte(address_, 0xFE, pageByte))
                return NoLink(
                    ZT("data.read.select_page", "Выбор страницы DATA FLASH = {0} ...", p));
            if (!bus_.WriteByte(address_, 0xFF, 0x06))
                return NoLink(
                    ZT("data.read.copy_page", "Copy page DATA FLASH = {0} в SRAM = 3 ...", p));
            s_.ui.SetProgressPosition(p + 1);
            s_.clock.SleepMs(200);
            const Message check =
                ZT("data.read.check_page", "Check read page CODE FLASH = {0} ...", p);
            if (!bus_.ReadBlock(address_ | 0x80, 0xFF, 1)) return NoLink(check);
            if (reply[2] != 0) {
                s_.run.linkError = LinkError::Refused;
                s_.ui.AppendLine("");
                s_.ui.Say(check);
                s_.ui.Say(ZT("data.read.failed", "Ошибка чтения"));
                s_.ui.AppendLine("");
                return ReadEnd::Failed;
            }
            if (!bus_.WriteByte(address_, 0xFE, 0x03))
                return NoLink(ZT("data.read.select_sram", "Выбор страницы SRAM = 3 ..."));
            for (int offset = 0; offset < kPageSize; offset += block_) {
                if (s_.StopRequested.exchange(false)) return ReadEnd::Stopped;
                s_.ui.ProcessMessages();
                if (!bus_.ReadBlock(address_ | 0xC0, static_cast<std::uint8_t>(offset), block_)) {
                    return NoLink(block_ == 16
                                      ? ZT("data.read.block16",
                                           "Чтение 16 байт DATA FLASH = {0} ({1}) ...", p, offset)
                                      : ZT("data.read.block128",
                                           "Чтение 128байт DATA FLASH = {0} ({1}) ...", p, offset));
                }
                std::copy_n(reply + 2, block_, image.begin() + p * kPageSize + offset);
            }
        }
        return ReadEnd::Done;
    }

private:
    ReadEnd NoLink(const Message& step) {
        s_.run.linkError = bus_.LastError();
        s_.ui.AppendLine("");
        s_.ui.Say(step);
        s_.ui.Say(ZT("command.failed", "Команда не прошла."));
        s_.ui.Say(ZT("link.none", "Нет связи с устройством!"));
        s_.ui.AppendLine("");
        return ReadEnd::Failed;
    }

    Job& s_;
    InstrumentBus& bus_;
    std::uint8_t address_;
    int pages_;
    int block_;
};

}  // namespace

// Sizes the images and one-byte page numbers cannot hold are refused up front.
std::optional<std::string> DataSizeRefusal(int size) {
    if (size < 0 || size > static_cast<int>(kMaxImage))
        return Render(ZT("data.size.range", "Размер данных {0} байт вне диапазона 0..65536", size));
    if (size % kPageSize != 0)
        return Render(ZT("data.size.pages", "Размер данных {0} байт должен быть кратен 256", size));
    return std::nullopt;
}

bool ReadDataFlashImage(Job& s, int size, std::vector<std::uint8_t>& image, bool* stopped,
                        int minReadings) {
    if (stopped) *stopped = false;
    if (s.settings.ShowStopButton) s.ui.ShowStopButton(true);
    s.StopRequested = false;
    s.ui.ProcessMessages();
    auto giveUp = [&](ReadEnd end) {
        if (stopped) *stopped = end == ReadEnd::Stopped;
        s.ui.ShowStopButton(false);
        return false;
    };

    InstrumentBus bus(s.LinkPort(), s.clock);
    const std::optional<int> version = ProbeDeviceVersion(bus, s.clock, s.settings.AdrPribor);
    s.DeviceVersionCode = version.value_or(0);
    if (version) s.ui.Say(ZT("data.read.from", "Чтение данных из Velmar{0}", s.DeviceVersionCode));
    s.ui.Say(ZT("data.read.start", "Чтение DATA FLASH ..."));
    const int pages = size / kPageSize;
    s.ui.SetProgressRange(0, pages);
    s.ui.SetProgressPosition(0);

    PageReader reader(s, bus, pages, BlockSizeFor(s.DeviceVersionCode));
    std::vector<std::uint8_t> reference(static_cast<std::size_t>(size));
    std::vector<std::uint8_t> check(static_cast<std::size_t>(size));
    if (const ReadEnd end = reader.ReadInto(reference); end != ReadEnd::Done) return giveUp(end);

    // Readings 2..R must agree with the reference one after another. A single
    // disagreement after an agreeing reading is repeated against the same
    // reference; two in a row, or one at the first comparison, make the latest
    // reading the reference and start counting again at 2.
    const int wanted = std::max(s.settings.MaxKolReadings, minReadings);
    if (wanted > 1) {
        s.ui.Say(ZT("data.read.pass_ok", "{0}-e чтение DATA FLASH - Ok", 1));
        int passNumber = 2;
        bool lastPassMatched = true;
        for (;;) {
            s.ui.Say(ZT("data.read.pass", "{0}-e чтение DATA FLASH ...", passNumber));
            s.ui.SetProgressPosition(0);
            if (const ReadEnd end = reader.ReadInto(check); end != ReadEnd::Done)
                return giveUp(end);
            if (check == reference) {
                s.ui.Say(ZT("data.read.pass_ok", "{0}-e чтение DATA FLASH - Ok", passNumber));
                if (passNumber >= wanted) break;
                ++passNumber;
                lastPassMatched = true;
                continue;
            }
            if (passNumber == 2 || !lastPassMatched) reference = check;
            s.ui.Say(ZT("data.read.pass_differs",
                        "Данные {0}-го чтения DATA FLASH - не совпали с предыдущим.", passNumber));
            if (lastPassMatched)
                lastPassMatched = false;
            else
                passNumber = 2;
        }
    }

    s.ui.SetProgressPosition(0);
    s.ui.Say(ZT("data.read.ok", "Чтение DATA FLASH - Ok"));
    image = std::move(reference);
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadDataFlash(Job& s, const DataReadOptions& options) {
    const int size = s.settings.SizeData;
    if (!AddressUsable(s)) return std::nullopt;
    if (auto refusal = DataSizeRefusal(size)) {
        s.ui.ClearLog();
        s.ui.AppendLine(*refusal);
        return std::nullopt;
    }
    s.ui.ClearLog();
    std::vector<std::uint8_t> reference;
    if (!ReadDataFlashImage(s, size, reference, nullptr, options.minReadings)) return std::nullopt;
    auto giveUp = [&] {
        s.ui.ShowStopButton(false);
        return std::nullopt;
    };
    // Temp file and rename: a failed write never leaves a partial data_rd.bin.
    if (!WriteFileAtomic(ResolveNoCase(s.workDir, "data_rd.bin"), reference)) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "data_rd.bin"));
        return giveUp();
    }
    s.clock.SleepMs(100);
    // Hidden before the countdown, which runs inside this call.
    s.ui.ShowStopButton(false);
    // The restart is a step of the command: when it fails, so does the command.
    if (options.restartAfterwards && !Restart(s)) return std::nullopt;
    return reference;
}

bool ReadData(Job& s) {
    return ReadDataFlash(s, {.restartAfterwards = true}).has_value();
}

}  // namespace zentor
