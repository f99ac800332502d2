#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace zentor::sim {
namespace {

// Decimal, or hexadecimal with a 0x prefix.
bool ParseNumber(const std::string& text, long min, long max, long* out) {
    if (text.empty()) return false;
    int base = 10;
    const char* begin = text.c_str();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(begin, &end, base);
    if (errno != 0 || end == begin || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseHexByte(const std::string& text, std::uint8_t* out) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
    }
    if (digits.empty() || digits.size() > 2) return false;
    char* end = nullptr;
    long v = std::strtol(digits.c_str(), &end, 16);
    if (*end != '\0') return false;
    *out = static_cast<std::uint8_t>(v);
    return true;
}

int FlashSizeOf(const std::string& chip) {
    if (chip == "Y2") return 4096;
    if (chip == "Y3") return 8192;
    if (chip == "Y4") return 16384;
    if (chip == "Y5") return 32768;
    return 0;
}

}  // namespace

std::string Usage() {
    return "usage: zentor-sim [options]\n"
           "Simulates one instrument, boot ROM or programmer on a pseudo-terminal and prints\n"
           "the terminal's path as the first line of standard output.\n"
           "  --address N            device address 1..63 (1)\n"
           "  --version-code N       value of register EDh (120)\n"
           "  --identity P,M,N1,N2   identification bytes of register ECh (14,7,15,10)\n"
           "  --chip Y2|Y3|Y4|Y5     flash size 4/8/16/32 KiB (Y5)\n"
           "  --data-flash-size N    DATA FLASH bytes at the top of the flash (2048)\n"
           "  --data-file FILE       initial DATA FLASH contents\n"
           "  --code-file FILE       initial flash contents from address 0\n"
           "  --hcr0 XX --hcr1 YY    configuration bytes (7D, A3)\n"
           "  --jumper               boot into the boot ROM\n"
           "  --programmer           act as the hardware programmer\n"
           "  --prog-code-size N     programmer code memory (8192)\n"
           "  --prog-data-size N     programmer data memory (2048)\n"
           "  --baud N               pace the wire at N bit/s, 10 bits a byte (0 = unpaced)\n"
           "  --match-baud           hear nothing while the tool's terminal is at another rate\n"
           "  --state-dir DIR        where dumps go (flash.bin, data.bin, hcr.txt, mode.txt)\n"
           "  --hex-log FILE         append every hex record received\n"
           "  --rx-log FILE          append every byte received\n"
           "  --link DIR --com N     create DIR/dosdevices/comN -> terminal\n"
           "  --verbose              trace commands on standard error\n"
           "  --version              print the version and exit\n"
           "faults (exchanges and records count from 1):\n"
           "  --no-answer --bad-crc K --short-reply K --surplus --noise --status-fail P\n"
           "  --flip-reading N --die-after K --restart-after K\n"
           "  --no-banner --wrong-banner --erase-fail --silent-after-record K\n"
           "  --refuse-record K --corrupt-record K --die-after-record K\n"
           "  --verify-fail-page A --no-sync\n"
           "signals: USR1 dump, USR2 power cycle, TERM/INT dump and exit\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    using Handler = std::function<bool(const std::string&)>;
    auto number = [](auto* target, long min, long max) -> Handler {
        return [=](const std::string& v) {
            long n = 0;
            if (!ParseNumber(v, min, max, &n)) return false;
            *target = static_cast<std::remove_pointer_t<decltype(target)>>(n);
            return true;
        };
    };
    auto countSet = [](auto* target, long min, long max) -> Handler {
        return [=](const std::string& v) {
            long n = 0;
            if (!ParseNumber(v, min, max, &n)) return false;
            target->insert(
                static_cast<typename std::remove_pointer_t<decltype(target)>::value_type>(n));
            return true;
        };
    };
    auto text = [](std::string* target) -> Handler {
        return [=](const std::string& v) {
            *target = v;
            return !v.empty();
        };
    };
    const long kMaxCount = 1L << 40;
    std::map<std::string, Handler> valued = {
        {"--address", number(&o.address, 1, 63)},
        {"--version-code", number(&o.versionCode, 0, 255)},
        {"--identity",
         [&](const std::string& v) {
             std::size_t start = 0;
             for (int i = 0; i < 4; ++i) {
                 std::size_t comma = v.find(',', start);
                 if ((i < 3) != (comma != std::string::npos)) return false;
                 long n = 0;
                 if (!ParseNumber(v.substr(start, comma - start), 0, 255, &n)) return false;
                 o.identity[i] = static_cast<std::uint8_t>(n);
                 start = comma + 1;
             }
             return true;
         }},
        {"--chip",
         [&](const std::string& v) {
             o.chip = v;
             o.flashSize = FlashSizeOf(v);
             return o.flashSize != 0;
         }},
        {"--data-flash-size", number(&o.dataFlashSize, 0, 65536)},
        {"--data-file", text(&o.dataFile)},
        {"--code-file", text(&o.codeFile)},
        {"--hcr0", [&](const std::string& v) { return ParseHexByte(v, &o.hcr0); }},
        {"--hcr1", [&](const std::string& v) { return ParseHexByte(v, &o.hcr1); }},
        {"--prog-code-size", number(&o.progCodeSize, 64, 65536)},
        {"--prog-data-size", number(&o.progDataSize, 0, 65536)},
        {"--baud", number(&o.baud, 0, 10000000)},
        {"--state-dir", text(&o.stateDir)},
        {"--hex-log", text(&o.hexLog)},
        {"--rx-log", text(&o.rxLog)},
        {"--link", text(&o.linkDir)},
        {"--com", number(&o.com, 1, 256)},
        {"--bad-crc", countSet(&o.badCrc, 1, kMaxCount)},
        {"--short-reply", countSet(&o.shortReply, 1, kMaxCount)},
        {"--status-fail", countSet(&o.statusFail, 0, 255)},
        {"--flip-reading", countSet(&o.flipReading, 1, kMaxCount)},
        {"--die-after", number(&o.dieAfter, 1, kMaxCount)},
        {"--restart-after", number(&o.restartAfter, 1, kMaxCount)},
        {"--silent-after-record", number(&o.silentAfterRecord, 1, kMaxCount)},
        {"--refuse-record", countSet(&o.refuseRecord, 1, kMaxCount)},
        {"--corrupt-record", countSet(&o.corruptRecord, 1, kMaxCount)},
        {"--die-after-record", number(&o.dieAfterRecord, 1, kMaxCount)},
        {"--verify-fail-page", countSet(&o.verifyFailPage, 0, 65535)},
    };
    std::map<std::string, bool*> flags = {
        {"--jumper", &o.jumper},        {"--programmer", &o.programmer},
        {"--verbose", &o.verbose},      {"--no-answer", &o.noAnswer},
        {"--surplus", &o.surplus},      {"--noise", &o.noise},
        {"--no-banner", &o.noBanner},   {"--wrong-banner", &o.wrongBanner},
        {"--erase-fail", &o.eraseFail}, {"--no-sync", &o.noSync},
        {"--match-baud", &o.matchBaud},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (std::size_t eq = name.find('='); eq != std::string::npos && name.rfind("--", 0) == 0) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") {
            error->clear();
            return std::nullopt;
        }
        if (auto f = flags.find(name); f != flags.end() && !value) {
            *f->second = true;
            continue;
        }
        auto h = valued.find(name);
        if (h == valued.end()) {
            *error = "unknown option " + args[i];
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!h->second(*value)) {
            *error = "bad value for " + name + ": " + *value;
            return std::nullopt;
        }
    }

    if (o.dataFlashSize % 256 != 0 || o.dataFlashSize > o.flashSize) {
        *error = "--data-flash-size must be a multiple of 256 within the flash of the chip";
        return std::nullopt;
    }
    if (o.matchBaud && o.baud == 0) {
        *error = "--match-baud needs --baud";
        return std::nullopt;
    }
    if (!o.linkDir.empty() && o.com == 0) {
        *error = "--link needs --com";
        return std::nullopt;
    }
    if (o.progCodeSize % 64 != 0 || o.progDataSize % 32 != 0) {
        *error = "programmer memories must be whole pages (64 and 32 bytes)";
        return std::nullopt;
    }
    return o;
}

}  // namespace zentor::sim
