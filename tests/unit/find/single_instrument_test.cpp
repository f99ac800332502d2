// What --port auto takes from a search: the one instrument found, unless a port
// held by another program could hide a second one.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "find/instrument_search.h"

namespace zentor::test {
namespace {

FoundInstrument At(const std::string& port) {
    FoundInstrument f;
    f.port = port;
    f.baud = 9600;
    f.address = 1;
    return f;
}

TEST(SingleInstrument, OnlyWhenNoOtherPortCouldHoldOne) {
    const struct {
        const char* what;
        std::vector<std::string> found;
        std::vector<PortReport> others;
        bool cancelled;
        std::optional<std::string> used;
    } cases[] = {
        {"one, the rest silent or not opened",
         {"COM1"},
         {{"COM2", PortVerdict::Silent, ""}, {"COM3", PortVerdict::NotOpened, "код ошибки: 5"}},
         false,
         "COM1"},
        {"one and a busy port", {"COM1"}, {{"COM2", PortVerdict::Busy, "порт занят."}}, false, {}},
        {"one and two busy ports",
         {"COM3"},
         {{"COM1", PortVerdict::Busy, ""}, {"COM7", PortVerdict::Busy, ""}},
         false,
         {}},
        {"two", {"COM1", "COM2"}, {}, false, {}},
        {"none, a busy port", {}, {{"COM2", PortVerdict::Busy, ""}}, false, {}},
        {"one, search cancelled", {"COM1"}, {{"COM2", PortVerdict::Cancelled, ""}}, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SearchResult r;
        for (const std::string& port : c.found) {
            r.found.push_back(At(port));
            r.ports.push_back({port, PortVerdict::Found, ""});
        }
        r.ports.insert(r.ports.end(), c.others.begin(), c.others.end());
        r.cancelled = c.cancelled;
        const std::optional<FoundInstrument> single = SingleInstrument(r);
        ASSERT_EQ(single.has_value(), c.used.has_value());
        if (single) {
            EXPECT_EQ(single->port, *c.used);
        }
        std::vector<std::string> busy;
        for (const PortReport& p : c.others)
            if (p.verdict == PortVerdict::Busy) busy.push_back(p.port);
        EXPECT_EQ(BusyPorts(r), busy);
    }
}

}  // namespace
}  // namespace zentor::test
