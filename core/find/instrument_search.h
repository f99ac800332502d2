// Search for instruments: on every port asked for, at every bit rate and address
// asked for, the identification of the field update; collects every instrument
// that answers correctly.
//
// Each port is probed on a thread of its own, opened through the normal opener
// (exclusive, with its locks) once per bit rate and closed before the call
// returns. A port that will not open is reported, never forced. A port stops at its
// first answer unless allAddresses; then the other addresses are asked at the
// rate that answered and no further rate is tried. After a change of rate the
// line is left quiet for kRateSettleMs so that an instrument drops what it made
// of the wrong-rate bytes. Cancelling stops every port before its next probe.
// Nothing is sent but identification reads; results come in the order of the
// ports, then rates, then addresses asked for.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "find/search_plan.h"
#include "serial/port.h"
#include "station/job.h"

namespace zentor {

inline constexpr int kRateSettleMs = 60;

struct FoundInstrument {
    std::string port;
    int baud = 0;
    int address = 0;
    InstrumentIdentity identity;
    std::string serial;    // as the update shows it, e.g. "14v071510"
    int versionCode = -1;  // register EDh; -1 when not answered
};

enum class PortVerdict { Found, Silent, Busy, NotOpened, Cancelled };

struct PortReport {
    std::string port;
    PortVerdict verdict = PortVerdict::Silent;
    std::string failure;  // why it did not open (NotOpened, Busy), as the open message says
};

struct SearchRequest {
    std::vector<std::string> ports;
    std::vector<int> bauds;
    std::vector<int> addresses;
    bool allAddresses = false;
};

struct SearchResult {
    std::vector<FoundInstrument> found;
    std::vector<PortReport> ports;  // one per port asked for, in the same order
    bool cancelled = false;
};

// The rates of BaudOrder and the addresses of AddressOrder from the configured
// ones; the full scope also asks every address at the rate that answered.
SearchRequest PlanSearch(int baud, int address, AddressScope scope,
                         std::optional<int> onlyBaud = std::nullopt,
                         std::optional<int> onlyAddress = std::nullopt);

// Called from the probing threads, one call at a time; OnFound as soon as an
// instrument is confirmed, before the other ports end.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;
    // `done` of `total` probes made or skipped.
    virtual void OnProgress(int /*done*/, int /*total*/) {}
    virtual void OnFound(const FoundInstrument& /*found*/) {}
};

SearchResult FindInstruments(PortOpener& opener, Clock& clock, const SearchRequest& request,
                             const std::atomic<bool>* cancel = nullptr,
                             SearchObserver* observer = nullptr);
// The port scan first (COM1..COM256), then FindInstruments over its free ports
// (request.ports is ignored); the ports the scan found held are reported Busy
// without another open. Reports in the order of the port numbers.
SearchResult FindOnScannedPorts(PortOpener& opener, Clock& clock, SearchRequest request,
                                const std::atomic<bool>* cancel = nullptr,
                                SearchObserver* observer = nullptr);

// The instrument `--port auto` may use: the only one found, provided no port was
// held by another program (a held port may hide a second instrument, or be one
// that another search is probing) and the search ran to its end. nullopt otherwise.
std::optional<FoundInstrument> SingleInstrument(const SearchResult& result);
// The ports reported Busy, in the order of the result.
std::vector<std::string> BusyPorts(const SearchResult& result);

// "COM3: 9600 бит/с, адрес 5, Velmar 7, серийный № 14v071510, версия 120".
std::string FoundText(const FoundInstrument& found);
// "COM5: порт занят." and the like for a port that did not open; empty otherwise.
std::string PortReportText(const PortReport& report);

}  // namespace zentor
