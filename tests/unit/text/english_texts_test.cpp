// Every message of the sources has its English text in the compiled catalogue.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "messages_pot.h"
#include "text/catalogue.h"
#include "text/message.h"

namespace zentor {
namespace {

bool HasCyrillic(const std::string& s) {
    for (unsigned char c : s)
        if (c == 0xD0 || c == 0xD1) return true;
    return false;
}

std::set<std::string> Placeholders(const std::string& s) {
    std::set<std::string> found;
    static const std::regex kPlaceholder(R"(\{[0-9]+\})");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), kPlaceholder);
         it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

TEST(EnglishTexts, EveryMessageIsTranslatedWithTheSamePlaceholders) {
    const auto messages = testing::SourceMessages();
    ASSERT_FALSE(messages.empty());
    const MoCatalogue& english = EnglishCatalogue();
    ASSERT_TRUE(english.Valid());
    for (const auto& m : messages) {
        const auto text = english.Find(m.id, m.ru);
        if (!text) {
            ADD_FAILURE() << m.id << ": no English text in po/en.po (scripts/update-po.sh)";
            continue;
        }
        const std::string en(*text);
        EXPECT_FALSE(HasCyrillic(en)) << m.id << ": " << en;
        EXPECT_EQ(Placeholders(en), Placeholders(m.ru)) << m.id << ": " << en;
        EXPECT_EQ(Render(Message{m.id.c_str(), m.ru.c_str(), {}}, Language::En), en) << m.id;
    }
}

TEST(EnglishTexts, AnIdNamesOneRussianText) {
    std::map<std::string, std::string> seen;
    for (const auto& m : testing::SourceMessages()) {
        const auto [it, added] = seen.emplace(m.id, m.ru);
        EXPECT_TRUE(added) << m.id << " names both \"" << it->second << "\" and \"" << m.ru << "\"";
    }
}

}  // namespace
}  // namespace zentor
