// Test rig for the programming commands: the shared session rig with a scripted
// chip that answers the boot-ROM and programmer dialogues and keeps what was
// written to it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bootrom/boot_link.h"
#include "bootrom/program_chip.h"
#include "support/bytes.h"
#include "support/session_rig.h"

namespace zentor::test {

// Answers like an MSC1210 boot ROM (TypeController 1..4) or the hardware
// programmer (TypeController 0); each knob breaks one part of the dialogue.
struct FakeChip {
    std::string banner = "\r\nMSC1210 Boot ROM v1.0\r\n";
    std::string echoReply = "E\r\n>";
    std::string eraseReply = " ok\r\n";
    std::string recordReply = ".";
    std::string configReply = ".";  // answer to the configuration record
    std::string failErase;          // erase command answered with nothing ("M8000")
    int refuseRecord = -1;          // data record (0-based) answered with nothing
    int silentAfterRecord = -1;     // no answers at all after this data record
    int corruptCodePage = -1;       // programmer: page address read back wrong
    int corruptDataPage = -1;
    bool programmerSilent = false;

    std::map<int, std::uint8_t> flash;  // boot ROM: load address -> byte
    std::vector<int> recordAddresses;   // data records, in order
    std::string configRecord;
    std::array<std::uint8_t, 65536> code{};  // programmer memories
    std::array<std::uint8_t, 65536> data{};
    std::vector<int> codePagesWritten, dataPagesWritten;

    Bytes AnswerBootRom(const Bytes& written);
    Bytes AnswerProgrammer(const Bytes& written);

private:
    bool silent_ = false;
};

// Which button's run the rig makes: the update's or the factory's.
enum class WindowFace { UpdateFace, FactoryFace };

struct Rig : SessionRig {
    explicit Rig(int typeController = 4);
    // The factory button's run (asks first, answered with yes) instead of the update's.
    void Factory(bool yes = true);
    // ProgramChip with the options the factory button or the update passes.
    bool Program();
    std::vector<std::string> Log() const { return ui.log; }

    FakeChip chip;
    WindowFace face = WindowFace::UpdateFace;
};

// The links as the programming run builds them from the rig's session.
struct Links {
    explicit Links(Rig& rig)
        : boot(rig.s.LinkPort(), rig.clock,
               {rig.station.settings.DopPause, rig.station.settings.ControlWrite}),
          prog(rig.s.LinkPort(), rig.clock) {}
    BootRomLink boot;
    ProgrammerLink prog;
};

}  // namespace zentor::test
