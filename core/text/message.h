// What the programs say to the user, as messages keyed by a stable id: the
// Russian text is the default and the gettext msgid, the id its msgctxt; the
// English texts come from po/en.po, compiled into the programs. Rendering looks
// the text up in the current language, falls back to the Russian one when it
// has no translation, and puts the arguments in place of {0}, {1}, ... The
// language is process-wide and may be changed from any thread; nothing here
// blocks or throws, apart from allocation.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zentor {

enum class Language { Ru, En };

struct Message {
    const char* id;  // stable dotted id, e.g. "data.read.start"
    const char* ru;  // the Russian text, with {0}, {1} ... for the arguments
    std::vector<std::string> args;
};

namespace text_detail {
inline std::string Arg(const std::string& s) {
    return s;
}
inline std::string Arg(std::string_view s) {
    return std::string(s);
}
inline std::string Arg(const char* s) {
    return s;
}
template <class T>
requires std::is_integral_v<T> std::string Arg(T value) {
    return std::to_string(value);
}
}  // namespace text_detail

// A message with its arguments as text (integers in decimal). xgettext takes
// the id as msgctxt and the Russian text as msgid (scripts/update-po.sh).
template <class... Args>
Message ZT(const char* id, const char* ru, const Args&... args) {
    return Message{id, ru, {text_detail::Arg(args)...}};
}

void SetLanguage(Language language);
Language CurrentLanguage();
// "ru" or "en"; nothing for any other name.
std::optional<Language> ParseLanguage(std::string_view name);

// The message in the current language (or the given one).
std::string Render(const Message& m);
std::string Render(const Message& m, Language language);
// The text with {n} replaced by args[n]; a brace pair naming no argument stays.
std::string Substitute(std::string_view text, const std::vector<std::string>& args);

}  // namespace zentor
