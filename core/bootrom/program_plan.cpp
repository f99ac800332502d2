#include "bootrom/program_plan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "bootrom/hex_record.h"
#include "common/files.h"
#include "common/image_file.h"
#include "common/image_key.h"
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
// program below it.
bool PlaceImages(Job& s, const std::string& dataShown, ProgramPlan& plan) {
    const int flash = FlashSizeFor(s.settings.TypeController);
    const int d = static_cast<int>(plan.data.size());
    if (d > flash) {
        s.ui.Say(ZT("plan.data_beyond_flash",
                    "Файл {0} ({1} байт) больше FLASH ({2} байт) - запись отменена", dataShown, d,
                    flash));
        return false;
    }
    // A partial last record would reach past the top of the flash.
    if (d % static_cast<int>(kRecordDataSize) != 0) {
        s.ui.Say(ZT("plan.data_not_records",
                    "Длина файла {0} ({1} байт) не кратна 128 - запись отменена", dataShown, d));
        return false;
    }
    plan.flashSize = flash;
    plan.dataBase = flash - d;
    const int l = static_cast<int>(plan.program.size());
    if (l > plan.dataBase) {
        char base[16];
        std::snprintf(base, sizeof base, "%04X", static_cast<unsigned>(plan.dataBase));
        s.ui.Say(ZT("plan.program_overlaps",
                    "Программа ({0} байт) заходит в область данных с адреса {1}h - запись отменена",
                    l, base));
        return false;
    }
    return true;
}

}  // namespace

std::optional<ProgramPlan> PrepareProgramPlan(Job& s, const ProgramOptions& options,
                                              std::optional<int> dataSize) {
    const Settings& cfg = s.settings;
    const bool programmer = cfg.TypeController == 0;
    ProgramPlan plan;

    if (cfg.TypeController < 0 || cfg.TypeController > 4) {
        s.ui.Say(ZT("plan.unknown_controller", "Неизвестный тип контроллера {0} - запись отменена",
                    cfg.TypeController));
        return std::nullopt;
    }
    if (!programmer) {
        for (const auto& [reg, text] :
             {std::pair{"HCR1", &s.Hcr1()}, std::pair{"HCR0", &cfg.HCR0Value}}) {
            if (!IsHexByteText(*text)) {
                s.ui.Say(ZT("plan.bad_register", "Неверное значение {0}: \"{1}\" - запись отменена",
                            reg, *text));
                return std::nullopt;
            }
        }
        plan.configRecord = *ComposeConfigRecord(s.Hcr1(), cfg.HCR0Value);
    }

    const bool scrambled = options.image == ProgramImage::Scrambled;
    const std::string programName = scrambled ? "prog_c.bin" : "prog.bin";
    const std::string programShown = "\"" + programName + "\"";
    auto program = LoadLogged(s, programName, programShown);
    if (!program) return std::nullopt;
    if (program->empty()) {
        // Erasing the chip and writing no program would leave a dead instrument.
        s.ui.Say(ZT("plan.program_empty", "Файл {0} пуст - запись отменена", programShown));
        return std::nullopt;
    }
    plan.program = std::move(*program);
    if (scrambled) ScrambleImage(plan.program);

    if (dataSize) {
        plan.data.assign(static_cast<std::size_t>(std::max(0, *dataSize)), 0xFF);
    } else {
        auto data = LoadData(s, options.data);
        if (!data) return std::nullopt;
        plan.data = std::move(*data);
    }
    if (!programmer && !PlaceImages(s, options.data.shown, plan)) return std::nullopt;
    return plan;
}

}  // namespace zentor
