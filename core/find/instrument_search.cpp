#include "find/instrument_search.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "find/probe.h"
#include "instrument/identify.h"
#include "station/com_port.h"
#include "text/message.h"

namespace zentor {

namespace {

// n of "COMn"; the scan names ports only this way.
int PortNumber(const std::string& name) {
    return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0;
}

class Search {
public:
    Search(PortOpener& opener, Clock& clock, const SearchRequest& request,
           const std::atomic<bool>* cancel, SearchObserver* observer)
        : opener_(opener),
          clock_(clock),
          request_(request),
          cancel_(cancel),
          observer_(observer),
          perPort_(static_cast<int>(request.bauds.size() * request.addresses.size())),
          total_(perPort_ * static_cast<int>(request.ports.size())),
          found_(request.ports.size()),
          reports_(request.ports.size()) {}

    SearchResult Run() {
        std::vector<std::thread> threads;
        threads.reserve(request_.ports.size());
        for (std::size_t i = 0; i < request_.ports.size(); ++i)
            threads.emplace_back([this, i] { reports_[i] = SearchPort(i); });
        for (auto& t : threads) t.join();

        SearchResult result;
        for (std::size_t i = 0; i < request_.ports.size(); ++i) {
            result.found.insert(result.found.end(), found_[i].begin(), found_[i].end());
            result.ports.push_back(reports_[i]);
            if (reports_[i].verdict == PortVerdict::Cancelled) result.cancelled = true;
        }
        return result;
    }

private:
    bool Cancelled() const { return cancel_ && cancel_->load(); }

    void Progress(int probes) {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ += probes;
        if (observer_) observer_->OnProgress(done_, total_);
    }

    void Found(std::size_t index, FoundInstrument found) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (observer_) observer_->OnFound(found);
        found_[index].push_back(std::move(found));
    }

    PortReport SearchPort(std::size_t index) {
        PortReport report{request_.ports[index], PortVerdict::Silent, {}};
        int left = perPort_;
        bool answered = false;
        bool first = true;
        for (int baud : request_.bauds) {
            if (answered) break;
            if (Cancelled()) {
                report.verdict = PortVerdict::Cancelled;
                break;
            }
            OpenResult opened = opener_.Open(report.port, baud);
            if (opened.status != OpenStatus::Ok || !opened.port) {
                if (opened.status == OpenStatus::Ok) opened.status = OpenStatus::OtherError;
                report.verdict =
                    opened.status == OpenStatus::Busy ? PortVerdict::Busy : PortVerdict::NotOpened;
                report.failure = OpenFailureText(report.port, opened);
                break;
            }
            if (!first) clock_.SleepMs(kRateSettleMs);
            first = false;
            int previous = 0;  // the address probed before, at this rate
            for (int address : request_.addresses) {
                if (Cancelled()) {
                    report.verdict = PortVerdict::Cancelled;
                    break;
                }
                bool heard = false;
                std::optional<ProbeAnswer> answer =
                    ProbeAddress(*opened.port, baud, address, {.patient = false, .heard = &heard});
                --left;
                Progress(1);
                int at = address;
                // Bytes without an answer: the address before may have answered late.
                if (!answer && heard && previous > 0) {
                    at = previous;
                    answer =
                        ProbeAddress(*opened.port, baud, at, {.patient = true, .heard = nullptr});
                }
                previous = answer ? 0 : address;  // a found address is not probed again
                if (!answer) continue;
                answered = true;
                report.verdict = PortVerdict::Found;
                Found(index, {report.port, baud, at, answer->identity,
                              FormatSerialText(answer->identity), answer->versionCode});
                if (!request_.allAddresses) break;
            }
            if (report.verdict == PortVerdict::Cancelled) break;
        }
        if (left > 0) Progress(left);
        return report;
    }

    PortOpener& opener_;
    Clock& clock_;
    const SearchRequest& request_;
    const std::atomic<bool>* cancel_;
    SearchObserver* observer_;
    const int perPort_;
    const int total_;
    std::mutex mutex_;
    int done_ = 0;
    std::vector<std::vector<FoundInstrument>> found_;
    std::vector<PortReport> reports_;
};

}  // namespace

SearchRequest PlanSearch(int baud, int address, AddressScope scope, std::optional<int> onlyBaud,
                         std::optional<int> onlyAddress) {
    SearchRequest request;
    request.bauds = BaudOrder(baud, onlyBaud);
    request.addresses = AddressOrder(address, scope, onlyAddress);
    request.allAddresses = scope == AddressScope::All;
    return request;
}

SearchResult FindInstruments(PortOpener& opener, Clock& clock, const SearchRequest& request,
                             const std::atomic<bool>* cancel, SearchObserver* observer) {
    return Search(opener, clock, request, cancel, observer).Run();
}

SearchResult FindOnScannedPorts(PortOpener& opener, Clock& clock, SearchRequest request,
                                const std::atomic<bool>* cancel, SearchObserver* observer) {
    const ScannedPorts scanned = ScanForSearch(opener);
    request.ports = scanned.free;
    SearchResult result = FindInstruments(opener, clock, request, cancel, observer);
    for (const std::string& name : scanned.busy) {
        result.ports.push_back(
            {name, PortVerdict::Busy, OpenFailureText(name, OpenStatus::Busy, 0)});
    }
    std::stable_sort(result.ports.begin(), result.ports.end(),
                     [](const PortReport& a, const PortReport& b) {
                         return PortNumber(a.port) < PortNumber(b.port);
                     });
    return result;
}

std::optional<FoundInstrument> SingleInstrument(const SearchResult& result) {
    if (result.cancelled || result.found.size() != 1 || !BusyPorts(result).empty())
        return std::nullopt;
    return result.found.front();
}

std::vector<std::string> BusyPorts(const SearchResult& result) {
    std::vector<std::string> busy;
    for (const PortReport& report : result.ports)
        if (report.verdict == PortVerdict::Busy) busy.push_back(report.port);
    return busy;
}

std::string FoundText(const FoundInstrument& f) {
    return Render(ZT("find.found",
                     "{0}: {1} бит/с, адрес {2}, Velmar {3}, серийный № {4}, версия {5}", f.port,
                     f.baud, f.address, f.identity.model, f.serial,
                     f.versionCode < 0 ? std::string("?") : std::to_string(f.versionCode)));
}

std::string PortReportText(const PortReport& report) {
    if (report.verdict != PortVerdict::Busy && report.verdict != PortVerdict::NotOpened) return "";
    return report.failure;
}

}  // namespace zentor
