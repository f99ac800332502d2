#include "update/update_workflow.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "bootrom/program_chip.h"
#include "common/files.h"
#include "instrument/instrument_commands.h"
#include "serial/com_port.h"
#include "update/identify.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPowerCycleText =
    "Отключите питание устройства и через 30 секунд включите его снова.";
constexpr const char* kJumperQuestion = "Устройство не определено!\n\nПроизвести прошивку?";
constexpr const char* kJumperSteps =
    "Внимание! Выполните следующие действия:\n"
    "1. Отключите питание устройства (не меньше 30 секунд).\n"
    "2. Закоротите перемычку на плате устройства.\n"
    "3. Не размыкая перемычку включите его питание.\n"
    "4. Нажмите кнопку \"OK\"\n";
constexpr int kDataLooks = 6;

// A whole decimal number, optionally signed, that fits an int.
std::optional<int> ParsePanelNumber(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

// Local time as yyyymmdd-hhmmss, for backup and set-aside names.
std::string TimeStamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

// dir/stem + suffix, or with "-2", "-3", ... after the stem when that name is taken.
fs::path FreeName(const fs::path& dir, const std::string& stem, const std::string& suffix) {
    std::error_code ec;
    fs::path candidate = dir / (stem + suffix);
    for (int n = 2; fs::exists(candidate, ec) || ec; ++n) {
        candidate = dir / (stem + "-" + std::to_string(n) + suffix);
        if (n > 1000) break;
    }
    return candidate;
}

std::string RelativeText(const fs::path& path, const fs::path& base) {
    std::error_code ec;
    fs::path rel = fs::relative(path, base, ec);
    return (ec || rel.empty() ? path : rel).generic_string();
}

// Renames every data_rd.bin of the folder (any letter case) to data_rd.<time>.bak,
// so the keep-mode look can only find the file this run's read writes.
bool SetAsideOldReading(Session& s) {
    for (int guard = 0; guard < 16 && ExistsNoCase(s.workDir, "data_rd.bin"); ++guard) {
        const fs::path old = ResolveNoCase(s.workDir, "data_rd.bin");
        const fs::path target = FreeName(s.workDir, "data_rd." + TimeStamp(), ".bak");
        std::error_code ec;
        fs::rename(old, target, ec);
        if (ec) {
            s.ui.AppendLine("Невозможно переименовать файл " + old.filename().string());
            return false;
        }
        s.ui.AppendLine("Файл " + old.filename().string() + " прежнего чтения переименован в " +
                        target.filename().string());
    }
    if (ExistsNoCase(s.workDir, "data_rd.bin")) {
        s.ui.AppendLine("Невозможно переименовать файл data_rd.bin");
        return false;
    }
    return true;
}

// Copies this run's data_rd.bin to backup/<serial>_<time>_data.bin. Empty on failure.
std::optional<fs::path> BackUpReading(Session& s) {
    const fs::path dir = s.workDir / "backup";
    const auto data = ReadWholeFile(ResolveNoCase(s.workDir, "data_rd.bin"));
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path target = FreeName(dir, s.SerialText + "_" + TimeStamp(), "_data.bin");
    if (!data || ec || !WriteFileAtomic(target, *data)) {
        s.ui.AppendLine("Невозможно сохранить резервную копию DATA FLASH: " +
                        RelativeText(target, s.workDir));
        return std::nullopt;
    }
    s.ui.AppendLine("Резервная копия DATA FLASH: " + RelativeText(target, s.workDir));
    return target;
}

}  // namespace

bool BitBtnProshivkaVelmarClick(Session& s, const UpdatePanel& panel) {
    // The lists hold numbers only; anything else stops here, before files or port.
    const auto baud = ParsePanelNumber(panel.baud);
    if (!baud) {
        s.ui.AppendLine("Скорость порта: \"" + panel.baud + "\" - не число");
        return false;
    }
    const auto address = ParsePanelNumber(panel.address);
    if (!address) {
        s.ui.AppendLine("Адрес устройства: \"" + panel.address + "\" - не число");
        return false;
    }
    if (auto refusal = AddressRefusal(*address)) {
        s.ui.AppendLine(*refusal);
        return false;
    }
    s.settings.BaudRate = *baud;
    s.settings.AdrPribor = *address;

    if (!ExistsNoCase(s.workDir, "prog_c.bin")) {
        s.ui.AppendLine("Файл prog_c.bin не обнаружен!");
        return false;
    }
    // What the reflash would refuse about the settings and the program image is
    // refused before the instrument is asked anything; the DATA FLASH image is
    // checked once the mode tells which one it is.
    const int type = s.settings.TypeController;
    if (!CheckProgramChipInputs(s, UpdateProgramOptions(type, UpdateMode::None), 0)) return false;
    if (!panel.port.empty()) s.settings.NamePort = panel.port;
    if (!OpenComPort(s)) return false;

    s.UpdateAnswer.clear();
    s.UpdateMode = UpdateMode::None;
    s.settings.HCR1Value = s.settings.HCR1FromFile;

    bool busy = false;
    auto setBusy = [&](bool on) {
        if (busy == on) return;
        busy = on;
        s.ui.SetUpdateBusy(on);
    };
    auto finish = [&](bool result) {
        setBusy(false);
        CloseComPort(s);
        return result;
    };
    std::optional<fs::path> backup;

    if (IdentifyInstrument(s)) {
        const UpdateChoice choice =
            s.ui.ConfirmUpdate(s.caption, "Velmar " + std::to_string(s.identity.model) +
                                              "  s/n: " + s.SerialText + ".");
        s.UpdateAnswer = choice.answer;
        s.UpdateMode = choice.mode;
        if (s.UpdateAnswer != "Да" || s.UpdateMode == UpdateMode::None) return finish(false);

        if (s.UpdateMode == UpdateMode::Factory) {
            if (!ExistsNoCase(s.workDir, "data.bin")) {
                s.ui.AppendLine("Файл data.bin не обнаружен!");
                return finish(false);
            }
            if (!CheckProgramChipInputs(s, UpdateProgramOptions(type, s.UpdateMode)))
                return finish(false);
            setBusy(true);
            s.clock.SleepMs(1000);
            BitBtnProgClick(s);
            s.clock.SleepMs(1000);
            BitBtnRestartClick(s);
            s.clock.SleepMs(2000);
        } else {
            // What the read gets is written back: a size it refuses, or nothing
            // read at all, must not lead to an erase of the instrument's settings.
            const int size = s.settings.SizeData;
            std::optional<std::string> refusal = DataSizeRefusal(size);
            if (!refusal && size == 0)
                refusal = "Размер данных 0 байт - сохранить текущие настройки нельзя";
            if (refusal) {
                s.ui.AppendLine(*refusal);
                return finish(false);
            }
            if (!CheckProgramChipInputs(s, UpdateProgramOptions(type, s.UpdateMode), size))
                return finish(false);
            setBusy(true);
            if (!SetAsideOldReading(s)) return finish(false);
            ReadDataFlash(s, {.restartAfterwards = false});
            bool found = false;
            for (int look = 0; look < kDataLooks && !found; ++look) {
                s.clock.SleepMs(1000);
                found = ExistsNoCase(s.workDir, "data_rd.bin");
            }
            if (!found) {
                s.ui.AppendLine("Файл data_rd.bin не обнаружен!");
                return finish(false);
            }
            // The calibration is on disk under its own name before the chip is touched.
            backup = BackUpReading(s);
            if (!backup) return finish(false);
            BitBtnProgClick(s);
            s.clock.SleepMs(1000);
            BitBtnRestartClick(s);
            s.clock.SleepMs(2000);
        }
    } else {
        if (!ExistsNoCase(s.workDir, "data.bin")) {
            s.ui.AppendLine("Файл data.bin не обнаружен!");
            return finish(false);
        }
        if (!CheckProgramChipInputs(s, UpdateProgramOptions(type, s.UpdateMode)))
            return finish(false);
        if (!s.ui.AskYesNo(kJumperQuestion, s.caption, MessageIcon::Exclamation))
            return finish(false);
        if (!s.ui.AskOkCancel(kJumperSteps, s.caption, MessageIcon::Exclamation))
            return finish(false);
    }

    setBusy(true);
    s.ui.SetProgressPosition(0);
    const bool programmed = ProgramChip(s, UpdateProgramOptions(type, s.UpdateMode)).Ok();
    setBusy(false);
    if (!programmed && backup)
        s.ui.AppendLine("Резервная копия DATA FLASH: " + RelativeText(*backup, s.workDir));
    s.ui.AppendLine("");
    s.ui.AppendLine(kPowerCycleText);
    CloseComPort(s);
    return programmed;
}

}  // namespace zentor
