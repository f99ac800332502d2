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
#include "text/message.h"

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

// "7E80": an address as the log shows it, before its "h".
std::string Hex4(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", address);
    return text;
}

// A stop asked for at a record or page boundary: logged, the run ends there.
bool StopHere(Job& s, std::uint16_t address, ProgramResult& result) {
    if (!s.AbortRequested) return false;
    s.ui.Say(ZT("program.stopped_at",
                "Запись прервана по адресу {0}h - устройство записано не полностью",
                Hex4(address)));
    s.ui.SetProgressPosition(0);
    result.interrupted = true;
    return true;
}

// A stop asked for before the first erase leaves the chip as it was.
bool StopBeforeErase(Job& s, ProgramResult& result) {
    if (!s.AbortRequested) return false;
    s.ui.Say(ZT("program.stopped_before_erase", "Запись прервана - устройство не изменено"));
    result.interrupted = true;
    return true;
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
            result.linkError = link.LastError();
            s.ui.Say(ZT("program.write_failed_at", "Ошибка записи по адресу {0}h", Hex4(address)));
            s.ui.SetProgressPosition(0);
            return false;
        }
    }
    return true;
}

ProgramStage RunBootRom(Job& s, const ProgramPlan& plan, const std::function<void()>& beforeErase,
                        ProgramResult& result) {
    BootRomLink link(s.LinkPort(), s.clock, {s.settings.DopPause, s.settings.ControlWrite});
    auto fail = [&](const Message& line, ProgramStage stage) {
        result.linkError = link.LastError();
        s.ui.Say(line);
        return stage;
    };
    if (!link.Identify())
        return fail(ZT("program.no_chip", "Нет связи с MSC1210!"), ProgramStage::NoLink);
    s.ui.AppendLine(link.BannerExcerpt());
    s.ui.ProcessMessages();

    if (!link.EchoOff())
        return fail(ZT("program.echo_off_failed", "Ошибка отключения ЭХО"), ProgramStage::NoLink);
    link.RegisterWrite(0xFB, 0x15);
    link.RegisterWrite(0xFC, 0x65);
    link.RegisterWrite(0xFD, 0x56);

    if (StopBeforeErase(s, result)) return ProgramStage::Refused;
    if (beforeErase) beforeErase();
    s.EnterPhase(RunPhase::Erase);
    const ChipAtRisk atRisk(s);
    if (!link.Erase(0x0000))
        return fail(ZT("program.erase_failed", "Ошибка стирания FLASH{0}", 1),
                    ProgramStage::EraseFailed);
    s.ui.Say(ZT("program.erased", "Стирание FLASH{0} - ok!", 1));
    s.ui.ProcessMessages();
    // A stop asked during the first erase spares the second.
    if (StopHere(s, 0x8000, result)) return ProgramStage::EraseFailed;
    if (!link.Erase(0x8000))
        return fail(ZT("program.erase_failed", "Ошибка стирания FLASH{0}", 2),
                    ProgramStage::EraseFailed);
    s.ui.Say(ZT("program.erased", "Стирание FLASH{0} - ok!", 2));
    s.ui.ProcessMessages();

    link.Load();
    s.EnterPhase(RunPhase::Code);
    const int l = static_cast<int>(plan.program.size());
    s.ui.Say(ZT("program.code", "Запись CODE FLASH ..."));
    s.ui.SetProgressRange(0, l - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    const int before = result.unconfirmed;
    if (!WriteRecords(s, link, plan.program, 0, result)) return ProgramStage::CodeWriteFailed;
    s.ui.SetProgressPosition(0);
    if (result.unconfirmed == before) {
        s.ui.Say(ZT("program.code_ok", "Запись CODE FLASH - Ok"));
    } else {
        s.ui.Say(ZT("program.code_unconfirmed",
                    "Запись CODE FLASH - без подтверждения записей: {0}",
                    result.unconfirmed - before));
    }

    s.EnterPhase(RunPhase::Data);
    const int d = static_cast<int>(plan.data.size());
    s.ui.Say(ZT("program.data", "Запись DATA FLASH ..."));
    s.ui.SetProgressRange(0, d - static_cast<int>(kRecordDataSize));
    s.ui.SetProgressPosition(0);
    const int beforeData = result.unconfirmed;
    if (!WriteRecords(s, link, plan.data, plan.dataBase, result))
        return ProgramStage::DataWriteFailed;
    s.ui.SetProgressPosition(0);
    if (result.unconfirmed == beforeData) {
        s.ui.Say(ZT("program.data_ok", "Запись DATA FLASH - Ok"));
    } else {
        s.ui.Say(ZT("program.data_unconfirmed",
                    "Запись DATA FLASH - без подтверждения записей: {0}",
                    result.unconfirmed - beforeData));
    }

    s.EnterPhase(RunPhase::Config);
    if (StopHere(s, 0x807E, result)) return ProgramStage::ConfigFailed;
    const bool configured = link.SendRecordText(plan.configRecord);
    result.configUnconfirmed = configured && !link.LastRecordAcknowledged();
    if (result.configUnconfirmed) ++result.unconfirmed;
    if (!configured)
        return fail(ZT("program.config_failed", "Ошибка записи регистров конфигурации"),
                    ProgramStage::ConfigFailed);
    if (result.configUnconfirmed)
        s.ui.Say(ZT("program.config_end_unconfirmed",
                    "Запись регистров конфигурации - без подтверждения"));
    else
        s.ui.Say(ZT("program.config_ok", "Запись регистров конфигурации - ok!"));
    return ProgramStage::Done;
}

enum class PagesEnd { Verified, Failed, Stopped };

template <typename WritePage, typename VerifyPage>
PagesEnd WriteAndVerifyPages(Job& s, const std::vector<std::uint8_t>& image, int pageSize,
                             WritePage write, VerifyPage verify, const Message* writtenLine,
                             const Message& verifyLine, const Message& failLine,
                             ProgramResult& result) {
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
    if (writtenLine) s.ui.Say(*writtenLine);
    s.ui.Say(verifyLine);
    for (int a = 0; a < length; a += pageSize) {
        s.ui.SetProgressPosition(a);
        s.ui.ProcessMessages();
        if (!verify(static_cast<std::uint16_t>(a), whole.data() + a)) {
            s.ui.Say(failLine);
            return PagesEnd::Failed;
        }
    }
    return PagesEnd::Verified;
}

ProgramStage RunProgrammer(Job& s, const ProgramPlan& plan,
                           const std::function<void()>& beforeErase, ProgramResult& result) {
    ProgrammerLink link(s.LinkPort(), s.clock);
    if (!link.Sync()) {
        result.linkError = link.LastError();
        s.ui.Say(ZT("program.no_programmer", "Нет связи с программатором!"));
        return ProgramStage::NoLink;
    }
    s.clock.SleepMs(100);
    link.Enable();
    if (StopBeforeErase(s, result)) return ProgramStage::Refused;
    if (beforeErase) beforeErase();
    s.EnterPhase(RunPhase::Erase);
    const ChipAtRisk atRisk(s);
    link.ChipErase();
    s.ui.Say(ZT("program.chip_erase", "Chip Erase"));
    s.clock.SleepMs(100);

    using Page = const std::uint8_t*;
    s.EnterPhase(RunPhase::Code);
    s.ui.Say(ZT("program.code_pages", "Write Program memory ..."));
    const Message codeWritten = ZT("program.code_pages_ok", "Write Program memory - Ok");
    if (WriteAndVerifyPages(
            s, plan.program, kCodePageSize,
            [&](std::uint16_t a, Page p) { link.WriteCodePage(a, p); },
            [&](std::uint16_t a, Page p) { return link.VerifyCodePage(a, p); }, &codeWritten,
            ZT("program.code_verify", "Verify Program memory ..."),
            ZT("program.code_pages_failed", "Ошибка записи программы"),
            result) != PagesEnd::Verified) {
        result.linkError = link.LastError();
        return ProgramStage::CodeWriteFailed;
    }
    s.ui.SetProgressPosition(0);
    s.ui.Say(ZT("program.code_verified", "Verify Program memory - Ok"));
    s.clock.SleepMs(20);

    s.EnterPhase(RunPhase::Data);
    s.ui.Say(ZT("program.data_pages", "Write Data memory ..."));
    if (WriteAndVerifyPages(
            s, plan.data, kDataPageSize, [&](std::uint16_t a, Page p) { link.WriteDataPage(a, p); },
            [&](std::uint16_t a, Page p) { return link.VerifyDataPage(a, p); }, nullptr,
            ZT("program.data_verify", "Verify Data memory ..."),
            ZT("program.data_pages_failed", "Ошибка записи данных"),
            result) != PagesEnd::Verified) {
        result.linkError = link.LastError();
        return ProgramStage::DataWriteFailed;
    }
    s.ui.SetProgressPosition(0);
    s.ui.Say(ZT("program.data_verified", "Verify Data memory - Ok"));
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
    if (options.askFirst && !s.ui.AskYesNo(Render(ZT("program.ask", "Произвести запись?")),
                                           "Zentor", MessageIcon::Question))
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
    if (result.linkError != LinkError::None) s.run.linkError = result.linkError;
    if (result.unconfirmed > 0) {
        s.ui.Say(ZT("program.unconfirmed",
                    "Без подтверждения устройства осталось записей: {0}. Устройство нужно "
                    "проверить: прочитайте его и сравните с записанным.",
                    result.unconfirmed));
    }
    if (result.configUnconfirmed)
        s.ui.Say(ZT("program.config_unconfirmed",
                    "Запись регистров конфигурации (HCR0/HCR1) не подтверждена: проверка и "
                    "восстановление DATA FLASH их не читают. Запишите их снова повторной "
                    "прошивкой (повторите обновление или стирание + запись)."));
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
