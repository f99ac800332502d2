// zentor-cli in English: --lang en or ZENTOR_LANG=en turns every line of the
// instrument data commands into English, on success and on failure; a language
// it does not have is a usage error.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "config/config_store.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

// UTF-8 Cyrillic letters all start with 0xD0 or 0xD1.
bool HasCyrillic(const std::string& s) {
    for (unsigned char c : s)
        if (c == 0xD0 || c == 0xD1) return true;
    return false;
}

class CliLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_);
        ASSERT_TRUE(WriteFileAtomic(root_ / "cal.bin", calibration_));
        ASSERT_TRUE(WriteFileAtomic(dir_ / "data.bin", Pattern(512, 3)));
        Settings st;
        st.TypeController = 4;
        st.BaudRate = SimProcess::kDefaultBaud;
        st.DopPause = 0;
        st.SizeData = 512;
        st.PauseRestart = 0;
        WriteConfig(root_ / "z.ini", st);
    }

    std::vector<std::string> SimArgs(std::vector<std::string> more = {}) const {
        std::vector<std::string> args{"--data-flash-size", "512", "--data-file",
                                      (root_ / "cal.bin").string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    // zentor-cli with `env` as its whole environment.
    CliResult Run(const std::vector<std::string>& env, const std::vector<std::string>& lang,
                  const std::string& port, const std::string& command) const {
        std::vector<std::string> args{
            "--config", (root_ / "z.ini").string(), "--port", port, "--dir", dir_.string()};
        args.insert(args.end(), lang.begin(), lang.end());
        args.push_back(command);
        return RunCliIn(env, args, std::chrono::seconds(60), ZENTOR_CLI_PATH);
    }

    const ScratchDir scratch_{"cli-lang"};
    const fs::path root_ = scratch_.path();
    const fs::path dir_ = root_ / "work";
    const Bytes calibration_ = Pattern(512, 4);
};

struct Choice {
    const char* what;
    std::vector<std::string> env;
    std::vector<std::string> option;
};

const Choice kEnglish[] = {
    {"--lang en", {}, {"--lang", "en"}},
    {"ZENTOR_LANG=en", {"ZENTOR_LANG=en"}, {}},
    {"--lang en over ZENTOR_LANG=ru", {"ZENTOR_LANG=ru"}, {"--lang", "en"}},
};

TEST_F(CliLanguage, InstrumentDataCommandsSpeakEnglish) {
    for (const Choice& c : kEnglish) {
        SCOPED_TRACE(c.what);
        SimProcess sim(SimArgs());
        const CliResult read = Run(c.env, c.option, sim.DevicePath(), "read-data");
        EXPECT_EQ(read.status, 0) << read.out << read.err;
        EXPECT_FALSE(HasCyrillic(read.out + read.err)) << read.out << read.err;
        EXPECT_NE(read.out.find("Reading DATA FLASH - Ok\n"), std::string::npos) << read.out;
        EXPECT_EQ(ReadWholeFile(dir_ / "data_rd.bin"), calibration_);
        for (const char* command : {"write-data", "restart"}) {
            const CliResult r = Run(c.env, c.option, sim.DevicePath(), command);
            EXPECT_EQ(r.status, 0) << command << r.out << r.err;
            EXPECT_FALSE(HasCyrillic(r.out + r.err)) << command << r.out << r.err;
            EXPECT_NE(r.out.find("Restart - OK\n"), std::string::npos) << command << r.out;
        }
    }
}

TEST_F(CliLanguage, FailuresSpeakEnglishToo) {
    SimProcess silent(SimArgs({"--no-answer"}));
    const CliResult r = Run({}, {"--lang", "en"}, silent.DevicePath(), "read-data");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "Reading DATA FLASH ...\n\nSelecting DATA FLASH page = 0 ...\nCommand failed.\n"
              "No link with the instrument!\n\n");
    const CliResult missing =
        Run({"ZENTOR_LANG=en"}, {}, (root_ / "no-such-tty").string(), "read-data");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "[Zentor MSC1210Y5] Cannot open \"" + (root_ / "no-such-tty").string() +
                               "\",\nno such port.\n");
}

TEST_F(CliLanguage, RussianByNameOrOverEnglishEnvironment) {
    SimProcess sim(SimArgs());
    const Choice russian[] = {
        {"ZENTOR_LANG=ru", {"ZENTOR_LANG=ru"}, {}},
        {"--lang ru over ZENTOR_LANG=en", {"ZENTOR_LANG=en"}, {"--lang", "ru"}},
        {"empty ZENTOR_LANG", {"ZENTOR_LANG="}, {}}};
    for (const Choice& c : russian) {
        const CliResult r = Run(c.env, c.option, sim.DevicePath(), "read-data");
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        EXPECT_NE(r.out.find("Чтение DATA FLASH - Ok\n"), std::string::npos) << c.what << r.out;
    }
}

TEST_F(CliLanguage, UnknownLanguagesAreRefused) {
    const std::string port = (root_ / "no-such-tty").string();
    const CliResult option = Run({}, {"--lang", "xx"}, port, "read-data");
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("--lang"), std::string::npos) << option.err;
    EXPECT_NE(option.err.find("xx"), std::string::npos) << option.err;
    EXPECT_EQ(option.out, "");
    const CliResult env = Run({"ZENTOR_LANG=de"}, {}, port, "read-data");
    EXPECT_EQ(env.status, 2);
    EXPECT_EQ(env.err, "ZENTOR_LANG=de: not a language of zentor-cli (ru, en)\n");
    EXPECT_EQ(env.out, "");
}

}  // namespace
}  // namespace zentor::test
