#include "text/mo_catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "text/message.h"

namespace zentor {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

void Put(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(v >> (8 * (bigEndian ? 3 - i : i)));
}

// A .mo as msgfmt lays it out: header, the two tables, then the strings.
std::vector<std::uint8_t> MakeMo(const Entries& entries, bool bigEndian = false) {
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t originals = 28, translations = 28 + 8 * n;
    std::vector<std::uint8_t> out(28 + 16 * n, 0);
    Put(out, 0, 0x950412de, bigEndian);
    Put(out, 8, n, bigEndian);
    Put(out, 12, originals, bigEndian);
    Put(out, 16, translations, bigEndian);
    auto add = [&](std::size_t table, std::uint32_t i, const std::string& s) {
        Put(out, table + 8 * i, static_cast<std::uint32_t>(s.size()), bigEndian);
        Put(out, table + 8 * i + 4, static_cast<std::uint32_t>(out.size()), bigEndian);
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    };
    for (std::uint32_t i = 0; i < n; ++i) add(originals, i, entries[i].first);
    for (std::uint32_t i = 0; i < n; ++i) add(translations, i, entries[i].second);
    return out;
}

const Entries kSample{{"", "Content-Type: text/plain; charset=UTF-8\n"},
                      {"a.b\x04Да", "Yes"},
                      {"a.c\x04Да", "Yes indeed"},
                      {"a.empty\x04Пусто", ""},
                      {"Без контекста", "Without context"}};

TEST(MoCatalogue, FindsTextsByContextAndMsgidInEitherByteOrder) {
    for (bool bigEndian : {false, true}) {
        const std::vector<std::uint8_t> bytes = MakeMo(kSample, bigEndian);
        const MoCatalogue mo(bytes);
        ASSERT_TRUE(mo.Valid()) << bigEndian;
        EXPECT_EQ(mo.Find("a.b", "Да"), "Yes");
        EXPECT_EQ(mo.Find("a.c", "Да"), "Yes indeed");
        EXPECT_EQ(mo.Find("a.b", "Нет"), std::nullopt);
        EXPECT_EQ(mo.Find("a.x", "Да"), std::nullopt);
        // An empty msgstr is gettext's "not translated".
        EXPECT_EQ(mo.Find("a.empty", "Пусто"), std::nullopt);
        EXPECT_EQ(mo.Texts().size(), kSample.size());
    }
}

TEST(MoCatalogue, DamagedFilesGiveAnEmptyCatalogue) {
    const std::vector<std::uint8_t> good = MakeMo(kSample);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases{{"empty", {}}, {"header cut", {good.begin(), good.begin() + 20}}};
    auto damaged = [&](const char* what, auto change) {
        std::vector<std::uint8_t> b = good;
        change(b);
        cases.push_back({what, std::move(b)});
    };
    damaged("magic", [](auto& b) { b[0] ^= 1; });
    damaged("major revision", [](auto& b) { b[6] = 1; });
    damaged("count past the end", [](auto& b) { Put(b, 8, 0x10000000, false); });
    damaged("table past the end", [](auto& b) { Put(b, 12, 0xfffffff0, false); });
    damaged("string past the end", [](auto& b) { Put(b, 28 + 4, 0xffffffff, false); });
    damaged("string without its NUL", [](auto& b) { Put(b, 28 + 8, 40, false); });
    damaged("strings cut", [](auto& b) { b.resize(b.size() - 3); });
    for (const Case& c : cases) {
        const MoCatalogue mo(c.bytes);
        EXPECT_FALSE(mo.Valid()) << c.what;
        EXPECT_EQ(mo.Find("a.b", "Да"), std::nullopt) << c.what;
    }
}

TEST(Substitute, PutsArgumentsInPlaceOfTheirNumbers) {
    const std::vector<std::string> args{"A", "B"};
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"no arguments", "no arguments"},
        {"{0}", "A"},
        {"{1} before {0}", "B before A"},
        {"{0}{0}", "AA"},
        {"{2} names no argument", "{2} names no argument"},
        {"{} {x} {0 } {-1}", "{} {x} {0 } {-1}"},
        {"open {0", "open {0"},
        {"{00001}", "{00001}"},
        {"{{0}}", "{A}"},
        {"Чтение {0} ({1}) ...", "Чтение A (B) ..."},
    };
    for (const Case& c : cases) EXPECT_EQ(Substitute(c.text, args), c.expected) << c.text;
}

TEST(Message, ArgumentsAreTextAndIntegersInDecimal) {
    const std::string s = "s";
    const Message m = ZT("t.args", "{0}{1}{2}{3}", s, "lit", -12, 255u);
    EXPECT_EQ(m.args, (std::vector<std::string>{"s", "lit", "-12", "255"}));
    EXPECT_EQ(Render(m, Language::Ru), "slit-12255");
}

TEST(Language, NamesAndTheProcessWideChoice) {
    EXPECT_EQ(ParseLanguage("ru"), Language::Ru);
    EXPECT_EQ(ParseLanguage("en"), Language::En);
    for (const char* bad : {"", "EN", "de", "en_US", "russian"})
        EXPECT_EQ(ParseLanguage(bad), std::nullopt) << bad;
    EXPECT_EQ(CurrentLanguage(), Language::Ru);
    // A message the catalogue does not know stays Russian in English too.
    const Message unknown = ZT("t.unknown", "Нет такого {0}", 1);
    SetLanguage(Language::En);
    EXPECT_EQ(Render(unknown), "Нет такого 1");
    SetLanguage(Language::Ru);
}

}  // namespace
}  // namespace zentor
