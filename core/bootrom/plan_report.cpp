#include "bootrom/plan_report.h"

#include <cmath>
#include <cstdio>

#include "bootrom/boot_link.h"
#include "bootrom/hex_record.h"

namespace zentor {

namespace {

int Units(std::size_t bytes, std::size_t unit) {
    return static_cast<int>((bytes + unit - 1) / unit);
}

// The boot ROM sequence as BootRomLink sends it: identify (CR, 26-byte banner),
// echo off ("E", 4), three register writes ("RWrrvv", 3), two erases ("Maaaa",
// 6, 1000 ms), load ("L", 6), the records (1 each) and the configuration
// record (1); DopPause after every command.
PlanCost BootRomCost(const ProgramPlan& plan, int dopPause) {
    PlanCost c;
    c.codeUnits = Units(plan.program.size(), kRecordDataSize);
    c.dataUnits = Units(plan.data.size(), kRecordDataSize);
    const long records = c.codeUnits + c.dataUnits;
    const long config = static_cast<long>(plan.configRecord.size());
    c.sentBytes =
        1 + 1 + 3 * 6 + 2 * 5 + 1 + records * static_cast<long>(kDataRecordLength) + config;
    c.readBytes = 26 + 4 + 3 * 3 + 2 * 6 + 6 + records + 1;
    const long commands = 1 + 1 + 3 + 2 + 1 + records + 1;
    c.pauseMs = commands * dopPause + 2 * 1000;
    return c;
}

// The programmer sequence as ProgrammerLink and the run send it: sync (1 byte
// each way), 100 ms, enable (4, 20 ms), chip erase (4), 100 ms; each code page
// written (3 + 64, 20 ms) then read back (4, 64); 20 ms; each data page written
// (3 + 32, 20 ms) then read back (4, 32); 20 ms.
PlanCost ProgrammerCost(const ProgramPlan& plan) {
    const ProgrammerOptions link;
    PlanCost c;
    c.codeUnits = Units(plan.program.size(), kCodePageSize);
    c.dataUnits = Units(plan.data.size(), kDataPageSize);
    c.sentBytes =
        1 + 4 + 4 + c.codeUnits * (3 + kCodePageSize + 4) + c.dataUnits * (3 + kDataPageSize + 4);
    c.readBytes = 1 + c.codeUnits * kCodePageSize + c.dataUnits * kDataPageSize;
    c.pauseMs = 100 + link.enableWaitMs + 100 + 20 + 20 +
                static_cast<long>(c.codeUnits + c.dataUnits) * link.pageWriteWaitMs;
    return c;
}

std::string Hex4(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return text;
}

// "prog.bin, 384 байт, 0000h-017Fh, записей по 128 байт: 3"
std::string ImageLine(const std::string& name, std::size_t size, int base, const char* unit,
                      int unitSize, int units, bool addresses) {
    std::string line = name + ", " + std::to_string(size) + " байт";
    if (addresses && size > 0)
        line += ", " + Hex4(base) + "h-" + Hex4(base + units * unitSize - 1) + "h";
    return line + ", " + unit + " по " + std::to_string(unitSize) +
           " байт: " + std::to_string(units);
}

}  // namespace

double PlanCost::Seconds(int baud) const {
    const double wire = baud > 0 ? static_cast<double>(sentBytes + readBytes) * 10.0 / baud : 0.0;
    return wire + static_cast<double>(pauseMs) / 1000.0;
}

PlanCost CostOf(const ProgramPlan& plan, int dopPause) {
    return plan.Programmer() ? ProgrammerCost(plan) : BootRomCost(plan, dopPause);
}

std::string SecondsText(double seconds) {
    const long long tenths = std::llround(seconds * 10.0);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " с";
}

void ShowPlan(Job& s, const ProgramPlan& plan, const std::string& dataSource) {
    const PlanCost cost = CostOf(plan, s.settings.DopPause);
    if (plan.Programmer()) {
        s.ui.AppendLine("План записи через программатор:");
        s.ui.AppendLine("  программа: " +
                        ImageLine(plan.programName, plan.program.size(), 0, "страниц",
                                  kCodePageSize, cost.codeUnits, false) +
                        ", с проверкой");
        s.ui.AppendLine("  данные: " +
                        ImageLine(dataSource, plan.data.size(), 0, "страниц", kDataPageSize,
                                  cost.dataUnits, false) +
                        ", с проверкой");
    } else {
        s.ui.AppendLine("План записи через загрузчик MSC1210Y" +
                        std::to_string(plan.typeController + 1) + ", FLASH " +
                        std::to_string(plan.flashSize) + " байт:");
        const int record = static_cast<int>(kRecordDataSize);
        s.ui.AppendLine("  CODE FLASH: " + ImageLine(plan.programName, plan.program.size(), 0,
                                                     "записей", record, cost.codeUnits, true));
        s.ui.AppendLine("  DATA FLASH: " + ImageLine(dataSource, plan.data.size(), plan.dataBase,
                                                     "записей", record, cost.dataUnits, true));
        if (plan.configRecord.size() >= 13)
            s.ui.AppendLine("  регистры конфигурации: HCR1 " + plan.configRecord.substr(9, 2) +
                            ", HCR0 " + plan.configRecord.substr(11, 2));
    }
    s.ui.AppendLine("  на линии: передаётся " + std::to_string(cost.sentBytes) +
                    " байт, принимается до " + std::to_string(cost.readBytes) + " байт, паузы " +
                    SecondsText(static_cast<double>(cost.pauseMs) / 1000.0));
    s.ui.AppendLine("  ожидаемое время при " + std::to_string(s.settings.BaudRate) +
                    " бит/с: " + SecondsText(cost.Seconds(s.settings.BaudRate)));
}

}  // namespace zentor
