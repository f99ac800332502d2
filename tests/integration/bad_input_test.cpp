// Wrong, damaged or hand-edited input through zentor-cli: every case ends in a
// clear message before the device is touched (the simulator's receive log shows
// what reached it), leaves the user's files as they were, and never crashes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/cp1251.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Scrambled(Bytes b) {
    ScrambleImage(b);
    return b;
}

// What the device received.
enum class Sent {
    Nothing,
    Identification,  // only the identification read of the update
};

struct Files {
    fs::path dir;
    void Put(const std::string& name, const Bytes& bytes) const {
        if (!WriteFileAtomic(dir / name, bytes)) throw std::runtime_error("cannot write " + name);
    }
    void Remove(const std::string& name) const { fs::remove(dir / name); }
};

struct BadInput {
    const char* name;
    std::vector<std::string> command;  // the CLI command and its own options
    std::function<void(Settings&, const Files&)> prepare;
    std::string message;  // on stdout or stderr
    Sent sent = Sent::Nothing;
    std::vector<std::string> simArgs = {};
};

void PrintTo(const BadInput& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<std::string> kProgram = {"program", "--yes"};
const std::vector<std::string> kKeep = {"update", "--mode", "keep", "--yes"};
const std::vector<std::string> kFactory = {"update", "--mode", "factory", "--yes"};

auto SetType(int type) {
    return [type](Settings& s, const Files&) { s.TypeController = type; };
}
auto Put(const char* name, std::size_t size) {
    return [=](Settings&, const Files& f) { f.Put(name, Pattern(size, 7)); };
}
auto PutScrambled(std::size_t size) {
    return [=](Settings&, const Files& f) { f.Put("prog_c.bin", Scrambled(Pattern(size, 7))); };
}
auto Remove(const char* name) {
    return [=](Settings&, const Files& f) { f.Remove(name); };
}
auto Hcr(const char* hcr0, const char* hcr1) {
    return [=](Settings& s, const Files&) {
        s.HCR0Value = hcr0;
        s.HCR1Value = hcr1;
    };
}
auto SizeData(int size) {
    return [size](Settings& s, const Files&) { s.SizeData = size; };
}
auto Address(int address) {
    return [address](Settings& s, const Files&) { s.AdrPribor = address; };
}
auto Baud(int baud) {
    return [baud](Settings& s, const Files&) { s.BaudRate = baud; };
}

const std::string kAddressRefused = " вне диапазона 1..63";

// clang-format off
const BadInput kCases[] = {
    // Images for the boot ROM (MSC1210Y2: 4096 bytes of flash).
    {"ProgBinMissing", kProgram, Remove("prog.bin"), "Невозможно открыть файл \"prog.bin\""},
    {"ProgBinEmpty", kProgram, Put("prog.bin", 0), "Файл \"prog.bin\" пуст - запись отменена"},
    {"ProgBinOversized", kProgram, Put("prog.bin", 65537),
     "Файл \"prog.bin\" больше 65536 байт - запись отменена"},
    {"DataBinMissing", kProgram, Remove("data.bin"), "Невозможно открыть файл data.bin"},
    {"DataBinOversized", kProgram, Put("data.bin", 65537),
     "Файл data.bin больше 65536 байт - запись отменена"},
    {"DataBinLargerThanTheChip", kProgram, Put("data.bin", 4352),
     "Файл data.bin (4352 байт) больше FLASH (4096 байт) - запись отменена"},
    {"ProgramReachesIntoTheDataFlash", kProgram,
     [](Settings&, const Files& f) {
         f.Put("prog.bin", Pattern(3200, 1));
         f.Put("data.bin", Pattern(1024, 2));
     },
     "Программа (3200 байт) заходит в область данных с адреса 0C00h - запись отменена"},
    {"DataBinNotWholeRecords", kProgram, Put("data.bin", 300),
     "Длина файла data.bin (300 байт) не кратна 128 - запись отменена"},
    {"ProgrammerProgBinOversized", kProgram,
     [](Settings& s, const Files& f) {
         s.TypeController = 0;
         f.Put("prog.bin", Pattern(65537, 1));
     },
     "Файл \"prog.bin\" больше 65536 байт - запись отменена", Sent::Nothing, {"--programmer"}},
    // data.bin for the instrument's DATA FLASH.
    {"WriteDataMissing", {"write-data"}, Remove("data.bin"), "Невозможно открыть файл data.bin"},
    {"WriteDataOversized", {"write-data"}, Put("data.bin", 65537),
     "Файл data.bin больше 65536 байт"},
    {"WriteDataIsAFolder", {"write-data"},
     [](Settings&, const Files& f) {
         f.Remove("data.bin");
         fs::create_directory(f.dir / "data.bin");
     },
     "Невозможно открыть файл data.bin"},
    // Images of the field update (MSC1210Y5), refused before the instrument is
    // asked anything.
    {"UpdateProgCMissing", kKeep, Remove("prog_c.bin"), "Файл prog_c.bin не обнаружен!"},
    {"UpdateProgCEmpty", kKeep, PutScrambled(0), "Файл \"prog_c.bin\" пуст - запись отменена"},
    {"UpdateProgCOversized", kKeep, PutScrambled(65537),
     "Файл \"prog_c.bin\" больше 65536 байт - запись отменена"},
    // The DATA FLASH image of keep mode is SizeData bytes (512: from 7E00h); the
    // overlap shows once the mode is chosen, after the identification.
    {"UpdateProgCReachesIntoTheDataFlash", kKeep, PutScrambled(32512),
     "Программа (32512 байт) заходит в область данных с адреса 7E00h - запись отменена",
     Sent::Identification},
    // Factory mode asks for data.bin after the instrument has identified itself.
    {"UpdateFactoryWithoutDataBin", kFactory, Remove("data.bin"), "Файл data.bin не обнаружен!",
     Sent::Identification},
    {"EncodeProgBinOversized", {"encode", "14v071510"}, Put("prog.bin", 65537),
     "Файл prog.bin слишком большой: 65537 байт (допустимо не более 65536)"},
    // Hand-edited HCR texts and controller types.
    {"Hcr0NotHexadecimal", kProgram, Hcr("7G", "A3"),
     "Неверное значение HCR0: \"7G\" - запись отменена"},
    {"Hcr1OneDigit", kProgram, Hcr("7D", "A"), "Неверное значение HCR1: \"A\" - запись отменена"},
    {"Hcr1ThreeDigits", kProgram, Hcr("7D", "A30"),
     "Неверное значение HCR1: \"A30\" - запись отменена"},
    {"Hcr1EmptyOnUpdate", kKeep, Hcr("7D", ""), "Неверное значение HCR1: \"\" - запись отменена"},
    {"TypeController5", kProgram, SetType(5), "Неизвестный тип контроллера 5 - запись отменена"},
    {"TypeControllerNegative", kProgram, SetType(-1),
     "Неизвестный тип контроллера -1 - запись отменена"},
    {"TypeController9OnUpdate", kKeep, SetType(9),
     "Неизвестный тип контроллера 9 - запись отменена"},
    // Sizes of the DATA FLASH read.
    {"SizeDataNotWholePages", {"read-data"}, SizeData(300),
     "Размер данных 300 байт должен быть кратен 256"},
    {"SizeDataBeyondTheImage", {"read-data"}, SizeData(70000),
     "Размер данных 70000 байт вне диапазона 0..65536"},
    {"SizeDataNotWholePagesOnUpdate", kKeep, SizeData(300),
     "Размер данных 300 байт должен быть кратен 256", Sent::Identification},
    // Keep mode with nothing to read would erase the instrument's settings and
    // write nothing back.
    {"SizeDataZeroOnKeepUpdate", kKeep, SizeData(0),
     "Размер данных 0 байт - сохранить текущие настройки нельзя", Sent::Identification},
    // Bit rates the driver refuses.
    {"BitRateRefusedOnRead", {"read-data"}, Baud(0), "не установлены"},
    {"BitRateRefusedOnUpdate", kKeep, Baud(0), "не установлены"},
    // Addresses whose frames would carry kind bits in the address byte.
    {"Address0OnRead", {"read-data"}, Address(0), "Адрес устройства 0" + kAddressRefused},
    {"Address64OnWrite", {"write-data"}, Address(64), "Адрес устройства 64" + kAddressRefused},
    {"Address128OnRestart", {"restart"}, Address(128), "Адрес устройства 128" + kAddressRefused},
    {"Address191OnProg", {"prog"}, Address(191), "Адрес устройства 191" + kAddressRefused},
    {"AddressNegativeOnIdentify", {"identify"}, Address(-3),
     "Адрес устройства -3" + kAddressRefused},
    {"Address65OnUpdate", kKeep, Address(65), "Адрес устройства 65" + kAddressRefused},
};
// clang-format on

class BadInputFixture : public ::testing::TestWithParam<BadInput> {
protected:
    using Contents = std::map<std::string, std::optional<Bytes>>;

    // Every file of the folder with its contents (folders as empty entries).
    Contents Snapshot() const {
        Contents out;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            const std::string rel = fs::relative(e.path(), dir_).string();
            // The folder's lock and the journal of runs are the tool's, not the user's.
            if (rel == "rx.log" || rel == "zentor.lock" || rel == "journal.csv") continue;
            out[rel] = e.is_regular_file() ? ReadWholeFile(e.path()) : std::nullopt;
        }
        return out;
    }

    // The names that appeared, vanished or changed.
    static std::string Changes(const Contents& before, const Contents& after) {
        std::string out;
        for (const auto& [name, bytes] : before) {
            const auto it = after.find(name);
            if (it == after.end())
                out += " -" + name;
            else if (it->second != bytes)
                out += " ~" + name;
        }
        for (const auto& [name, bytes] : after)
            if (!before.count(name)) out += " +" + name;
        return out;
    }

    const ScratchDir scratch_{"bad-input"};
    const fs::path dir_ = scratch_.path();
};

TEST_P(BadInputFixture, RefusedBeforeTheDeviceIsTouched) {
    const BadInput& c = GetParam();
    const bool update = c.command[0] == "update";
    const bool programmer =
        std::find(c.simArgs.begin(), c.simArgs.end(), "--programmer") != c.simArgs.end();
    Files files{dir_};
    files.Put("prog.bin", Pattern(1024, 1));
    files.Put("prog_c.bin", Scrambled(Pattern(1024, 1)));
    files.Put("data.bin", Pattern(512, 2));
    files.Put("data_rd.bin", Pattern(512, 3));

    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.ControlWrite = true;
    // The chip and DATA FLASH size the command expects.
    st.TypeController = update ? 4 : 1;
    st.SizeData = 512;
    c.prepare(st, files);
    WriteConfig(dir_ / "z.ini", st);

    std::vector<std::string> simArgs = {"--rx-log", (dir_ / "rx.log").string()};
    if (!programmer) {
        simArgs.insert(simArgs.end(), {"--chip", update ? "Y5" : "Y2", "--data-flash-size", "512"});
        if (c.command[0] == "program") simArgs.push_back("--jumper");
    }
    simArgs.insert(simArgs.end(), c.simArgs.begin(), c.simArgs.end());
    SimProcess sim(simArgs);
    const Contents before = Snapshot();

    std::vector<std::string> args = {"--config", (dir_ / "z.ini").string()};
    args.insert(args.end(), c.command.begin(), c.command.end());
    args.insert(args.end(), {"--port", sim.DevicePath(), "--dir", dir_.string()});
    const CliResult r = RunCli(args, {}, std::chrono::seconds(60));
    const std::string shown = "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;

    EXPECT_EQ(r.status, 1) << shown;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << shown;
    // The user's files are as they were.
    EXPECT_EQ(Changes(before, Snapshot()), "") << shown;

    const Bytes rx = ReadWholeFile(dir_ / "rx.log").value_or(Bytes{});
    if (c.sent == Sent::Nothing) {
        EXPECT_TRUE(rx.empty()) << rx.size() << " bytes reached the device" << shown;
    } else {
        EXPECT_EQ(rx, WithChecksum({0x81, 0xEC, 0x03})) << shown;
    }
    EXPECT_TRUE(sim.Running());
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputFixture, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Hand-edited configuration files, as the Win32 profile functions read them.

std::string Cp(const std::string& utf8) {
    return Utf8ToCp1251(utf8);
}

// `zentor-cli settings` for a configuration file of these bytes: name = value.
std::map<std::string, std::string> ShownSettings(const fs::path& dir, const std::string& bytes,
                                                 int* status) {
    const fs::path ini = dir / "hand.ini";
    if (!WriteFileAtomic(ini, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        throw std::runtime_error("cannot write hand.ini");
    const CliResult r = RunCli({"--config", ini.string(), "settings"});
    *status = r.status;
    std::map<std::string, std::string> shown;
    for (const auto& line : r.OutLines()) {
        const auto eq = line.find(" = ");
        if (eq != std::string::npos) shown[line.substr(0, eq)] = line.substr(eq + 3);
    }
    return shown;
}

class HandEditedConfig : public ::testing::Test {
protected:
    const ScratchDir scratch_{"hand-ini"};
    const fs::path dir_ = scratch_.path();
};

TEST_F(HandEditedConfig, ReadLikeTheProfileFunctions) {
    std::string garbage;
    unsigned x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>((x >> 16) & 0xFF);
    }
    std::string printable;  // garbage without line ends and NULs
    for (char ch : garbage)
        if (ch != '\n' && ch != '\r' && ch != '\0' && ch != '[') printable += ch;
    const std::string section = Cp("[Настройки]");
    const std::string longValue(5000, 'x');

    const struct {
        const char* name;
        std::string bytes;
        std::map<std::string, std::string> expected;  // the rest have their defaults
    } cases[] = {
        {"binary garbage", garbage, {}},
        {"garbage lines before the section",
         printable + "\r\n" + printable + "\r\n" + section + "\r\n" + Cp("Адрес устройства=7\r\n"),
         {{"AdrPribor", "7"}}},
        {"a 1 MiB line before the section",
         std::string(1 << 20, 'z') + "\r\n" + section + "\r\n" + Cp("Тип контроллера=2\r\n"),
         {{"TypeController", "2"}}},
        {"a value longer than the profile buffer",
         section + "\r\n" + Cp("Имя асемблерного файла=") + longValue + "\r\n",
         {{"AsmFileName", std::string(2047, 'x')}}},
        {"duplicate keys: the first wins",
         section + "\r\n" +
             Cp("Адрес устройства=5\r\nАдрес устройства=9\r\nHCR0=11\r\nhcr0=22\r\n"),
         {{"AdrPribor", "5"}, {"HCR0Value", "11"}}},
        {"no line end after the last value",
         section + "\r\n" + Cp("Скорость порта (бит/с)=19200\r\nHCR1=93"),
         {{"BaudRate", "19200"},
          {"HCR1Value", "93"},
          {"HCR1FromFile", "93"},
          {"HCR1KeyPresent", "1"}}},
        {"line feeds only",
         section + "\n" + Cp("Количество вычитываний=4\nПорт=COM7\n"),
         {{"MaxKolReadings", "4"}, {"NamePort", "COM7"}}},
        // UTF-8 names are other bytes than the Windows-1251 ones: nothing matches.
        {"UTF-8 instead of Windows-1251",
         "[Настройки]\r\nТип контроллера=2\r\nАдрес устройства=9\r\nHCR1=93\r\n",
         {}},
        // A Windows-1251 file whose value was typed in UTF-8 keeps the bytes.
        {"UTF-8 value in a Windows-1251 file",
         section + "\r\n" + Cp("Имя асемблерного файла=") + "файл.asm\r\n",
         {{"AsmFileName", Cp1251ToUtf8("файл.asm")}}},
        {"values that do not parse",
         section + "\r\n" +
             Cp("Адрес устройства=abc\r\n"
                "Скорость порта (бит/с)=0x2580\r\n"
                "Тип контроллера=99999999999\r\n"),
         {{"BaudRate", "9600"}}},
    };
    const std::map<std::string, std::string> defaults = {
        {"TypeController", "4"}, {"NamePort", "COM3"},    {"BaudRate", "9600"},
        {"PauseRestart", "0"},   {"AdrPribor", "1"},      {"ControlWrite", "0"},
        {"DopPause", "300"},     {"MaxKolReadings", "2"}, {"ShowStopButton", "1"},
        {"SizeData", "2048"},    {"HCR0Value", "7D"},     {"HCR1Value", "A3"},
        {"HCR1FromFile", "A3"},  {"HCR1KeyPresent", "0"}, {"AsmFileName", "1.asm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> expected = defaults;
        for (const auto& [k, v] : c.expected) expected[k] = v;
        int status = -1;
        const auto shown = ShownSettings(dir_, c.bytes, &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(shown, expected);
    }
}

// ---------------------------------------------------------------------------
// Folders the tool cannot write to. Root ignores permission bits, so the folder
// is made immutable (FS_IMMUTABLE_FL, which root respects); file systems without
// that flag skip these cases. A path whose parent is a file is the other trap.

class ImmutableDir {
public:
    explicit ImmutableDir(const fs::path& dir) : dir_(dir) { ok_ = Set(true); }
    ~ImmutableDir() {
        if (ok_) Set(false);
    }
    bool ok() const { return ok_; }

private:
    bool Set(bool on) {
        const int fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }
    fs::path dir_;
    bool ok_ = false;
};

class UnwritableFolder : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_);
        fs::create_directory(root_ / "sim");
        Put("prog_c.bin", Scrambled(program_));
        Put("data.bin", Pattern(512, 2));
        Put("cal.bin", calibration_);
        WriteFileAtomic(root_ / "sim" / "cal.bin", calibration_);
        Settings st;
        st.BaudRate = SimProcess::kDefaultBaud;
        st.DopPause = 0;
        st.SizeData = 512;
        WriteConfig(root_ / "z.ini", st);
    }
    void Put(const std::string& name, const Bytes& b) {
        ASSERT_TRUE(WriteFileAtomic(dir_ / name, b));
    }

    std::vector<std::string> SimArgs() const {
        return {"--data-flash-size", "512",
                "--data-file",       (root_ / "sim" / "cal.bin").string(),
                "--rx-log",          (root_ / "sim" / "rx.log").string()};
    }
    Bytes Received() const { return ReadWholeFile(root_ / "sim" / "rx.log").value_or(Bytes{}); }
    CliResult Run(std::vector<std::string> command, const SimProcess& sim) const {
        std::vector<std::string> args = {"--config", (root_ / "z.ini").string()};
        args.insert(args.end(), command.begin(), command.end());
        args.insert(args.end(), {"--port", sim.DevicePath(), "--dir", dir_.string(), "--journal",
                                 (root_ / "journal.csv").string()});
        return RunCli(args, {}, std::chrono::seconds(60));
    }
    static bool Has(const Bytes& rx, const Bytes& frame) {
        return std::search(rx.begin(), rx.end(), frame.begin(), frame.end()) != rx.end();
    }

    const ScratchDir scratch_{"unwritable"};
    const fs::path root_ = scratch_.path();
    const fs::path dir_ = root_ / "work";
    const Bytes program_ = Pattern(1024, 1);
    const Bytes calibration_ = Pattern(512, 4);
    const Bytes oldReading_ = Pattern(512, 5);
    const Bytes restartFrame_ = WithChecksum({0x01, 0xFF, 0x01});
    const Bytes progFrame_ = WithChecksum({0x01, 0xFD, 0xAF});
};

// The reading cannot be saved: the earlier file stays, and no restart follows.
TEST_F(UnwritableFolder, ReadDataKeepsTheEarlierFile) {
    Put("data_rd.bin", oldReading_);
    ImmutableDir lock(dir_);
    if (!lock.ok()) GTEST_SKIP() << "this file system has no immutable folders";
    SimProcess sim(SimArgs());
    const CliResult r = Run({"read-data"}, sim);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const auto lines = r.OutLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Чтение DATA FLASH - Ok");
    EXPECT_EQ(lines.back(), "Невозможно открыть файл data_rd.bin");
    EXPECT_EQ(ReadWholeFile(dir_ / "data_rd.bin"), oldReading_);
    EXPECT_FALSE(Has(Received(), restartFrame_));
}

// Keep mode must put the earlier reading aside first; it cannot, so the run
// stops after the identification and the instrument keeps running.
TEST_F(UnwritableFolder, UpdateStopsBeforeTheInstrumentIsPrepared) {
    Put("data_rd.bin", oldReading_);
    ImmutableDir lock(dir_);
    if (!lock.ok()) GTEST_SKIP() << "this file system has no immutable folders";
    SimProcess sim(SimArgs());
    const CliResult r = Run({"update", "--mode", "keep", "--yes"}, sim);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Невозможно переименовать файл data_rd.bin"), std::string::npos) << r.out;
    EXPECT_EQ(ReadWholeFile(dir_ / "data_rd.bin"), oldReading_);
    EXPECT_FALSE(Has(Received(), progFrame_));
    EXPECT_EQ(sim.Mode(), "firmware");
    EXPECT_EQ(sim.DataFlash(), calibration_);
}

// Nothing earlier to put aside: the fresh reading cannot be written, the update
// finds no data_rd.bin and stops before Prog.
TEST_F(UnwritableFolder, UpdateWithoutRoomForTheReading) {
    ImmutableDir lock(dir_);
    if (!lock.ok()) GTEST_SKIP() << "this file system has no immutable folders";
    SimProcess sim(SimArgs());
    const CliResult r = Run({"update", "--mode", "keep", "--yes"}, sim);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const auto lines = r.OutLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Невозможно открыть файл data_rd.bin");
    EXPECT_EQ(lines.back(), "Файл data_rd.bin не обнаружен!");
    EXPECT_FALSE(Has(Received(), progFrame_));
    EXPECT_EQ(sim.Mode(), "firmware");
}

TEST_F(UnwritableFolder, EncodeWritesNothing) {
    Put("prog.bin", program_);
    ImmutableDir lock(dir_);
    if (!lock.ok()) GTEST_SKIP() << "this file system has no immutable folders";
    const CliResult r = RunCli({"encode", "14v071510", "--dir", dir_.string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "Невозможно открыть файл n.bin\n");
    EXPECT_FALSE(fs::exists(dir_ / "n.bin"));
}

// backup/ is a file: the calibration cannot be backed up, so the chip is not
// touched; the reading itself is on disk.
TEST_F(UnwritableFolder, UpdateWhenTheBackupFolderIsAFile) {
    Put("backup", Bytes{'x'});
    SimProcess sim(SimArgs());
    const CliResult r = Run({"update", "--mode", "keep", "--yes"}, sim);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Невозможно сохранить резервную копию DATA FLASH: backup/14v071510_"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadWholeFile(dir_ / "data_rd.bin"), calibration_);
    EXPECT_EQ(ReadWholeFile(dir_ / "backup"), Bytes{'x'});
    EXPECT_FALSE(Has(Received(), progFrame_));
    EXPECT_EQ(sim.Mode(), "firmware");
}

// data_rd.bin is a folder: the reading cannot replace it.
TEST_F(UnwritableFolder, ReadDataWhenDataRdIsAFolder) {
    fs::create_directory(dir_ / "data_rd.bin");
    SimProcess sim(SimArgs());
    const CliResult r = Run({"read-data"}, sim);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.OutLines().back(), "Невозможно открыть файл data_rd.bin");
    EXPECT_TRUE(fs::is_directory(dir_ / "data_rd.bin"));
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".tmp~"), std::string::npos) << e.path();
}

}  // namespace
}  // namespace zentor::test
