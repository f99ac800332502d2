#include "bootrom/build_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bootrom/build_tools.h"
#include "bootrom_rig.h"
#include "common/image_key.h"
#include "testing/virtual_clock.h"

namespace zentor {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Pattern;
using Lines = std::vector<std::string>;

// Virtual time in which Prog.bin appears during the n-th one-second wait.
class BuildClock final : public Clock {
public:
    void SleepMs(int ms) override {
        inner.SleepMs(ms);
        if (++sleeps == fileAtSleep && onFile) onFile();
    }
    std::int64_t NowMs() override { return inner.NowMs(); }

    VirtualClock inner;
    int sleeps = 0;
    int fileAtSleep = 0;
    std::function<void()> onFile;
};

// Tools that act on the working folder like the real ones, without processes.
struct FakeTools final : BuildToolRunner {
    struct Call {
        std::string program;
        std::vector<std::string> args;
        fs::path dir;
    };
    ToolRun Run(const std::string& program, const std::vector<std::string>& args,
                const fs::path& dir, const LineSink& onLine) override {
        calls.push_back({program, args, dir});
        if (program == "A8051.exe") {
            if (assembler != ToolRun::Finished) return assembler;
            onLine("A8051.exe " + args.at(0));
            onLine("0 errors");
            if (writeObject) test::ScratchDir::WriteTo(dir / "1.r03", {1, 2, 3});
            return ToolRun::Finished;
        }
        if (linker != ToolRun::Finished) return linker;
        onLine("Xlink.exe linked");
        if (linkerWrites) test::ScratchDir::WriteTo(dir / "Prog.bin", image);
        return ToolRun::Finished;
    }
    std::vector<Call> calls;
    ToolRun assembler = ToolRun::Finished, linker = ToolRun::Finished;
    bool writeObject = true, linkerWrites = true;
    Bytes image = Pattern(1000, 5);
};

struct BuildRig : test::SessionRigOf<RecordingFrontend, BuildClock> {
    BuildRig() : SessionRigOf("build") {
        station.place.exePath = dir.path() / "zentor";
        station.place.caption = "Zentor MSC1210Y5";
        station.settings.AsmFileName = "1.asm";
        ui.answers.push_back(true);  // continue after the assembler
    }
    Lines Log() const { return ui.log; }
    std::string BatchPath() const { return (dir.path() / "zentor.bat").string(); }
    std::string ObjectPath() const { return (dir.path() / "1.r03").string(); }

    FakeTools tools;
};

Bytes Scrambled(Bytes b) {
    ScrambleImage(b);
    return b;
}

TEST(Build, RunsBothToolsAndWritesTheScrambledImage) {
    BuildRig rig;
    rig.ui.AppendLine("old line");
    EXPECT_TRUE(BuildWithRunner(rig.s, rig.tools));

    ASSERT_EQ(rig.tools.calls.size(), 2u);
    EXPECT_EQ(rig.tools.calls[0].program, "A8051.exe");
    EXPECT_EQ(rig.tools.calls[0].args, Lines{"1.asm"});
    EXPECT_EQ(rig.tools.calls[1].program, "Xlink.exe");
    EXPECT_EQ(rig.tools.calls[1].args, (Lines{"1.r03", "-o", "Prog.bin", "-c8051", "-FMPDS-CODE"}));
    for (const auto& c : rig.tools.calls) EXPECT_EQ(c.dir, rig.dir.path());

    EXPECT_EQ(rig.Log(), (Lines{"A8051.exe 1.asm", "0 errors", "Xlink.exe linked",
                                "Компиляция прошла успешно", ""}));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].kind, "okcancel");
    EXPECT_EQ(rig.ui.boxes[0].title, "Zentor MSC1210Y5");
    EXPECT_EQ(rig.ui.boxes[0].icon, MessageIcon::Question);

    EXPECT_EQ(rig.dir.Read("prog_c.bin"), Scrambled(rig.tools.image));
    EXPECT_EQ(rig.dir.Read("Prog.bin"), rig.tools.image);
    EXPECT_EQ(rig.clock.inner.Sleeps(), std::vector<int>{1000});
    EXPECT_EQ(rig.s.TempFiles, (Lines{rig.BatchPath(), rig.ObjectPath()}));
}

TEST(Build, BatchFileHoldsTheFiveCommandLines) {
    struct Case {
        std::string asmName;
        std::string exe;
        std::string batch;
        std::string objectName;
    };
    const std::vector<Case> cases = {
        {"1.asm", "zentor.exe", "zentor.bat", "1.r03"},
        {"test.s", "zentor", "zentor.bat", "tesr03"},
        {"Прибор.asm", "tool.x", "tool.bat", "Прибор.r03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asmName);
        BuildRig rig;
        rig.station.settings.AsmFileName = c.asmName;
        rig.station.place.exePath = rig.dir.path() / c.exe;
        BuildWithRunner(rig.s, rig.tools);
        const std::string expected = "@echo off\nA8051.exe " + c.asmName + "\npause\nXlink.exe " +
                                     c.objectName + " -o Prog.bin -c8051 -FMPDS-CODE\npause\n";
        const Bytes batch = rig.dir.Read(c.batch);
        EXPECT_EQ(std::string(batch.begin(), batch.end()), expected);
        ASSERT_EQ(rig.tools.calls.size(), 2u);
        EXPECT_EQ(rig.tools.calls[1].args.at(0), c.objectName);
        EXPECT_EQ(rig.s.TempFiles.at(0), (rig.dir.path() / c.batch).string());
    }
}

TEST(Build, BatchFileIsRewrittenEachTime) {
    BuildRig rig;
    rig.dir.Write("zentor.bat", Bytes(500, 'x'));
    BuildWithRunner(rig.s, rig.tools);
    const Bytes batch = rig.dir.Read("zentor.bat");
    EXPECT_EQ(std::string(batch.begin(), batch.end()),
              "@echo off\nA8051.exe 1.asm\npause\n"
              "Xlink.exe 1.r03 -o Prog.bin -c8051 -FMPDS-CODE\npause\n");
}

TEST(Build, WithoutAnExecutablePathNoBatchFileIsListed) {
    BuildRig rig;
    rig.station.place.exePath.clear();
    EXPECT_TRUE(BuildWithRunner(rig.s, rig.tools));
    EXPECT_EQ(rig.s.TempFiles, Lines{rig.ObjectPath()});
}

// Prog.bin found during the n-th of at most four one-second waits.
TEST(BuildWait, CounterLinesWhileProgBinIsLate) {
    struct Case {
        int appearsAt;  // 0: never
        Lines log;
        std::size_t waits;
    };
    const std::string creating = "Создание файла \"prog.bin\"";
    const std::vector<Case> cases = {
        {.appearsAt = 1, .log = {"Компиляция прошла успешно", ""}, .waits = 1},
        {.appearsAt = 2,
         .log = {creating, creating + " - 2", "Компиляция прошла успешно", ""},
         .waits = 2},
        {.appearsAt = 3,
         .log = {creating, creating + " - 2", creating + " - 3", "Компиляция прошла успешно", ""},
         .waits = 3},
        {.appearsAt = 4,
         .log = {creating, creating + " - 2", creating + " - 3", creating + " - 4",
                 "Компиляция прошла успешно", ""},
         .waits = 4},
        {.appearsAt = 0,
         .log = {creating, creating + " - 2", creating + " - 3", creating + " - 4",
                 "Невозможно открыть файл \"prog.bin\""},
         .waits = 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.appearsAt);
        BuildRig rig;
        rig.tools.linkerWrites = false;
        rig.clock.fileAtSleep = c.appearsAt;
        rig.clock.onFile = [&] { rig.dir.Write("prog.bin", Pattern(300)); };
        EXPECT_EQ(BuildWithRunner(rig.s, rig.tools), c.appearsAt != 0);
        const Lines log = rig.Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(Lines(log.begin() + 3, log.end()), c.log);  // after the tools' output
        EXPECT_EQ(rig.clock.inner.Sleeps(), std::vector<int>(c.waits, 1000));
        EXPECT_EQ(rig.dir.Exists("prog_c.bin"), c.appearsAt != 0);
    }
}

TEST(BuildImage, SizesOfProgBin) {
    struct Case {
        std::size_t size;
        bool ok;
        std::string last;
    };
    const std::vector<Case> cases = {
        {0, true, ""},
        {65536, true, ""},
        {65537, false, "Файл \"prog.bin\" больше 65536 байт"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        BuildRig rig;
        rig.dir.Write("prog_c.bin", {9, 9, 9});  // from an earlier build
        rig.tools.image = Pattern(c.size, 3);
        EXPECT_EQ(BuildWithRunner(rig.s, rig.tools), c.ok);
        EXPECT_EQ(rig.Log().back(), c.last);
        const Bytes expected = c.ok ? Scrambled(rig.tools.image) : Bytes{9, 9, 9};
        EXPECT_EQ(rig.dir.Read("prog_c.bin"), expected);
    }
}

TEST(BuildImage, ExistingScrambledImageIsReplacedWhateverItsCase) {
    BuildRig rig;
    rig.dir.Write("Prog_C.BIN", {1});
    ASSERT_TRUE(BuildWithRunner(rig.s, rig.tools));
    EXPECT_EQ(rig.dir.Read("Prog_C.BIN"), Scrambled(rig.tools.image));
    // Exactly one scrambled image, under the name it already had.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(rig.dir.path()))
        if (e.path().filename().string().size() == 10 &&
            e.path().filename().string().substr(5) == "C.BIN")
            names.push_back(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(rig.dir.path()))
        if (e.path().filename() == "prog_c.bin") names.push_back("prog_c.bin");
    EXPECT_EQ(names, std::vector<std::string>{"Prog_C.BIN"});
}

TEST(BuildImage, ScrambledImageThatCannotBeWritten) {
    BuildRig rig;
    fs::create_directories(rig.dir.path() / "prog_c.bin" / "inside");
    EXPECT_FALSE(BuildWithRunner(rig.s, rig.tools));
    EXPECT_EQ(rig.Log().back(), "Невозможно открыть файл prog_c.bin");
}

// Output of an earlier build must never pass for this build's.
TEST(BuildImage, StaleOutputsAreRemovedBeforeTheToolsRun) {
    BuildRig rig;
    rig.dir.Write("Prog.bin", Pattern(256, 1));
    rig.dir.Write("PROG.BIN", Pattern(256, 2));
    rig.dir.Write("1.r03", {7});
    rig.tools.linkerWrites = false;
    rig.tools.writeObject = false;
    EXPECT_FALSE(BuildWithRunner(rig.s, rig.tools));
    EXPECT_EQ(rig.Log().back(), "Невозможно открыть файл \"prog.bin\"");
    EXPECT_FALSE(rig.dir.Exists("prog_c.bin"));
    EXPECT_FALSE(rig.dir.Exists("1.r03"));
    EXPECT_EQ(rig.s.TempFiles, Lines{rig.BatchPath()}) << "only files really created";
}

TEST(BuildFailures, ToolsThatDoNotRunOrACancel) {
    const std::string failed = "Произошла ошибка компиляции";
    struct Case {
        const char* name;
        std::function<void(BuildRig&)> setup;
        std::size_t calls;
        std::size_t questions;
        Lines tail;
        BuildOutcome outcome;
    };
    const std::vector<Case> cases = {
        {.name = "assembler cannot start",
         .setup = [](BuildRig& r) { r.tools.assembler = ToolRun::Failed; },
         .calls = 1,
         .questions = 0,
         .tail = {failed, ""},
         .outcome = BuildOutcome::Failed},
        {.name = "no assembler",
         .setup = [](BuildRig& r) { r.tools.assembler = ToolRun::NotFound; },
         .calls = 1,
         .questions = 0,
         .tail = {"Не найдена программа A8051.exe (ни в рабочей папке, ни в PATH)", failed, ""},
         .outcome = BuildOutcome::Failed},
        {.name = "user cancels after the assembler",
         .setup = [](BuildRig& r) { r.ui.answers = {false}; },
         .calls = 1,
         .questions = 1,
         .tail = {"0 errors", "Компоновка отменена", ""},
         .outcome = BuildOutcome::Declined},
        {.name = "linker cannot start",
         .setup = [](BuildRig& r) { r.tools.linker = ToolRun::Failed; },
         .calls = 2,
         .questions = 1,
         .tail = {"0 errors", failed, ""},
         .outcome = BuildOutcome::Failed},
        {.name = "no linker",
         .setup = [](BuildRig& r) { r.tools.linker = ToolRun::NotFound; },
         .calls = 2,
         .questions = 1,
         .tail = {"Не найдена программа Xlink.exe (ни в рабочей папке, ни в PATH)", failed, ""},
         .outcome = BuildOutcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildRig rig;
        c.setup(rig);
        BuildOutcome outcome = BuildOutcome::Built;
        EXPECT_FALSE(BuildWithRunner(rig.s, rig.tools, &outcome));
        EXPECT_EQ(outcome, c.outcome);
        const Lines log = rig.Log();
        ASSERT_GE(log.size(), c.tail.size());
        EXPECT_EQ(Lines(log.end() - static_cast<std::ptrdiff_t>(c.tail.size()), log.end()), c.tail);
        EXPECT_EQ(rig.tools.calls.size(), c.calls);
        EXPECT_EQ(rig.ui.boxes.size(), c.questions);
        EXPECT_TRUE(rig.clock.inner.Sleeps().empty()) << "no wait for Prog.bin";
        EXPECT_FALSE(rig.dir.Exists("prog_c.bin"));
    }
    BuildRig rig;
    BuildOutcome outcome = BuildOutcome::Failed;
    EXPECT_TRUE(BuildWithRunner(rig.s, rig.tools, &outcome));
    EXPECT_EQ(outcome, BuildOutcome::Built);
}

TEST(BuildFailures, AsmFileNamesACommandLineWouldInterpret) {
    const std::vector<std::string> bad = {
        "",
        "a&b.asm",
        "a|b.asm",
        "a<b.asm",
        "a>b.asm",
        "a;b.asm",
        "$x.asm",
        "`x`.asm",
        "a\"b.asm",
        "a'b.asm",
        " 1.asm",
        "1.asm ",
        "a b.asm",
        "a\tb.asm",
        "a\nb.asm",
        "../1.asm",
        "dir\\1.asm",
        "/tmp/1.asm",
        "c:1.asm",
        "%PATH%.asm",
        "a^b.asm",
        "-o.asm",
        std::string("a\x7f.asm"),
    };
    for (const std::string& name : bad) {
        SCOPED_TRACE(name);
        BuildRig rig;
        rig.station.settings.AsmFileName = name;
        rig.dir.Write("Prog.bin", {1});
        EXPECT_FALSE(BuildWithRunner(rig.s, rig.tools));
        ASSERT_EQ(rig.Log().size(), 1u);
        EXPECT_EQ(rig.Log()[0].rfind("Недопустимое имя файла ассемблера: \"", 0), 0u);
        EXPECT_EQ(rig.Log()[0].find('\n'), std::string::npos);
        EXPECT_TRUE(rig.tools.calls.empty());
        EXPECT_TRUE(rig.s.TempFiles.empty());
        EXPECT_FALSE(rig.dir.Exists("zentor.bat"));
        EXPECT_TRUE(rig.dir.Exists("Prog.bin")) << "nothing touched";
    }
    for (const char* good : {"1.asm", "test.s", "Прибор_v2.asm", "a-b.asm", "x.y.asm"})
        EXPECT_TRUE(IsPlainAsmFileName(good)) << good;
}

}  // namespace
}  // namespace zentor
