#include "messages_pot.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zentor::testing {

namespace {

// The text of one quoted PO string, escapes undone.
std::string Unquote(const std::string& line) {
    const std::size_t first = line.find('"');
    const std::size_t last = line.rfind('"');
    std::string out;
    if (first == std::string::npos || last <= first) return out;
    for (std::size_t i = first + 1; i < last; ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < last) {
            c = line[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
        }
        out += c;
    }
    return out;
}

}  // namespace

std::vector<PotEntry> ReadPot(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::vector<PotEntry> entries;
    std::string line;
    std::string* into = nullptr;
    PotEntry current;
    auto flush = [&] {
        if (!current.id.empty()) entries.push_back(current);
        current = {};
    };
    while (std::getline(in, line)) {
        if (line.rfind("msgctxt ", 0) == 0) {
            flush();
            current.id = Unquote(line);
            into = &current.id;
        } else if (line.rfind("msgid ", 0) == 0) {
            current.ru = Unquote(line);
            into = &current.ru;
        } else if (line.rfind("msgstr ", 0) == 0 || line.empty() || line[0] == '#') {
            into = nullptr;
        } else if (line[0] == '"' && into != nullptr) {
            *into += Unquote(line);
        }
    }
    flush();
    return entries;
}

std::vector<PotEntry> SourceMessages() {
    return ReadPot(ZENTOR_MESSAGES_POT);
}

}  // namespace zentor::testing
