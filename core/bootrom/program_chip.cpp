// Whole-chip programming: boot-ROM sequence (TypeController 1..4) and hardware
// programmer sequence (TypeController 0). Everything that can be checked about
// the images and settings is checked before the first byte goes out, so a run
// never leaves an erased chip behind for a reason known in advance.
#include "bootrom/program_chip.h"

#include <cstdio>
#include <string>
#include <vector>

#include "bootrom/boot_link.h"
#include "bootrom/hex_record.h"
#include "bootrom/plan_report.h"
#include "bootrom/program_plan.h"

namespace zentor {

namespace {

// Copy of the image grown to whole units, the tail filled like erased flash.
std::vector<std::uint8_t> Padded(const std::vector<std::uint8_t>& bytes, std::size_t unit) {
    std::vector<std::uint8_t> out = bytes;
    out.resize((bytes.size() + unit - 1) / unit * unit, 0xFF);
    return out;
}

// s.ChipAtRisk for as long as the chip is erased and not yet whole.
class ChipAtRisk {
public:
    explicit ChipAtRisk(Job& s) : s_(s) { s_.ChipAtRisk = true; }
    ~ChipAtRisk() { s_.ChipAtRisk = false; }
    ChipAtRisk(const ChipAtRisk&) = delete;
    ChipAtRisk& operator=(const ChipAtRisk&) = delete;

private:
    Job& s_;
};

// A stop asked for at a record or page boundary: logged, the run ends there.
bool StopHere(Job& s, std::uint16_t address, ProgramResult& result) {
    if (!s.AbortRequested) return false;
    char line[128];
    std::snprintf(line, sizeof line,
                  "Запись прервана по адресу %04Xh - устройство записано не полностью", address);
    s.ui.AppendLine(line);
    s.ui.SetProgressPosition(0);
    result.interrupted = true;
    return true;
}

// A stop asked for before the first erase leaves the chip as it was.
bool StopBeforeErase(Job& s, ProgramResult& result) {
    if (!s.AbortRequested) return false;
    s.ui.AppendLine("Запись прервана - устройство не изменено");
    result.interrupted = true;
    return true;
}

// The end line of a stage of records: "- Ok" only when the chip confirmed every one.
std::string StageEnd(const char* stage, int unconfirmed) {
    if (unconfirmed == 0) return std::string(stage) + " - Ok";
    return std::string(stage) + " - без подтверждения записей: " + std::to_string(unconfirmed);
}

bool WriteRecords(Job& s, BootRomLink& link, const std::vector<std::uint8_t>& image, int base,
                  ProgramResult& result) {
    const std::vector<std::uint8_t> whole = Padded(image, kRecordDataSize);
    const int length = static_cast<int>(image.size());
    for (int offset = 0; offset < length; offset += static_cast<int>(kRecordDataSize)) {
        s.ui.SetProgressPosition(offset);
        s.ui.ProcessMessages();
        const auto address = static_cast<std::uint16_t>(base + offset);
        if (StopHere(s, address, result)) return false;
        const bool sent = link.SendRecord(address, whole.data() + offset);
        if (sent && !link.LastRecordAcknowledged()) ++result.unconfirmed;
        if (!sent) {
            char line[64];
            std::snprintf(line, sizeof line, "Ошибка записи по адресу %04Xh", address);
            s.ui.AppendLine(line);
            s.ui.SetProgressPosition(0);
            return false;
        }
    }
    return true;
}

ProgramStage RunBootRom(Job& s, const ProgramPlan& plan, const std::function<void()>& beforeErase,
                        ProgramResult& result) {
    BootRomLink link(s.LinkPort(), s.clock, {s.settings.DopPause, s.settings.ControlWrite});
    auto fail = [&](const char* line, ProgramStage stage) {
        s.ui.AppendLine(line);
        return stage;
    };
    if (!link.Identify()) return fail("Нет связи с MSC1210!", ProgramStage::NoLink);
    s.ui.AppendLine(link.BannerExcerpt());
    s.ui.ProcessMessages();

    if (!link.EchoOff()) return fail("Ошибка отключения ЭХО", ProgramStage::NoLink);
    link.RegisterWrite(0xFB, 0x15);
    link.RegisterWrite(0xFC, 0x65);
    link.RegisterWrite(0xFD, 0x56);

    if (StopBeforeErase(s, result)) return ProgramStage::Refused;
    if (beforeErase) beforeErase();
    s.EnterPhase(RunPhase::Erase);
    const ChipAtRisk atRisk(s);
    if (!link.Erase(0x0000)) return fail("Ошибка стирания FLASH1", ProgramStage::EraseFailed);
    s.ui.AppendLine("Стирание FLASH1 - ok!");
    s.ui.ProcessMessages();
    // A stop asked during the first erase spares the second.
    if (StopHere(s, 0x8000, result)) return ProgramStage::EraseFailed;
    if (!link.Erase(0x8000)) return fail("Ошибка стирания FLASH2", ProgramStage::EraseFailed);
    s.ui.AppendLine("Стирание FLASH2 - ok!");
    s.ui.ProcessMessages();

    link.Load();
    s.EnterPhase(RunPhase::Code);
    const int l = static_cast<int>(plan.program.size());
    s.ui.AppendLine("Запись CODE FLASH ...");
    s.ui.SetProgressRange(0, l - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    const int before = result.unconfirmed;
    if (!WriteRecords(s, link, plan.program, 0, result)) return ProgramStage::CodeWriteFailed;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine(StageEnd("Запись CODE FLASH", result.unconfirmed - before));

    s.EnterPhase(RunPhase::Data);
    const int d = static_cast<int>(plan.data.size());
    s.ui.AppendLine("Запись DATA FLASH ...");
    s.ui.SetProgressRange(0, d - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    const int beforeData = result.unconfirmed;
    if (!WriteRecords(s, link, plan.data, plan.dataBase, result))
        return ProgramStage::DataWriteFailed;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine(StageEnd("Запись DATA FLASH", result.unconfirmed - beforeData));

    s.EnterPhase(RunPhase::Config);
    if (StopHere(s, 0x807E, result)) return ProgramStage::ConfigFailed;
    const bool configured = link.SendRecordText(plan.configRecord);
    result.configUnconfirmed = configured && !link.LastRecordAcknowledged();
    if (result.configUnconfirmed) ++result.unconfirmed;
    if (!configured)
        return fail("Ошибка записи регистров конфигурации", ProgramStage::ConfigFailed);
    s.ui.AppendLine(result.configUnconfirmed ? "Запись регистров конфигурации - без подтверждения"
                                             : "Запись регистров конфигурации - ok!");
    return ProgramStage::Done;
}

enum class PagesEnd { Verified, Failed, Stopped };

template <typename WritePage, typename VerifyPage>
PagesEnd WriteAndVerifyPages(Job& s, const std::vector<std::uint8_t>& image, int pageSize,
                             WritePage write, VerifyPage verify, const char* writtenLine,
                             const char* verifyLine, const char* failLine, ProgramResult& result) {
    const std::vector<std::uint8_t> whole = Padded(image, static_cast<std::size_t>(pageSize));
    const int length = static_cast<int>(image.size());
    s.ui.SetProgressRange(0, length - pageSize);
    s.ui.SetProgressPosition(0);
    for (int a = 0; a < length; a += pageSize) {
        s.ui.SetProgressPosition(a);
        s.ui.ProcessMessages();
        if (StopHere(s, static_cast<std::uint16_t>(a), result)) return PagesEnd::Stopped;
        write(static_cast<std::uint16_t>(a), whole.data() + a);
    }
    s.ui.SetProgressPosition(0);
    if (writtenLine) s.ui.AppendLine(writtenLine);
    s.ui.AppendLine(verifyLine);
    for (int a = 0; a < length; a += pageSize) {
        s.ui.SetProgressPosition(a);
        s.ui.ProcessMessages();
        if (!verify(static_cast<std::uint16_t>(a), whole.data() + a)) {
            s.ui.AppendLine(failLine);
            return PagesEnd::Failed;
        }
    }
    return PagesEnd::Verified;
}

ProgramStage RunProgrammer(Job& s, const ProgramPlan& plan,
                           const std::function<void()>& beforeErase, ProgramResult& result) {
    ProgrammerLink link(s.LinkPort(), s.clock);
    if (!link.Sync()) {
        s.ui.AppendLine("Нет связи с программатором!");
        return ProgramStage::NoLink;
    }
    s.clock.SleepMs(100);
    link.Enable();
    if (StopBeforeErase(s, result)) return ProgramStage::Refused;
    if (beforeErase) beforeErase();
    s.EnterPhase(RunPhase::Erase);
    const ChipAtRisk atRisk(s);
    link.ChipErase();
    s.ui.AppendLine("Chip Erase");
    s.clock.SleepMs(100);

    using Page = const std::uint8_t*;
    s.EnterPhase(RunPhase::Code);
    s.ui.AppendLine("Write Program memory ...");
    if (WriteAndVerifyPages(
            s, plan.program, kCodePageSize,
            [&](std::uint16_t a, Page p) { link.WriteCodePage(a, p); },
            [&](std::uint16_t a, Page p) { return link.VerifyCodePage(a, p); },
            "Write Program memory - Ok", "Verify Program memory ...", "Ошибка записи программы",
            result) != PagesEnd::Verified)
        return ProgramStage::CodeWriteFailed;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Verify Program memory - Ok");
    s.clock.SleepMs(20);

    s.EnterPhase(RunPhase::Data);
    s.ui.AppendLine("Write Data memory ...");
    if (WriteAndVerifyPages(
            s, plan.data, kDataPageSize, [&](std::uint16_t a, Page p) { link.WriteDataPage(a, p); },
            [&](std::uint16_t a, Page p) { return link.VerifyDataPage(a, p); }, nullptr,
            "Verify Data memory ...", "Ошибка записи данных", result) != PagesEnd::Verified)
        return ProgramStage::DataWriteFailed;
    s.ui.SetProgressPosition(0);
    s.ui.AppendLine("Verify Data memory - Ok");
    s.clock.SleepMs(20);
    return ProgramStage::Done;
}

}  // namespace

ProgramOptions FactoryProgramOptions() {
    return {.askFirst = true,
            .image = ProgramImage::Plain,
            .data = DataFlashSource::Factory(),
            .beforeErase = {}};
}

ProgramOptions UpdateProgramOptions(int typeController, UpdateMode mode) {
    const bool bootRom = typeController != 0;
    return {.askFirst = false,
            .image = bootRom ? ProgramImage::Scrambled : ProgramImage::Plain,
            .data = bootRom && mode == UpdateMode::Keep ? DataFlashSource::FromFile("data_rd.bin")
                                                        : DataFlashSource::Factory(),
            .beforeErase = {}};
}

namespace {

// Refused before anything went out: an erase the journal was told of did not happen.
ProgramResult Refused(Job& s) {
    if (s.run.phase == RunPhase::Erase || s.run.phase == RunPhase::Unknown)
        s.run.phase = RunPhase::Nothing;
    return {ProgramStage::Refused};
}

}  // namespace

ProgramResult ProgramChip(Job& s, const ProgramOptions& options) {
    if (options.askFirst && !s.ui.AskYesNo("Произвести запись?", "Zentor", MessageIcon::Question))
        return Refused(s);
    s.ui.ClearLog();
    s.ui.ProcessMessages();
    const std::optional<ProgramPlan> plan = PlanProgram(s, options);
    if (!plan) return Refused(s);
    return ExecuteProgramPlan(s, *plan, options.beforeErase);
}

ProgramResult ProgramChip(Job& s, const ProgramPlan& plan,
                          const std::function<void()>& beforeErase) {
    s.ui.ClearLog();
    s.ui.ProcessMessages();
    return ExecuteProgramPlan(s, plan, beforeErase);
}

ProgramResult ExecuteProgramPlan(Job& s, const ProgramPlan& plan,
                                 const std::function<void()>& beforeErase) {
    s.EnterPhase(RunPhase::Boot);
    ProgramResult result;
    result.stage = plan.Programmer() ? RunProgrammer(s, plan, beforeErase, result)
                                     : RunBootRom(s, plan, beforeErase, result);
    if (result.stage == ProgramStage::Done) s.run.phase = RunPhase::Done;
    s.run.unconfirmed += result.unconfirmed;
    if (result.unconfirmed > 0) {
        s.ui.AppendLine(
            "Без подтверждения устройства осталось записей: " + std::to_string(result.unconfirmed) +
            ". Устройство нужно проверить: прочитайте его и сравните с записанным.");
    }
    if (result.configUnconfirmed)
        s.ui.AppendLine(
            "Запись регистров конфигурации (HCR0/HCR1) не подтверждена: проверка и "
            "восстановление DATA FLASH их не читают. Запишите их снова повторной прошивкой "
            "(повторите обновление или стирание + запись).");
    return result;
}

bool EraseAndWrite(Job& s) {
    return ProgramChip(s, FactoryProgramOptions()).Ok();
}

bool ShowEraseAndWritePlan(Job& s) {
    ProgramOptions options = FactoryProgramOptions();
    const std::optional<ProgramPlan> plan = PlanProgram(s, options);
    if (!plan) return false;
    ShowPlan(s, *plan, plan->dataShown);
    s.ui.AppendLine("Пробный запуск: порт не открывался, устройству ничего не отправлено");
    return true;
}

}  // namespace zentor
