#include "config/config_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/files.h"
#include "support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zentor {
namespace {
namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(ZENTOR_FIXTURES_DIR);

std::string ReadBytes(const fs::path& p) {
    auto data = ReadWholeFile(p);
    return data ? std::string(data->begin(), data->end()) : std::string();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

class ConfigStoreTest : public ::testing::Test {
protected:
    // Writes a configuration given in UTF-8 as Windows-1251 and loads it.
    Settings Load(const std::string& utf8, WindowPosition* pos = nullptr) {
        WriteBytes(ini_, Utf8ToCp1251(utf8));
        Settings s;
        WindowPosition p;
        LoadConfig(ini_, s, p);
        if (pos) *pos = p;
        return s;
    }

    const test::ScratchDir scratch_{"config"};
    const fs::path dir_ = scratch_.path();
    const fs::path ini_ = dir_ / "zentor.ini";
};

TEST(ConfigPath, ReplacesOrAppendsTheExtension) {
    struct Case {
        fs::path exe, ini;
    };
    const std::vector<Case> cases = {
        {"/opt/zentor/x.exe", "/opt/zentor/x.ini"},
        {"C:/Tools/Zentor.EXE", "C:/Tools/Zentor.ini"},
        {"/usr/bin/zentor", "/usr/bin/zentor.ini"},
        {"/opt/app.d/zentor", "/opt/app.d/zentor.ini"},
        {"/opt/zentor/zentor-cli", "/opt/zentor/zentor-cli.ini"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConfigPathFor(c.exe), c.ini) << c.exe;
}

TEST_F(ConfigStoreTest, DefaultsWithoutAFile) {
    Settings s;
    s.PauseRestart = 9;
    WindowPosition p;
    LoadConfig(ini_, s, p);
    EXPECT_EQ(s.TypeController, 4);
    EXPECT_EQ(s.NamePort, "COM3");
    EXPECT_EQ(s.BaudRate, 9600);
    EXPECT_EQ(s.PauseRestart, 0);
    EXPECT_EQ(s.AdrPribor, 1);
    EXPECT_FALSE(s.ControlWrite);
    EXPECT_EQ(s.DopPause, 300);
    EXPECT_EQ(s.MaxKolReadings, 2);
    EXPECT_TRUE(s.ShowStopButton);
    EXPECT_EQ(s.SizeData, 2048);
    EXPECT_EQ(s.HCR0Value, "7D");
    EXPECT_EQ(s.HCR1Value, "A3");
    EXPECT_EQ(s.HCR1FromFile, "A3");
    EXPECT_FALSE(s.HCR1KeyPresent);
    EXPECT_EQ(s.AsmFileName, "1.asm");
    EXPECT_EQ(p.Width, 394);
    EXPECT_EQ(p.Height, 358);
    EXPECT_EQ(p.Left, (1024 - 394) / 2);
    EXPECT_EQ(p.Top, (768 - 358) / 3);
    EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(ConfigStoreTest, IntegerAndBooleanEncodings) {
    struct Case {
        const char* line;  // in section "Настройки"
        int Settings::*field;
        int expected;
    };
    const std::vector<Case> ints = {
        {"Скорость порта (бит/с)=0x2580", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=0X4b00", &Settings::BaudRate, 19200},
        {"Скорость порта (бит/с)=$2580", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=0x", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=$", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=0xZZ", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=0x1FFFFFFFF", &Settings::BaudRate, 9600},
        {"Скорость порта (бит/с)=12345", &Settings::BaudRate, 12345},
        {"Адрес устройства=abc", &Settings::AdrPribor, 1},
        {"Адрес устройства=-5", &Settings::AdrPribor, -5},
        {"Адрес устройства=+7", &Settings::AdrPribor, 7},
        {"Адрес устройства=007", &Settings::AdrPribor, 7},
        {"Адрес устройства=12abc", &Settings::AdrPribor, 1},
        {"Адрес устройства=1 2", &Settings::AdrPribor, 1},
        {"Адрес устройства=-", &Settings::AdrPribor, 1},
        {"Адрес устройства=\"9\"", &Settings::AdrPribor, 9},
        {"Адрес устройства=$FFFFFFFF", &Settings::AdrPribor, -1},
        {"Адрес устройства=2147483647", &Settings::AdrPribor, 2147483647},
        {"Адрес устройства=-2147483648", &Settings::AdrPribor, -2147483647 - 1},
        {"Адрес устройства=2147483648", &Settings::AdrPribor, 1},
        {"Адрес устройства=99999999999999999999", &Settings::AdrPribor, 1},
        {"Размер данных (чтение), байт=", &Settings::SizeData, 2048},
        {"Размер данных (чтение), байт=   4096   ", &Settings::SizeData, 4096},
        {"Тип контроллера=0", &Settings::TypeController, 0},
        {"Количество вычитываний=3 ; comment", &Settings::MaxKolReadings, 2},
        {"Доп. пауза при записи, мс=0x64", &Settings::DopPause, 100},
        {"Пауза перед перезапуском=15", &Settings::PauseRestart, 0},
    };
    for (const Case& c : ints) {
        Settings s = Load(std::string("[Настройки]\r\n") + c.line + "\r\n");
        EXPECT_EQ(s.*c.field, c.expected) << c.line;
    }

    struct BoolCase {
        const char* line;
        bool Settings::*field;
        bool expected;
    };
    const std::vector<BoolCase> bools = {
        {"Контроль ответа при записи=1", &Settings::ControlWrite, true},
        {"Контроль ответа при записи=5", &Settings::ControlWrite, true},
        {"Контроль ответа при записи=-1", &Settings::ControlWrite, true},
        {"Контроль ответа при записи=0x0", &Settings::ControlWrite, false},
        {"Контроль ответа при записи=yes", &Settings::ControlWrite, false},
        {"Показывать кнопку \"Остановить чтение данных\"=0", &Settings::ShowStopButton, false},
        {"Показывать кнопку \"Остановить чтение данных\"=true", &Settings::ShowStopButton, true},
        {"Показывать кнопку \"Остановить чтение данных\"=", &Settings::ShowStopButton, true},
    };
    for (const BoolCase& c : bools) {
        Settings s = Load(std::string("[Настройки]\r\n") + c.line + "\r\n");
        EXPECT_EQ(s.*c.field, c.expected) << c.line;
    }
}

TEST_F(ConfigStoreTest, Hcr1PresenceAndTexts) {
    struct Case {
        const char* body;
        std::string hcr1;
        bool present;
    };
    const std::vector<Case> cases = {
        {"HCR1=\r\n", "", true},      {"HCR1=B5\r\n", "B5", true}, {"hcr1 = 'C1'\r\n", "C1", true},
        {"HCR0=7C\r\n", "A3", false}, {"HCR1\r\n", "A3", false},
    };
    for (const Case& c : cases) {
        Settings s = Load(std::string("[Настройки]\r\n") + c.body);
        EXPECT_EQ(s.HCR1Value, c.hcr1) << c.body;
        EXPECT_EQ(s.HCR1FromFile, c.hcr1) << c.body;
        EXPECT_EQ(s.HCR1KeyPresent, c.present) << c.body;
    }
    Settings s = Load("[Настройки]\r\nHCR0=\r\nИмя асемблерного файла=прошивка 2.asm\r\nПорт=\r\n");
    EXPECT_EQ(s.HCR0Value, "");
    EXPECT_EQ(s.AsmFileName, "прошивка 2.asm");
    EXPECT_EQ(s.NamePort, "");
}

TEST_F(ConfigStoreTest, SectionAndKeyNamesIgnoreCyrillicCase) {
    const std::vector<std::string> files = {
        "[НАСТРОЙКИ]\r\nПОРТ=COM9\r\nАДРЕС УСТРОЙСТВА=7\r\n[ПОЗИЦИЯ ОКНА "
        "ПРОГРАММЫ]\r\nWIDTH=500\r\n",
        "[настройки]\r\nпорт=COM9\r\nадрес устройства=7\r\n[позиция окна "
        "программы]\r\nwidth=500\r\n",
        "[нАсТрОйКи]\r\nпОрТ=COM9\r\nАдРеС уСтРоЙсТвА=7\r\n[Позиция Окна "
        "Программы]\r\nwidth=500\r\n",
    };
    for (const std::string& f : files) {
        WindowPosition p;
        Settings s = Load(f, &p);
        EXPECT_EQ(s.NamePort, "COM9") << f;
        EXPECT_EQ(s.AdrPribor, 7) << f;
        EXPECT_EQ(p.Width, 500) << f;
    }
}

TEST_F(ConfigStoreTest, PositionDefaultsFollowScreenAndLoadedSize) {
    WriteBytes(ini_, Utf8ToCp1251("[Позиция окна программы]\r\nWidth=500\r\nHeight=400\r\n"));
    Settings s;
    WindowPosition p;
    LoadConfig(ini_, s, p, 1920, 1080);
    EXPECT_EQ(p.Left, (1920 - 500) / 2);
    EXPECT_EQ(p.Top, (1080 - 400) / 3);
    // A window larger than the screen: truncated toward zero, not floored.
    LoadConfig(ini_, s, p, 301, 300);
    EXPECT_EQ(p.Left, -99);
    EXPECT_EQ(p.Top, -33);

    WriteBytes(ini_, Utf8ToCp1251("[Позиция окна программы]\r\nTop=-20\r\nLeft=0x10\r\n"));
    LoadConfig(ini_, s, p);
    EXPECT_EQ(p.Left, 16);
    EXPECT_EQ(p.Top, -20);
    EXPECT_EQ(p.Width, 394);
}

TEST_F(ConfigStoreTest, HandEditedFixtureLoads) {
    fs::copy_file(kFixtures / "profile" / "hand-edited.ini", ini_);
    Settings s;
    WindowPosition p;
    LoadConfig(ini_, s, p);
    EXPECT_EQ(s.NamePort, "COM5");
    EXPECT_EQ(s.HCR0Value, "7D");
    EXPECT_EQ(s.HCR1Value, "\"A3");
    EXPECT_TRUE(s.HCR1KeyPresent);
    EXPECT_EQ(s.AsmFileName, "1.asm");
    EXPECT_EQ(s.MaxKolReadings, 2);  // "3 ; trailing comment" does not parse
    EXPECT_EQ(s.AdrPribor, 2);
    EXPECT_EQ(s.TypeController, 4);  // empty value
    EXPECT_EQ(s.DopPause, 300);
    EXPECT_FALSE(s.ShowStopButton);
    EXPECT_EQ(s.BaudRate, 9600);  // only in the second section of that name
    EXPECT_EQ(p.Width, 394);
}

TEST_F(ConfigStoreTest, SavingDefaultsAndPositionMatchesTheProfileApi) {
    std::string error;
    ASSERT_TRUE(SaveSettings(ini_, Settings{}, &error)) << error;
    ASSERT_TRUE(SavePosition(ini_, WindowPosition{763, 241, 394, 358}, &error)) << error;
    EXPECT_EQ(ReadBytes(ini_), ReadBytes(kFixtures / "profile" / "written-by-profile-api.ini"));
}

TEST_F(ConfigStoreTest, SaveKeepsForeignLinesCommentsAndTheStopButtonKey) {
    fs::copy_file(kFixtures / "config" / "kept-lines.ini", ini_);
    Settings s;
    s.TypeController = 2;
    s.NamePort = "COM12";
    s.BaudRate = 19200;
    s.PauseRestart = 15;
    s.AdrPribor = 63;
    s.ControlWrite = true;
    s.DopPause = 0;
    s.MaxKolReadings = 5;
    s.ShowStopButton = true;  // never written
    s.SizeData = 4096;
    s.HCR0Value = "7C";
    s.HCR1Value = "B3";
    s.HCR1FromFile = "A3";
    s.AsmFileName = "прошивка.asm";
    ASSERT_TRUE(SaveSettings(ini_, s));
    EXPECT_EQ(ReadBytes(ini_), ReadBytes(kFixtures / "config" / "kept-lines.saved.ini"));

    Settings back;
    WindowPosition p;
    LoadConfig(ini_, back, p);
    EXPECT_EQ(back.NamePort, "COM12");
    EXPECT_EQ(back.AsmFileName, "прошивка.asm");
    EXPECT_FALSE(back.ShowStopButton);
    EXPECT_EQ(back.PauseRestart, 0);
    EXPECT_EQ(back.HCR1Value, "B3");
    EXPECT_EQ(p.Left, 10);
}

TEST_F(ConfigStoreTest, TextsAreWindows1251OnDisk) {
    Settings s;
    s.AsmFileName = "Прошивка ёлки.asm";
    s.NamePort = "COM№1";
    ASSERT_TRUE(SaveSettings(ini_, s));
    std::string bytes = ReadBytes(ini_);
    EXPECT_NE(bytes.find("\xC8\xEC\xFF \xE0\xF1\xE5\xEC\xE1\xEB\xE5\xF0\xED\xEE\xE3\xEE"
                         " \xF4\xE0\xE9\xEB\xE0=\xCF\xF0\xEE\xF8\xE8\xE2\xEA\xE0 \xB8\xEB\xEA\xE8"
                         ".asm\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("=COM\xB9"
                         "1\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.find("[\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8]\r\n"), 0u);
    EXPECT_EQ(bytes.find("Настройки"), std::string::npos);
    EXPECT_EQ(bytes.find("ёлки"), std::string::npos);
    Settings back;
    WindowPosition p;
    LoadConfig(ini_, back, p);
    EXPECT_EQ(back.AsmFileName, "Прошивка ёлки.asm");
    EXPECT_EQ(back.NamePort, "COM№1");
}

TEST_F(ConfigStoreTest, StoredPauseIsOverwrittenBySave) {
    Settings s = Load("[Настройки]\r\nПауза перед перезапуском=15\r\n");
    EXPECT_EQ(s.PauseRestart, 0);
    ASSERT_TRUE(SaveSettings(ini_, s));
    EXPECT_NE(ReadBytes(ini_).find(Utf8ToCp1251("Пауза перед перезапуском=0\r\n")),
              std::string::npos);
}

TEST_F(ConfigStoreTest, FailedWriteReportsThePathAndKeepsTheOldFile) {
    // Root ignores permission bits on folders, so the folder is a regular file here.
    WriteBytes(dir_ / "plain", "x");
    fs::path underFile = dir_ / "plain" / "zentor.ini";
    std::string error;
    EXPECT_FALSE(SaveSettings(underFile, Settings{}, &error));
    EXPECT_EQ(error, "Unable to write to " + underFile.string());
    error.clear();
    EXPECT_FALSE(SavePosition(underFile, WindowPosition{}, &error));
    EXPECT_EQ(error, "Unable to write to " + underFile.string());

    const std::string old = Utf8ToCp1251("[Настройки]\r\nПорт=COM7\r\n");
    WriteBytes(ini_, old);
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    error.clear();
    EXPECT_FALSE(SaveSettings(ini_, Settings{}, &error));
    EXPECT_EQ(error, "Unable to write to " + ini_.string());
    EXPECT_EQ(ReadBytes(ini_), old);
}

#ifndef _WIN32
// Root saving a user's file leaves it that user's, with its mode; a file with a
// second name stays one file.
TEST_F(ConfigStoreTest, SavesKeepOwnerModeAndHardLinks) {
    const bool root = ::geteuid() == 0;
    const uid_t owner = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    WriteBytes(ini_, Utf8ToCp1251("[Настройки]\r\nПорт=COM7\r\n"));
    ASSERT_EQ(::chmod(ini_.c_str(), 0600), 0);
    ASSERT_EQ(::chown(ini_.c_str(), owner, group), 0);
    const fs::path second = dir_ / "second-name.ini";
    fs::create_hard_link(ini_, second);
    struct stat before {};
    ASSERT_EQ(::stat(ini_.c_str(), &before), 0);

    auto expectKept = [&](const char* when, nlink_t links) {
        SCOPED_TRACE(when);
        struct stat st {};
        ASSERT_EQ(::stat(ini_.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, owner);
        EXPECT_EQ(st.st_gid, group);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(st.st_nlink, links);
    };
    Settings s;
    s.NamePort = "COM9";
    ASSERT_TRUE(SaveSettings(ini_, s));
    ASSERT_TRUE(SavePosition(ini_, WindowPosition{1, 2, 3, 4}));
    expectKept("two names", 2);
    struct stat linked {};
    ASSERT_EQ(::stat(second.c_str(), &linked), 0);
    EXPECT_EQ(linked.st_ino, before.st_ino);
    EXPECT_EQ(ReadBytes(second), ReadBytes(ini_));
    EXPECT_NE(ReadBytes(second).find("=COM9\r\n"), std::string::npos);

    // One name: replaced through a temporary file, still the user's.
    fs::remove(second);
    s.NamePort = "COM10";
    ASSERT_TRUE(SaveSettings(ini_, s));
    expectKept("one name", 1);
    Settings back;
    WindowPosition p;
    LoadConfig(ini_, back, p);
    EXPECT_EQ(back.NamePort, "COM10");
    EXPECT_EQ(p.Left, 1);
    if (!root) GTEST_SKIP() << "owner change checked only as root";
}
#endif

TEST_F(ConfigStoreTest, SavePassStopsAtTheFailedKey) {
    int calls = 0;
    ProfileFile file(ini_, [&](const fs::path& p, const std::string& bytes) {
        return ++calls < 3 && WriteProfileBytes(p, bytes);
    });
    std::string error;
    EXPECT_FALSE(SaveSettings(file, Settings{}, &error));
    EXPECT_EQ(error, "Unable to write to " + ini_.string());
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(ReadBytes(ini_), Utf8ToCp1251("[Настройки]\r\nТип контроллера=4\r\nПорт=COM3\r\n"));
}

TEST_F(ConfigStoreTest, DamagedFilesLoadWithoutHarm) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string port;  // expected NamePort
    };
    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage += static_cast<char>((i * 7919 + i / 13) & 0xFF);
    const std::string section = Utf8ToCp1251("[Настройки]\r\n");
    const std::string portKey = Utf8ToCp1251("Порт=");
    const std::vector<Case> cases = {
        {"binary garbage", garbage, "COM3"},
        {"garbage around a section", garbage + "\r\n" + section + portKey + "COM4\r\n" + garbage,
         "COM4"},
        {"NUL inside the value", section + portKey + std::string("CO\0M5\r\n", 7), "CO"},
        {"one long line", section + std::string(1 << 20, 'q') + "\r\n" + portKey + "COM6", "COM6"},
        {"long value", section + portKey + std::string(5000, '7') + "\r\n", std::string(2047, '7')},
        {"no line end at all", section.substr(0, section.size() - 2), "COM3"},
        {"UTF-8 instead of Windows-1251", "[Настройки]\r\nПорт=COM8\r\n", "COM3"},
        {"CR-only line ends", section.substr(0, section.size() - 1) + portKey + "COM9\r", "COM3"},
        {"empty file", "", "COM3"},
    };
    for (const Case& c : cases) {
        WriteBytes(ini_, c.bytes);
        Settings s;
        WindowPosition p;
        LoadConfig(ini_, s, p);
        EXPECT_EQ(s.NamePort, c.port) << c.name;
        EXPECT_EQ(s.BaudRate, 9600) << c.name;
        // A save over the damaged file keeps its bytes apart from the changed keys.
        ASSERT_TRUE(SavePosition(ini_, WindowPosition{1, 2, 3, 4})) << c.name;
        WindowPosition back;
        LoadConfig(ini_, s, back);
        EXPECT_EQ(back.Left, 1) << c.name;
        EXPECT_EQ(back.Height, 4) << c.name;
        EXPECT_EQ(ReadBytes(ini_).compare(0, c.bytes.size(), c.bytes), 0) << c.name;
    }
}

}  // namespace
}  // namespace zentor
