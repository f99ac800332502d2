// zentor-cli --json: every line of standard output is an event valid against
// docs/events.schema.json, the last one carries the exit status, and the human
// log is on standard error. The schema is checked by an independent validator
// (python3-jsonschema), not by our own code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/files.h"
#include "common/image_key.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/sim_process.h"

namespace zentor::test {
namespace {

namespace fs = std::filesystem;

constexpr int kDataSize = 1024;

// The validator's verdict on `out`; empty when every line passed.
std::string Validate(const fs::path& dir, const std::string& out, int status) {
    const fs::path lines = dir / "events.jsonl";
    const fs::path report = dir / "report.txt";
    if (!WriteFileAtomic(lines, Bytes(out.begin(), out.end())))
        return "cannot write " + lines.string();
    const std::string command =
        "python3 " ZENTOR_SOURCE_DIR "/scripts/check-json-lines.py " ZENTOR_SOURCE_DIR
        "/docs/events.schema.json '" +
        lines.string() + "' " + std::to_string(status) + " > '" + report.string() + "' 2>&1";
    const int rc = std::system(command.c_str());
    return rc == 0 ? std::string() : Slurp(report) + "\n" + out;
}

TEST(JsonEvents, EveryLineIsAnEventAndTheLastCarriesTheStatus) {
    const ScratchDir dir("json");
    Bytes program = Pattern(3000, 1);
    ScrambleImage(program);
    ASSERT_TRUE(WriteFileAtomic(dir / "prog_c.bin", program));
    const Bytes calibration = Pattern(kDataSize, 7);
    ASSERT_TRUE(WriteFileAtomic(dir / "cal.bin", calibration));
    Settings st;
    st.BaudRate = SimProcess::kDefaultBaud;
    st.DopPause = 0;
    st.SizeData = kDataSize;
    st.MaxKolReadings = 1;
    WriteConfig(dir / "z.ini", st);
    SimProcess sim({"--data-flash-size", std::to_string(kDataSize), "--data-file",
                    (dir / "cal.bin").string(), "--identity", "14,7,15,10"});
    const std::string missing = (dir / "no-such-port").string();

    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> outHas;  // texts some event must carry
    } cases[] = {
        {"read-data", {"read-data", "--port", sim.DevicePath()}, 0, {"\"event\":\"progress\""}},
        // A catalogue text's event names its id.
        {"read-data, message id",
         {"read-data", "--port", sim.DevicePath()},
         0,
         {"\"id\":\"restart.ok\""}},
        {"update",
         {"update", "--mode", "keep", "--yes", "--port", sim.DevicePath()},
         0,
         // The restart sent after Prog finds the chip in its boot ROM and gets no
         // echo; that is not the run's link error.
         {"\"serial\":\"14v071510\"", "\"link_error\":\"none\""}},
        {"update on a missing port", {"update", "--yes", "--port", missing}, 1, {"\"status\":1"}},
        {"settings", {"settings"}, 0, {"\"exit_status\":0"}},
        {"journal", {"journal"}, 0, {"\"event\":\"record\""}},
        {"update on two ports",
         {"update", "--yes", "--ports", sim.DevicePath() + "," + missing},
         1,
         {"\"port\":\"" + missing + "\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--json", "--config", (dir / "z.ini").string(), "--dir",
                                         dir.path().string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args, {}, std::chrono::seconds(90));
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(Validate(dir.path(), r.out, c.status), "");
        for (const std::string& has : c.outHas)
            EXPECT_NE(r.out.find(has), std::string::npos) << has;
        // The human log went to standard error.
        if (c.status == 0 && std::string(c.name) != "journal") {
            EXPECT_FALSE(r.err.empty());
        }
    }
}

}  // namespace
}  // namespace zentor::test
