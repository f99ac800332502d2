// The encoder's serial-number check on arbitrary text (any bytes, also broken
// UTF-8 and characters without a Windows-1251 form), and the serial record built
// from an accepted number. The folder does
// not exist, so an accepted number ends at the first file it cannot write.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/clock.h"
#include "common/cp1251.h"
#include "fuzz_support.h"
#include "station/job.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"
#include "update/package_encoder.h"

using zentor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    const std::string typed(reinterpret_cast<const char*>(data), size);

    RecordingFrontend ui;
    VirtualClock clock;
    fuzz::NoPorts opener;
    Station station{ui, clock, opener, {}, {}};
    Controls controls;
    Job s(station, controls);
    station.place.workDir = "/nonexistent/zentor-fuzz";

    const bool written = EncodePackage(s, typed);
    Check(!written);
    Check(ui.log.size() == 1);

    // Text that is not UTF-8, or holds a character without a Windows-1251 form,
    // is refused with its own line.
    std::string offending;
    const std::optional<std::string> exact = Utf8ToCp1251Exact(typed, &offending);
    if (!exact) {
        Check(ui.log[0] == (offending.empty()
                                ? "Серийный номер не является текстом UTF-8"
                                : "Символа \"" + offending +
                                      "\" в серийном номере нет в кодировке Windows-1251"));
        return 0;
    }
    // Single-byte text of 9..99 characters with a lower-case v third or fourth.
    const std::string& serial = *exact;
    const std::size_t n = serial.size();
    const bool valid = n >= 9 && n <= 99 && (serial[2] == 'v' || serial[3] == 'v');
    Check(ui.log[0] ==
          (valid ? "Невозможно открыть файл n.bin" : "Неправильно введён серийный номер"));
    if (!valid) return 0;

    const auto record = SerialRecord(serial);
    Check(record.size() == 5 * n + 20);
    Check(record[0] == '0' + n / 10 && record[1] == '0' + n % 10);
    const std::size_t fillers[] = {3, 3, 3, 3, 6};
    std::size_t at = 2;
    for (std::size_t copy = 0; copy < 5; ++copy) {
        Check(std::string(record.begin() + at, record.begin() + at + n) == serial);
        at += n + fillers[copy];
    }
    Check(at == record.size());
    Check(record[2 + n] == kSerialFiller1[0] && record.back() == kSerialFiller5[5]);
    return 0;
}
