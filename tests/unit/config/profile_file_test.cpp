#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/files.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {
namespace fs = std::filesystem;

const fs::path kProfileFixtures = fs::path(ZENTOR_FIXTURES_DIR) / "profile";

std::string ReadBytes(const fs::path& p) {
    auto data = ReadWholeFile(p);
    return data ? std::string(data->begin(), data->end()) : std::string();
}

// Converts a UTF-8 literal to the file's code page.
std::string W(const std::string& utf8) {
    return Utf8ToCp1251(utf8);
}

// Every row of the table produced by GetPrivateProfileStringA on hand-edited.ini.
TEST(ProfileRead, MatchesTheProfileApiOnTheHandEditedFile) {
    ProfileFile file(kProfileFixtures / "hand-edited.ini");
    std::istringstream rows(ReadBytes(kProfileFixtures / "hand-edited.expected.tsv"));
    std::string row;
    int checked = 0;
    while (std::getline(rows, row)) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.empty()) continue;
        std::vector<std::string> cols;
        std::size_t start = 0;
        for (std::size_t tab; (tab = row.find('\t', start)) != std::string::npos; start = tab + 1)
            cols.push_back(row.substr(start, tab - start));
        cols.push_back(row.substr(start));
        ASSERT_EQ(cols.size(), 4u) << row;
        std::string got = file.GetString(W(cols[0]), W(cols[1]), "<default>");
        EXPECT_EQ(Cp1251ToUtf8(got), cols[3]) << row;
        EXPECT_EQ(std::to_string(got.size()), cols[2]) << row;
        ++checked;
    }
    EXPECT_EQ(checked, 17);
}

TEST(ProfileRead, QuirksBeyondTheFixture) {
    struct Case {
        const char* name;
        std::string text, section, key, expected;
    };
    const std::string big(3000, 'x');
    const std::vector<Case> cases = {
        {"comment line is no key", "[a]\r\n;k=1\r\n", "a", "k", "<default>"},
        {"indented comment is no key", "[a]\r\n  ; k=1\r\n", "a", "k", "<default>"},
        {"header without ] is no section", "[a\r\nk=1\r\n", "a", "k", "<default>"},
        {"text after ] ignored", "[a] ; note\r\nk=1\r\n", "a", "k", "1"},
        {"lone quote kept", "[a]\r\nk=\"\r\n", "a", "k", "\""},
        {"empty quotes", "[a]\r\nk=''\r\n", "a", "k", ""},
        {"mixed quotes kept", "[a]\r\nk=\"x'\r\n", "a", "k", "\"x'"},
        {"only one pair stripped", "[a]\r\nk=\"\"x\"\"\r\n", "a", "k", "\"x\""},
        {"blanks inside quotes kept", "[a]\r\nk=\" x \"\r\n", "a", "k", " x "},
        {"tabs trimmed", "[a]\r\n\tk\t=\tv\t\r\n", "a", "k", "v"},
        {"first = splits", "[a]\r\nk=b=c\r\n", "a", "k", "b=c"},
        {"LF line ends", "[a]\nk=1\nj=2\n", "a", "j", "2"},
        {"latin case folded", "[ABC]\r\nKey=1\r\n", "abc", "kEY", "1"},
        {"cyrillic case folded", W("[НАСТРОЙКИ]\r\nпорт=COM1\r\n"), W("настройки"), W("ПОРТ"),
         "COM1"},
        {"yo folded", W("[ёлка]\r\nЁ=1\r\n"), W("ЁЛКА"), W("ё"), "1"},
        {"NUL ends the value", std::string("[a]\r\nk=CO\0M5\r\n", 14), "a", "k", "CO"},
        {"value capped at 2047", "[a]\r\nk=" + big + "\r\n", "a", "k", big.substr(0, 2047)},
        {"key before any section", "k=1\r\n[a]\r\n", "a", "k", "<default>"},
        {"section name blanks", "[  a  b  ]\r\nk=1\r\n", "a  b", "k", "1"},
    };
    for (const Case& c : cases) {
        ProfileText text(c.text);
        EXPECT_EQ(text.GetString(c.section, c.key, "<default>"), c.expected) << c.name;
        EXPECT_EQ(text.HasKey(c.section, c.key), c.expected != "<default>") << c.name;
    }
}

TEST(ProfileWrite, ChangesOnlyTheLineOfTheKey) {
    struct Case {
        const char* name;
        std::string before, section, key, value, after;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "a", "k", "v", "[a]\r\nk=v\r\n"},
        {"replace first of duplicates", "[a]\r\nk=1\r\nk=2\r\n", "a", "k", "3",
         "[a]\r\nk=3\r\nk=2\r\n"},
        {"replace keeps the file's spelling", "[a]\r\n  KEY = 1 ; x\r\nz=0\r\n", "A", "key", "2",
         "[a]\r\nKEY=2\r\nz=0\r\n"},
        {"replace keeps LF line end", "[a]\nk=1\nj=2\n", "a", "k", "9", "[a]\nk=9\nj=2\n"},
        {"replace on a last line without line end", "[a]\r\nk=1", "a", "k", "2", "[a]\r\nk=2"},
        {"append to section before the next", "[a]\r\nx=1\r\n[b]\r\ny=2\r\n", "a", "z", "5",
         "[a]\r\nx=1\r\nz=5\r\n[b]\r\ny=2\r\n"},
        {"append after header of empty section", "[a]\r\n[b]\r\n", "a", "k", "1",
         "[a]\r\nk=1\r\n[b]\r\n"},
        {"comments and blanks stay with the next section", "[a]\r\nx=1\r\n\r\n; about b\r\n[b]\r\n",
         "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n\r\n; about b\r\n[b]\r\n"},
        {"new section after a last line without line end", "[a]\r\nx=1", "b", "k", "v",
         "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"append to section ending the file without line end", "[a]\r\nx=1", "a", "y", "2",
         "[a]\r\nx=1\r\ny=2\r\n"},
        {"first of two sections written", "[a]\r\n[b]\r\n[a]\r\nk=1\r\n", "a", "k", "2",
         "[a]\r\nk=2\r\n[b]\r\n[a]\r\nk=1\r\n"},
        {"key before any section untouched", "k=1\r\n[a]\r\n", "a", "k", "2",
         "k=1\r\n[a]\r\nk=2\r\n"},
        {"line without = untouched", "[a]\r\nk\r\n", "a", "k", "2", "[a]\r\nk\r\nk=2\r\n"},
        {"line break in value ends it", "[a]\r\n", "a", "k", "x\r\n[evil]\r\ny=1",
         "[a]\r\nk=x\r\n"},
        {"cyrillic section matched in other case", W("[настройки]\r\nПорт=COM1\r\n"),
         W("НАСТРОЙКИ"), W("порт"), "COM2", W("[настройки]\r\nПорт=COM2\r\n")},
    };
    for (const Case& c : cases) {
        ProfileText text(c.before);
        text.SetString(c.section, c.key, c.value);
        EXPECT_EQ(text.Bytes(), c.after) << c.name;
        std::string value = c.value.substr(0, c.value.find_first_of("\r\n"));
        EXPECT_EQ(text.GetString(c.section, c.key, "<default>"), value) << c.name;
    }
}

TEST(ProfileParse, UnchangedBytesRoundTrip) {
    const std::vector<std::string> texts = {
        "",
        "\r\n",
        "a",
        "[a]\r\nk=1",
        "x\ry\r\n\n\r\n",
        std::string("\0\0\n\0", 4),
        ReadBytes(kProfileFixtures / "hand-edited.ini"),
    };
    for (const std::string& t : texts) EXPECT_EQ(ProfileText(t).Bytes(), t);
}

TEST(ProfileParse, SurvivesArbitraryBytes) {
    std::mt19937 rng(1251);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(rng() % 4096, '\0');
        for (char& b : bytes) {
            // Mostly structure characters, so sections and keys do occur.
            static const char kPick[] =
                "[]=;\"' \t\r\n\xcd\xe0"
                "az";
            b = (rng() % 3 == 0) ? static_cast<char>(rng()) : kPick[rng() % (sizeof(kPick) - 1)];
        }
        ProfileText text(bytes);
        EXPECT_EQ(text.Bytes(), bytes);
        text.SetString("a", "z", "1");
        EXPECT_EQ(text.GetString("a", "z", "<default>"), "1");
        ProfileText again(text.Bytes());
        EXPECT_EQ(again.GetString("a", "z", "<default>"), "1");
        EXPECT_EQ(again.Bytes(), text.Bytes());
    }
}

TEST(ProfileFileIo, EachWriteReachesTheDiskAtOnce) {
    test::ScratchDir dir("profile");
    fs::path ini = dir.path() / "x.ini";
    ProfileFile file(ini);
    EXPECT_FALSE(fs::exists(ini));
    ASSERT_TRUE(file.WriteString("a", "k", "1"));
    EXPECT_EQ(ReadBytes(ini), "[a]\r\nk=1\r\n");
    ASSERT_TRUE(file.WriteString("a", "j", "2"));
    EXPECT_EQ(ReadBytes(ini), "[a]\r\nk=1\r\nj=2\r\n");
    EXPECT_EQ(ProfileFile(ini).GetString("a", "j", ""), "2");
}

TEST(ProfileFileIo, WritesThroughALinkAndKeepsTheFileMode) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need privileges on Windows";
#endif
    test::ScratchDir dir("profile");
    fs::create_directory(dir.path() / "shared");
    fs::path real = dir.path() / "shared" / "zentor.ini";
    std::ofstream(real, std::ios::binary) << "[a]\r\nk=1\r\n";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::path link = dir.path() / "zentor.ini";
    fs::create_symlink(real, link);

    ProfileFile file(link);
    ASSERT_TRUE(file.WriteString("a", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(ReadBytes(real), "[a]\r\nk=2\r\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ProfileFileIo, FailedWritesReportThePathAndKeepTheOldFile) {
    test::ScratchDir dir("profile");
    const std::string old = "[a]\r\nk=old\r\n";
    // A regular file standing where the folder should be.
    std::ofstream(dir.path() / "plain") << "x";
    fs::path underFile = dir.path() / "plain" / "x.ini";
    fs::path readOnly = dir.path() / "ro.ini";
    std::ofstream(readOnly, std::ios::binary) << old;
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    fs::path isDir = dir.path() / "dir.ini";
    fs::create_directory(isDir);

    for (const fs::path& p : {underFile, readOnly, isDir}) {
        ProfileFile file(p);
        std::string error;
        EXPECT_FALSE(file.WriteString("a", "k", "new", &error)) << p;
        EXPECT_EQ(error, "Unable to write to " + p.string());
        // The model follows the disk: the failed value is not there.
        EXPECT_NE(file.GetString("a", "k", ""), "new") << p;
    }
    EXPECT_EQ(ReadBytes(readOnly), old);
    EXPECT_TRUE(fs::is_directory(isDir));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        left.push_back(e.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"dir.ini", "plain", "ro.ini"}));
}

}  // namespace
}  // namespace zentor
