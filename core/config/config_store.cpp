#include "config/config_store.h"

#include <cstdint>

#include "common/cp1251.h"

namespace zentor {
namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsSection = "Настройки";
constexpr const char* kPositionSection = "Позиция окна программы";

constexpr const char* kTypeKey = "Тип контроллера";
constexpr const char* kPortKey = "Порт";
constexpr const char* kBaudKey = "Скорость порта (бит/с)";
constexpr const char* kPauseKey = "Пауза перед перезапуском";
constexpr const char* kAddressKey = "Адрес устройства";
constexpr const char* kControlKey = "Контроль ответа при записи";
constexpr const char* kDopPauseKey = "Доп. пауза при записи, мс";
constexpr const char* kReadingsKey = "Количество вычитываний";
constexpr const char* kStopButtonKey = "Показывать кнопку \"Остановить чтение данных\"";
constexpr const char* kSizeKey = "Размер данных (чтение), байт";
constexpr const char* kHcr0Key = "HCR0";
constexpr const char* kHcr1Key = "HCR1";
constexpr const char* kAsmKey = "Имя асемблерного файла";
constexpr const char* kFirmwareFolderKey = "Папка прошивки";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<int> ParseHex(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

// Section and key names on disk are Windows-1251.
class Pass {
public:
    explicit Pass(const ProfileText& text) : text_(text) {}

    std::string Text(const char* section, const char* key, const std::string& def) const {
        std::string raw =
            text_.GetString(Utf8ToCp1251(section), Utf8ToCp1251(key), Utf8ToCp1251(def));
        return Cp1251ToUtf8(raw);
    }
    int Int(const char* section, const char* key, int def) const {
        // A missing key reads as "", which does not parse either.
        return ParseConfigInt(text_.GetString(Utf8ToCp1251(section), Utf8ToCp1251(key), ""))
            .value_or(def);
    }
    bool Bool(const char* section, const char* key, bool def) const {
        return Int(section, key, def ? 1 : 0) != 0;
    }
    bool Has(const char* section, const char* key) const {
        return text_.HasKey(Utf8ToCp1251(section), Utf8ToCp1251(key));
    }

private:
    const ProfileText& text_;
};

bool Write(ProfileFile& file, const char* section, const char* key, const std::string& value,
           std::string* error) {
    return file.WriteString(Utf8ToCp1251(section), Utf8ToCp1251(key), Utf8ToCp1251(value), error);
}

bool WriteInt(ProfileFile& file, const char* section, const char* key, int value,
              std::string* error) {
    return Write(file, section, key, std::to_string(value), error);
}

}  // namespace

fs::path ConfigPathFor(const fs::path& exePath) {
    fs::path p = exePath;
    p.replace_extension(".ini");
    return p;
}

std::optional<int> ParseConfigInt(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseHex(text.substr(2));
    }
    if (!text.empty() && text[0] == '$') return ParseHex(text.substr(1));
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return std::nullopt;
    return static_cast<int>(v);
}

void LoadConfig(const ProfileText& text, Settings& s, WindowPosition& position, int screenWidth,
                int screenHeight) {
    const Settings def;
    const WindowPosition defPos;
    Pass p(text);
    const char* sec = kSettingsSection;
    s.TypeController = p.Int(sec, kTypeKey, def.TypeController);
    s.NamePort = p.Text(sec, kPortKey, def.NamePort);
    s.BaudRate = p.Int(sec, kBaudKey, def.BaudRate);
    s.AdrPribor = p.Int(sec, kAddressKey, def.AdrPribor);
    s.ControlWrite = p.Bool(sec, kControlKey, def.ControlWrite);
    s.DopPause = p.Int(sec, kDopPauseKey, def.DopPause);
    s.MaxKolReadings = p.Int(sec, kReadingsKey, def.MaxKolReadings);
    s.ShowStopButton = p.Bool(sec, kStopButtonKey, def.ShowStopButton);
    s.SizeData = p.Int(sec, kSizeKey, def.SizeData);
    s.HCR0Value = p.Text(sec, kHcr0Key, def.HCR0Value);
    s.HCR1KeyPresent = p.Has(sec, kHcr1Key);
    s.HCR1Value = p.Text(sec, kHcr1Key, def.HCR1Value);
    s.HCR1FromFile = s.HCR1Value;
    s.AsmFileName = p.Text(sec, kAsmKey, def.AsmFileName);

    const char* pos = kPositionSection;
    position.Width = p.Int(pos, "Width", defPos.Width);
    position.Height = p.Int(pos, "Height", defPos.Height);
    position.Left = p.Int(pos, "Left", (screenWidth - position.Width) / 2);
    position.Top = p.Int(pos, "Top", (screenHeight - position.Height) / 3);
    s.PauseRestart = 0;
}

void LoadConfig(const fs::path& file, Settings& settings, WindowPosition& position, int screenWidth,
                int screenHeight) {
    LoadConfig(ProfileFile(file).Text(), settings, position, screenWidth, screenHeight);
}

bool SaveSettings(ProfileFile& f, const Settings& s, std::string* error) {
    const char* sec = kSettingsSection;
    return WriteInt(f, sec, kTypeKey, s.TypeController, error) &&
           Write(f, sec, kPortKey, s.NamePort, error) &&
           WriteInt(f, sec, kBaudKey, s.BaudRate, error) &&
           WriteInt(f, sec, kPauseKey, s.PauseRestart, error) &&
           WriteInt(f, sec, kAddressKey, s.AdrPribor, error) &&
           Write(f, sec, kControlKey, s.ControlWrite ? "1" : "0", error) &&
           WriteInt(f, sec, kDopPauseKey, s.DopPause, error) &&
           WriteInt(f, sec, kReadingsKey, s.MaxKolReadings, error) &&
           WriteInt(f, sec, kSizeKey, s.SizeData, error) &&
           Write(f, sec, kHcr0Key, s.HCR0Value, error) &&
           Write(f, sec, kHcr1Key, s.HCR1Value, error) &&
           Write(f, sec, kAsmKey, s.AsmFileName, error);
}

bool SaveSettings(const fs::path& file, const Settings& settings, std::string* error) {
    ProfileFile f(file);
    return SaveSettings(f, settings, error);
}

std::string LoadFirmwareFolder(const fs::path& file) {
    return Pass(ProfileFile(file).Text()).Text(kSettingsSection, kFirmwareFolderKey, "");
}

bool SaveFirmwareFolder(const fs::path& file, const std::string& folder, std::string* error) {
    ProfileFile f(file);
    return Write(f, kSettingsSection, kFirmwareFolderKey, folder, error);
}

bool SavePosition(ProfileFile& f, const WindowPosition& p, std::string* error) {
    const char* sec = kPositionSection;
    return WriteInt(f, sec, "Left", p.Left, error) && WriteInt(f, sec, "Top", p.Top, error) &&
           WriteInt(f, sec, "Width", p.Width, error) && WriteInt(f, sec, "Height", p.Height, error);
}

bool SavePosition(const fs::path& file, const WindowPosition& position, std::string* error) {
    ProfileFile f(file);
    return SavePosition(f, position, error);
}

}  // namespace zentor
