#include "update/package_encoder.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "common/cp1251.h"
#include "common/files.h"
#include "common/image_file.h"
#include "common/image_key.h"
#include "text/message.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

template <std::size_t N>
void Append(std::vector<std::uint8_t>& out, const std::array<std::uint8_t, N>& piece) {
    out.insert(out.end(), piece.begin(), piece.end());
}

void Append(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

bool TooLarge(Job& s, const std::string& name, std::uintmax_t size) {
    if (size <= kMaxPackageImage) return false;
    s.ui.Say(ZT("encode.too_large", "Файл {0} слишком большой: {1} байт (допустимо не более {2})",
                name, size, kMaxPackageImage));
    return true;
}

bool WriteScrambled(Job& s, const std::string& name, std::vector<std::uint8_t> content) {
    ScrambleImage(content);
    if (!WriteFileAtomic(ResolveNoCase(s.workDir, name), content)) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", name));
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> SerialRecord(const std::string& serial) {
    const std::size_t length = serial.size();
    std::vector<std::uint8_t> record;
    record.reserve(5 * length + 20);
    record.push_back(static_cast<std::uint8_t>('0' + length / 10 % 10));
    record.push_back(static_cast<std::uint8_t>('0' + length % 10));
    Append(record, serial);
    Append(record, kSerialFiller1);
    Append(record, serial);
    Append(record, kSerialFiller2);
    Append(record, serial);
    Append(record, kSerialFiller3);
    Append(record, serial);
    Append(record, kSerialFiller4);
    Append(record, serial);
    Append(record, kSerialFiller5);
    return record;
}

bool EncodePackage(Job& s, const std::string& serialNumber) {
    s.ui.ClearLog();
    // A character the package cannot hold would bind it to another serial number.
    std::string offending;
    const std::optional<std::string> exact = Utf8ToCp1251Exact(serialNumber, &offending);
    if (!exact) {
        s.ui.Say(offending.empty()
                     ? ZT("encode.serial_not_utf8", "Серийный номер не является текстом UTF-8")
                     : ZT("encode.serial_not_cp1251",
                          "Символа \"{0}\" в серийном номере нет в кодировке Windows-1251",
                          offending));
        return false;
    }
    const std::string& serial = *exact;
    if (serial.size() < 9 || (serial[2] != 'v' && serial[3] != 'v') || serial.size() > 99) {
        s.ui.Say(ZT("encode.bad_serial", "Неправильно введён серийный номер"));
        return false;
    }

    // The work buffer holds 64 KiB: refuse a larger image before anything is written.
    ImageLoad prog = LoadImageFile(ResolveNoCase(s.workDir, "prog.bin"));
    ImageLoad data = LoadImageFile(ResolveNoCase(s.workDir, "data.bin"));
    for (const auto& [name, image] : {std::pair{"prog.bin", &prog}, std::pair{"data.bin", &data}}) {
        if (image->error == ImageError::TooLarge && TooLarge(s, name, image->size)) return false;
    }

    if (!WriteScrambled(s, "n.bin", SerialRecord(serial))) return false;

    if (!prog.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "\"prog.bin\""));
        return false;
    }
    if (!WriteScrambled(s, "p.bin", std::move(prog.bytes))) return false;

    if (!data.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "data.bin"));
        return false;
    }
    if (!WriteScrambled(s, "d.bin", std::move(data.bytes))) return false;

    s.ui.Say(ZT("encode.done", "Файлы n.bin, p.bin и d.bin - созданы"));
    return true;
}

}  // namespace zentor
