// Whole-chip programming: boot-ROM sequence (TypeController 1..4) and hardware
// programmer sequence (TypeController 0). Everything that can be checked about
// the images and settings is checked before the first byte goes out, so a run
// never leaves an erased chip behind for a reason known in advance.
#include "bootrom/program_chip.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bootrom/boot_link.h"
#include "bootrom/hex_record.h"
#include "common/files.h"
#include "common/image_key.h"

namespace zentor {

namespace {

constexpr std::size_t kMaxImageSize = 65536;
const std::string kCancelled = " - запись отменена";

struct ImageFile {
    std::string name;
    std::string shown;  // as the log lines name it
    std::vector<std::uint8_t> bytes;
};

// Everything a run needs, gathered and checked before anything is sent.
struct Plan {
    ImageFile program;
    ImageFile data;
    int flashSize = 0;
    int dataBase = 0;
    std::string configRecord;
};

int FlashSizeFor(int typeController) {
    switch (typeController) {
        case 1:
            return 4096;
        case 2:
            return 8192;
        case 3:
            return 16384;
        case 4:
            return 32768;
        default:
            return 0;
    }
}

int Length(const ImageFile& f) {
    return static_cast<int>(f.bytes.size());
}

// Reads the image from the working folder. Logs and returns false when the file
// cannot be opened or is larger than the image buffer.
bool LoadImage(Session& s, ImageFile& f) {
    const std::filesystem::path path = ResolveNoCase(s.workDir, f.name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        s.ui.AppendLine("Невозможно открыть файл " + f.shown);
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    std::optional<std::vector<std::uint8_t>> bytes;
    if (!ec && size <= kMaxImageSize) bytes = ReadWholeFile(path);
    if (ec || (size <= kMaxImageSize && !bytes)) {
        s.ui.AppendLine("Невозможно открыть файл " + f.shown);
        return false;
    }
    if (!bytes || bytes->size() > kMaxImageSize) {
        s.ui.AppendLine("Файл " + f.shown + " больше 65536 байт" + kCancelled);
        return false;
    }
    f.bytes = std::move(*bytes);
    return true;
}

// With dataSize given, the DATA FLASH image is not read: it is taken to be that long.
std::optional<Plan> PreparePlan(Session& s, std::optional<int> dataSize = std::nullopt) {
    const Settings& cfg = s.settings;
    const bool programmer = cfg.TypeController == 0;
    const bool update = s.face == WindowFace::UpdateFace;
    Plan plan;

    if (cfg.TypeController < 0 || cfg.TypeController > 4) {
        s.ui.AppendLine("Неизвестный тип контроллера " + std::to_string(cfg.TypeController) +
                        kCancelled);
        return std::nullopt;
    }
    if (!programmer) {
        for (const auto& [reg, text] :
             {std::pair{"HCR1", &cfg.HCR1Value}, std::pair{"HCR0", &cfg.HCR0Value}}) {
            if (!IsHexByteText(*text)) {
                s.ui.AppendLine(std::string("Неверное значение ") + reg + ": \"" + *text + "\"" +
                                kCancelled);
                return std::nullopt;
            }
        }
        plan.configRecord = *ComposeConfigRecord(cfg.HCR1Value, cfg.HCR0Value);
    }

    plan.program.name = (update && !programmer) ? "prog_c.bin" : "prog.bin";
    plan.program.shown = "\"" + plan.program.name + "\"";
    plan.data.name =
        (update && !programmer && s.UpdateMode == kKeepModeText) ? "data_rd.bin" : "data.bin";
    plan.data.shown = plan.data.name;

    if (!LoadImage(s, plan.program)) return std::nullopt;
    if (plan.program.bytes.empty()) {
        // Erasing the chip and writing no program would leave a dead instrument.
        s.ui.AppendLine("Файл " + plan.program.shown + " пуст" + kCancelled);
        return std::nullopt;
    }
    if (plan.program.name == "prog_c.bin") ScrambleImage(plan.program.bytes);
    if (dataSize) {
        plan.data.bytes.assign(static_cast<std::size_t>(std::max(0, *dataSize)), 0xFF);
    } else if (!LoadImage(s, plan.data)) {
        return std::nullopt;
    }

    if (!programmer) {
        const int flash = FlashSizeFor(cfg.TypeController);
        const int d = Length(plan.data);
        if (d > flash) {
            s.ui.AppendLine("Файл " + plan.data.shown + " (" + std::to_string(d) +
                            " байт) больше FLASH (" + std::to_string(flash) + " байт)" +
                            kCancelled);
            return std::nullopt;
        }
        // The image ends at the top of the flash; a partial last record would
        // reach past it.
        if (d % static_cast<int>(kRecordDataSize) != 0) {
            s.ui.AppendLine("Длина файла " + plan.data.shown + " (" + std::to_string(d) +
                            " байт) не кратна 128" + kCancelled);
            return std::nullopt;
        }
        plan.flashSize = flash;
        plan.dataBase = flash - d;
        const int l = Length(plan.program);
        if (l > plan.dataBase) {
            char base[16];
            std::snprintf(base, sizeof base, "%04X", static_cast<unsigned>(plan.dataBase));
            s.ui.AppendLine("Программа (" + std::to_string(l) +
                            " байт) заходит в область данных с адреса " + base + "h" + kCancelled);
            return std::nullopt;
        }
    }
    return plan;
}

// Copy of the image grown to whole units, the tail filled like erased flash.
std::vector<std::uint8_t> Padded(const std::vector<std::uint8_t>& bytes, std::size_t unit) {
    std::vector<std::uint8_t> out = bytes;
    out.resize((bytes.size() + unit - 1) / unit * unit, 0xFF);
    return out;
}

bool WriteRecords(Session& s, const std::vector<std::uint8_t>& image, int base) {
    const std::vector<std::uint8_t> whole = Padded(image, kRecordDataSize);
    const int length = static_cast<int>(image.size());
    for (int offset = 0; offset < length; offset += static_cast<int>(kRecordDataSize)) {
        s.ui.SetProgressPosition(offset);
        s.ui.ProcessMessages();
        const auto address = static_cast<std::uint16_t>(base + offset);
        if (!BootSendRecord(s, address, whole.data() + offset)) {
            char line[64];
            std::snprintf(line, sizeof line, "Ошибка записи по адресу %04Xh", address);
            s.ui.AppendLine(line);
            s.ui.SetProgressPosition(0);
            return false;
        }
    }
    return true;
}

bool RunBootRom(Session& s, const Plan& plan) {
    auto fail = [&](const char* line) {
        s.ui.AppendLine(line);
        return false;
    };
    if (!BootIdentify(s)) return fail("Нет связи с MSC1210!");
    s.ui.AppendLine(BannerExcerpt(s));
    s.ui.ProcessMessages();

    if (!BootEchoOff(s)) return fail("Ошибка отключения ЭХО");
    BootRegisterWrite(s, 0xFB, 0x15);
    BootRegisterWrite(s, 0xFC, 0x65);
    BootRegisterWrite(s, 0xFD, 0x56);

    if (!BootErase(s, 0x0000)) return fail("Ошибка стирания FLASH1");
    s.ui.AppendLine("Стирание FLASH1 - ok!");
    s.ui.ProcessMessages();
    if (!BootErase(s, 0x8000)) return fail("Ошибка стирания FLASH2");
    s.ui.AppendLine("Стирание FLASH2 - ok!");
    s.ui.ProcessMessages();

    BootLoad(s);
    const int l = Length(plan.program);
    s.ui.AppendLine("Запись CODE FLASH ...");
    s.ui.SetProgressRange(0, l - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    if (!WriteRecords(s, plan.program.bytes, 0)) return false;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Запись CODE FLASH - Ok");

    const int d = Length(plan.data);
    s.ui.AppendLine("Запись DATA FLASH ...");
    s.ui.SetProgressRange(0, d - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    if (!WriteRecords(s, plan.data.bytes, plan.dataBase)) return false;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Запись DATA FLASH - Ok");

    if (!BootSendRecordText(s, plan.configRecord))
        return fail("Ошибка записи регистров конфигурации");
    s.ui.AppendLine("Запись регистров конфигурации - ok!");
    return true;
}

template <typename WritePage, typename VerifyPage>
bool WriteAndVerifyPages(Session& s, const std::vector<std::uint8_t>& image, int pageSize,
                         WritePage write, VerifyPage verify, const char* writtenLine,
                         const char* verifyLine, const char* failLine) {
    const std::vector<std::uint8_t> whole = Padded(image, static_cast<std::size_t>(pageSize));
    const int length = static_cast<int>(image.size());
    s.ui.SetProgressRange(0, length - pageSize);
    s.ui.SetProgressPosition(0);
    for (int a = 0; a < length; a += pageSize) {
        s.ui.SetProgressPosition(a);
        s.ui.ProcessMessages();
        write(s, static_cast<std::uint16_t>(a), whole.data() + a);
    }
    s.ui.SetProgressPosition(0);
    if (writtenLine) s.ui.AppendLine(writtenLine);
    s.ui.AppendLine(verifyLine);
    for (int a = 0; a < length; a += pageSize) {
        s.ui.SetProgressPosition(a);
        s.ui.ProcessMessages();
        if (!verify(s, static_cast<std::uint16_t>(a), whole.data() + a)) {
            s.ui.AppendLine(failLine);
            return false;
        }
    }
    return true;
}

bool RunProgrammer(Session& s, const Plan& plan) {
    if (!ProgSync(s)) {
        s.ui.AppendLine("Нет связи с программатором!");
        return false;
    }
    s.clock.SleepMs(100);
    ProgEnable(s);
    ProgChipErase(s);
    s.ui.AppendLine("Chip Erase");
    s.clock.SleepMs(100);

    s.ui.AppendLine("Write Program memory ...");
    if (!WriteAndVerifyPages(s, plan.program.bytes, kCodePageSize, ProgWriteCodePage,
                             ProgVerifyCodePage, "Write Program memory - Ok",
                             "Verify Program memory ...", "Ошибка записи программы"))
        return false;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Verify Program memory - Ok");
    s.clock.SleepMs(20);

    s.ui.AppendLine("Write Data memory ...");
    if (!WriteAndVerifyPages(s, plan.data.bytes, kDataPageSize, ProgWriteDataPage,
                             ProgVerifyDataPage, nullptr, "Verify Data memory ...",
                             "Ошибка записи данных"))
        return false;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Verify Data memory - Ok");
    s.clock.SleepMs(20);
    return true;
}

}  // namespace

bool ProgramChip(Session& s) {
    if (s.face != WindowFace::UpdateFace &&
        !s.ui.AskYesNo("Произвести запись?", "Zentor", MessageIcon::Question)) {
        return false;
    }
    s.ui.ClearLog();
    s.ui.ProcessMessages();

    const std::optional<Plan> plan = PreparePlan(s);
    if (!plan) return false;
    return s.settings.TypeController == 0 ? RunProgrammer(s, *plan) : RunBootRom(s, *plan);
}

bool CheckProgramChipInputs(Session& s, std::optional<int> dataSize) {
    return PreparePlan(s, dataSize).has_value();
}

bool BitBtnWriteClick(Session& s) {
    return ProgramChip(s);
}

}  // namespace zentor
