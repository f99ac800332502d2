// Every command of zentor-cli against every fault of the line and the device:
// one gtest case per (command, fault) cell, each with its own simulator and
// folder, so ctest can run the cells side by side.
//
// Each cell states what the technician gets: the exit status, the log lines (in
// order) and the message on stderr, what data_rd.bin and the calibration backup
// hold afterwards, and the state of the instrument. Every cell also checks that
// no input file was touched, that the port is free again once the CLI has ended
// (when the device is still there) and that a device that vanished did so.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "station/com_port.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

constexpr int kProgramSize = 1024;  // 8 records, 16 code pages
constexpr int kDataSize = 512;      // 2 DATA FLASH pages, 4 records, 16 data pages
constexpr const char* kPowerCycle =
    "Отключите питание устройства и через 30 секунд включите его снова.";
constexpr const char* kHcr0 = "5D";
constexpr const char* kHcr1 = "C5";

enum class Row {
    ReadData,
    WriteData,
    Restart,
    Prog,
    ProgramBootRom,
    ProgramProgrammer,
    UpdateKeep,
    UpdateFactory,
    Jumper,
};

enum class Fault {
    NoAnswer,
    BadCrc,
    ShortReply,
    SurplusNoise,
    StatusFail,
    RefuseRecord,
    VanishFrames,   // --die-after K
    VanishRecords,  // --die-after-record K; the programmer is killed after K bytes
    RestartMid,     // --restart-after K
    PortBusy,       // another process holds the port
};

// data_rd.bin afterwards. A data_rd.bin from an earlier run is in the folder
// before every cell.
enum class DataRd {
    Old,         // the earlier file, unchanged, in place
    Fresh,       // this run's reading (the instrument's calibration)
    Aside,       // no data_rd.bin; the earlier one moved to backup/data_rd.*.bak
    FreshAside,  // this run's reading, the earlier one renamed aside
};

enum class Device {
    Untouched,    // flash, DATA FLASH and configuration as before the run
    Pages,        // WriteData: the first `pages` DATA FLASH pages hold data.bin
    Programmed,   // program, the chosen data image and HCR0/HCR1 in place
    Interrupted,  // changed, but not fully programmed
    Gone,         // the simulator ended with status 3 (the device vanished)
};

struct Cell {
    Row row;
    Fault fault;
    std::vector<std::string> faultArgs;
    int status;
    Lines lines;      // stdout lines in this order; a trailing '*' matches a prefix
    std::string err;  // must appear on stderr ("" = not looked at)
    DataRd dataRd;
    bool backup;  // backup/ holds exactly the calibration
    Device device;
    int pages = 0;            // Device::Pages
    int typeController = 4;   // the programming rows vary the chip
    long killAfterBytes = 0;  // the programmer vanishes once it received this many
};

std::string RowName(Row r) {
    switch (r) {
        case Row::ReadData:
            return "ReadData";
        case Row::WriteData:
            return "WriteData";
        case Row::Restart:
            return "Restart";
        case Row::Prog:
            return "Prog";
        case Row::ProgramBootRom:
            return "ProgramBootRom";
        case Row::ProgramProgrammer:
            return "ProgramProgrammer";
        case Row::UpdateKeep:
            return "UpdateKeep";
        case Row::UpdateFactory:
            return "UpdateFactory";
        case Row::Jumper:
            return "Jumper";
    }
    return "?";
}

std::string FaultName(Fault f) {
    switch (f) {
        case Fault::NoAnswer:
            return "NoAnswer";
        case Fault::BadCrc:
            return "BadCrc";
        case Fault::ShortReply:
            return "ShortReply";
        case Fault::SurplusNoise:
            return "SurplusNoise";
        case Fault::StatusFail:
            return "StatusFail";
        case Fault::RefuseRecord:
            return "RefuseRecord";
        case Fault::VanishFrames:
            return "VanishFrames";
        case Fault::VanishRecords:
            return "VanishRecords";
        case Fault::RestartMid:
            return "RestartMid";
        case Fault::PortBusy:
            return "PortBusy";
    }
    return "?";
}

void PrintTo(const Cell& c, std::ostream* os) {
    *os << RowName(c.row) << "/" << FaultName(c.fault);
}

Lines Cat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Lines NoLink(const std::string& step) {
    return {"", step, "Команда не прошла.", "Нет связи с устройством!", ""};
}

// Framed exchanges count from 1 over the simulator's life. read-data (version
// 120, 2 pages, 2 readings): 1 version; reading 1: page 0 = 2 select, 3 copy,
// 4 status, 5 SRAM, 6-7 blocks, page 1 = 8..13; reading 2 = 14..25; 26 restart.
const Lines kReadStart = {"Чтение данных из Velmar120", "Чтение DATA FLASH ..."};
const Lines kReadOk = {"Чтение данных из Velmar120", "Чтение DATA FLASH ...",
                       "1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ...",
                       "2-e чтение DATA FLASH - Ok", "Чтение DATA FLASH - Ok"};
// write-data: 1 version; page 0 = 2 SRAM, 3 open, 4-5 blocks, 6 close,
// 7 select, 8 store, 9 status; page 1 = 10..17; 18 restart.
const Lines kWriteOk = {"Запись данных в Velmar120 ...", "Запись данных - Ok", "Restart ...",
                        "Restart - OK"};
const Lines kWriteStart = {"Запись данных в Velmar120 ..."};
// Boot-ROM records: 1-8 code (0000h..0380h), 9-12 data (top of the flash),
// 13 configuration.
const Lines kBootOk = {"Стирание FLASH1 - ok!",
                       "Стирание FLASH2 - ok!",
                       "Запись CODE FLASH ...",
                       "Запись CODE FLASH - Ok",
                       "Запись DATA FLASH ...",
                       "Запись DATA FLASH - Ok",
                       "Запись регистров конфигурации - ok!"};
const Lines kErased = {"Стирание FLASH1 - ok!", "Стирание FLASH2 - ok!"};
const Lines kProgrammerOk = {"Chip Erase",
                             "Write Program memory ...",
                             "Write Program memory - Ok",
                             "Verify Program memory ...",
                             "Verify Program memory - Ok",
                             "Write Data memory ...",
                             "Verify Data memory ...",
                             "Verify Data memory - Ok"};
// Update: 1 identification; keep mode: 2 version, readings 3..26, Prog 27-28,
// restart 29; factory mode: Prog 2-3, restart 4.
const Lines kBackupLine = {"Резервная копия DATA FLASH: backup/14v071510_*"};
const Lines kProgOk = {"Prog ...", "Prog - Ok"};
const Lines kRestartOk = {"Restart ...", "Restart - OK"};
const Lines kEnd = {"", kPowerCycle};
// The simulator that vanishes closes its side of the line, as a pulled adapter does.
const Lines kGoneBeforeErase = {"Порт * пропал (вход в загрузчик): адаптер отключён или неисправен",
                                "Стирание не началось. *"};
const Lines kGoneErased = {"Устройство может быть стёрто или записано не полностью. *",
                           "Подключите адаптер снова и восстановите устройство командой:"};
const Lines kNoBootRom = {"Нет связи с MSC1210!", "", kPowerCycle};
const Lines kNoDataRd = {"Файл data_rd.bin не обнаружен!"};
const Lines kKeepRefusesJumper = {
    "Устройство не определено!",
    "Прошивка через перемычку записала бы в DATA FLASH заводские данные data.bin вместо "
    "калибровки устройства - обновление отменено"};

const std::string kBusy = "порт занят.";
const std::string kJumperAsked = "Устройство не определено!";
const std::string kAskedUpdate = "Подключено устройство:";

// clang-format off
const Cell kCells[] = {
    // read-data: the file is replaced only by a complete, agreeing reading.
    {Row::ReadData, Fault::NoAnswer, {"--no-answer"}, 1,
     Cat({{"Чтение DATA FLASH ..."}, NoLink("Выбор страницы DATA FLASH = 0 ...")}), "",
     DataRd::Old, false, Device::Untouched},
    {Row::ReadData, Fault::BadCrc, {"--bad-crc", "10"}, 1,
     Cat({kReadStart, NoLink("Check read page CODE FLASH = 1 ...")}), "",
     DataRd::Old, false, Device::Untouched},
    {Row::ReadData, Fault::ShortReply, {"--short-reply", "18"}, 1,
     Cat({kReadStart, {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."},
          NoLink("Чтение 128байт DATA FLASH = 0 (0) ...")}), "",
     DataRd::Old, false, Device::Untouched},
    {Row::ReadData, Fault::SurplusNoise, {"--surplus", "--noise"}, 0,
     Cat({kReadOk, kRestartOk}), "", DataRd::Fresh, false, Device::Untouched},
    {Row::ReadData, Fault::StatusFail, {"--status-fail", "1"}, 1,
     Cat({kReadStart, {"", "Check read page CODE FLASH = 1 ...", "Ошибка чтения", ""}}), "",
     DataRd::Old, false, Device::Untouched},
    {Row::ReadData, Fault::RefuseRecord, {"--refuse-record", "1"}, 0,
     Cat({kReadOk, kRestartOk}), "", DataRd::Fresh, false, Device::Untouched},
    {Row::ReadData, Fault::VanishFrames, {"--die-after", "12"}, 1,
     Cat({kReadStart, NoLink("Чтение 128байт DATA FLASH = 1 (128) ...")}), "",
     DataRd::Old, false, Device::Gone},
    {Row::ReadData, Fault::VanishRecords, {"--die-after-record", "1"}, 0,
     Cat({kReadOk, kRestartOk}), "", DataRd::Fresh, false, Device::Untouched},
    {Row::ReadData, Fault::RestartMid, {"--restart-after", "8"}, 1,
     Cat({kReadStart, NoLink("Copy page DATA FLASH = 1 в SRAM = 3 ...")}), "",
     DataRd::Old, false, Device::Untouched},
    {Row::ReadData, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Untouched},

    // write-data: pages stored before a failure stay stored, and the log says
    // where it stopped; no restart follows a failure.
    {Row::WriteData, Fault::NoAnswer, {"--no-answer"}, 1, {"Ошибка чтения версии устройства!"},
     "", DataRd::Old, false, Device::Pages, 0},
    {Row::WriteData, Fault::BadCrc, {"--bad-crc", "5"}, 1,
     Cat({kWriteStart, {"Нет связи с устройством!"}}), "", DataRd::Old, false, Device::Pages, 0},
    {Row::WriteData, Fault::ShortReply, {"--short-reply", "13"}, 1,
     Cat({kWriteStart, {"Нет связи с устройством!"}}), "", DataRd::Old, false, Device::Pages, 1},
    {Row::WriteData, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, kWriteOk, "",
     DataRd::Old, false, Device::Pages, 2},
    {Row::WriteData, Fault::StatusFail, {"--status-fail", "1"}, 1,
     Cat({kWriteStart, {"Ошибка записи"}}), "", DataRd::Old, false, Device::Pages, 1},
    {Row::WriteData, Fault::RefuseRecord, {"--refuse-record", "1"}, 0, kWriteOk, "",
     DataRd::Old, false, Device::Pages, 2},
    {Row::WriteData, Fault::VanishFrames, {"--die-after", "8"}, 1,
     Cat({kWriteStart, {"Нет связи с устройством!"}}), "", DataRd::Old, false, Device::Gone},
    {Row::WriteData, Fault::VanishRecords, {"--die-after-record", "1"}, 0, kWriteOk, "",
     DataRd::Old, false, Device::Pages, 2},
    {Row::WriteData, Fault::RestartMid, {"--restart-after", "9"}, 1,
     Cat({kWriteStart, {"Нет связи с устройством!"}}), "", DataRd::Old, false, Device::Pages, 1},
    {Row::WriteData, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Pages, 0},

    // restart: one exchange; a reply that came back whole counts, whatever the
    // device does after it.
    {Row::Restart, Fault::NoAnswer, {"--no-answer"}, 1, {"Restart ...", "Нет связи с устройством!"},
     "", DataRd::Old, false, Device::Untouched},
    {Row::Restart, Fault::BadCrc, {"--bad-crc", "1"}, 1,
     {"Restart ...", "Нет связи с устройством!"}, "", DataRd::Old, false, Device::Untouched},
    {Row::Restart, Fault::ShortReply, {"--short-reply", "1"}, 1,
     {"Restart ...", "Нет связи с устройством!"}, "", DataRd::Old, false, Device::Untouched},
    {Row::Restart, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, kRestartOk, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Restart, Fault::StatusFail, {"--status-fail", "0"}, 0, kRestartOk, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Restart, Fault::RefuseRecord, {"--refuse-record", "1"}, 0, kRestartOk, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Restart, Fault::VanishFrames, {"--die-after", "1"}, 0, kRestartOk, "", DataRd::Old,
     false, Device::Gone},
    {Row::Restart, Fault::VanishRecords, {"--die-after-record", "1"}, 0, kRestartOk, "",
     DataRd::Old, false, Device::Untouched},
    {Row::Restart, Fault::RestartMid, {"--restart-after", "1"}, 0, kRestartOk, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Restart, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Untouched},

    // prog: the second write is not sent after the first failed.
    {Row::Prog, Fault::NoAnswer, {"--no-answer"}, 1,
     {"Prog ...", "Не удалось зап. в рег. FD значение AF", "Prog - Wrong"}, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Prog, Fault::BadCrc, {"--bad-crc", "2"}, 1,
     {"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"}, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Prog, Fault::ShortReply, {"--short-reply", "1"}, 1,
     {"Prog ...", "Не удалось зап. в рег. FD значение AF", "Prog - Wrong"}, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Prog, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, kProgOk, "", DataRd::Old, false,
     Device::Untouched},
    {Row::Prog, Fault::StatusFail, {"--status-fail", "0"}, 0, kProgOk, "", DataRd::Old, false,
     Device::Untouched},
    {Row::Prog, Fault::RefuseRecord, {"--refuse-record", "1"}, 0, kProgOk, "", DataRd::Old, false,
     Device::Untouched},
    {Row::Prog, Fault::VanishFrames, {"--die-after", "1"}, 1,
     {"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"}, "", DataRd::Old,
     false, Device::Gone},
    {Row::Prog, Fault::VanishRecords, {"--die-after-record", "1"}, 0, kProgOk, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Prog, Fault::RestartMid, {"--restart-after", "1"}, 1,
     {"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"}, "", DataRd::Old,
     false, Device::Untouched},
    {Row::Prog, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Untouched},

    // program through the boot ROM (the chip varies along the row): the frame
    // faults do not reach the boot ROM; a refused or lost record names its address.
    {Row::ProgramBootRom, Fault::NoAnswer, {"--no-answer"}, 1, {"Нет связи с MSC1210!"}, "",
     DataRd::Old, false, Device::Untouched, 0, 1},
    {Row::ProgramBootRom, Fault::BadCrc, {"--bad-crc", "1"}, 0, kBootOk, "", DataRd::Old, false,
     Device::Programmed, 0, 2},
    {Row::ProgramBootRom, Fault::ShortReply, {"--short-reply", "1"}, 0, kBootOk, "", DataRd::Old,
     false, Device::Programmed, 0, 3},
    {Row::ProgramBootRom, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, kBootOk, "",
     DataRd::Old, false, Device::Programmed, 0, 4},
    {Row::ProgramBootRom, Fault::StatusFail, {"--status-fail", "0"}, 0, kBootOk, "", DataRd::Old,
     false, Device::Programmed, 0, 1},
    {Row::ProgramBootRom, Fault::RefuseRecord, {"--refuse-record", "3"}, 1,
     Cat({kErased, {"Запись CODE FLASH ...", "Ошибка записи по адресу 0100h"}}), "", DataRd::Old,
     false, Device::Interrupted, 0, 2},
    {Row::ProgramBootRom, Fault::VanishFrames, {"--die-after", "1"}, 0, kBootOk, "", DataRd::Old,
     false, Device::Programmed, 0, 3},
    {Row::ProgramBootRom, Fault::VanishRecords, {"--die-after-record", "10"}, 1,
     Cat({kErased, {"Запись CODE FLASH - Ok", "Запись DATA FLASH ...",
                    "Ошибка записи по адресу 1F00h"}}), "", DataRd::Old, false, Device::Gone, 0, 2},
    {Row::ProgramBootRom, Fault::RestartMid, {"--restart-after", "1"}, 0, kBootOk, "",
     DataRd::Old, false, Device::Programmed, 0, 4},
    {Row::ProgramBootRom, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false,
     Device::Untouched, 0, 1},

    // program through the hardware programmer: only silence and a vanished
    // programmer reach it; read-back verification catches the latter.
    {Row::ProgramProgrammer, Fault::NoAnswer, {"--no-answer"}, 1, {"Нет связи с программатором!"},
     "", DataRd::Old, false, Device::Untouched, 0, 0},
    {Row::ProgramProgrammer, Fault::BadCrc, {"--bad-crc", "1"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::ShortReply, {"--short-reply", "1"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::StatusFail, {"--status-fail", "0"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::RefuseRecord, {"--refuse-record", "1"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::VanishFrames, {"--die-after", "1"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::VanishRecords, {}, 1,
     {"Chip Erase", "Write Program memory ...", "Write Program memory - Ok",
      "Verify Program memory ...", "Ошибка записи программы"}, "", DataRd::Old, false,
     Device::Gone, 0, 0, 400},
    {Row::ProgramProgrammer, Fault::RestartMid, {"--restart-after", "1"}, 0, kProgrammerOk, "",
     DataRd::Old, false, Device::Programmed, 0, 0},
    {Row::ProgramProgrammer, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false,
     Device::Untouched, 0, 0},

    // update, keep mode: the calibration is on disk (data_rd.bin and backup/)
    // before the chip is touched; a failed read never reaches the chip.
    // An instrument that does not identify is not reflashed with data.bin in keep
    // mode: no question, nothing sent after the identification.
    {Row::UpdateKeep, Fault::NoAnswer, {"--no-answer"}, 1, kKeepRefusesJumper, "", DataRd::Old,
     false, Device::Untouched},
    {Row::UpdateKeep, Fault::BadCrc, {"--bad-crc", "8"}, 1,
     Cat({kReadStart, NoLink("Чтение 128байт DATA FLASH = 0 (128) ..."), kNoDataRd}),
     kAskedUpdate, DataRd::Aside, false, Device::Untouched},
    {Row::UpdateKeep, Fault::ShortReply, {"--short-reply", "16"}, 1,
     Cat({kReadStart, {"1-e чтение DATA FLASH - Ok", "2-e чтение DATA FLASH ..."},
          NoLink("Copy page DATA FLASH = 0 в SRAM = 3 ..."), kNoDataRd}),
     kAskedUpdate, DataRd::Aside, false, Device::Untouched},
    {Row::UpdateKeep, Fault::SurplusNoise, {"--surplus", "--noise"}, 0,
     Cat({kReadOk, kBackupLine, kProgOk, kRestartOk, kBootOk, kBackupLine, kEnd}), kAskedUpdate,
     DataRd::FreshAside, true, Device::Programmed},
    {Row::UpdateKeep, Fault::StatusFail, {"--status-fail", "1"}, 1,
     Cat({kReadStart, {"", "Check read page CODE FLASH = 1 ...", "Ошибка чтения", ""}, kNoDataRd}),
     kAskedUpdate, DataRd::Aside, false, Device::Untouched},
    {Row::UpdateKeep, Fault::RefuseRecord, {"--refuse-record", "10"}, 1,
     Cat({kReadOk, kBackupLine, kProgOk, kRestartOk, kErased,
          {"Запись CODE FLASH - Ok", "Ошибка записи по адресу 7E80h"}, kBackupLine, kEnd}),
     kAskedUpdate, DataRd::FreshAside, true, Device::Interrupted},
    {Row::UpdateKeep, Fault::VanishFrames, {"--die-after", "20"}, 1,
     Cat({kReadStart, {"2-e чтение DATA FLASH ..."}, NoLink("Выбор страницы DATA FLASH = 1 ..."),
          kNoDataRd}),
     kAskedUpdate, DataRd::Aside, false, Device::Gone},
    {Row::UpdateKeep, Fault::VanishRecords, {"--die-after-record", "3"}, 1,
     Cat({kReadOk, kBackupLine, kProgOk, kRestartOk, kErased,
          {"Запись CODE FLASH ...", "Ошибка записи по адресу 0180h",
           "Порт * пропал (запись CODE FLASH): адаптер отключён или неисправен"},
          kGoneErased, {"  zentor-cli update --mode keep * --data-from *"}}),
     kAskedUpdate, DataRd::FreshAside, true, Device::Gone},
    // The instrument restarts between the two Prog writes: it never enters the
    // boot ROM, nothing is erased, and the reading is kept all the same.
    {Row::UpdateKeep, Fault::RestartMid, {"--restart-after", "27"}, 1,
     Cat({kReadOk, kBackupLine, {"Prog ...", "Не удалось зап. в рег. FF значение 0B",
                                 "Prog - Wrong"}, kRestartOk, kNoBootRom}),
     kAskedUpdate, DataRd::FreshAside, true, Device::Untouched},
    {Row::UpdateKeep, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Untouched},

    // update, factory mode: Prog and restart are not judged by the workflow; a
    // chip that did not reach its boot ROM stops the run before any erase.
    {Row::UpdateFactory, Fault::NoAnswer, {"--no-answer"}, 1, kNoBootRom, kJumperAsked,
     DataRd::Old, false, Device::Untouched},
    {Row::UpdateFactory, Fault::BadCrc, {"--bad-crc", "2"}, 1,
     Cat({{"Prog ...", "Не удалось зап. в рег. FD значение AF", "Prog - Wrong"}, kRestartOk,
          kNoBootRom}),
     kAskedUpdate, DataRd::Old, false, Device::Untouched},
    // The second Prog write took effect, only its reply was cut: the chip is in
    // its boot ROM and the reflash completes.
    {Row::UpdateFactory, Fault::ShortReply, {"--short-reply", "3"}, 0,
     Cat({{"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"}, kRestartOk,
          kBootOk, kEnd}),
     kAskedUpdate, DataRd::Old, false, Device::Programmed},
    {Row::UpdateFactory, Fault::SurplusNoise, {"--surplus", "--noise"}, 0,
     Cat({kProgOk, kRestartOk, kBootOk, kEnd}), kAskedUpdate, DataRd::Old, false,
     Device::Programmed},
    {Row::UpdateFactory, Fault::StatusFail, {"--status-fail", "0"}, 0,
     Cat({kProgOk, kRestartOk, kBootOk, kEnd}), kAskedUpdate, DataRd::Old, false,
     Device::Programmed},
    {Row::UpdateFactory, Fault::RefuseRecord, {"--refuse-record", "13"}, 1,
     Cat({kProgOk, kRestartOk, kErased, {"Запись DATA FLASH - Ok",
                                         "Ошибка записи регистров конфигурации"}, kEnd}),
     kAskedUpdate, DataRd::Old, false, Device::Interrupted},
    {Row::UpdateFactory, Fault::VanishFrames, {"--die-after", "3"}, 1,
     Cat({kProgOk, {"Restart ...", "Нет связи с устройством!", "Нет связи с MSC1210!"},
          kGoneBeforeErase}),
     kAskedUpdate, DataRd::Old, false, Device::Gone},
    {Row::UpdateFactory, Fault::VanishRecords, {"--die-after-record", "9"}, 1,
     Cat({kProgOk, kRestartOk, kErased,
          {"Запись DATA FLASH ...", "Ошибка записи по адресу 7E80h",
           "Порт * пропал (запись DATA FLASH): адаптер отключён или неисправен"},
          kGoneErased, {"  zentor-cli update --mode factory *"}}),
     kAskedUpdate, DataRd::Old, false, Device::Gone},
    {Row::UpdateFactory, Fault::RestartMid, {"--restart-after", "2"}, 1,
     Cat({{"Prog ...", "Не удалось зап. в рег. FF значение 0B", "Prog - Wrong"}, kRestartOk,
          kNoBootRom}),
     kAskedUpdate, DataRd::Old, false, Device::Untouched},
    {Row::UpdateFactory, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false,
     Device::Untouched},

    // jumper path: the chip sits in its boot ROM and does not identify; the run
    // installs data.bin and never touches data_rd.bin.
    {Row::Jumper, Fault::NoAnswer, {"--no-answer"}, 1, kNoBootRom, kJumperAsked, DataRd::Old,
     false, Device::Untouched},
    {Row::Jumper, Fault::BadCrc, {"--bad-crc", "1"}, 0, Cat({kBootOk, kEnd}), kJumperAsked,
     DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::ShortReply, {"--short-reply", "1"}, 0, Cat({kBootOk, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::SurplusNoise, {"--surplus", "--noise"}, 0, Cat({kBootOk, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::StatusFail, {"--status-fail", "0"}, 0, Cat({kBootOk, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::RefuseRecord, {"--refuse-record", "5"}, 1,
     Cat({kErased, {"Запись CODE FLASH ...", "Ошибка записи по адресу 0200h"}, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Interrupted},
    {Row::Jumper, Fault::VanishFrames, {"--die-after", "1"}, 0, Cat({kBootOk, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::VanishRecords, {"--die-after-record", "12"}, 1,
     Cat({kErased,
          {"Запись DATA FLASH ...", "Запись DATA FLASH - Ok", "Ошибка записи регистров конфигурации",
           "Порт * пропал (запись регистров конфигурации): адаптер отключён или неисправен"},
          kGoneErased, {"  zentor-cli update --mode factory *"}}),
     kJumperAsked, DataRd::Old, false, Device::Gone},
    {Row::Jumper, Fault::RestartMid, {"--restart-after", "1"}, 0, Cat({kBootOk, kEnd}),
     kJumperAsked, DataRd::Old, false, Device::Programmed},
    {Row::Jumper, Fault::PortBusy, {}, 1, {}, kBusy, DataRd::Old, false, Device::Untouched},
};
// clang-format on

// True when `expected` appears in `actual` in order (not necessarily adjacent).
// An expected line ending in '*' matches any line that starts with the rest.
// `text` matches `pattern`, in which each '*' stands for any run of characters.
bool Glob(std::string_view text, std::string_view pattern) {
    const auto star = pattern.find('*');
    if (star == std::string_view::npos) return text == pattern;
    if (text.substr(0, star) != pattern.substr(0, star)) return false;
    const std::string_view rest = pattern.substr(star + 1);
    for (std::size_t from = star; from <= text.size(); ++from)
        if (Glob(text.substr(from), rest)) return true;
    return false;
}

bool InOrder(const Lines& actual, const Lines& expected, std::string* missing) {
    std::size_t at = 0;
    for (const auto& want : expected) {
        while (at < actual.size() && !Glob(actual[at], want)) ++at;
        if (at == actual.size()) {
            *missing = want;
            return false;
        }
        ++at;
    }
    return true;
}

bool Contains(const Bytes& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// Another program holding the port: an exclusive open with a lock on it.
class PortHolder {
public:
    explicit PortHolder(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        ::ioctl(fd_, TIOCEXCL);
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) throw std::runtime_error("cannot lock " + path);
    }
    ~PortHolder() { Release(); }
    void Release() {
        if (fd_ < 0) return;
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Snapshot {
    Bytes flash, data;
    std::string hcr0, hcr1;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(SimProcess& sim) {
    return {sim.Flash(), sim.DataFlash(), sim.Hcr0(), sim.Hcr1()};
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
protected:
    void SetUp() override {
        Bytes scrambled = program_;
        ScrambleImage(scrambled);
        inputs_ = {{"prog.bin", program_},    {"prog_c.bin", scrambled},
                   {"data.bin", factory_},    {"old.bin", oldProgram_},
                   {"cal.bin", calibration_}, {"data_rd.bin", oldReading_}};
        for (const auto& [name, bytes] : inputs_) ASSERT_TRUE(WriteFileAtomic(dir_ / name, bytes));
    }

    std::vector<std::string> SimArgs(const Cell& c) const {
        std::vector<std::string> args{"--rx-log", (dir_ / "rx.log").string()};
        if (c.row == Row::ProgramProgrammer) {
            args.insert(args.end(),
                        {"--programmer", "--prog-code-size", "8192", "--prog-data-size", "2048"});
        } else {
            static const char* const kChips[] = {"Y2", "Y3", "Y4", "Y5"};
            args.insert(args.end(), {"--chip", kChips[c.typeController - 1], "--data-flash-size",
                                     std::to_string(kDataSize)});
        }
        args.insert(args.end(), {"--code-file", (dir_ / "old.bin").string(), "--data-file",
                                 (dir_ / "cal.bin").string()});
        if (c.row == Row::ProgramBootRom || c.row == Row::Jumper) args.push_back("--jumper");
        args.insert(args.end(), c.faultArgs.begin(), c.faultArgs.end());
        return args;
    }

    std::vector<std::string> CliArgs(const Cell& c, const std::string& port) const {
        std::vector<std::string> args{"--config", (dir_ / "z.ini").string()};
        switch (c.row) {
            case Row::ReadData:
                args.push_back("read-data");
                break;
            case Row::WriteData:
                args.push_back("write-data");
                break;
            case Row::Restart:
                args.push_back("restart");
                break;
            case Row::Prog:
                args.push_back("prog");
                break;
            case Row::ProgramBootRom:
            case Row::ProgramProgrammer:
                args.insert(args.end(), {"program", "--yes"});
                break;
            case Row::UpdateKeep:
                args.insert(args.end(), {"update", "--mode", "keep", "--yes"});
                break;
            case Row::Jumper:
                args.insert(args.end(), {"update", "--mode", "keep", "--jumper", "--yes"});
                break;
            case Row::UpdateFactory:
                args.insert(args.end(), {"update", "--mode", "factory", "--yes"});
                break;
        }
        args.insert(args.end(), {"--port", port, "--dir", dir_.string()});
        return args;
    }

    void WriteSettings(const Cell& c) const {
        Settings st;
        st.BaudRate = SimProcess::kDefaultBaud;
        st.TypeController = c.typeController;
        st.DopPause = 0;
        st.ControlWrite = true;
        st.SizeData = kDataSize;
        st.MaxKolReadings = 2;
        st.HCR0Value = kHcr0;
        st.HCR1Value = kHcr1;
        WriteConfig(dir_ / "z.ini", st);
    }

    std::vector<fs::path> Matching(const fs::path& dir, const std::string& prefix,
                                   const std::string& suffix) const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(e.path());
        }
        return out;
    }

    void ExpectDataRd(DataRd expected) const {
        const auto current = ReadWholeFile(dir_ / "data_rd.bin");
        const auto aside = Matching(dir_ / "backup", "data_rd.", ".bak");
        const bool fresh = expected == DataRd::Fresh || expected == DataRd::FreshAside;
        const bool setAside = expected == DataRd::Aside || expected == DataRd::FreshAside;
        if (expected == DataRd::Old) {
            EXPECT_EQ(current, oldReading_) << "the earlier data_rd.bin was changed";
        } else if (fresh) {
            EXPECT_EQ(current, calibration_) << "data_rd.bin is not this run's reading";
        } else {
            EXPECT_FALSE(current.has_value()) << "a data_rd.bin was left by a failed reading";
        }
        if (setAside) {
            ASSERT_EQ(aside.size(), 1u) << "the earlier data_rd.bin was not kept";
            EXPECT_EQ(ReadWholeFile(aside[0]), oldReading_);
        } else {
            EXPECT_TRUE(aside.empty());
        }
        // Never a temporary left behind.
        EXPECT_TRUE(Matching(dir_, "", ".tmp~").empty());
        EXPECT_TRUE(Matching(dir_ / "backup", "", ".tmp~").empty());
    }

    void ExpectBackup(bool expected) const {
        const auto backups = Matching(dir_ / "backup", "", "_data.bin");
        if (!expected) {
            EXPECT_TRUE(backups.empty());
            return;
        }
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_EQ(backups[0].filename().string().rfind("14v071510_", 0), 0u) << backups[0];
        EXPECT_EQ(ReadWholeFile(backups[0]), calibration_);
    }

    void ExpectDevice(const Cell& c, SimProcess& sim, const Snapshot& before) const {
        if (c.device == Device::Gone) {
            EXPECT_TRUE(sim.WaitForExit(std::chrono::seconds(3))) << "the device did not vanish";
            if (c.killAfterBytes == 0) {
                EXPECT_EQ(sim.ExitCode(), 3);
            }
            return;
        }
        ASSERT_TRUE(sim.Running()) << "the simulator ended";
        const Snapshot after = Take(sim);
        const bool programmer = c.row == Row::ProgramProgrammer;
        switch (c.device) {
            case Device::Untouched:
                EXPECT_TRUE(after == before) << "the instrument was changed";
                break;
            case Device::Pages: {
                Bytes data = calibration_;
                std::copy_n(factory_.begin(), c.pages * 256, data.begin());
                EXPECT_EQ(after.data, data) << "DATA FLASH pages written != " << c.pages;
                // Nothing below the DATA FLASH changes.
                EXPECT_TRUE(std::equal(after.flash.begin(), after.flash.end() - kDataSize,
                                       before.flash.begin(), before.flash.end() - kDataSize));
                break;
            }
            case Device::Programmed:
            case Device::Interrupted: {
                const bool done = Installed(after, programmer, c.row == Row::UpdateKeep);
                if (c.device == Device::Programmed) {
                    EXPECT_TRUE(done) << "reported as programmed, but the chip does not hold it";
                } else {
                    EXPECT_FALSE(done);
                    EXPECT_FALSE(after == before);
                }
                break;
            }
            case Device::Gone:
                break;
        }
    }

    // The program, the data image and (boot ROM) the configuration in place.
    bool Installed(const Snapshot& s, bool programmer, bool keep) const {
        const Bytes& data = keep ? calibration_ : factory_;
        const auto code = std::equal(program_.begin(), program_.end(), s.flash.begin());
        if (programmer) return code && std::equal(data.begin(), data.end(), s.data.begin());
        const bool erasedBetween =
            std::all_of(s.flash.begin() + kProgramSize, s.flash.end() - kDataSize,
                        [](std::uint8_t b) { return b == 0xFF; });
        return code && erasedBetween && s.data == data && s.hcr0 == kHcr0 && s.hcr1 == kHcr1;
    }

    void ExpectPortFree(SimProcess& sim) const {
        auto opener = MakeSystemPortOpener({});
        OpenResult r = opener->Open(sim.DevicePath(), 9600);
        EXPECT_EQ(r.status, OpenStatus::Ok) << "the port stayed held after the CLI ended";
    }

    const ScratchDir scratch_{"matrix"};
    const fs::path dir_ = scratch_.path();
    std::vector<std::pair<std::string, Bytes>> inputs_;
    const Bytes program_ = Pattern(kProgramSize, 1);
    const Bytes oldProgram_ = Pattern(2048, 2);
    const Bytes factory_ = Pattern(kDataSize, 3);
    const Bytes calibration_ = Pattern(kDataSize, 4);
    const Bytes oldReading_ = Pattern(kDataSize, 5);
};

TEST_P(FaultMatrix, Cell) {
    const Cell& c = GetParam();
    WriteSettings(c);
    const std::string config = Slurp(dir_ / "z.ini");
    SimProcess sim(SimArgs(c));
    const Snapshot before = Take(sim);

    std::optional<PortHolder> holder;
    if (c.fault == Fault::PortBusy) holder.emplace(sim.DevicePath());

    // The programmer has no record counter: it vanishes once it has received
    // killAfterBytes bytes.
    std::function<void(pid_t)> whileRunning;
    if (c.killAfterBytes > 0) {
        whileRunning = [&](pid_t) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            std::error_code ec;
            while (std::chrono::steady_clock::now() < deadline) {
                const auto size = fs::file_size(dir_ / "rx.log", ec);
                if (!ec && static_cast<long>(size) >= c.killAfterBytes) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            sim.Kill();
        };
    }

    const CliResult r =
        RunCli(CliArgs(c, sim.DevicePath()), whileRunning, std::chrono::seconds(60));
    const std::string shown = "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
    EXPECT_EQ(r.status, c.status) << shown;
    std::string missing;
    EXPECT_TRUE(InOrder(r.OutLines(), c.lines, &missing))
        << "missing \"" << missing << "\"" << shown;
    // A line that went away is no power loss: the instrument must not be switched
    // off before it is recovered.
    if (c.device == Device::Gone &&
        (c.row == Row::UpdateKeep || c.row == Row::UpdateFactory || c.row == Row::Jumper)) {
        const auto out = r.OutLines();
        EXPECT_EQ(std::find(out.begin(), out.end(), kPowerCycle), out.end()) << shown;
    }
    if (!c.err.empty()) {
        EXPECT_NE(r.err.find(c.err), std::string::npos) << shown;
    }
    if (c.status != 0) {
        EXPECT_TRUE(!r.out.empty() || !r.err.empty()) << "failed without a word";
    }

    if (holder) {
        const auto rx = ReadWholeFile(dir_ / "rx.log");
        EXPECT_TRUE(!rx || rx->empty()) << "bytes were sent to a port held by another program";
        holder->Release();
    }

    // No input was changed, and no partial file was left.
    for (const auto& [name, bytes] : inputs_) {
        if (name != "data_rd.bin") {
            EXPECT_EQ(ReadWholeFile(dir_ / name), bytes) << name;
        }
    }
    EXPECT_EQ(Slurp(dir_ / "z.ini"), config);
    ExpectDataRd(c.dataRd);
    ExpectBackup(c.backup);

    // Keep mode: once an erase went out, the calibration must be on disk.
    if (c.row == Row::UpdateKeep) {
        const auto rx = ReadWholeFile(dir_ / "rx.log").value_or(Bytes{});
        if (Contains(rx, "M0000")) ExpectBackup(true);
    }

    ExpectDevice(c, sim, before);
    if (c.device != Device::Gone) ExpectPortFree(sim);
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return RowName(info.param.row) + "_" + FaultName(info.param.fault);
                         });

// The table holds every (row, fault) pair exactly once.
TEST(FaultMatrixTable, EveryCellOnce) {
    constexpr int kRows = 9, kFaults = 10;
    int seen[kRows][kFaults] = {};
    for (const Cell& c : kCells) ++seen[static_cast<int>(c.row)][static_cast<int>(c.fault)];
    for (int r = 0; r < kRows; ++r)
        for (int f = 0; f < kFaults; ++f)
            EXPECT_EQ(seen[r][f], 1)
                << RowName(static_cast<Row>(r)) << " " << FaultName(static_cast<Fault>(f));
}

}  // namespace
}  // namespace zentor::test
