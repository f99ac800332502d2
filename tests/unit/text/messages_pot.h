// The messages of the sources as xgettext listed them at build time
// (<build>/po/zentor.pot): id (msgctxt) and Russian text (msgid), in file order.
#pragma once

#include <string>
#include <vector>

namespace zentor::testing {

struct PotEntry {
    std::string id;
    std::string ru;
};

// Fails the calling test (and returns nothing) when the file cannot be read.
std::vector<PotEntry> ReadPot(const std::string& path);
std::vector<PotEntry> SourceMessages();

}  // namespace zentor::testing
