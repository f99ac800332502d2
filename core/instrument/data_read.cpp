// DATA FLASH read: page by page through SRAM page 3, repeated until the
// configured number of readings agree, saved as data_rd.bin.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "instrument/frames.h"
#include "instrument/instrument_commands.h"
#include "instrument/version_probe.h"

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
            const std::string page = std::to_string(p);
            const auto pageByte = static_cast<std::uint8_t>(p);
            s_.ui.ProcessMessages();
            if (s_.StopRequested.exchange(false)) return ReadEnd::Stopped;
            if (!bus_.WriteByte(address_, 0xFE, pageByte))
                return NoLink("Выбор страницы DATA FLASH = " + page + " ...");
            if (!bus_.WriteByte(address_, 0xFF, 0x06))
                return NoLink("Copy page DATA FLASH = " + page + " в SRAM = 3 ...");
            s_.ui.SetProgressPosition(p + 1);
            s_.clock.SleepMs(200);
            const std::string check = "Check read page CODE FLASH = " + page + " ...";
            if (!bus_.ReadBlock(address_ | 0x80, 0xFF, 1)) return NoLink(check);
            if (reply[2] != 0) {
                Lines({"", check, "Ошибка чтения", ""});
                return ReadEnd::Failed;
            }
            if (!bus_.WriteByte(address_, 0xFE, 0x03)) return NoLink("Выбор страницы SRAM = 3 ...");
            for (int offset = 0; offset < kPageSize; offset += block_) {
                if (s_.StopRequested.exchange(false)) return ReadEnd::Stopped;
                s_.ui.ProcessMessages();
                if (!bus_.ReadBlock(address_ | 0xC0, static_cast<std::uint8_t>(offset), block_)) {
                    const char* what = block_ == 16 ? "Чтение 16 байт DATA FLASH = "
                                                    : "Чтение 128байт DATA FLASH = ";
                    return NoLink(what + page + " (" + std::to_string(offset) + ") ...");
                }
                std::copy_n(reply + 2, block_, image.begin() + p * kPageSize + offset);
            }
        }
        return ReadEnd::Done;
    }

private:
    void Lines(std::initializer_list<std::string> lines) {
        for (const auto& l : lines) s_.ui.AppendLine(l);
    }
    ReadEnd NoLink(const std::string& step) {
        Lines({"", step, "Команда не прошла.", "Нет связи с устройством!", ""});
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
        return "Размер данных " + std::to_string(size) + " байт вне диапазона 0..65536";
    if (size % kPageSize != 0)
        return "Размер данных " + std::to_string(size) + " байт должен быть кратен 256";
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
    if (version) s.ui.AppendLine("Чтение данных из Velmar" + std::to_string(s.DeviceVersionCode));
    s.ui.AppendLine("Чтение DATA FLASH ...");
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
        s.ui.AppendLine("1-e чтение DATA FLASH - Ok");
        int passNumber = 2;
        bool lastPassMatched = true;
        for (;;) {
            const std::string pass = std::to_string(passNumber);
            s.ui.AppendLine(pass + "-e чтение DATA FLASH ...");
            s.ui.SetProgressPosition(0);
            if (const ReadEnd end = reader.ReadInto(check); end != ReadEnd::Done)
                return giveUp(end);
            if (check == reference) {
                s.ui.AppendLine(pass + "-e чтение DATA FLASH - Ok");
                if (passNumber >= wanted) break;
                ++passNumber;
                lastPassMatched = true;
                continue;
            }
            if (passNumber == 2 || !lastPassMatched) reference = check;
            s.ui.AppendLine("Данные " + pass + "-го чтения DATA FLASH - не совпали с предыдущим.");
            if (lastPassMatched)
                lastPassMatched = false;
            else
                passNumber = 2;
        }
    }

    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Чтение DATA FLASH - Ok");
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
        s.ui.AppendLine("Невозможно открыть файл data_rd.bin");
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
