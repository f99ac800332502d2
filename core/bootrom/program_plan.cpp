#include "bootrom/program_plan.h"

#include <cstdio>

#include "bootrom/hex_record.h"
#include "common/files.h"
#include "common/image_file.h"
#include "common/image_key.h"
#include "common/sha256.h"
#include "text/message.h"

namespace zentor {

namespace {

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

// Loads name from the working folder; logs and returns nullopt when it cannot be
// opened or is larger than the image buffer.
std::optional<std::vector<std::uint8_t>> LoadLogged(Job& s, const std::string& name,
                                                    const std::string& shown) {
    ImageLoad image = LoadImageFile(ResolveNoCase(s.workDir, name));
    if (image.error == ImageError::TooLarge) {
        s.ui.Say(ZT("plan.too_large", "Файл {0} больше 65536 байт - запись отменена", shown));
        return std::nullopt;
    }
    if (!image.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", shown));
        return std::nullopt;
    }
    return std::move(image.bytes);
}

std::optional<std::vector<std::uint8_t>> LoadData(Job& s, const DataFlashSource& source) {
    switch (source.kind) {
        case DataFlashSource::Kind::Bytes:
            if (source.bytes.size() > kMaxImage) {
                s.ui.Say(ZT("plan.too_large", "Файл {0} больше 65536 байт - запись отменена",
                            source.shown));
                return std::nullopt;
            }
            return source.bytes;
        case DataFlashSource::Kind::File:
            return LoadLogged(s, source.file, source.shown);
        case DataFlashSource::Kind::FactoryFile:
            break;
    }
    return LoadLogged(s, "data.bin", source.shown);
}

// Boot ROM layout: the DATA FLASH image ends at the top of the flash, the
// program below it. Returns where the image starts, or nullopt after the log line.
std::optional<int> DataBaseFor(Job& s, const ProgramPlan& plan, int d, const std::string& shown) {
    const int flash = FlashSizeFor(plan.typeController);
    if (d > flash) {
        s.ui.Say(ZT("plan.data_beyond_flash",
                    "Файл {0} ({1} байт) больше FLASH ({2} байт) - запись отменена", shown, d,
                    flash));
        return std::nullopt;
    }
    // A partial last record would reach past the top of the flash.
    if (d % static_cast<int>(kRecordDataSize) != 0) {
        s.ui.Say(ZT("plan.data_not_records",
                    "Длина файла {0} ({1} байт) не кратна 128 - запись отменена", shown, d));
        return std::nullopt;
    }
    const int base = flash - d;
    const int l = static_cast<int>(plan.program.size());
    if (l > base) {
        char text[16];
        std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(base));
        s.ui.Say(ZT("plan.program_overlaps",
                    "Программа ({0} байт) заходит в область данных с адреса {1}h - запись отменена",
                    l, text));
        return std::nullopt;
    }
    return base;
}

}  // namespace

bool PlanConfig(Job& s, ProgramPlan& plan) {
    if (plan.Programmer()) return true;
    for (const auto& [reg, text] :
         {std::pair{"HCR1", &s.Hcr1()}, std::pair{"HCR0", &s.settings.HCR0Value}}) {
        if (!IsHexByteText(*text)) {
            s.ui.Say(ZT("plan.bad_register", "Неверное значение {0}: \"{1}\" - запись отменена",
                        reg, *text));
            return false;
        }
    }
    plan.configRecord = *ComposeConfigRecord(s.Hcr1(), s.settings.HCR0Value);
    return true;
}

std::optional<ProgramPlan> PlanProgramImage(Job& s, ProgramImage image) {
    ProgramPlan plan;
    plan.typeController = s.settings.TypeController;
    if (plan.typeController < 0 || plan.typeController > 4) {
        s.ui.Say(ZT("plan.unknown_controller", "Неизвестный тип контроллера {0} - запись отменена",
                    plan.typeController));
        return std::nullopt;
    }
    if (!PlanConfig(s, plan)) return std::nullopt;

    const bool scrambled = image == ProgramImage::Scrambled;
    plan.programName = scrambled ? "prog_c.bin" : "prog.bin";
    const std::string shown = "\"" + plan.programName + "\"";
    auto program = LoadLogged(s, plan.programName, shown);
    if (!program) return std::nullopt;
    if (program->empty()) {
        // Erasing the chip and writing no program would leave a dead instrument.
        s.ui.Say(ZT("plan.program_empty", "Файл {0} пуст - запись отменена", shown));
        return std::nullopt;
    }
    plan.programSha256 = Sha256Hex(*program);
    plan.program = std::move(*program);
    if (scrambled) ScrambleImage(plan.program);
    return plan;
}

bool DataFits(Job& s, const ProgramPlan& plan, int size, const std::string& shown) {
    return plan.Programmer() || DataBaseFor(s, plan, size, shown).has_value();
}

bool PlanData(Job& s, ProgramPlan& plan, const DataFlashSource& source) {
    auto data = LoadData(s, source);
    if (!data) return false;
    if (!plan.Programmer()) {
        const auto base = DataBaseFor(s, plan, static_cast<int>(data->size()), source.shown);
        if (!base) return false;
        plan.flashSize = FlashSizeFor(plan.typeController);
        plan.dataBase = *base;
    }
    plan.data = std::move(*data);
    plan.dataShown = source.shown;
    return true;
}

std::optional<ProgramPlan> PlanProgram(Job& s, const ProgramOptions& options) {
    auto plan = PlanProgramImage(s, options.image);
    if (!plan || !PlanData(s, *plan, options.data)) return std::nullopt;
    return plan;
}

}  // namespace zentor
