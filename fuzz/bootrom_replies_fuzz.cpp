// Whole programming runs (boot ROM and hardware programmer) against a device
// whose every answer is chosen by the fuzzer: correct, changed, cut, silent or
// arbitrary. A judge written here from the protocol decides, from what the tool
// actually read, whether the run had to succeed and where it had to stop.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bootrom/program_chip.h"
#include "common/clock.h"
#include "common/image_key.h"
#include "fuzz_support.h"
#include "station/job.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using zentor::fuzz::Check;

Bytes Text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// Program and data image sizes; one folder per pair, made once.
constexpr std::size_t kProgSizes[] = {1, 300, 1024, 4096};
constexpr std::size_t kDataSizes[] = {0, 256, 384, 1000};

const fs::path& Folder(std::size_t prog, std::size_t data) {
    static std::map<std::pair<std::size_t, std::size_t>, fs::path> folders;
    auto& dir = folders[{prog, data}];
    if (dir.empty()) {
        char tmpl[] = "/tmp/zentor-fuzz-images-XXXXXX";
        if (!::mkdtemp(tmpl)) abort();
        dir = tmpl;
        Bytes p(prog), d(data);
        for (std::size_t i = 0; i < prog; ++i) p[i] = static_cast<std::uint8_t>(i * 7 + 1);
        for (std::size_t i = 0; i < data; ++i) d[i] = static_cast<std::uint8_t>(i * 5 + 2);
        auto put = [&](const char* name, const Bytes& b) {
            std::ofstream(dir / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(b.data()),
                       static_cast<std::streamsize>(b.size()));
        };
        put("prog.bin", p);
        put("data.bin", d);
        zentor::ScrambleImage(p);
        put("prog_c.bin", p);
    }
    return dir;
}

// The device: each request is answered as the fuzzer says.
class FuzzDevice final : public zentor::Port {
public:
    struct Exchange {
        Bytes written;
        Bytes read;  // what the tool's read returned
        bool readDone = false;
        bool purged = false;  // a purge came before this request
        bool delivered = true;
    };

    FuzzDevice(FuzzedDataProvider& in, bool programmer) : in_(in), programmer_(programmer) {}

    std::vector<Exchange> log;

    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        Exchange e;
        e.written.assign(data, data + size);
        e.purged = purgedSinceWrite_;
        purgedSinceWrite_ = false;
        log.push_back(e);
        Bytes answer = Correct(log.back().written);
        switch (in_.remaining_bytes() ? in_.ConsumeIntegralInRange<int>(0, 5) : 0) {
            case 0:
                break;
            case 1:  // one byte changed
                if (!answer.empty()) {
                    const std::size_t at =
                        in_.ConsumeIntegralInRange<std::size_t>(0, answer.size() - 1);
                    answer[at] ^= std::max<std::uint8_t>(1, in_.ConsumeIntegral<std::uint8_t>());
                }
                break;
            case 2:  // cut short
                answer.resize(in_.ConsumeIntegralInRange<std::size_t>(0, answer.size()));
                break;
            case 3:  // silent
                answer.clear();
                break;
            case 4:  // anything
                answer = in_.ConsumeBytes<std::uint8_t>(in_.ConsumeIntegralInRange<int>(0, 40));
                break;
            case 5:  // the line went dead during the write
                log.back().delivered = false;
                return in_.ConsumeIntegralInRange<std::size_t>(0, size - 1);
        }
        queue_.insert(queue_.end(), answer.begin(), answer.end());
        return size;
    }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        const std::size_t n = std::min(size, queue_.size());
        std::copy_n(queue_.begin(), n, data);
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
        if (!log.empty() && !log.back().readDone) {
            log.back().read.assign(data, data + n);
            log.back().readDone = true;
        }
        return n;
    }
    void PurgeRx() override {
        queue_.clear();
        purgedSinceWrite_ = true;
    }

private:
    Bytes Correct(const Bytes& w) {
        if (programmer_) {
            if (w.size() == 1 && w[0] == 0x55) return {0x55};
            if (w.size() == 4 && (w[0] == 0x30 || w[0] == 0xB0)) {
                auto it = pages_.find({w[0] == 0x30, w[1] << 8 | w[2]});
                return it != pages_.end() ? it->second : Bytes(w[0] == 0x30 ? 64 : 32, 0xFF);
            }
            if (w.size() == 67 && w[0] == 0x50)
                pages_[{true, w[1] << 8 | w[2]}] = {w.begin() + 3, w.end()};
            if (w.size() == 35 && w[0] == 0xD0)
                pages_[{false, w[1] << 8 | w[2]}] = {w.begin() + 3, w.end()};
            return {};
        }
        const char lead = echo_ ? static_cast<char>(w[0]) : '\r';
        switch (w[0]) {
            case '\r':
                echo_ = true;
                return Text("\r\nMSC1210Y5 V03.05 32KB\r\n>");
            case 'E':
                echo_ = false;
                return Bytes{static_cast<std::uint8_t>(lead), '\r', '\n', '>'};
            case 'R':
                return Bytes{static_cast<std::uint8_t>(lead), '\n', '>'};
            case 'M':
                return Bytes{static_cast<std::uint8_t>(lead), 'o', 'k', '\r', '\n', '>'};
            case 'L':
                return Bytes{static_cast<std::uint8_t>(lead), '\n', 'L', 'O', 'A', 'D'};
            case ':':
                return {'.'};
        }
        return {};
    }

    FuzzedDataProvider& in_;
    bool programmer_;
    bool echo_ = true;
    bool purgedSinceWrite_ = false;
    Bytes queue_;
    std::map<std::pair<bool, int>, Bytes> pages_;
};

// The reply as the tool judges it: the bytes read, then zeros (the cleared area).
std::uint8_t At(const Bytes& read, std::size_t i) {
    return i < read.size() ? read[i] : 0;
}

int FlashSize(int type) {
    return 4096 << (type - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    FuzzedDataProvider in(data, size);
    const int type = in.ConsumeIntegralInRange<int>(0, 4);
    const bool programmer = type == 0;
    const bool update = in.ConsumeBool();
    const bool controlWrite = in.ConsumeBool();
    const std::size_t progSize = kProgSizes[in.ConsumeIntegralInRange<int>(0, 3)];
    const std::size_t dataSize = kDataSizes[in.ConsumeIntegralInRange<int>(0, 3)];

    RecordingFrontend ui;
    ui.answers = {true};
    VirtualClock clock;
    fuzz::NoPorts opener;
    Station station{ui, clock, opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.place.workDir = Folder(progSize, dataSize);
    station.settings.TypeController = type;
    station.settings.ControlWrite = controlWrite;
    station.settings.DopPause = in.ConsumeIntegralInRange<int>(0, 1000);
    auto owned = std::make_unique<FuzzDevice>(in, programmer);
    FuzzDevice& device = *owned;
    s.port = std::move(owned);

    const ProgramOptions options =
        update ? UpdateProgramOptions(type, UpdateMode::None) : FactoryProgramOptions();
    const bool result = ProgramChip(s, options).Ok();

    // Refused up front: an image that does not fit, or a data image that does
    // not end on a whole record at the top of the flash.
    bool refused = false;
    if (!programmer) {
        const std::size_t flash = static_cast<std::size_t>(FlashSize(type));
        refused = dataSize > flash || dataSize % 128 != 0 || progSize > flash - dataSize;
    }
    if (refused) {
        Check(!result && device.log.empty());
        return 0;
    }

    // Walk the exchanges as the device saw them; the first failed judgement ends
    // the run at once.
    std::size_t failedAt = device.log.size();
    std::map<std::pair<bool, int>, Bytes> pages;
    int records = 0;
    int unconfirmed = 0;
    bool lastUnconfirmed = false;  // of the records; the last is the configuration record
    for (std::size_t i = 0; i < device.log.size() && failedAt == device.log.size(); ++i) {
        const auto& e = device.log[i];
        const Bytes& w = e.written;
        bool ok = true;
        if (programmer) {
            Check(!e.purged);
            if (w.size() == 1 && w[0] == 0x55) ok = e.read.size() == 1 && e.read[0] == 0x55;
            if (w[0] == 0x50 || w[0] == 0xD0)
                pages[{w[0] == 0x50, w[1] << 8 | w[2]}] = {w.begin() + 3, w.end()};
            if ((w[0] == 0x30 || w[0] == 0xB0) && w.size() == 4) {
                auto it = pages.find({w[0] == 0x30, w[1] << 8 | w[2]});
                Check(it != pages.end());  // never verifies a page it did not write
                ok = e.read == it->second;
            }
        } else {
            Check(e.purged);
            switch (w[0]) {
                case '\r':
                    // Characters 3..9 of the banner.
                    for (std::size_t k = 0; k < 7; ++k)
                        ok = ok && At(e.read, 2 + k) == "MSC1210"[k];
                    break;
                case 'E':
                    ok = controlWrite ? At(e.read, 0) == 'E' : e.delivered;
                    break;
                case 'M':
                    ok = At(e.read, 1) == 'o';
                    break;
                case ':':
                    ++records;
                    ok = controlWrite ? At(e.read, 0) == '.' : e.delivered;
                    // Sent but not answered with a dot: counted, and reported at the end.
                    lastUnconfirmed = ok && At(e.read, 0) != '.';
                    if (lastUnconfirmed) ++unconfirmed;
                    break;
            }
        }
        if (!ok) failedAt = i;
    }
    const bool failed = failedAt < device.log.size();
    Check(!failed || failedAt + 1 == device.log.size());
    Check(result == !failed);

    if (result && !programmer) {
        // Every code and data record and the configuration record went out.
        const int expected = static_cast<int>((progSize + 127) / 128 + dataSize / 128 + 1);
        Check(records == expected);
        // Then the unconfirmed count, and a line of its own when the configuration
        // record was one of them.
        const std::size_t tail = unconfirmed > 0 ? (lastUnconfirmed ? 3 : 2) : 1;
        Check(ui.log.size() >= tail);
        const std::size_t last = ui.log.size() - tail;
        // The configuration record's line says "ok!" only when the chip confirmed it.
        Check(ui.log[last] == (lastUnconfirmed ? "Запись регистров конфигурации - без подтверждения"
                                               : "Запись регистров конфигурации - ok!"));
        // A stage's "- Ok" only when none of its records went unconfirmed.
        if (unconfirmed == 0)
            for (const char* stage : {"Запись CODE FLASH - Ok", "Запись DATA FLASH - Ok"})
                Check(std::find(ui.log.begin(), ui.log.end(), stage) != ui.log.end());
        if (unconfirmed > 0)
            Check(ui.log[last + 1] ==
                  "Без подтверждения устройства осталось записей: " + std::to_string(unconfirmed) +
                      ". Устройство нужно проверить: прочитайте его и "
                      "сравните с записанным.");
        if (lastUnconfirmed)
            Check(ui.log.back().rfind("Запись регистров конфигурации (HCR0/HCR1) не подтверждена",
                                      0) == 0);
    }
    if (result && programmer) {
        Check(pages.size() == (progSize + 63) / 64 + (dataSize + 31) / 32);
        Check(ui.log.back() == "Verify Data memory - Ok");
    }
    return 0;
}
