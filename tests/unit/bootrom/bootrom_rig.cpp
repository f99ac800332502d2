#include "bootrom_rig.h"

namespace zentor::test {

namespace {

int Hex(const Bytes& w, std::size_t at, std::size_t digits) {
    return std::stoi(std::string(w.begin() + static_cast<std::ptrdiff_t>(at),
                                 w.begin() + static_cast<std::ptrdiff_t>(at + digits)),
                     nullptr, 16);
}

}  // namespace

Bytes FakeChip::AnswerBootRom(const Bytes& w) {
    if (silent_ || w.empty()) return {};
    const std::string text(w.begin(), w.end());
    if (text == "\r") return Text(banner);
    if (text == "E") return Text(echoReply);
    if (text.rfind("RW", 0) == 0) return Text(">\r\n");
    if (text.rfind("M", 0) == 0) return text == failErase ? Bytes{} : Text(eraseReply);
    if (text == "L") return Text("\r\n>\r\n>");
    if (text.rfind(":02807E00", 0) == 0) {
        configRecord = text;
        return Text(configReply);
    }
    if (text[0] == ':') {
        const int count = Hex(w, 1, 2);
        const int address = Hex(w, 3, 4);
        const int index = static_cast<int>(recordAddresses.size());
        recordAddresses.push_back(address);
        for (int i = 0; i < count; ++i)
            flash[address + i] =
                static_cast<std::uint8_t>(Hex(w, 9 + 2 * static_cast<std::size_t>(i), 2));
        if (index == silentAfterRecord) silent_ = true;
        if (index == refuseRecord) return {};
        return Text(recordReply);
    }
    return {};
}

Bytes FakeChip::AnswerProgrammer(const Bytes& w) {
    if (programmerSilent || w.empty()) return {};
    const int address = w.size() >= 3 ? (w[1] << 8) | w[2] : 0;
    switch (w[0]) {
        case 0x55:
            return {0x55};
        case 0x50:
            codePagesWritten.push_back(address);
            std::copy(w.begin() + 3, w.end(), code.begin() + address);
            return {};
        case 0xD0:
            dataPagesWritten.push_back(address);
            std::copy(w.begin() + 3, w.end(), data.begin() + address);
            return {};
        case 0x30: {
            Bytes page(code.begin() + address, code.begin() + address + 64);
            if (address == corruptCodePage) page[5] ^= 0x01;
            return page;
        }
        case 0xB0: {
            Bytes page(data.begin() + address, data.begin() + address + 32);
            if (address == corruptDataPage) page[31] ^= 0x80;
            return page;
        }
        default:
            return {};
    }
}

Rig::Rig(int typeController) : SessionRig("bootrom") {
    station.settings.TypeController = typeController;
    station.settings.DopPause = 300;
    station.settings.ControlWrite = true;
    port.responder = [this](const Bytes& w) {
        return station.settings.TypeController == 0 ? chip.AnswerProgrammer(w)
                                                    : chip.AnswerBootRom(w);
    };
    OpenPort();
}

void Rig::Factory(bool yes) {
    face = WindowFace::FactoryFace;
    ui.answers.push_back(yes);
}

bool Rig::Program() {
    const ProgramOptions options =
        face == WindowFace::FactoryFace
            ? FactoryProgramOptions()
            : UpdateProgramOptions(station.settings.TypeController, s.UpdateMode);
    return ProgramChip(s, options).Ok();
}

}  // namespace zentor::test
