// Command line of zentor-sim: the simulated device, its contents and its faults.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zentor::sim {

struct Options {
    // Running firmware.
    int address = 1;
    int versionCode = 120;
    std::array<std::uint8_t, 4> identity{14, 7, 15, 10};
    // Chip and its memories.
    std::string chip = "Y5";
    int flashSize = 32768;
    int dataFlashSize = 2048;
    std::string dataFile;
    std::string codeFile;
    std::uint8_t hcr0 = 0x7D;
    std::uint8_t hcr1 = 0xA3;
    bool jumper = false;
    // Hardware programmer instead of a board.
    bool programmer = false;
    int progCodeSize = 8192;
    int progDataSize = 2048;
    // Wire and host side.
    long baud = 0;
    bool matchBaud = false;  // hear the line only while the tool has it at `baud`
    std::string stateDir;
    std::string hexLog;
    std::string rxLog;
    std::string linkDir;
    int com = 0;
    bool verbose = false;
    // Faults of the running firmware; exchanges count from 1.
    bool noAnswer = false;
    std::set<long> badCrc;
    std::set<long> shortReply;
    bool surplus = false;
    bool noise = false;
    std::set<int> statusFail;
    std::set<long> flipReading;
    long dieAfter = 0;
    long restartAfter = 0;
    // Faults of the boot ROM; records count from 1.
    bool noBanner = false;
    bool wrongBanner = false;
    bool eraseFail = false;
    long silentAfterRecord = 0;
    std::set<long> refuseRecord;
    std::set<long> corruptRecord;
    long dieAfterRecord = 0;
    // Faults of the programmer.
    std::set<long> verifyFailPage;
    bool noSync = false;
};

// Parses argv; on a bad or unknown option returns nullopt and puts the reason in
// *error. "--help" returns nullopt with an empty error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

std::string Usage();

}  // namespace zentor::sim
