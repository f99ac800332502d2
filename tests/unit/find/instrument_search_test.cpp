// The instrument search against fake lines: which port, rate and address answer,
// what is sent, how long a probe may wait, busy ports, cancelling.
#include "find/instrument_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "find/probe.h"
#include "find/search_plan.h"
#include "instrument/frames.h"
#include "testing/virtual_clock.h"

namespace zentor::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FakeInstrument {
    int baud;
    int address;
    Bytes identity;  // the four bytes of register ECh
    int version;     // register EDh; -1: the version read goes unanswered
    bool badCrc = false;
    bool shortReply = false;
    int replyAfterMs = 0;  // a first-byte deadline shorter than this misses the reply
};

// Everything the fake lines saw, shared by the probing threads.
struct Wire {
    std::mutex mutex;
    std::map<std::string, std::vector<Bytes>> writes;  // port -> frames written
    std::map<std::string, std::vector<int>> opens;     // port -> rates opened at
    std::vector<int> deadlines;
};

class FakePort final : public Port {
public:
    FakePort(Wire& wire, std::string name, int baud, const std::vector<FakeInstrument>& bus)
        : wire_(wire), name_(std::move(name)), baud_(baud), bus_(bus) {}

    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        // A reply that missed its deadline arrives during the next exchange.
        rx_.insert(rx_.end(), late_.begin(), late_.end());
        late_.clear();
        const Bytes frame(data, data + size);
        {
            std::lock_guard<std::mutex> lock(wire_.mutex);
            wire_.writes[name_].push_back(frame);
        }
        for (const FakeInstrument& in : bus_) {
            if (in.baud != baud_ || size != 4 || (frame[0] & 0x3F) != in.address) continue;
            if (CalcCrc8(frame.data(), 3) != frame[3] || (frame[0] & 0xC0) != 0x80) continue;
            Bytes reply{frame[0], frame[1]};
            if (frame[1] == 0xEC) {
                reply.insert(reply.end(), in.identity.begin(), in.identity.end());
            } else if (frame[1] == 0xED && in.version >= 0) {
                reply.push_back(static_cast<std::uint8_t>(in.version));
            } else {
                continue;
            }
            reply.push_back(CalcCrc8(reply.data(), static_cast<int>(reply.size())));
            if (frame[1] == 0xEC && in.badCrc) reply.back() ^= 0x01;
            if (frame[1] == 0xEC && in.shortReply) reply.pop_back();
            inFlight_.insert(inFlight_.end(), reply.begin(), reply.end());
            inFlightAfterMs_ = in.replyAfterMs;
        }
        return size;
    }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        if (!inFlight_.empty()) {
            Bytes& to = inFlightAfterMs_ <= deadline_ ? rx_ : late_;
            to.insert(to.end(), inFlight_.begin(), inFlight_.end());
            inFlight_.clear();
        }
        std::size_t n = std::min(size, rx_.size());
        std::copy_n(rx_.begin(), n, data);
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(n));
        return n;
    }
    bool SetReadDeadline(int ms) override {
        std::lock_guard<std::mutex> lock(wire_.mutex);
        wire_.deadlines.push_back(ms);
        deadline_ = ms;
        return true;
    }
    void PurgeRx() override { rx_.clear(); }

private:
    Wire& wire_;
    std::string name_;
    int baud_;
    const std::vector<FakeInstrument>& bus_;
    Bytes rx_;
    Bytes inFlight_;  // the reply to the last request, not yet waited for
    int inFlightAfterMs_ = 0;
    Bytes late_;  // a reply that missed its deadline
    int deadline_ = 0;
};

class FakeOpener final : public PortOpener {
public:
    OpenResult Open(const std::string& name, int baud) override {
        {
            std::lock_guard<std::mutex> lock(wire.mutex);
            wire.opens[name].push_back(baud);
        }
        OpenResult r;
        if (busy.count(name)) {
            r.status = OpenStatus::Busy;
        } else if (!buses.count(name)) {
            r.status = OpenStatus::NotFound;
        } else {
            r.port = std::make_unique<FakePort>(wire, name, baud, buses.at(name));
        }
        return r;
    }
    OpenStatus Probe(const std::string& name) override {
        if (busy.count(name)) return OpenStatus::Busy;
        return buses.count(name) ? OpenStatus::Ok : OpenStatus::NotFound;
    }

    std::map<std::string, std::vector<FakeInstrument>> buses;
    std::set<std::string> busy;
    Wire wire;
};

std::vector<std::string> Texts(const SearchResult& r) {
    std::vector<std::string> out;
    for (const auto& f : r.found) out.push_back(FoundText(f));
    return out;
}

TEST(SearchPlan, RatesAndAddressesMostLikelyFirst) {
    const struct {
        int configured;
        std::optional<int> only;
        std::vector<int> rates;
    } rateCases[] = {
        {9600, std::nullopt, {9600, 19200, 38400, 2400, 4800}},
        {4800, std::nullopt, {4800, 9600, 19200, 38400, 2400}},
        {38400, std::nullopt, {38400, 9600, 19200, 2400, 4800}},
        {57600, std::nullopt, {57600, 9600, 19200, 38400, 2400, 4800}},
        {0, std::nullopt, {9600, 19200, 38400, 2400, 4800}},
        {9600, 2400, {2400}},
    };
    for (const auto& c : rateCases) EXPECT_EQ(BaudOrder(c.configured, c.only), c.rates);

    // The quick search: the configured address and 1, each once.
    const struct {
        int configured;
        std::optional<int> only;
        std::vector<int> addresses;
    } quickCases[] = {
        {5, std::nullopt, {5, 1}}, {1, std::nullopt, {1}},  {63, std::nullopt, {63, 1}},
        {0, std::nullopt, {1}},    {64, std::nullopt, {1}}, {5, 17, {17}},
    };
    for (const auto& c : quickCases)
        EXPECT_EQ(AddressOrder(c.configured, AddressScope::Quick, c.only), c.addresses)
            << c.configured;

    // Every address: the configured one first.
    const std::vector<int> from5 = AddressOrder(5, AddressScope::All);
    ASSERT_EQ(from5.size(), 63u);
    EXPECT_EQ((std::vector<int>(from5.begin(), from5.begin() + 6)),
              (std::vector<int>{5, 1, 2, 3, 4, 6}));
    EXPECT_EQ(std::set<int>(from5.begin(), from5.end()).size(), 63u);
    for (int configured : {0, 64}) {
        const std::vector<int> order = AddressOrder(configured, AddressScope::All);
        ASSERT_EQ(order.size(), 63u);
        EXPECT_EQ(order.front(), 1);
        EXPECT_EQ(order.back(), 63);
    }
    EXPECT_EQ(AddressOrder(5, AddressScope::All, 17), std::vector<int>{17});

    // A request follows its scope: only the full one goes on after an answer.
    const SearchRequest quick = PlanSearch(19200, 5, AddressScope::Quick);
    EXPECT_EQ(quick.bauds, (std::vector<int>{19200, 9600, 38400, 2400, 4800}));
    EXPECT_EQ(quick.addresses, (std::vector<int>{5, 1}));
    EXPECT_FALSE(quick.allAddresses);
    const SearchRequest all = PlanSearch(19200, 5, AddressScope::All, 2400, 7);
    EXPECT_EQ(all.bauds, std::vector<int>{2400});
    EXPECT_EQ(all.addresses, std::vector<int>{7});
    EXPECT_TRUE(all.allAddresses);
}

// A probe waits for the wire time of request and reply plus the turnaround, far
// below the commands' second, and every deadline set stays below it.
TEST(SearchProbe, DeadlinesFollowTheBitRate) {
    EXPECT_EQ(WireMs(11, 9600), 12);
    EXPECT_EQ(WireMs(11, 2400), 46);
    EXPECT_EQ(FirstByteDeadlineMs(4, 7, 9600), 62);
    EXPECT_EQ(FirstByteDeadlineMs(4, 7, 2400), 96);
    EXPECT_LT(FirstByteDeadlineMs(4, 7, 38400), FirstByteDeadlineMs(4, 7, 9600));

    FakeOpener opener;
    opener.buses["COM1"] = {};
    VirtualClock clock;
    const SearchResult r = FindInstruments(opener, clock, {{"COM1"}, {2400, 9600}, {1, 2}});
    EXPECT_TRUE(r.found.empty());
    ASSERT_EQ(opener.wire.deadlines.size(), 4u);
    EXPECT_EQ(opener.wire.deadlines, (std::vector<int>{96, 96, 62, 62}));
}

// Three buses: an instrument at the third rate, two instruments on one bus, a
// silent line; plus a port held by another program.
TEST(Search, FindsEachInstrumentWithItsSettingsAndLeavesBusyPortsAlone) {
    FakeOpener opener;
    opener.buses["COM1"] = {{38400, 7, {14, 7, 15, 10}, 120}};
    opener.buses["COM2"] = {{9600, 9, {5, 120, 3, 200}, 99}, {9600, 3, {21, 3, 1, 2}, -1}};
    opener.buses["COM3"] = {};
    opener.busy = {"COM4"};
    VirtualClock clock;
    SearchRequest request{{"COM1", "COM2", "COM3", "COM4"},
                          {9600, 19200, 38400},
                          AddressOrder(9, AddressScope::All),
                          false};

    const SearchResult first = FindInstruments(opener, clock, request);
    EXPECT_EQ(Texts(first), (std::vector<std::string>{
                                "COM1: 38400 бит/с, адрес 7, Velmar 7, серийный № 14v071510, "
                                "версия 120",
                                "COM2: 9600 бит/с, адрес 9, Velmar 120, серийный № 05v12003200, "
                                "версия 99",
                            }));
    ASSERT_EQ(first.ports.size(), 4u);
    EXPECT_EQ(first.ports[0].verdict, PortVerdict::Found);
    EXPECT_EQ(first.ports[1].verdict, PortVerdict::Found);
    EXPECT_EQ(first.ports[2].verdict, PortVerdict::Silent);
    EXPECT_EQ(first.ports[3].verdict, PortVerdict::Busy);
    EXPECT_EQ(PortReportText(first.ports[3]), "Не могу открыть \"COM4\", порт занят.");
    EXPECT_EQ(PortReportText(first.ports[2]), "");
    EXPECT_EQ(opener.wire.writes.count("COM4"), 0u);
    EXPECT_EQ(opener.wire.opens["COM2"], std::vector<int>{9600});
    EXPECT_EQ(opener.wire.opens["COM3"], (std::vector<int>{9600, 19200, 38400}));
    // Silent: every rate and address once, then nothing more.
    EXPECT_EQ(opener.wire.writes["COM3"].size(), 3u * 63u);
    // Only the identification reads of registers ECh and EDh ever leave.
    for (const auto& [port, frames] : opener.wire.writes) {
        for (const Bytes& f : frames) {
            ASSERT_EQ(f.size(), 4u) << port;
            EXPECT_EQ(f[0] & 0xC0, 0x80) << port;
            EXPECT_TRUE((f[1] == 0xEC && f[2] == 3) || (f[1] == 0xED && f[2] == 0)) << port;
            EXPECT_EQ(CalcCrc8(f.data(), 3), f[3]);
        }
    }
    // A rate change leaves the line quiet once per change: COM1 twice, COM3 twice.
    EXPECT_EQ(clock.Sleeps(), std::vector<int>(4, kRateSettleMs));

    request.allAddresses = true;
    opener.wire.opens.clear();
    const SearchResult all = FindInstruments(opener, clock, request);
    ASSERT_EQ(all.found.size(), 3u);
    EXPECT_EQ(all.found[1].address, 9);
    EXPECT_EQ(all.found[2].address, 3);
    EXPECT_EQ(all.found[2].versionCode, -1);
    EXPECT_EQ(FoundText(all.found[2]),
              "COM2: 9600 бит/с, адрес 3, Velmar 3, серийный № 21v030102, версия ?");
    // The rest of the addresses at the rate that answered, no other rate.
    EXPECT_EQ(opener.wire.opens["COM2"], std::vector<int>{9600});
}

// Replies the update would not accept are no instrument.
TEST(Search, RepliesTheIdentificationRefusesAreNotFound) {
    const struct {
        const char* name;
        FakeInstrument instrument;
    } cases[] = {
        {"zero byte", {9600, 1, {14, 7, 15, 0}, 120}},
        {"bad checksum", {9600, 1, {14, 7, 15, 10}, 120, true}},
        {"one byte short", {9600, 1, {14, 7, 15, 10}, 120, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOpener opener;
        opener.buses["COM1"] = {c.instrument};
        VirtualClock clock;
        const SearchResult r = FindInstruments(opener, clock, {{"COM1"}, {9600}, {1}});
        EXPECT_TRUE(r.found.empty());
        EXPECT_EQ(r.ports.at(0).verdict, PortVerdict::Silent);
    }
}

// A reply slower than the probe's deadline arrives during the next address's
// probe. It is not taken for that address; the address before is asked again,
// patiently, and found.
TEST(Search, ALateReplyIsNotTakenForTheNextAddress) {
    const struct {
        const char* name;
        int address;
        std::vector<int> addresses;
        int foundAt;  // 0: none
    } cases[] = {
        {"late at 3 of 1..5", 3, {1, 2, 3, 4, 5}, 3},
        {"late at the last address", 5, {1, 2, 3, 4, 5}, 0},
        {"late at the first address", 1, {1, 2, 3}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOpener opener;
        FakeInstrument slow{9600, c.address, {14, 7, 15, 10}, 120};
        slow.replyAfterMs = 150;  // over 62 ms, under the patient second
        opener.buses["COM1"] = {slow};
        VirtualClock clock;
        const SearchResult r = FindInstruments(opener, clock, {{"COM1"}, {9600}, c.addresses});
        if (c.foundAt == 0) {
            EXPECT_TRUE(r.found.empty()) << ::testing::PrintToString(Texts(r));
            continue;
        }
        ASSERT_EQ(r.found.size(), 1u);
        EXPECT_EQ(r.found[0].address, c.foundAt);
        EXPECT_EQ(r.found[0].versionCode, 120);
    }
}

class CountingObserver final : public SearchObserver {
public:
    void OnProgress(int done, int total) override {
        last = done;
        this->total = total;
        if (cancelAt && done >= cancelAt) cancel->store(true);
    }
    void OnFound(const FoundInstrument&) override { ++found; }
    int last = 0, total = 0, found = 0, cancelAt = 0;
    std::atomic<bool>* cancel = nullptr;
};

// The quick search asks the configured address and 1 at every rate: an instrument
// at either is found, one elsewhere is not, and a silent port costs two probes a rate.
TEST(Search, QuickSearchAsksTheConfiguredAddressAndOne) {
    FakeOpener opener;
    opener.buses["COM1"] = {{19200, 1, {14, 7, 15, 10}, 120}};
    opener.buses["COM2"] = {{38400, 9, {5, 120, 3, 200}, 99}};
    opener.buses["COM3"] = {{9600, 4, {21, 3, 1, 2}, 7}};
    opener.buses["COM4"] = {};
    VirtualClock clock;
    const SearchRequest request = PlanSearch(9600, 9, AddressScope::Quick);
    CountingObserver seen;
    const SearchResult r = FindInstruments(
        opener, clock,
        {{"COM1", "COM2", "COM3", "COM4"}, request.bauds, request.addresses, request.allAddresses},
        nullptr, &seen);
    EXPECT_EQ(Texts(r), (std::vector<std::string>{
                            "COM1: 19200 бит/с, адрес 1, Velmar 7, серийный № 14v071510, "
                            "версия 120",
                            "COM2: 38400 бит/с, адрес 9, Velmar 120, серийный № 05v12003200, "
                            "версия 99",
                        }));
    EXPECT_EQ(seen.found, 2);
    EXPECT_EQ(seen.total, 4 * 5 * 2);
    EXPECT_EQ(seen.last, seen.total);
    EXPECT_EQ(r.ports.at(2).verdict, PortVerdict::Silent);
    EXPECT_EQ(opener.wire.writes["COM4"].size(), 5u * 2u);
    EXPECT_EQ(opener.wire.writes["COM3"].size(), 5u * 2u);
}

TEST(Search, ProgressReachesTheTotalAndCancelStopsEveryPort) {
    FakeOpener opener;
    opener.buses["COM1"] = {{9600, 2, {1, 2, 3, 4}, 1}};
    opener.buses["COM2"] = {};
    VirtualClock clock;
    const SearchRequest request{
        {"COM1", "COM2"}, {9600, 19200}, AddressOrder(1, AddressScope::All), false};

    CountingObserver seen;
    FindInstruments(opener, clock, request, nullptr, &seen);
    EXPECT_EQ(seen.total, 2 * 2 * 63);
    EXPECT_EQ(seen.last, seen.total);
    EXPECT_EQ(seen.found, 1);

    std::atomic<bool> cancel{false};
    CountingObserver stopping;
    stopping.cancel = &cancel;
    stopping.cancelAt = 10;
    opener.wire.writes.clear();
    const SearchResult r = FindInstruments(opener, clock, request, &cancel, &stopping);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.ports.at(1).verdict, PortVerdict::Cancelled);
    EXPECT_LT(opener.wire.writes["COM2"].size(), 20u);
}

TEST(Search, ScannedPortsReportTheBusyOnesWithoutOpeningThem) {
    FakeOpener opener;
    opener.buses["COM12"] = {{19200, 1, {14, 7, 15, 10}, 120}};
    opener.buses["COM2"] = {};
    opener.busy = {"COM7"};
    VirtualClock clock;
    const SearchResult r = FindOnScannedPorts(opener, clock, {{}, {9600, 19200}, {1}, false});
    ASSERT_EQ(r.ports.size(), 3u);
    EXPECT_EQ(r.ports[0].port, "COM2");
    EXPECT_EQ(r.ports[1].port, "COM7");
    EXPECT_EQ(r.ports[1].verdict, PortVerdict::Busy);
    EXPECT_EQ(r.ports[2].port, "COM12");
    ASSERT_EQ(r.found.size(), 1u);
    EXPECT_EQ(r.found[0].baud, 19200);
    EXPECT_EQ(opener.wire.opens.count("COM7"), 0u);
}

}  // namespace
}  // namespace zentor::test
