#include "text/message.h"

#include <atomic>

#include "text/catalogue.h"

namespace zentor {

namespace {
std::atomic<Language> g_language{Language::Ru};
}  // namespace

void SetLanguage(Language language) {
    g_language.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage() {
    return g_language.load(std::memory_order_relaxed);
}

std::optional<Language> ParseLanguage(std::string_view name) {
    if (name == "ru") return Language::Ru;
    if (name == "en") return Language::En;
    return std::nullopt;
}

std::string Substitute(std::string_view text, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            std::size_t j = i + 1;
            std::size_t n = 0;
            while (j < text.size() && j - i <= 3 && text[j] >= '0' && text[j] <= '9')
                n = n * 10 + static_cast<std::size_t>(text[j++] - '0');
            if (j > i + 1 && j < text.size() && text[j] == '}' && n < args.size()) {
                out += args[n];
                i = j;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string Render(const Message& m, Language language) {
    std::string_view text = m.ru;
    if (language == Language::En)
        if (auto english = EnglishCatalogue().Find(m.id, m.ru)) text = *english;
    return Substitute(text, m.args);
}

std::string Render(const Message& m) {
    return Render(m, CurrentLanguage());
}

}  // namespace zentor
