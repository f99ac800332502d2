// Something else than a regular file planted as the folder lock or the journal
// of a shared work folder: a symbolic link to a file elsewhere, a link to a name
// that does not exist yet, a FIFO. A planted lock refuses the command with one
// log line before it does anything; a planted journal is not written through:
// the run's lines go to the fallback journal, named in the log. Nothing outside
// the folder is touched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "journal_test_support.h"
#include "station/instrument_run.h"
#include "support/scratch_dir.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using namespace journal_test;

enum class Planted { LinkToFile, LinkToNothing, Fifo };

struct Case {
    const char* what;
    const char* name;  // in the work folder
    Planted planted;
    bool explicitJournal;  // named by --journal rather than journal.csv of the folder
};

TEST(PlantedWorkFile, RefusedAndTheTargetIsLeftAlone) {
    const Case cases[] = {
        {"lock: link to a file", "zentor.lock", Planted::LinkToFile, false},
        {"lock: link to nothing", "zentor.lock", Planted::LinkToNothing, false},
        {"lock: FIFO", "zentor.lock", Planted::Fifo, false},
        {"journal: link to a file", "journal.csv", Planted::LinkToFile, false},
        {"journal: link to nothing", "journal.csv", Planted::LinkToNothing, false},
        {"--journal: link to a file", "shared.csv", Planted::LinkToFile, true},
    };
    const std::vector<std::uint8_t> calibration = {0xCA, 0x11, 0xB0, 0x0D, '\n', 0x00};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir("planted");
        test::ScratchDir outside("planted-target");
        outside.Write("cal.bin", calibration);
        const fs::path planted = dir / c.name;
        const fs::path absent = outside / "new.bin";
        switch (c.planted) {
            case Planted::LinkToFile:
                fs::create_symlink(outside / "cal.bin", planted);
                break;
            case Planted::LinkToNothing:
                fs::create_symlink(absent, planted);
                break;
            case Planted::Fifo:
                ASSERT_EQ(::mkfifo(planted.c_str(), 0644), 0);
                break;
        }

        test::ScratchDir data("planted-data");
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        const fs::path fallback = data / "zentor" / "journal.csv";
        TestSession t(dir.path());
        if (c.explicitJournal) t.station.place.journalPath = planted;
        bool ran = false;
        const bool lock = std::string(c.name) == "zentor.lock";
        EXPECT_EQ(RunInstrumentCommand(t.s, "program", [&] { return ran = true; }), !lock);
        EXPECT_EQ(ran, !lock);

        const std::string reason =
            c.planted == Planted::Fifo ? "не обычный файл" : "символическая ссылка, а не файл";
        const std::vector<std::string> expected =
            lock
                ? std::vector<std::string>{"Не удалось занять папку: " + planted.string() + ": " +
                                           reason + ". Команда не выполнена."}
                : std::vector<std::string>{"Журнал не записан: " + planted.string() + ": " + reason,
                                           "Журнал этой команды ведётся в " + fallback.string()};
        EXPECT_EQ(t.ui.log, expected);
        if (!lock) {
            const auto lines = ReadJournal(fallback);
            ASSERT_TRUE(lines.has_value());
            EXPECT_EQ(lines->size(), 2u) << "start and end in the fallback journal";
        }
        ::unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(outside.Read("cal.bin"), calibration);
        EXPECT_FALSE(fs::exists(absent));
        // What was planted is still there as it was.
        const fs::file_type type = fs::symlink_status(planted).type();
        EXPECT_EQ(type, c.planted == Planted::Fifo ? fs::file_type::fifo : fs::file_type::symlink);
    }
}

// The same folder with the planted file gone works again.
TEST(PlantedWorkFile, TheFolderWorksOnceItIsRemoved) {
    test::ScratchDir dir("planted-removed");
    test::ScratchDir outside("planted-removed-target");
    outside.Write("cal.bin", {1, 2, 3});
    fs::create_symlink(outside / "cal.bin", dir / "zentor.lock");
    TestSession t(dir.path());
    EXPECT_FALSE(RunFolderCommand(t.s, "read-data", [] { return true; }));
    fs::remove(dir / "zentor.lock");
    EXPECT_TRUE(RunInstrumentCommand(t.s, "program", [] { return true; }));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "zentor.lock")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "journal.csv")));
    EXPECT_EQ(outside.Read("cal.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace zentor
