// The configuration store checked against the Win32 profile functions
// (GetPrivateProfileStringA / WritePrivateProfileStringA) on the same files.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "config/config_store.h"
#include "config/profile_file.h"
#include "win_test_util.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using wintest::ReadBytes;
using wintest::TempDir;
using wintest::WriteBytes;

const std::string kAbsent = "\x01<absent>";

// UTF-8 text of our sources -> the Windows-1251 bytes the A functions take.
std::string W(const std::string& utf8) {
    return Utf8ToCp1251(utf8);
}

// Profile API reads and writes; section, key and value are Windows-1251 bytes.
std::string ApiGet(const fs::path& file, const std::string& section, const std::string& key,
                   const std::string& def = kAbsent) {
    char buf[kProfileValueMax + 1];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf, sizeof buf,
                                       file.string().c_str());
    return std::string(buf, n);
}

void ApiPut(const fs::path& file, const std::string& section, const std::string& key,
            const std::string& value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                           file.string().c_str()))
        << "WritePrivateProfileStringA failed: " << GetLastError();
}

const std::string kSettings = "Настройки";
const std::string kPosition = "Позиция окна программы";
const std::string kStopKey = "Показывать кнопку \"Остановить чтение данных\"";

// Every key of the settings save pass, in its order.
const std::vector<std::string> kSettingsKeys = {
    "Тип контроллера",
    "Порт",
    "Скорость порта (бит/с)",
    "Пауза перед перезапуском",
    "Адрес устройства",
    "Контроль ответа при записи",
    "Доп. пауза при записи, мс",
    "Количество вычитываний",
    "Размер данных (чтение), байт",
    "HCR0",
    "HCR1",
    "Имя асемблерного файла",
};

Settings UnusualSettings() {
    Settings s;
    s.TypeController = 2;
    s.NamePort = "COM12";
    s.BaudRate = 38400;
    s.PauseRestart = 15;
    s.AdrPribor = 63;
    s.ControlWrite = true;
    s.DopPause = 20;
    s.MaxKolReadings = 5;
    s.ShowStopButton = false;  // never saved
    s.SizeData = 4096;
    s.HCR0Value = "3F";
    s.HCR1Value = "";
    s.AsmFileName = "прошивка 2.asm";
    return s;
}

// What the profile API must read back after UnusualSettings() and this position.
const WindowPosition kPos{-8, 0, 1024, 700};
const std::vector<std::pair<std::string, std::string>> kExpectedSettings = {
    {"Тип контроллера", "2"},
    {"Порт", "COM12"},
    {"Скорость порта (бит/с)", "38400"},
    {"Пауза перед перезапуском", "15"},
    {"Адрес устройства", "63"},
    {"Контроль ответа при записи", "1"},
    {"Доп. пауза при записи, мс", "20"},
    {"Количество вычитываний", "5"},
    {"Размер данных (чтение), байт", "4096"},
    {"HCR0", "3F"},
    {"HCR1", ""},
    {"Имя асемблерного файла", "прошивка 2.asm"},
};
const std::vector<std::pair<std::string, std::string>> kExpectedPosition = {
    {"Left", "-8"}, {"Top", "0"}, {"Width", "1024"}, {"Height", "700"}};

void ExpectApiReadsSavedValues(const fs::path& file, const std::string& stopKeyValue) {
    for (const auto& [key, value] : kExpectedSettings) {
        EXPECT_EQ(ApiGet(file, W(kSettings), W(key)), W(value)) << key;
    }
    for (const auto& [key, value] : kExpectedPosition) {
        EXPECT_EQ(ApiGet(file, W(kPosition), key), value) << key;
    }
    EXPECT_EQ(ApiGet(file, W(kSettings), W(kStopKey)), stopKeyValue);
}

TEST(ProfileApiReadsOurFile, EveryKeyOfANewFile) {
    TempDir dir;
    fs::path file = dir / "zentor.ini";
    ASSERT_TRUE(SaveSettings(file, UnusualSettings()));
    ASSERT_TRUE(SavePosition(file, kPos));
    ExpectApiReadsSavedValues(file, kAbsent);
}

TEST(ProfileApiReadsOurFile, EveryKeyAfterSavingOverAnApiWrittenFile) {
    TempDir dir;
    fs::path file = dir / "zentor.ini";
    // A file the old program wrote, with the hand-set stop-button key, a key we do
    // not know and a foreign section.
    const Settings def;
    ApiPut(file, W(kSettings), W("Порт"), "COM3");
    ApiPut(file, W(kSettings), W(kStopKey), "0");
    ApiPut(file, W(kSettings), "Unknown", "keep me");
    ApiPut(file, "Other", "Width", "5");
    for (const auto& key : kSettingsKeys) ApiPut(file, W(kSettings), W(key), "99");
    for (const auto& key : {"Left", "Top", "Width", "Height"}) ApiPut(file, W(kPosition), key, "1");

    ASSERT_TRUE(SaveSettings(file, UnusualSettings()));
    ASSERT_TRUE(SavePosition(file, kPos));

    ExpectApiReadsSavedValues(file, "0");
    EXPECT_EQ(ApiGet(file, W(kSettings), "Unknown"), "keep me");
    EXPECT_EQ(ApiGet(file, "Other", "Width"), "5");
}

TEST(ProfileApiReadsOurFile, ANewFileHasTheBytesTheApiWrites) {
    TempDir dir;
    fs::path ours = dir / "ours.ini";
    fs::path theirs = dir / "theirs.ini";
    const Settings def;
    const WindowPosition pos{763, 241, 394, 358};
    ASSERT_TRUE(SaveSettings(ours, def));
    ASSERT_TRUE(SavePosition(ours, pos));

    const std::vector<std::string> values = {"4",   "COM3", "9600", "0",  "1",  "0",
                                             "300", "2",    "2048", "7D", "A3", "1.asm"};
    ASSERT_EQ(values.size(), kSettingsKeys.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        ApiPut(theirs, W(kSettings), W(kSettingsKeys[i]), values[i]);
    }
    ApiPut(theirs, W(kPosition), "Left", "763");
    ApiPut(theirs, W(kPosition), "Top", "241");
    ApiPut(theirs, W(kPosition), "Width", "394");
    ApiPut(theirs, W(kPosition), "Height", "358");

    EXPECT_EQ(ReadBytes(ours), ReadBytes(theirs));
}

// Replaces the first occurrence of `from` (Windows-1251 bytes) in `text`.
void Edit(std::string& text, const std::string& from, const std::string& to) {
    auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << "no line " << Cp1251ToUtf8(from);
    text.replace(at, from.size(), to);
}

TEST(OurStoreReadsApiFile, EveryKeyWithOtherCaseAndHandEdits) {
    TempDir dir;
    fs::path file = dir / "zentor.ini";
    const std::string sec = W(kSettings);
    // Latin names in another letter case (the profile functions fold Latin case).
    ApiPut(file, sec, W("Тип контроллера"), "1");
    ApiPut(file, sec, W("Порт"), "COM7");
    ApiPut(file, sec, W("Скорость порта (бит/с)"), "0x4B00");
    ApiPut(file, sec, W("Пауза перед перезапуском"), "12");
    ApiPut(file, sec, W("Адрес устройства"), "17");
    ApiPut(file, sec, W("Контроль ответа при записи"), "1");
    ApiPut(file, sec, W("Доп. пауза при записи, мс"), "150");
    ApiPut(file, sec, W("Количество вычитываний"), "3");
    ApiPut(file, sec, W(kStopKey), "0");
    ApiPut(file, sec, W("Размер данных (чтение), байт"), "$100");
    ApiPut(file, sec, "hcr0", "5A");
    ApiPut(file, sec, "Hcr1", "C1");
    ApiPut(file, sec, W("Имя асемблерного файла"), "main.asm");
    ApiPut(file, W(kPosition), "LEFT", "11");
    ApiPut(file, W(kPosition), "top", "22");
    ApiPut(file, W(kPosition), "wIdTh", "633");
    ApiPut(file, W(kPosition), "HEIGHT", "444");

    // Then edited by hand: blanks, quotes, comments and blank lines.
    std::string text = ReadBytes(file);
    Edit(text, W("[Настройки]\r\n"), W("; edited by hand\r\n[Настройки]\r\n; ports\r\n\r\n"));
    Edit(text, W("Порт=COM7"), W("  Порт   =  \"COM7\"  "));
    Edit(text, "hcr0=5A", "hcr0 = '5A'");
    Edit(text, W("Имя асемблерного файла=main.asm"),
         W("Имя асемблерного файла=\" main file.asm \""));
    Edit(text, "\r\n[", "\r\n\r\n; window\r\n[");
    Edit(text, "HEIGHT=444", "  HEIGHT = 444 ");
    WriteBytes(file, text);

    // Both readers agree on every key of the edited file.
    ProfileText ours(ReadBytes(file));
    std::vector<std::string> allKeys = kSettingsKeys;
    allKeys.push_back(kStopKey);
    for (const auto& key : allKeys) {
        EXPECT_EQ(ours.GetString(sec, W(key), kAbsent), ApiGet(file, sec, W(key))) << key;
    }
    for (const auto& key : {"Left", "Top", "Width", "Height"}) {
        EXPECT_EQ(ours.GetString(W(kPosition), key, kAbsent), ApiGet(file, W(kPosition), key))
            << key;
    }

    Settings s;
    WindowPosition pos;
    LoadConfig(file, s, pos, 1920, 1080);
    EXPECT_EQ(s.TypeController, 1);
    EXPECT_EQ(s.NamePort, "COM7");
    EXPECT_EQ(s.BaudRate, 19200);
    EXPECT_EQ(s.PauseRestart, 0);  // never read
    EXPECT_EQ(s.AdrPribor, 17);
    EXPECT_TRUE(s.ControlWrite);
    EXPECT_EQ(s.DopPause, 150);
    EXPECT_EQ(s.MaxKolReadings, 3);
    EXPECT_FALSE(s.ShowStopButton);
    EXPECT_EQ(s.SizeData, 256);
    EXPECT_EQ(s.HCR0Value, "5A");
    EXPECT_EQ(s.HCR1Value, "C1");
    EXPECT_EQ(s.HCR1FromFile, "C1");
    EXPECT_TRUE(s.HCR1KeyPresent);
    EXPECT_EQ(s.AsmFileName, " main file.asm ");
    EXPECT_EQ(pos.Left, 11);
    EXPECT_EQ(pos.Top, 22);
    EXPECT_EQ(pos.Width, 633);
    EXPECT_EQ(pos.Height, 444);
}

// Lookups of our reader and of the profile API on the same bytes. Names are
// Latin or exact Cyrillic: Wine folds only Latin letters.
struct LookupCase {
    const char* name;
    std::string bytes;  // Windows-1251
    std::vector<std::pair<std::string, std::string>> lookups;
};

std::vector<LookupCase> LookupCases() {
    std::string longValue(3000, 'v');
    return {
        {"LfLineEnds", "[S]\nA=1\nB = 2 \n[T]\nA=3", {{"S", "A"}, {"S", "B"}, {"T", "A"}}},
        {"Quotes",
         "[S]\r\nd=\"\"\r\ns=''\r\ninner=\"a\"b\"\r\nmixed=\"a'\r\nspaced= \" x \" \r\n"
         "lone=\"\r\nsingle='q'\r\n",
         {{"S", "d"},
          {"S", "s"},
          {"S", "inner"},
          {"S", "mixed"},
          {"S", "spaced"},
          {"S", "lone"},
          {"S", "single"}}},
        {"LongValueIsCut",
         "[S]\r\nlong=" + longValue + "\r\nnext=1\r\n",
         {{"S", "long"}, {"S", "next"}}},
        {"SectionHeaders",
         "[ A ]\r\nk=1\r\n[B] ; note\r\nk=2\r\n  [C]\r\nk=3\r\n[D\r\nk=4\r\n",
         {{"A", "k"}, {"B", "k"}, {"C", "k"}, {"D", "k"}, {"[D", "k"}}},
        {"KeyShapes",
         "[S]\r\nmy key = v\r\n;k=comment\r\n=empty name\r\nk=a=b\r\n  k2  \r\nk3=\r\n",
         {{"S", "my key"}, {"S", "k"}, {"S", ""}, {"S", "k2"}, {"S", "k3"}}},
        {"DuplicatesAndCase",
         "[abc]\r\nKeY=first\r\nkey=second\r\n[ABC]\r\nother=x\r\n",
         {{"ABC", "key"}, {"abc", "KEY"}, {"Abc", "other"}}},
        {"CyrillicExact",
         W("[Настройки]\r\nПорт=COM4\r\n[Позиция окна программы]\r\nLeft=5\r\n"),
         {{W(kSettings), W("Порт")}, {W(kPosition), "left"}, {W(kSettings), "Left"}}},
        {"BlankAndCommentLines",
         "\r\n; top\r\n[S]\r\n\r\n; c\r\n  ; indented\r\nk=1\r\n\r\n",
         {{"S", "k"}, {"S", "; c"}}},
        {"LastLineWithoutEnd", "[S]\r\nk=1\r\nlast= end ", {{"S", "k"}, {"S", "last"}}},
    };
}

TEST(ProfileReadMatchesApi, QuirkFiles) {
    TempDir dir;
    int n = 0;
    for (const auto& c : LookupCases()) {
        fs::path file = dir / ("case" + std::to_string(n++) + ".ini");
        WriteBytes(file, c.bytes);
        ProfileText ours(c.bytes);
        for (const auto& [section, key] : c.lookups) {
            std::string api = ApiGet(file, section, key);
            EXPECT_EQ(ours.GetString(section, key, kAbsent), api)
                << c.name << " [" << section << "] " << key;
            EXPECT_EQ(ours.HasKey(section, key), api != kAbsent)
                << c.name << " [" << section << "] " << key;
        }
    }
}

// Reads a TSV line: section, key, length, value (UTF-8; "<default>" = not found).
std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        auto tab = line.find('\t', start);
        out.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return out;
}

TEST(ProfileReadMatchesApi, SharedHandEditedFixture) {
    fs::path dir = wintest::BuildPath(ZENTOR_PROFILE_FIXTURES);
    std::string bytes = ReadBytes(dir / "hand-edited.ini");
    std::string tsv = ReadBytes(dir / "hand-edited.expected.tsv");
    ASSERT_FALSE(bytes.empty());
    ASSERT_FALSE(tsv.empty());
    TempDir tmp;
    fs::path file = tmp / "hand-edited.ini";
    WriteBytes(file, bytes);
    ProfileText ours(bytes);

    int rows = 0;
    std::size_t start = 0;
    while (start < tsv.size()) {
        auto end = tsv.find('\n', start);
        std::string line = tsv.substr(start, end - start);
        start = end == std::string::npos ? tsv.size() : end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        auto f = SplitTabs(line);
        ASSERT_EQ(f.size(), 4u) << line;
        ++rows;
        std::string section = W(f[0]), key = W(f[1]);
        std::string api = ApiGet(file, section, key);
        std::string expected = f[3] == "<default>" ? kAbsent : W(f[3]);
        EXPECT_EQ(api, expected) << "profile API: " << line;
        EXPECT_EQ(ours.GetString(section, key, kAbsent), expected) << "our reader: " << line;
    }
    EXPECT_GT(rows, 10);
}

// The same write done by our writer and by the profile API: afterwards the API
// reads the same value for every key of interest from both files.
struct WriteCase {
    const char* name;
    std::string before;
    std::string section, key, value;
    std::vector<std::pair<std::string, std::string>> lookups;
};

TEST(ProfileWriteMatchesApi, QuirkFiles) {
    const std::vector<WriteCase> cases = {
        {"OtherLatinCase", "[S]\r\nKEY=1\r\n", "s", "key", "2", {{"S", "KEY"}}},
        {"FirstOfDuplicateKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", {{"S", "k"}}},
        {"FirstOfDuplicateSections",
         "[S]\r\na=1\r\n[T]\r\nb=1\r\n[S]\r\nk=old\r\n",
         "S",
         "k",
         "new",
         {{"S", "k"}, {"S", "a"}, {"T", "b"}}},
        {"NewKeyBeforeNextSection",
         "[S]\r\na=1\r\n\r\n[T]\r\nk=t\r\n",
         "S",
         "k",
         "s",
         {{"S", "k"}, {"S", "a"}, {"T", "k"}}},
        {"NewSectionAfterUnendedLine", "[S]\r\nlast=1", "T", "k", "2", {{"S", "last"}, {"T", "k"}}},
        {"OrphanKeysStayOrphans",
         "k=orphan\r\n[S]\r\na=1\r\n",
         "S",
         "k",
         "mine",
         {{"S", "k"}, {"S", "a"}}},
        {"BlankedValue", "[S]\r\nk=1\r\n", "S", "k", "  v  ", {{"S", "k"}}},
        {"QuotedValue", "[S]\r\nk=1\r\n", "S", "k", "\"q\"", {{"S", "k"}}},
        {"EmptyValue", "[S]\r\nk=1\r\nn=2\r\n", "S", "k", "", {{"S", "k"}, {"S", "n"}}},
        {"NoFile", "", "S", "k", "1", {{"S", "k"}}},
        {"CyrillicExact",
         W("[Настройки]\r\nПорт=COM1\r\n"),
         W(kSettings),
         W("Порт"),
         "COM9",
         {{W(kSettings), W("Порт")}}},
    };
    TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        fs::path ours = dir / ("ours" + std::to_string(n) + ".ini");
        fs::path theirs = dir / ("theirs" + std::to_string(n) + ".ini");
        ++n;
        if (!c.before.empty()) {
            WriteBytes(ours, c.before);
            WriteBytes(theirs, c.before);
        }
        {
            ProfileFile f(ours);
            std::string error;
            ASSERT_TRUE(f.WriteString(c.section, c.key, c.value, &error)) << c.name << error;
        }
        ApiPut(theirs, c.section, c.key, c.value);
        for (const auto& [section, key] : c.lookups) {
            EXPECT_EQ(ApiGet(ours, section, key), ApiGet(theirs, section, key))
                << c.name << " [" << section << "] " << key << "\nours:\n"
                << ReadBytes(ours) << "\ntheirs:\n"
                << ReadBytes(theirs);
        }
    }
}

}  // namespace
}  // namespace zentor
