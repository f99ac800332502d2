#include "update/package_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/image_key.h"
#include "update_rig.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

// Plain bytes of a scrambled file, key restarting at 0.
Bytes Unscramble(Bytes b) {
    for (std::size_t i = 0; i < b.size(); ++i) b[i] ^= ImageKey[i % ImageKeyLength];
    return b;
}

const char* const kDone = "Файлы n.bin, p.bin и d.bin - созданы";
const char* const kBadSerial = "Неправильно введён серийный номер";

struct EncoderRig : UpdateRig {
    EncoderRig() {
        Put("prog.bin", prog);
        Put("data.bin", data);
    }
    Bytes prog = Pattern(1000, 0x11);  // longer than the key: the key repeats
    Bytes data = Pattern(2048, 0x5A);
};

// The record layout with its five fixed fillers, written out byte for byte:
// a change to any filler breaks every package already in the field.
TEST(PackageEncoder, NineCharacterSerialRecord) {
    EncoderRig rig;
    ASSERT_TRUE(EncodePackage(rig.s, "14v071510"));
    const std::string sn = "14v071510";
    const std::string expected = "09" + sn + "Q7\xE6" + sn + "\xFC;M" + sn +
                                 " \xC4"
                                 "2" +
                                 sn + "x!\xDF" + sn + "\xC2k-9 \xF4";
    ASSERT_EQ(expected.size(), 65u);
    const Bytes n = rig.Get("n.bin");
    EXPECT_EQ(n.size(), 65u);
    EXPECT_EQ(Unscramble(n), Text(expected));
    EXPECT_EQ(rig.ui.log, std::vector<std::string>{kDone});
}

TEST(PackageEncoder, PackagesAreScrambledFromIndexZeroInEachFile) {
    EncoderRig rig;
    ASSERT_TRUE(EncodePackage(rig.s, "14v071510"));
    const Bytes p = rig.Get("p.bin");
    const Bytes d = rig.Get("d.bin");
    EXPECT_EQ(Unscramble(p), rig.prog);
    EXPECT_EQ(Unscramble(d), rig.data);
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0], rig.data[0] ^ ImageKey[0]);
    EXPECT_EQ(p[397], rig.prog[397] ^ ImageKey[0]);

    // Same inputs, same outputs; the files are replaced, not appended to.
    const Bytes n = rig.Get("n.bin");
    ASSERT_TRUE(EncodePackage(rig.s, "14v071510"));
    EXPECT_EQ(rig.Get("n.bin"), n);
    EXPECT_EQ(rig.Get("p.bin"), p);
    EXPECT_EQ(rig.Get("d.bin"), d);
    EXPECT_EQ(rig.Listing(),
              (std::set<std::string>{"prog.bin", "data.bin", "n.bin", "p.bin", "d.bin"}));
}

TEST(PackageEncoder, SerialNumberShape) {
    const std::string long99 = "14v" + std::string(96, '7');
    const struct {
        std::string serial;
        bool ok;
    } cases[] = {
        {"14v071510", true},
        {"140v71510", true},  // v at the fourth position
        {"255v255255255", true},
        {"ab?v !@#$", true},  // only length and the v are checked
        {long99, true},
        {long99 + "7", false},  // 100 characters
        {"14v07151", false},    // 8 characters
        {"1v4071510", false},   // v at the second position
        {"1407v1510", false},   // v at the fifth position
        {"14V071510", false},   // upper-case V
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        EncoderRig rig;
        EXPECT_EQ(EncodePackage(rig.s, c.serial), c.ok);
        EXPECT_EQ(rig.ui.log, std::vector<std::string>{c.ok ? kDone : kBadSerial});
        if (c.ok) {
            const Bytes n = Unscramble(rig.Get("n.bin"));
            EXPECT_EQ(n.size(), 5 * c.serial.size() + 20);
            EXPECT_EQ(std::string(n.begin(), n.begin() + 2),
                      (c.serial.size() < 10 ? "0" : "") + std::to_string(c.serial.size()));
        } else {
            EXPECT_EQ(rig.Listing(), (std::set<std::string>{"prog.bin", "data.bin"}));
        }
    }
}

// The serial arrives as UTF-8 and is stored as single Windows-1251 bytes.
TEST(PackageEncoder, CyrillicSerialIsStoredAsSingleBytes) {
    EncoderRig rig;
    ASSERT_TRUE(EncodePackage(rig.s, "14vЖ71510"));
    const Bytes n = Unscramble(rig.Get("n.bin"));
    ASSERT_EQ(n.size(), 65u);
    EXPECT_EQ(n[0], '0');
    EXPECT_EQ(n[1], '9');
    EXPECT_EQ(n[5], 0xC6);  // Ж
}

// A character the package cannot hold is refused by name before any file is
// written, instead of turning into '?' and binding the package to another serial.
TEST(PackageEncoder, SerialWithoutAWindows1251FormIsRefused) {
    const struct {
        std::string serial;
        std::string line;
    } cases[] = {
        {"14v0715\xE2\x82\xAC"
         "0",
         ""},  // € has a Windows-1251 form (0x88): accepted
        {"14v0715\xE4\xB8\xAD"
         "0",
         "Символа \"\xE4\xB8\xAD\" в серийном номере нет в кодировке Windows-1251"},
        {"14v071510\xF0\x9F\x98\x80",
         "Символа \"\xF0\x9F\x98\x80\" в серийном номере нет в кодировке Windows-1251"},
        {"14v07\xC6"
         "1510",
         "Серийный номер не является текстом UTF-8"},                         // Ж in Windows-1251
        {"14v0715\xC0\xB0", "Серийный номер не является текстом UTF-8"},      // overlong '0'
        {"14v071510\xD0", "Серийный номер не является текстом UTF-8"},        // cut short
        {"14v0715\xED\xA0\x80", "Серийный номер не является текстом UTF-8"},  // surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EncoderRig rig;
        EXPECT_EQ(EncodePackage(rig.s, c.serial), c.line.empty());
        if (c.line.empty()) {
            EXPECT_EQ(Unscramble(rig.Get("n.bin"))[9], 0x88);
            continue;
        }
        EXPECT_EQ(rig.ui.log, std::vector<std::string>{c.line});
        EXPECT_EQ(rig.Listing(), (std::set<std::string>{"prog.bin", "data.bin"}));
    }
}

// Each failure stops at once and leaves exactly the outputs written before it.
TEST(PackageEncoder, FailuresLeaveTheEarlierOutputs) {
    const struct {
        const char* name;
        std::function<void(EncoderRig&)> setup;
        const char* line;
        std::set<std::string> files;
    } cases[] = {
        {"n.bin cannot be created",
         [](EncoderRig& r) { fs::create_directory(r.dir / "n.bin"); },
         "Невозможно открыть файл n.bin",
         {"prog.bin", "data.bin", "n.bin/"}},
        {"prog.bin missing",
         [](EncoderRig& r) { fs::remove(r.dir / "prog.bin"); },
         "Невозможно открыть файл \"prog.bin\"",
         {"data.bin", "n.bin"}},
        {"p.bin cannot be created",
         [](EncoderRig& r) { fs::create_directory(r.dir / "p.bin"); },
         "Невозможно открыть файл p.bin",
         {"prog.bin", "data.bin", "n.bin", "p.bin/"}},
        {"data.bin missing",
         [](EncoderRig& r) { fs::remove(r.dir / "data.bin"); },
         "Невозможно открыть файл data.bin",
         {"prog.bin", "n.bin", "p.bin"}},
        {"d.bin cannot be created",
         [](EncoderRig& r) { fs::create_directory(r.dir / "d.bin"); },
         "Невозможно открыть файл d.bin",
         {"prog.bin", "data.bin", "n.bin", "p.bin", "d.bin/"}},
        {"prog.bin is a folder",
         [](EncoderRig& r) {
             fs::remove(r.dir / "prog.bin");
             fs::create_directory(r.dir / "prog.bin");
         },
         "Невозможно открыть файл \"prog.bin\"",
         {"prog.bin/", "data.bin", "n.bin"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderRig rig;
        c.setup(rig);
        EXPECT_FALSE(EncodePackage(rig.s, "14v071510"));
        EXPECT_EQ(rig.ui.log, std::vector<std::string>{c.line});
        EXPECT_EQ(rig.Listing(), c.files);
        if (c.files.count("n.bin")) {
            EXPECT_EQ(rig.Get("n.bin").size(), 65u);
        }
    }
}

TEST(PackageEncoder, ImageSizeLimit) {
    const struct {
        const char* name;
        std::size_t progSize, dataSize;
        bool ok;
    } cases[] = {
        {"both at 64 KiB", 65536, 65536, true},
        {"prog.bin one byte over", 65537, 2048, false},
        {"data.bin one byte over", 2048, 65537, false},
        {"both empty", 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderRig rig;
        rig.Put("prog.bin", Pattern(c.progSize, 1));
        rig.Put("data.bin", Pattern(c.dataSize, 2));
        EXPECT_EQ(EncodePackage(rig.s, "14v071510"), c.ok);
        if (c.ok) {
            EXPECT_EQ(rig.ui.log, std::vector<std::string>{kDone});
            EXPECT_EQ(rig.Get("p.bin").size(), c.progSize);
            EXPECT_EQ(rig.Get("d.bin").size(), c.dataSize);
        } else {
            // Refused before anything was written.
            ASSERT_EQ(rig.ui.log.size(), 1u);
            EXPECT_NE(rig.ui.log[0].find("65536"), std::string::npos) << rig.ui.log[0];
            EXPECT_EQ(rig.Listing(), (std::set<std::string>{"prog.bin", "data.bin"}));
        }
    }
}

TEST(PackageEncoder, LogShowsOnlyTheLastRun) {
    EncoderRig rig;
    EncodePackage(rig.s, "bad");
    ASSERT_TRUE(EncodePackage(rig.s, "14v071510"));
    EXPECT_EQ(rig.ui.log, std::vector<std::string>{kDone});
    EXPECT_EQ(rig.ui.clears, 2);
}

// Names match without regard to case; an existing upper-case output is replaced.
TEST(PackageEncoder, FileNamesIgnoreCase) {
    EncoderRig rig;
    // Through another name: a rename that only changes case may keep the old one.
    fs::rename(rig.dir / "prog.bin", rig.dir / "moving.tmp");
    fs::rename(rig.dir / "moving.tmp", rig.dir / "Prog.bin");
    rig.Put("N.BIN", Bytes{1, 2, 3});
    ASSERT_TRUE(EncodePackage(rig.s, "14v071510"));
    EXPECT_EQ(rig.Get("N.BIN").size(), 65u);
    EXPECT_EQ(Unscramble(rig.Get("p.bin")), rig.prog);
    EXPECT_EQ(rig.Listing(),
              (std::set<std::string>{"Prog.bin", "data.bin", "N.BIN", "p.bin", "d.bin"}));
}

}  // namespace
}  // namespace zentor::test
